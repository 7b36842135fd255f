#include "messaging/inbox.h"

#include "common/vello_error.h"
#include "messaging/log_date_time.h"
#include "messaging/message_line.h"
#include "platform/error_display.h"
#include "platform/socket_error.h"
#include "platform/timing_points.h"

namespace vello {

namespace {
ServerLimits ReceiverLimits() {
  ServerLimits limits;
  limits.maxLineBytes = kMaxMessageLineBytes;
  return limits;
}
}  // namespace

Inbox::Inbox(InboxHost& host, BalloonHost& balloonHost)
    : host_(host),
      balloons_(balloonHost),
      server_(TcpServer::Callbacks{
                  .onLine = [this](const std::string& line, const in_addr& peer,
                                   LineReceipt& receipt) { Receive(line, peer, receipt); },
                  .isWholeLine = [](const std::string& bytes) { return IsWholeMessageLine(bytes); },
                  .onConnectionError =
                      [](int code) { ShowErrorMessage(FormatSocketEventError(code), ErrorOrigin::Network); },
                  .onOversizedLine =
                      [](std::size_t bytes) {
                        ShowErrorMessage("受信したメッセージが大きすぎます (" + std::to_string(bytes) + " バイト以上)",
                                         ErrorOrigin::Network);
                      },
                  // The sender's name is looked up while its line is still arriving.
                  .onAccepted = [this](const in_addr& peer) { senderNames_.LookUpSoon(peer); }},
              ReceiverLimits()) {}

void Inbox::Listen(int port) { server_.Listen(port); }

void Inbox::Stop() {
  server_.Stop();
  log_.Flush();
}

void Inbox::SetSound(bool on, const std::string& file) {
  // A file that cannot be opened leaves the sound as it was.
  if (on) arrivalSound_.Open(file);
  soundOn_ = on;
}

void Inbox::Acknowledge() {
  unacknowledged_ = false;
  notShown_ = 0;
}

void Inbox::NoticeArrival() {
  unacknowledged_ = true;
  host_.ArrivalNoticed(notShown_);
}

void Inbox::Receive(const std::string& line, const in_addr& peer, LineReceipt& receipt) {
  VELLO_TIMING_ONLY(timing::Stopwatch watch("receive");)
  // A refused line raises its error here, before any window exists. The
  // box says where the line came from: its text is partly the sender's.
  ReceivedMessage message;
  try {
    message = ReadMessageLine(line);
  } catch (const VelloError& e) {
    throw VelloError(DottedAddress(peer) + " から届いたメッセージを表示できません\r\n" + e.text());
  }
  VELLO_TIMING_ONLY(watch.Step("line read");)
  // Until the name is known, a reply goes to the address. The screen is asked
  // for once: the balloon is centred on the one its look was fitted to.
  const SIZE screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  BalloonContent content{
      .look = ClampedToScreen(message.look, screen.cx, screen.cy),
      .text = message.text,
      .hint = DottedAddress(peer),
      .sender = peer.s_addr,
      .screen = screen};
  if (!balloons_.HasRoomFor(content)) {
    // Not shown, so not taken: the connection is reset and its sender told
    // it failed. Counted in the tray tip; the log keeps only what was shown.
    ++notShown_;
    NoticeArrival();
    return;
  }
  VELLO_TIMING_ONLY(watch.Step("room found");)
  // The balloon: made, shaped and placed before it is shown.
  TBalloon& balloon = balloons_.Arrive(std::move(content), host_.BalloonOwner(), host_.WorkingMode(), message.important);
  // Shown: the sender hears so now, whatever fails below.
  receipt.Take();
  VELLO_TIMING_ONLY(watch.Step("balloon shown and line taken");)
  host_.BalloonShown(balloon.hwnd());
  SetForegroundWindow(balloon.hwnd());
  VELLO_TIMING_ONLY(watch.Step("balloon to the front");)
  if (soundOn_ && soundPermitted_) arrivalSound_.Play();
  NoticeArrival();
  VELLO_TIMING_ONLY(watch.Step("sound and notice");)
  // The log entry, written once the sender's name is known, in the order of arrival.
  if (logOn_) log_.Add(peer, LogDateTimeNow(), message.text);
  VELLO_TIMING_ONLY(watch.Step("log entry queued");)
  // The name, looked up off this thread (or known from before).
  senderNames_.Find(peer, [this, peer](const SenderName& name) {
    balloons_.NameFound(peer.s_addr, name.text);
    log_.NameFound(peer, name.text);
  });
  VELLO_TIMING_ONLY(watch.Step("name asked");)
}

}  // namespace vello
