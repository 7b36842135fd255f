#pragma once
// The one way a message leaves: "send this look and text to this host and
// tell me how it ended". The composer's send and the scheduler both use it;
// the outbox carries it out (connection, line, log, confirmation).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "messaging/message_look.h"

namespace vello {

struct OutgoingMessage {
  MessageLook look;
  std::string text;             // as the line carries it: lines each followed by CR LF
  std::string importance = "N"; // the mark: "P" or "N"
};

enum class SendOutcome {
  Sent,     // written and closed
  Dropped,  // the connection stood but there was nothing (any more) to send
  Failed,   // no host, no connection, or an error on the way
};

struct SendRequest {
  std::string host;         // handed to the system's look-up as it stands
  std::string destination;  // what the user called it: named in messages and the log
  // Asked for the message once the connection stands, so that it is taken
  // as it is then. Nothing (nullopt) sends nothing. An exception ends the
  // send before anything is written.
  std::function<std::optional<OutgoingMessage>()> compose;
  // Called exactly once, when the attempt has ended (after a modal box that
  // reports a failure has been closed, before the confirmation of a sent one).
  std::function<void(SendOutcome)> ended;
  // The message as it stands, without side effects, so that it can be kept
  // for its receiver when it cannot be delivered now. Without it (a
  // scheduled entry's send) a failure is only told.
  std::function<std::optional<OutgoingMessage>()> keep;
  // A kept message tried again: its outcome goes quietly to the waiting list.
  std::string waitingId;
  // A scheduled entry's send (its ScheduleKey): when its receiver cannot be
  // reached at the entry's minute, the message is kept without asking, and
  // the entry is marked sent once it is delivered.
  std::string scheduleKey;
};

using SendTicket = uint64_t;

class MessageSender {
 public:
  virtual SendTicket Send(SendRequest request) = 0;
  // Forgets an attempt that has not ended: nothing more is sent, shown or
  // reported for it, and its `ended` is not called.
  virtual void Cancel(SendTicket ticket) = 0;
  // The scheduled entry `scheduleKey` was deleted: a message kept for it is
  // not sent any more.
  virtual void Withdraw(const std::string& scheduleKey) = 0;

 protected:
  ~MessageSender() = default;
};

}  // namespace vello
