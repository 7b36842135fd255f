// The outbox's waiting list over its file: a message is claimed in the file
// before its line goes out, so two copies sharing the folder never send it
// both, and an attempt the program's end cut short is never repeated by
// itself; a receiver's messages are tried one at a time, in order.
#include <gtest/gtest.h>

#include "temp_folder.h"

#include "messaging/waiting_file.h"
#include "messaging/waiting_list.h"

using namespace vello;

namespace {

WaitingMessage Message(const std::string& id, const std::string& host, int64_t written) {
  WaitingMessage m;
  m.id = id;
  m.destination = m.host = host;
  m.text = id + "\r\n";
  m.importance = "N";
  m.writtenAt = written;
  m.expiresAt = written + 1'000'000;
  m.lastReason = "Vello が起動していません";
  return m;
}

class WaitingListTest : public vello::testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    file_ = PathOf("vello.wait");
  }
  std::filesystem::path file_;
  RetryPolicy policy_;
};

TEST_F(WaitingListTest, TwoCopiesSharingTheFileNeverBothClaimOneMessage) {
  WaitingList mine(file_), theirs(file_);
  mine.Add(Message("m1", "pc-b", 0), FailureKind::kUnreachable, 0, policy_, 0.5);
  theirs.Load();
  ASSERT_EQ(theirs.messages().size(), 1u);
  EXPECT_TRUE(mine.Claim("m1"));
  EXPECT_FALSE(theirs.Claim("m1"));  // already being sent
  mine.Delivered("m1");
  EXPECT_FALSE(theirs.Claim("m1"));  // gone
  EXPECT_TRUE(LoadWaitingFile(file_).empty());
}

TEST_F(WaitingListTest, AnAttemptCutShortIsUnknownAfterAStartAndNotDue) {
  {
    WaitingList before(file_);
    before.Add(Message("m1", "pc-b", 0), FailureKind::kUnreachable, 0, policy_, 0.5);
    ASSERT_TRUE(before.Claim("m1"));
    // The program ends here, mid-attempt.
  }
  WaitingList after(file_);
  after.Load();
  ASSERT_EQ(after.messages().size(), 1u);
  EXPECT_EQ(after.messages()[0].state, WaitState::kUnknown);
  EXPECT_TRUE(after.Due(10'000'000, policy_).empty());
  after.SeenAgain({"pc-b"}, 0, policy_, 0.5);
  EXPECT_TRUE(after.Due(10'000'000, policy_).empty());
  // Only the user sends it again.
  after.SendNow("m1", 5);
  EXPECT_EQ(after.Due(5, policy_), std::vector<std::string>{"m1"});
}

TEST_F(WaitingListTest, AReceiversMessagesGoOneAtATimeInOrderAndAFailureBacksOff) {
  WaitingList list(file_);
  list.Add(Message("b1", "pc-b", 1), FailureKind::kUnreachable, 0, policy_, 0.5);
  list.Add(Message("b2", "PC-B", 2), FailureKind::kUnreachable, 0, policy_, 0.5);
  list.Add(Message("c1", "pc-c", 3), FailureKind::kUnreachable, 0, policy_, 0.5);
  EXPECT_TRUE(list.Due(0, policy_).empty());
  // pc-b's two share one back-off, now at its second step; pc-c's is at its first.
  EXPECT_EQ(list.Find("b1")->nextAttemptAt, policy_.firstDelayMs * 2);
  EXPECT_EQ(list.NextAttemptAt(), std::optional<int64_t>(policy_.firstDelayMs));
  list.SeenAgain({"pc-b"}, 1000, policy_, 0.0);
  EXPECT_EQ(list.Due(1000, policy_), std::vector<std::string>{"b1"});
  list.MarkTrying("b1");
  EXPECT_TRUE(list.Due(1000, policy_).empty());  // b2 waits for b1
  ASSERT_TRUE(list.Claim("b1"));
  list.Failed("b1", FailureKind::kUnreachable, "接続できません", 1000, policy_, 0.5);
  EXPECT_TRUE(list.Due(1000, policy_).empty());
  const WaitingMessage* b1 = list.Find("b1");
  ASSERT_NE(b1, nullptr);
  EXPECT_EQ(b1->state, WaitState::kWaiting);
  EXPECT_EQ(b1->attempts, 1u);
  EXPECT_EQ(b1->lastReason, "接続できません");
  EXPECT_EQ(b1->nextAttemptAt, 1000 + policy_.firstDelayMs);  // afresh since seen
  EXPECT_EQ(list.Find("b2")->nextAttemptAt, b1->nextAttemptAt);
  list.Drop("b2");
  EXPECT_EQ(LoadWaitingFile(file_).size(), 2u);
}

}  // namespace

TEST_F(WaitingListTest, AScheduledEntryIsKeptOnceAndGoesWhenItsEntryIsDeleted) {
  // Two copies sharing the folder both tried the entry at its minute.
  WaitingList mine(file_), theirs(file_);
  WaitingMessage scheduled = Message("s1", "pc-b", 0);
  scheduled.scheduleKey = "0123456789abcdef";
  mine.Add(scheduled, FailureKind::kUnreachable, 0, policy_, 0.5);
  WaitingMessage again = scheduled;
  again.id = "s2";
  theirs.Add(again, FailureKind::kUnreachable, 0, policy_, 0.5);
  mine.Add(Message("m1", "pc-b", 1), FailureKind::kUnreachable, 0, policy_, 0.5);
  std::vector<WaitingMessage> stored = LoadWaitingFile(file_);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].id, "s1");
  EXPECT_EQ(stored[0].scheduleKey, "0123456789abcdef");
  EXPECT_EQ(stored[1].id, "m1");
  // The entry deleted: its message goes, the other stays.
  theirs.DropScheduled("0123456789abcdef");
  stored = LoadWaitingFile(file_);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].id, "m1");
}
