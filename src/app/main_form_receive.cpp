// Receiving: a message line becomes a balloon at once; the sender's name is
// looked up meanwhile and fills in the reply destination and the log.
#include <winsock2.h>

#include "app/application_window.h"
#include "app/main_form.h"
#include "common/vello_error.h"
#include "messaging/log_date_time.h"
#include "messaging/message_line.h"
#include "platform/timing_points.h"

namespace vello {

void TMainForm::ServerSocket1ClientRead(const std::string& line, const in_addr& peer, LineReceipt& receipt) {
  VELLO_TIMING_ONLY(timing::Stopwatch watch("receive");)
  // A refused line raises its error here, before any window exists. The
  // box says where the line came from: its text is partly the sender's.
  ReceivedMessage message;
  try {
    message = ReadMessageLine(line);
  } catch (const VelloError& e) {
    throw VelloError(DottedAddress(peer) + " から届いたメッセージを表示できません\r\n" + e.text());
  }
  VELLO_TIMING_ONLY(watch.Step("1 parse");)
  // Until the name is known, a reply goes to the address.
  BalloonContent content{
      .look = ClampedToScreen(message.look, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)),
      .text = message.text,
      .hint = DottedAddress(peer),
      .sender = peer.s_addr};
  if (!FBalloons.HasRoomFor(content)) {
    // Not shown, so not taken: the connection is reset and its sender told
    // it failed. Counted in the tray tip; the log keeps only what was shown.
    FTrayIcon.SetNotShown(FTrayIcon.notShown() + 1);
    UpdateTrayIcon(TrayUpdate::Blink);
    FMessageArrived = true;
    return;
  }
  VELLO_TIMING_ONLY(watch.Step("1 room");)
  // The balloon: made, shaped and placed before it is shown.
  TBalloon& balloon = FBalloons.Arrive(std::move(content), FApplication.hwnd(), FWorkMode, message.important);
  // Shown: the sender hears so now, whatever fails below.
  receipt.Take();
  VELLO_TIMING_ONLY(watch.Step("2-6, 8 balloon made, shaped and shown");)
  // The taskbar button goes while the main window is not the active one.
  if (GetActiveWindow() != hwnd() && IsWindowVisible(FApplication.hwnd())) ShowWindow(FApplication.hwnd(), SW_HIDE);
  VELLO_TIMING_ONLY(watch.Step("7 taskbar window");)
  // The balloon comes to the front.
  SetForegroundWindow(balloon.hwnd());
  VELLO_TIMING_ONLY(watch.Step("9 foreground");)
  // The arrival sound, and the tray icon blinks.
  if (FSoundOn && FSoundInWorkMode) FArrivalSound.Play();
  UpdateTrayIcon(TrayUpdate::Blink);
  VELLO_TIMING_ONLY(watch.Step("10-11 sound and tray");)
  // The log entry, written once the sender's name is known, in the order of arrival.
  if (FLogOn) FReceivedLog.Add(peer, LogDateTimeNow(), message.text);
  VELLO_TIMING_ONLY(watch.Step("12 log entry made");)
  // Until acknowledged, a click on the tray icon brings up the balloons, not the main window.
  FMessageArrived = true;
  // The name, looked up off this thread (or known from before).
  FSenderNames.Find(peer, [this, peer](const SenderName& name) {
    FBalloons.NameFound(peer.s_addr, name.text);
    FReceivedLog.NameFound(peer, name.text);
  });
  VELLO_TIMING_ONLY(watch.Step("name asked (log written when known)");)
}

}  // namespace vello
