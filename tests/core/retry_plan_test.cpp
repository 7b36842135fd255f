// When waiting messages are tried again, on a clock of the test's own.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "messaging/retry_plan.h"

using namespace vello;

namespace {

constexpr int64_t kSecond = 1000, kMinute = 60 * kSecond;
constexpr int64_t kStart = 1767225600000;  // 2026-01-01 00:00 UTC

WaitingMessage For(const std::string& id, const std::string& host) {
  WaitingMessage m;
  m.id = id;
  m.host = host;
  m.writtenAt = m.nextAttemptAt = kStart;
  m.expiresAt = ExpiryFor(kStart);
  return m;
}

}  // namespace

TEST(RetryPlan, TheDelayDoublesFromItsFirstToItsLargestWithJitterAround) {
  struct Case {
    uint32_t failures;
    FailureKind kind;
    double random;
    int64_t delay;
  };
  const FailureKind unreachable = FailureKind::kUnreachable, refused = FailureKind::kRefused;
  const Case cases[] = {
      {1, unreachable, 0.5, 30 * kSecond},
      {0, unreachable, 0.5, 30 * kSecond},  // no failure yet counts as the first
      {2, unreachable, 0.5, 1 * kMinute},
      {3, unreachable, 0.5, 2 * kMinute},
      {5, unreachable, 0.5, 8 * kMinute},
      {6, unreachable, 0.5, 15 * kMinute},  // 16 minutes capped
      {1000, unreachable, 0.5, 15 * kMinute},
      {UINT32_MAX, unreachable, 0.5, 15 * kMinute},
      {1, unreachable, 0.0, 22500},  // less a quarter
      {1, unreachable, 0.999999, 37500},
      {6, unreachable, 0.0, 675 * kSecond},
      {6, unreachable, 0.75, 1012500},
      {1, unreachable, -3.0, 22500},  // random values outside [0, 1) clamped
      {1, unreachable, 7.0, 37500},
      {1, refused, 0.5, 2 * kSecond},
      {3, refused, 0.5, 8 * kSecond},
      {6, refused, 0.5, 1 * kMinute},  // 64 s capped
      {6, refused, 0.0, 45 * kSecond},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DelayAfterFailures(c.failures, c.kind, c.random), c.delay)
        << c.failures << (c.kind == refused ? " refused " : " unreachable ") << c.random;
  // Another policy: no jitter, a first delay beyond the largest.
  RetryPolicy steady;
  steady.jitter = 0;
  steady.firstDelayMs = 20 * kMinute;
  EXPECT_EQ(DelayAfterFailures(1, unreachable, 0.0, steady), 15 * kMinute);
}

TEST(RetryPlan, AMessageExpiresAWeekAfterItWasWritten) {
  const WaitingMessage m = For("a", "pc-b");
  EXPECT_EQ(m.expiresAt - m.writtenAt, 7 * 24 * 60 * kMinute);
  EXPECT_FALSE(Expired(m, m.expiresAt - 1));
  EXPECT_TRUE(Expired(m, m.expiresAt));
  WaitingMessage unknown = m;
  unknown.state = WaitState::kUnknown;
  EXPECT_TRUE(Expired(unknown, m.expiresAt + 1));
  // An expired message is never tried.
  EXPECT_EQ(DueMessages({m}, m.expiresAt - 1), std::vector<std::size_t>{0});
  EXPECT_TRUE(DueMessages({m}, m.expiresAt).empty());
}

TEST(RetryPlan, OnlyAWaitingMessageWhoseTimeHasComeIsDue) {
  WaitingMessage m = For("a", "pc-b");
  m.nextAttemptAt = kStart + 30 * kSecond;
  struct Case {
    WaitState state;
    int64_t now;
    bool due;
  };
  const Case cases[] = {
      {WaitState::kWaiting, kStart + 30 * kSecond - 1, false},
      {WaitState::kWaiting, kStart + 30 * kSecond, true},
      {WaitState::kSending, kStart + kMinute, false},
      {WaitState::kUnknown, kStart + kMinute, false},
      // The clock set back a day: the time lies further ahead than any delay.
      {WaitState::kWaiting, kStart - 24 * 60 * kMinute, true},
      // Back by as much as the longest delay could be: still waits.
      {WaitState::kWaiting, kStart + 30 * kSecond - 1125 * kSecond, false},
  };
  for (const Case& c : cases) {
    m.state = c.state;
    EXPECT_EQ(IsDue(m, c.now), c.due) << static_cast<int>(c.state) << " at " << c.now - kStart;
  }
}

