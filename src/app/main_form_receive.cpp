// Receiving: a message line becomes a balloon.
#include <winsock2.h>

#include "app/application_window.h"
#include "app/main_form.h"
#include "messaging/message_line.h"

namespace vello {

std::string TMainForm::ReverseLookup(const in_addr& peer) const {
  hostent* host = gethostbyaddr(reinterpret_cast<const char*>(&peer), 4, AF_INET);
  return host && host->h_name ? std::string(host->h_name) : std::string();
}

void TMainForm::ServerSocket1ClientRead(const std::string& line, const in_addr& peer) {
  // 1. A refused line raises its error here, before any window exists.
  ReceivedMessage message = ReadMessageLine(line);
  // 2.-6.
  BalloonContent content{
      .look = ClampedToScreen(message.look, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)),
      .text = message.text,
      .hint = ReverseLookup(peer)};
  std::string sender = content.hint;
  TBalloon& balloon = FBalloons.Arrive(std::move(content), FApplication.hwnd(), FWorkMode, message.important);
  // 7.
  if (GetActiveWindow() != hwnd()) ShowWindow(FApplication.hwnd(), SW_HIDE);
  // 8.
  balloon.Shape();
  // 9.
  SetForegroundWindow(balloon.hwnd());
  // 10.
  if (FSoundOn && FSoundInWorkMode) FMediaPlayer1.Play();
  // 11.
  UpdateTrayIcon(TrayUpdate::Blink);
  // 12.
  if (FLogOn) AppendLog(false, sender, message.text);
  // 13.
  FMessageArrived = true;
}

}  // namespace vello
