#pragma once
// When a waiting message is tried again. Times are ms since the Unix epoch
// (UTC), as in WaitingMessage; random values are drawn by the caller, in
// [0, 1), so that a test decides them.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "messaging/waiting_message.h"

namespace vello {

struct RetryPolicy {
  // A receiver that cannot be reached is usually starting or restarting (a
  // user logging on), so the first try again comes soon: 30 s.
  int64_t firstDelayMs = 30'000;
  // Doubling to 15 minutes: a receiver coming back is nearly always noticed
  // at once (it announces itself, we resume, the network changes); the timer
  // is the fallback for one that is never seen (beyond the link, a typed
  // address). 15 minutes bounds how late that one gets its message, at four
  // connections an hour per message.
  int64_t maxDelayMs = 15 * 60'000;
  // Each delay is stretched or shrunk by up to 25% so that copies that failed
  // at one moment (the receiver went off, the network went down) do not all
  // try again at the same one.
  double jitter = 0.25;
  // A week covers a holiday or a business trip; what is older is more likely
  // stale than welcome.
  int64_t lifetimeMs = 7 * 24 * 60 * 60'000LL;
  // When the receiver is seen again, the copies that kept messages for it
  // come within 2 s, spread evenly: thirty copies are then about fifteen
  // connections a second, which its shares take.
  int64_t seenAgainSpreadMs = 2'000;
  // A receiver that refused the line for its share is running, only busy
  // with other senders: try again soon, doubling to a minute.
  int64_t refusedFirstDelayMs = 2'000;
  int64_t refusedMaxDelayMs = 60'000;
};

enum class FailureKind {
  kUnreachable,  // refused the connection, not found, timed out
  kRefused,      // connected, but the receiver did not take the line (its share)
};

// The delay before the next attempt after `failures` failed attempts in a
// row (1 for the first), the last of `kind`: the kind's first delay,
// doubling with each failure up to its largest, then the jitter: `random`
// 0 gives the delay less the jitter, 0.5 the delay, towards 1 the delay plus
// the jitter.
int64_t DelayAfterFailures(uint32_t failures, FailureKind kind, double random, const RetryPolicy& policy = {});

// When a message written at `writtenAt` expires.
int64_t ExpiryFor(int64_t writtenAt, const RetryPolicy& policy = {});

// Whether the message's time is up (in any state: a kUnknown one expires too).
bool Expired(const WaitingMessage& message, int64_t now);

// Whether a kWaiting message is to be tried now: its time has come, or its
// time lies further ahead than any delay could put it (the clock was set
// back), so that no message waits for days for a clock. Expiry is apart.
bool IsDue(const WaitingMessage& message, int64_t now, const RetryPolicy& policy = {});

// An attempt starts: the message is kSending and counts it. Stored before
// the line goes out (waiting_file.h).
void BeginAttempt(WaitingMessage& message);

// The attempt on messages[index] failed: it waits again (kWaiting) with the
// reason. A receiver is there or not for all the messages kept for it, so
// they share one back-off: each kWaiting message for the same host (letter
// case ignored) takes the next step of the furthest one's and waits until
// the same moment.
void RecordFailedAttempt(std::vector<WaitingMessage>& messages, std::size_t index, FailureKind kind,
                         std::string_view reason, int64_t now, double random, const RetryPolicy& policy = {});

// The messages to try now, by index, in the order they were kept: for every
// host with a message that is due (IsDue), all its kWaiting messages that
// have not expired, so that a receiver gets one copy's messages in the order
// they were written.
std::vector<std::size_t> DueMessages(const std::vector<WaitingMessage>& messages, int64_t now,
                                     const RetryPolicy& policy = {});

// The receiver `host` is seen again (it announced itself, this computer
// resumed, the network changed): each kWaiting message for it (host letter
// case ignored) is due within the spread, all at one moment drawn from
// `random` so that they go in order, and its back-off starts afresh. A
// message due sooner stays so. kUnknown messages wait for the user.
void ReceiverSeenAgain(std::vector<WaitingMessage>& messages, std::string_view host, int64_t now, double random,
                       const RetryPolicy& policy = {});

}  // namespace vello
