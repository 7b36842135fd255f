#pragma once
// The outbox: everything a message to send needs once its destinations are
// known. Every send (the composer's, a scheduled one, a kept message tried
// again) is an attempt of its own; the outbox takes the message as it
// stands when the connection does, checks its size, writes it, waits until
// the receiver has taken it, logs it and tells the user how it went: one
// box for a send to several destinations. A message that cannot be
// delivered now is kept, when the user agrees, in the waiting list, and
// tried again when its receiver is seen again or its time comes. What it
// needs of the program around it it asks through OutboxHost, so a test
// drives the whole journey with a host of its own.
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/vello_error.h"
#include "messaging/message_sender.h"
#include "messaging/send_attempts.h"
#include "messaging/waiting_list.h"
#include "platform/window.h"

namespace vello {

class OutboxHost {
 public:
  // The window the outbox's boxes belong to.
  virtual HWND BoxOwner() const = 0;
  // A message was delivered and its confirmation closed.
  virtual void Delivered() = 0;
  // The waiting list changed (a message kept, delivered, dropped, tried).
  virtual void WaitingChanged() = 0;
  // Whether this computer has ever heard of `host` (a running copy found,
  // an address-book entry, a sender of an earlier message): a name nobody
  // knows that does not resolve is most likely mistyped, and is kept only
  // when the user asks.
  virtual bool KnowsDestination(const std::string& host) const = 0;
  // Whether discovery lists a copy by that name or address as running now.
  virtual bool ListedRunning(const std::string& host) const = 0;
  // A message kept for a scheduled entry (its ScheduleKey) was delivered:
  // the entry is sent now.
  virtual void ScheduledDelivered(const std::string& scheduleKey) = 0;

 protected:
  ~OutboxHost() = default;
};

class Outbox : public MessageSender, private MessageOnlyWindow {
 public:
  Outbox(OutboxHost& host, std::filesystem::path waitingFile);
  ~Outbox() override;
  Outbox(const Outbox&) = delete;
  Outbox& operator=(const Outbox&) = delete;

  // One destination: told as it always was.
  SendTicket Send(SendRequest request) override;
  void Cancel(SendTicket ticket) override;
  void Withdraw(const std::string& scheduleKey) override;
  // Several destinations, each its own attempt, all told in one box when the
  // last has ended.
  void SendToEach(std::vector<SendRequest> requests);

  // Reads the kept messages (at start-up) and starts trying them.
  void StartWaiting();
  // The copies running now, by name and address (discovery's list): messages
  // kept for them are tried at once, spread over a moment.
  void ReceiversSeen(const std::vector<std::string>& namesAndAddresses);
  // This computer woke up or its network changed: every kept message is
  // tried soon.
  void RetryAllSoon();
  // The user's own actions on a kept message.
  void SendNow(const std::string& id);
  void Drop(const std::string& id);
  const WaitingList& waiting() const { return waiting_; }

