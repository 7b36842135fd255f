#include "messaging/retry_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "common/sjis.h"

namespace vello {

int64_t DelayAfterFailures(uint32_t failures, FailureKind kind, double random, const RetryPolicy& policy) {
  const bool refused = kind == FailureKind::kRefused;
  const int64_t first = refused ? policy.refusedFirstDelayMs : policy.firstDelayMs;
  const int64_t most = refused ? policy.refusedMaxDelayMs : policy.maxDelayMs;
  int64_t delay = std::min(first, most);
  for (uint32_t step = 1; step < failures && delay < most; ++step) delay = std::min(delay * 2, most);
  random = std::clamp(random, 0.0, 1.0);
  const double stretched = static_cast<double>(delay) * (1.0 + policy.jitter * (2.0 * random - 1.0));
  return std::max<int64_t>(0, std::llround(stretched));
}

int64_t ExpiryFor(int64_t writtenAt, const RetryPolicy& policy) { return writtenAt + policy.lifetimeMs; }

bool Expired(const WaitingMessage& message, int64_t now) { return now >= message.expiresAt; }

bool IsDue(const WaitingMessage& message, int64_t now, const RetryPolicy& policy) {
  if (message.state != WaitState::kWaiting) return false;
  if (now >= message.nextAttemptAt) return true;
  const int64_t longest = std::max(policy.maxDelayMs, policy.refusedMaxDelayMs);
  const auto farthest = static_cast<int64_t>(static_cast<double>(longest) * (1.0 + policy.jitter));
  return message.nextAttemptAt - now > std::max(farthest, policy.seenAgainSpreadMs);
}

void BeginAttempt(WaitingMessage& message) {
  message.state = WaitState::kSending;
  ++message.attempts;
}

void RecordFailedAttempt(std::vector<WaitingMessage>& messages, std::size_t index, FailureKind kind,
                         std::string_view reason, int64_t now, double random, const RetryPolicy& policy) {
  WaitingMessage& failed = messages.at(index);
  failed.state = WaitState::kWaiting;
  failed.lastReason = std::string(reason);
  const std::string host = failed.host;
  auto sameHost = [&](const WaitingMessage& m) {
    return m.state == WaitState::kWaiting && SameTextIgnoreCase(m.host, host);
  };
  uint32_t step = 0;
  for (const WaitingMessage& m : messages)
    if (sameHost(m)) step = std::max(step, m.failuresSinceSeen);
  if (step < UINT32_MAX) ++step;
  const int64_t next = now + DelayAfterFailures(step, kind, random, policy);
  for (WaitingMessage& m : messages) {
    if (!sameHost(m)) continue;
    m.failuresSinceSeen = step;
    m.nextAttemptAt = next;
  }
}

std::vector<std::size_t> DueMessages(const std::vector<WaitingMessage>& messages, int64_t now,
                                     const RetryPolicy& policy) {
  auto sendable = [&](const WaitingMessage& m) { return m.state == WaitState::kWaiting && !Expired(m, now); };
  std::vector<std::string> dueHosts;
  for (const WaitingMessage& m : messages) {
    if (!sendable(m) || !IsDue(m, now, policy)) continue;
    if (std::none_of(dueHosts.begin(), dueHosts.end(), [&](const std::string& h) { return SameTextIgnoreCase(h, m.host); }))
      dueHosts.push_back(m.host);
  }
  std::vector<std::size_t> due;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (!sendable(messages[i])) continue;
    if (std::any_of(dueHosts.begin(), dueHosts.end(),
                    [&](const std::string& h) { return SameTextIgnoreCase(h, messages[i].host); }))
      due.push_back(i);
  }
  return due;
}

void ReceiverSeenAgain(std::vector<WaitingMessage>& messages, std::string_view host, int64_t now, double random,
                       const RetryPolicy& policy) {
  random = std::clamp(random, 0.0, 1.0);
  const int64_t at = now + std::llround(static_cast<double>(policy.seenAgainSpreadMs) * random);
  for (WaitingMessage& m : messages) {
    if (m.state != WaitState::kWaiting || !SameTextIgnoreCase(m.host, host)) continue;
    m.nextAttemptAt = std::min(m.nextAttemptAt, at);
    m.failuresSinceSeen = 0;
  }
}

}  // namespace vello