TEST(RetryPlan, AReceiverThatStaysAwayIsTriedLessAndLessOften) {
  // One message, failing at each attempt; random 0.5 (no jitter) on a clock
  // that jumps to each due moment.
  std::vector<WaitingMessage> messages = {For("a", "pc-b")};
  int64_t now = kStart;
  std::vector<int64_t> gaps;
  for (int attempt = 0; attempt < 8; ++attempt) {
    ASSERT_EQ(DueMessages(messages, now), std::vector<std::size_t>{0}) << attempt;
    BeginAttempt(messages[0]);
    EXPECT_TRUE(DueMessages(messages, now).empty()) << "an attempt under way is never due";
    RecordFailedAttempt(messages, 0, FailureKind::kUnreachable, "接続できません", now, 0.5);
    EXPECT_TRUE(DueMessages(messages, messages[0].nextAttemptAt - 1).empty()) << attempt;
    gaps.push_back((messages[0].nextAttemptAt - now) / kSecond);
    now = messages[0].nextAttemptAt;
  }
  EXPECT_EQ(gaps, (std::vector<int64_t>{30, 60, 120, 240, 480, 900, 900, 900}));
  EXPECT_EQ(messages[0].attempts, 8u);
  EXPECT_EQ(messages[0].state, WaitState::kWaiting);
  EXPECT_EQ(messages[0].lastReason, "接続できません");
}

TEST(RetryPlan, AReceiverSeenAgainGetsItsMessagesSoonInOrderAndARefusalWaitsBriefly) {
  // Three messages kept for pc-b (PC-B once, as a name may come), one for
  // pc-c, and one for pc-b whose outcome is unknown.
  std::vector<WaitingMessage> messages = {For("1", "pc-b"), For("2", "pc-c"), For("3", "PC-B"), For("4", "pc-b"),
                                          For("5", "pc-b")};
  messages[4].state = WaitState::kUnknown;
  messages[4].failuresSinceSeen = 3;
  int64_t now = kStart;
  // pc-b fails five times (the back-off reaches 8 minutes); pc-c is tried at
  // its own time.
  for (int i = 0; i < 5; ++i) {
    RecordFailedAttempt(messages, 0, FailureKind::kUnreachable, "x", now, 0.5);
    now = messages[0].nextAttemptAt;
  }
  for (std::size_t i : {0u, 2u, 3u}) {
    EXPECT_EQ(messages[i].nextAttemptAt, messages[0].nextAttemptAt) << "one back-off for one receiver";
    EXPECT_EQ(messages[i].failuresSinceSeen, 5u);
  }
  EXPECT_EQ(DueMessages(messages, now - 1), std::vector<std::size_t>{1});

  // A message added meanwhile fails on its first attempt: it joins the
  // receiver's back-off rather than coming back before the older ones.
  now = messages[0].nextAttemptAt - 4 * kMinute;
  messages.push_back(For("6", "pc-b"));
  RecordFailedAttempt(messages, 5, FailureKind::kUnreachable, "x", now, 0.5);
  EXPECT_EQ(messages[5].nextAttemptAt, now + 15 * kMinute);
  EXPECT_EQ(messages[0].nextAttemptAt, now + 15 * kMinute);

  // pc-b announces itself: its waiting messages come within 2 s, together,
  // and the unknown one stays with the user.
  ReceiverSeenAgain(messages, "Pc-B", now, 0.25);
  EXPECT_TRUE(DueMessages(messages, now + 499) == std::vector<std::size_t>{1}) << "pc-c is due already";
  EXPECT_EQ(DueMessages(messages, now + 500), (std::vector<std::size_t>{0, 1, 2, 3, 5}));
  EXPECT_EQ(messages[4].state, WaitState::kUnknown);
  EXPECT_EQ(messages[4].failuresSinceSeen, 3u) << "left as it was";
  EXPECT_EQ(messages[1].failuresSinceSeen, 0u);
  EXPECT_EQ(messages[0].failuresSinceSeen, 0u);

  // Its share refuses the first: a short wait, for all of its messages.
  now += 500;
  BeginAttempt(messages[0]);
  RecordFailedAttempt(messages, 0, FailureKind::kRefused, "受け取れません", now, 0.5);
  EXPECT_EQ(messages[0].nextAttemptAt, now + 2 * kSecond);
  EXPECT_EQ(DueMessages(messages, now + 2 * kSecond - 1), std::vector<std::size_t>{1});
  EXPECT_EQ(DueMessages(messages, now + 2 * kSecond), (std::vector<std::size_t>{0, 1, 2, 3, 5}));

  // Seen again while already due sooner: stays sooner.
  ReceiverSeenAgain(messages, "pc-b", now, 1.0);
  EXPECT_EQ(messages[0].nextAttemptAt, now + 2 * kSecond);
}

TEST(RetryPlan, CopiesWaitingForOneReceiverArriveSpreadOverTwoSeconds) {
  // Thirty copies, each with its own random value, see the receiver at the
  // same moment.
  std::vector<int64_t> times;
  for (int copy = 0; copy < 30; ++copy) {
    std::vector<WaitingMessage> kept = {For("m", "pc-b")};
    kept[0].nextAttemptAt = kStart + 15 * kMinute;
    ReceiverSeenAgain(kept, "pc-b", kStart, copy / 30.0);
    times.push_back(kept[0].nextAttemptAt - kStart);
  }
  for (int copy = 0; copy < 30; ++copy) EXPECT_EQ(times[copy], (copy * 2000 + 15) / 30) << copy;
}
