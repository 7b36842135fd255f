// Receiving: a message line becomes a balloon.
#include <winsock2.h>

#include "app/application_window.h"
#include "app/main_form.h"
#include "messaging/balloon_window.h"
#include "messaging/message_line.h"

namespace vello {

std::string TMainForm::ReverseLookup(const in_addr& peer) const {
  hostent* host = gethostbyaddr(reinterpret_cast<const char*>(&peer), 4, AF_INET);
  return host && host->h_name ? std::string(host->h_name) : std::string();
}

TBalloon* TMainForm::FindBalloon(HWND hwnd) const {
  for (const auto& b : FBalloons)
    if (b->hwnd() == hwnd) return b.get();
  return nullptr;
}

void TMainForm::ServerSocket1ClientRead(const std::string& line, const in_addr& peer) {
  // 1. A refused line raises its error here, before any window exists.
  MessageFields fields = ReadMessageLine(line);
  // 2.-4.
  BalloonLook look = BalloonLookFromFields(fields, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  look.hint = ReverseLookup(peer);
  bool stayOnTop = FWorkMode && fields.important;
  auto balloon = std::make_unique<TBalloon>(*this, look, FApplication.hwnd(), stayOnTop);
  TBalloon& b = *balloon;
  FBalloons.push_back(std::move(balloon));
  // 5.-6.
  ShowWindow(b.hwnd(), SW_SHOWNOACTIVATE);
  if (FWorkMode) {
    ShowWindow(b.hwnd(), SW_HIDE);
    FHeldBalloons.push_back(b.hwnd());
  }
  // 7.
  if (GetActiveWindow() != hwnd()) ShowWindow(FApplication.hwnd(), SW_HIDE);
  // 8.
  b.Shape();
  // 9.
  SetForegroundWindow(b.hwnd());
  // 10.
  if (FSoundOn && FSoundInWorkMode) MediaPlayer1.Play();
  // 11.
  UpdateTrayIcon(2);
  // 12.
  if (FLogOn) AppendLog(false, look.hint, fields.text);
  // 13.
  FMessageArrived = true;
}

}  // namespace vello
