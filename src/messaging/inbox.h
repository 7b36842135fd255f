#pragma once
// The inbox: everything a received message needs, from the line a
// connection brought to the balloon on the screen. It owns the listening
// server, the balloons, the senders' names, the received log and the
// arrival sound; it reads the line, keeps every sender to its share of the
// balloons, shows the balloon, sounds, starts the arrival notice and logs
// the message under its sender's name. What it needs of the program around
// it (working mode, the taskbar, the tray) it asks through InboxHost, so a
// test drives the whole journey with a host of its own.
#include <winsock2.h>

#include <cstddef>
#include <string>

#include "messaging/balloons.h"
#include "messaging/received_log.h"
#include "messaging/sender_names.h"
#include "platform/media_player.h"
#include "platform/tcp_server.h"

namespace vello {

class InboxHost {
 public:
  // The window the balloons belong to (it stays when the main window hides).
  virtual HWND BalloonOwner() const = 0;
  // In working mode new balloons are held hidden.
  virtual bool WorkingMode() const = 0;
  // A balloon is on the screen, before it comes to the front.
  virtual void BalloonShown(HWND balloon) = 0;
  // A message arrived, shown or not: the arrival notice starts. `notShown`
  // counts the messages not shown since the user last looked.
  virtual void ArrivalNoticed(std::size_t notShown) = 0;

 protected:
  ~InboxHost() = default;
};

class Inbox {
 public:
  Inbox(InboxHost& host, BalloonHost& balloonHost);
  Inbox(const Inbox&) = delete;
  Inbox& operator=(const Inbox&) = delete;

  // Listens for messages on `port` (another port: at once, the old one kept
  // when the new cannot be had). Throws VelloError.
  void Listen(int port);
  // The program ends: nothing more is taken, lines not yet taken are reset,
  // and messages whose senders' names are still being looked up go into the
  // log under their addresses.
  void Stop();

  // Received messages are logged.
  void SetLogOn(bool on) { logOn_ = on; }
  // The arrival sound: `file` is opened when on (throws VelloError when it
  // cannot be); `permitted` false keeps it silent while it stays chosen.
  void SetSound(bool on, const std::string& file);
  void SetSoundPermitted(bool permitted) { soundPermitted_ = permitted; }

  // The user has seen the arrival: nothing counts as new any more.
  void Acknowledge();
  // A message arrived since the user last looked (a click on the tray icon
  // brings up the balloons then, not the main window).
  bool unacknowledged() const { return unacknowledged_; }
  std::size_t notShown() const { return notShown_; }

  // A whole line from `peer`: the server's handler. A line that is not
  // shown is not taken (`receipt`), so its sender learns it failed. A line
  // that cannot be read throws VelloError naming the sender's address.
  void Receive(const std::string& line, const in_addr& peer, LineReceipt& receipt);

  bool logOn() const { return logOn_; }
  bool soundOn() const { return soundOn_; }
  bool soundPermitted() const { return soundPermitted_; }
  TcpServer& server() { return server_; }
  TBalloons& balloons() { return balloons_; }
  TReceivedLog& log() { return log_; }
  TSenderNames& senderNames() { return senderNames_; }
  const TSenderNames& senderNames() const { return senderNames_; }
  const MediaPlayer& arrivalSound() const { return arrivalSound_; }

 private:
  void NoticeArrival();

  InboxHost& host_;
  TBalloons balloons_;
  TReceivedLog log_;
  MediaPlayer arrivalSound_;
  // Its answers reach the balloons and the log: it goes before them.
  TSenderNames senderNames_;
  TcpServer server_;
  bool logOn_ = false;
  bool soundOn_ = false;
  bool soundPermitted_ = true;
  bool unacknowledged_ = false;
  std::size_t notShown_ = 0;
};

}  // namespace vello
