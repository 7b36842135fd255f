#pragma once
// The messages kept for receivers that could not be reached, as the outbox
// works with them: the list in memory, mirrored from the waiting file beside
// the executable, which every change goes through under the file's lock
// (waiting_file.h), so that a restart or a crash loses none, and a copy of
// the program sharing the folder neither loses nor repeats another's. A
// message is claimed in the file (kSending) before its line goes out: an
// attempt cut short by the program's end is found as one whose outcome is
// unknown, and is not repeated by itself. Times are ms since the Unix
// epoch, given by the caller, and so is every random value.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "messaging/retry_plan.h"
#include "messaging/waiting_message.h"

namespace vello {

// A new message's id: unique among the messages of the file without asking
// it (the time and 64 random bits).
std::string NewWaitingId(int64_t now, uint64_t random);

class WaitingList {
 public:
  explicit WaitingList(std::filesystem::path file) : file_(std::move(file)) {}

  // Reads the file (at start-up). Messages left mid-attempt by the end of
  // the program are unknown from now on. A missing file is an empty list.
  // Throws VelloError when the file cannot be read.
  void Load();

  const std::vector<WaitingMessage>& messages() const { return messages_; }
  const WaitingMessage* Find(const std::string& id) const;
  // Messages waiting to be tried (not those whose outcome is unknown).
  std::size_t waitingCount() const;

  // Each change below is made in the file and then mirrored here; it throws
  // VelloError (the file busy, refused, or full), and then nothing changed.
  // A message whose first attempt failed: it waits with its receiver's
  // other messages, until the next step of their back-off. One for a
  // scheduled entry already kept is not added again.
  void Add(WaitingMessage message, FailureKind kind, int64_t now, const RetryPolicy& policy, double random);
  // The attempt is about to write the line: kSending in the file. False
  // when the message is no longer waiting (delivered, dropped, or claimed by
  // another copy): nothing is to be sent.
  bool Claim(const std::string& id);
  // Delivered: removed.
  void Delivered(const std::string& id);
  // Not delivered: waits again, with its receiver's other messages, until
  // the next step of the back-off.
  void Failed(const std::string& id, FailureKind kind, const std::string& reason, int64_t now,
              const RetryPolicy& policy, double random);
  // Written whole and never answered: it may have arrived, so it waits for
  // the user (kUnknown).
  void Unanswered(const std::string& id, const std::string& reason);
  // The attempt ended without a claim (nothing sent): no longer being tried.
  void Release(const std::string& id);
  // The user's 送らない.
  void Drop(const std::string& id);
  // The scheduled entry `scheduleKey` was deleted: its message goes too.
  void DropScheduled(const std::string& scheduleKey);
  // The user's 今すぐ送る: waiting (also one whose outcome was unknown), due now.
  void SendNow(const std::string& id, int64_t now);
  // The receivers `hosts` are back (names or addresses, letter case
  // ignored): their messages are due within the policy's spread, and their
  // back-off starts afresh. Empty: every receiver.
  void SeenAgain(const std::vector<std::string>& hosts, int64_t now, const RetryPolicy& policy, double random);
  // Removes the messages past their lifetime and gives them back.
  std::vector<WaitingMessage> RemoveExpired(int64_t now);

  // Ids of the messages to try at `now`, one per receiver (the oldest of
  // its due messages), so that a receiver gets them one after the other in
  // the order they were written; none for a receiver already being tried.
  std::vector<std::string> Due(int64_t now, const RetryPolicy& policy) const;
  // When the soonest waiting message not being tried is due; nothing when
  // none waits.
  std::optional<int64_t> NextAttemptAt() const;
  // An attempt is under way for it (in this copy): not due again until it ends.
  void MarkTrying(const std::string& id) { trying_.insert(id); }
  bool trying(const std::string& id) const { return trying_.count(id) != 0; }

 private:
  // Applies `change` to the file's messages under its lock, writes them back
  // when it says so, and mirrors the file's messages here.
  void Update(const std::function<bool(std::vector<WaitingMessage>&)>& change);

  std::filesystem::path file_;
  std::vector<WaitingMessage> messages_;
  std::set<std::string> trying_;
};

}  // namespace vello