  // The port every copy listens on.
  void SetPort(int port) { attempts_.SetPort(port); }
  int port() const { return attempts_.port(); }
  // Sent messages are logged.
  void SetLogOn(bool on) { logOn_ = on; }
  bool logOn() const { return logOn_; }
  // Closes every connection (the program ends).
  void CloseAll() { attempts_.CloseAll(); }
  // The attempts under way (their timeouts and buffers are set here).
  SendAttempts& attempts() { return attempts_; }
  // The retry policy and the clock (ms since the epoch, UTC) the waiting
  // list runs on; tests set both.
  void SetRetryPolicy(const RetryPolicy& policy) { policy_ = policy; }
  // How long a message newly kept waits before it is given up.
  void SetLifetimeDays(int days) { policy_.lifetimeMs = days * 24LL * 60 * 60 * 1000; }
  void SetClockForTests(std::function<int64_t()> now) { now_ = std::move(now); }
  // What the machine's network is now (NetworkFingerprint): read every 5 s
  // while messages wait; tests give their own, and how often to read it.
  void SetNetworkProbeForTests(std::function<std::string()> probe, int64_t everyMs) {
    networkProbe_ = std::move(probe);
    networkCheckMs_ = everyMs;
  }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  struct Batch;
  // Why an attempt failed.
  enum class Cause {
    None,        // delivered, or nothing to send any more
    NoName,      // the name did not resolve (`detail`: the system's words)
    Refused,     // the host answers, but no copy listens on the port
    NoAnswer,    // no connection: unreachable, timed out
    Blocked,     // timed out while discovery lists that copy as running: a firewall drops the port
    BrokenOff,   // the line was not taken: reset, or not written whole
    TooLong,     // the line is longer than any copy takes (`detail`: the text)
    Unanswered,  // written whole and never answered: it may have arrived
  };
  struct Ending {
    SendOutcome outcome = SendOutcome::Failed;
    Cause cause = Cause::None;
    std::string detail;
    // Whether the receiver may take it later: a message kept for it waits.
    bool keepable() const { return cause == Cause::NoName || cause == Cause::Refused || cause == Cause::NoAnswer ||
                                   cause == Cause::Blocked || cause == Cause::BrokenOff; }
  };
  static Ending Failure(Cause cause, std::string detail = "") {
    return Ending{SendOutcome::Failed, cause, std::move(detail)};
  }
  // The failure in a few words, for the waiting list and a box for several.
  static std::string ReasonText(const Ending& ending);
  // The failure as the box for one destination tells it.
  std::string ToldText(const Ending& ending, const std::string& destination) const;

  SendTicket Start(SendRequest request, std::shared_ptr<Batch> batch);
  void OnConnected(SendAttempt& attempt);
  void OnDelivered(SendAttempt& attempt);
  void OnError(SendAttempt& attempt, SocketErrorKind kind, int& code);
  // Every ending goes here: a kept message's to the waiting list quietly,
  // one of a batch into its tally, one alone to the user at once.
  void Ended(SendAttempt& attempt, const Ending& ending);
  void TellAlone(SendAttempt& attempt, const Ending& ending);
  void TellBatch(Batch& batch);
  // Whether a failure of several destinations' send is kept when the user agrees.
  bool Keepable(const SendRequest& request, const Ending& ending) const;
  // A kept message's outcome into the waiting file; one the file refuses
  // is kept to be recorded again at the next tick.
  void Record(std::function<void()> outcome);
  void RecordAgain();
  // The waiting file refused a change: no message is tried for a while.
  void PauseWaiting(const VelloError& e);
  // Keeps the message of `request`; false when there was nothing to keep or
  // the file could not take it (said).
  bool Keep(const SendRequest& request, const Ending& ending);
  void LogSent(const SendRequest& request, const std::string& text);
  void Tell(const std::string& text);
  // A change the user asked for (or deleting a scheduled entry): a file
  // that refuses it is said at once.
  void ChangeForUser(const std::function<void()>& change);
  // Tries every kept message whose time has come.
  void TryDue();
  void ScheduleTick();
  // Says which kept messages expired (one box for those gathered meanwhile).
  void TellExpired();
  int64_t Now() const;

  OutboxHost& host_;
  SendAttempts attempts_;
  WaitingList waiting_;
  std::map<SendTicket, std::shared_ptr<Batch>> batches_;
  RetryPolicy policy_;
  std::function<int64_t()> now_;
  bool logOn_ = false;
  bool started_ = false;
  int64_t pausedUntil_ = 0;
  bool fileTroubleTold_ = false;
  std::vector<std::function<void()>> unrecorded_;
  std::function<std::string()> networkProbe_;
  std::string lastNetwork_;
  bool networkKnown_ = false;
  int64_t nextNetworkCheck_ = 0;
  int64_t networkCheckMs_ = 5000;
  std::vector<WaitingMessage> expiredToTell_;
  bool tellingExpired_ = false;
};

}  // namespace vello
