// Receiving: a message line becomes a balloon at once; the sender's name is
// looked up meanwhile and fills in the reply destination and the log.
#include <winsock2.h>

#include "app/application_window.h"
#include "app/main_form.h"
#include "messaging/log_date_time.h"
#include "messaging/message_line.h"

namespace vello {

void TMainForm::ServerSocket1ClientRead(const std::string& line, const in_addr& peer) {
  // 1. A refused line raises its error here, before any window exists.
  ReceivedMessage message = ReadMessageLine(line);
  // Until the name is known, a reply goes to the address.
  BalloonContent content{
      .look = ClampedToScreen(message.look, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)),
      .text = message.text,
      .hint = DottedAddress(peer),
      .sender = peer.s_addr};
  if (!FBalloons.HasRoomFor(content.sender, content.text.size())) {
    // Not shown, but not lost without a word: counted in the tray tip, and
    // in the log when it is kept.
    FTrayIcon.SetNotShown(FTrayIcon.notShown() + 1);
    UpdateTrayIcon(TrayUpdate::Blink);
    if (FLogOn) FReceivedLog.Add(peer, LogDateTimeNow(), message.text);
    FSenderNames.Find(peer, [this, peer](const SenderName& name) { FReceivedLog.NameFound(peer, name.text); });
    FMessageArrived = true;
    return;
  }
  // 2.-6.
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
  // 12. Written once the sender's name is known, in the order of arrival.
  if (FLogOn) FReceivedLog.Add(peer, LogDateTimeNow(), message.text);
  // 13.
  FMessageArrived = true;
  // The name, looked up off this thread (or known from before).
  FSenderNames.Find(peer, [this, peer](const SenderName& name) {
    FBalloons.NameFound(peer.s_addr, name.text);
    FReceivedLog.NameFound(peer, name.text);
  });
}

}  // namespace vello
