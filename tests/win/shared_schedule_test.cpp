// Two copies of the program keeping their schedule in one folder (two users
// of one shared folder): each stores its own changes into what the file
// holds, and an entry due for both is sent by one of them only. The copies
// are two schedulers in this process, each with a sender that only records
// what it is asked to send, so the test decides when a connection stands.
#include "app_fixture.h"

#include <map>

#include "messaging/message_sender.h"
#include "platform/clock.h"
#include "schedule/schedule_file.h"
#include "schedule/scheduler.h"

namespace vello::testing {
namespace {

class RecordingSender : public MessageSender {
 public:
  SendTicket Send(SendRequest request) override {
    requests[++last] = std::move(request);
    return last;
  }
  void Cancel(SendTicket ticket) override { requests.erase(ticket); }
  void Withdraw(const std::string&) override {}

  // The connection of the one request waiting stands: what goes out, if anything.
  std::optional<OutgoingMessage> Connect() {
    EXPECT_EQ(requests.size(), 1u);
    if (requests.empty()) return std::nullopt;
    SendRequest request = requests.begin()->second;
    requests.clear();
    std::optional<OutgoingMessage> message = request.compose();
    request.ended(message ? SendOutcome::Sent : SendOutcome::Dropped);
    return message;
  }

  std::map<SendTicket, SendRequest> requests;
  SendTicket last = 0;
};

class SharedSchedule : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    SetClockForTests([] { return LocalDateTime{2026, 12, 10, 14, 35, 3}; });
  }
  void TearDown() override {
    SetClockForTests({});
    AppFixture::TearDown();
  }

  static TScheduleEntry Entry(const std::string& text, const std::string& when = "2026/12/11 9:00") {
    TScheduleEntry e;
    e.SetDateTime(when);
    e.SetDestination("127.0.0.1");
    e.SetText(text + "\r\n");
    e.SetImportance("N");
    return e;
  }
  EntryId Add(TScheduler& copy, const std::string& text, const std::string& when = "2026/12/11 9:00") {
    return copy.Add(Entry(text, when), when, "127.0.0.1", text);
  }
  // Texts of the entries, as the file holds them and as a copy does.
  std::vector<std::string> InFile() {
    std::vector<TScheduleEntry> records;
    LoadScheduleFile(PathBeside("t.dat"), records);
    std::vector<std::string> texts;
    for (const TScheduleEntry& e : records) texts.push_back(e.Text() + (e.Sent() ? "(済)" : ""));
    return texts;
  }
  static std::vector<std::string> Held(const TScheduler& copy) {
    std::vector<std::string> texts;
    for (const ScheduledEntry& e : copy.entries()) texts.push_back(e.record.Text() + (e.record.Sent() ? "(済)" : ""));
    return texts;
  }

  RecordingSender senderA_, senderB_;
  TScheduler a_{senderA_}, b_{senderB_};
};

TEST_F(SharedSchedule, EachCopyStoresItsChangesIntoWhatTheFileHoldsNow) {
  a_.LoadSchedule();
  b_.LoadSchedule();
  Add(a_, "Aの予約");
  Add(b_, "Bの予約");  // B never read A's entry
  EXPECT_EQ(InFile(), (std::vector<std::string>{"Aの予約\r\n", "Bの予約\r\n"}));
  EXPECT_EQ(Held(b_), InFile());

  // A deletes its entry without having seen B's.
  a_.Delete(a_.entries()[0].id);
  EXPECT_EQ(InFile(), std::vector<std::string>{"Bの予約\r\n"});
  EXPECT_EQ(Held(a_), InFile());

  // B deletes A's entry, which A has deleted already, and adds another:
  // nothing else goes.
  ASSERT_EQ(b_.entries()[0].record.Text(), "Aの予約\r\n");
  b_.Delete(b_.entries()[0].id);
  Add(b_, "Bの二つ目");
  EXPECT_EQ(InFile(), (std::vector<std::string>{"Bの予約\r\n", "Bの二つ目\r\n"}));

  // Exits: a copy with nothing left to store leaves the file alone.
  a_.SaveAtExit();
  b_.SaveAtExit();
  EXPECT_EQ(InFile(), (std::vector<std::string>{"Bの予約\r\n", "Bの二つ目\r\n"}));
}

TEST_F(SharedSchedule, AnEntryDueForBothCopiesIsSentByOneOnly) {
  Add(a_, "一度だけ", "2026/12/10 14:35");
  b_.LoadSchedule();
  RecordingSender senderC;
  TScheduler c(senderC);
  c.LoadSchedule();
  // A and B hand it over in the same minute, before either connection stands.
  a_.OnCheckTick();
  b_.OnCheckTick();
  ASSERT_EQ(senderA_.requests.size(), 1u);
  ASSERT_EQ(senderB_.requests.size(), 1u);

  std::optional<OutgoingMessage> first = senderA_.Connect();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->text, "一度だけ\r\n");
  EXPECT_EQ(InFile(), std::vector<std::string>{"一度だけ\r\n(済)"});
  // B's connection stands later: A has marked it sent, so B sends nothing,
  // and shows it sent.
  EXPECT_FALSE(senderB_.Connect());
  EXPECT_EQ(Held(b_), std::vector<std::string>{"一度だけ\r\n(済)"});
  EXPECT_EQ(InFile(), std::vector<std::string>{"一度だけ\r\n(済)"});

  // A third copy that read the file before the send does not even hand it
  // over at its tick, and learns of what was added meanwhile.
  Add(a_, "次の分", "2026/12/10 14:36");
  c.OnCheckTick();
  EXPECT_TRUE(senderC.requests.empty());
  EXPECT_EQ(Held(c), (std::vector<std::string>{"一度だけ\r\n(済)", "次の分\r\n"}));
}

TEST_F(SharedSchedule, AnEntryAnotherCopyDeletedIsNotSent) {
  Add(a_, "消される", "2026/12/10 14:35");
  b_.LoadSchedule();
  a_.OnCheckTick();
  ASSERT_EQ(senderA_.requests.size(), 1u);
  b_.Delete(b_.entries()[0].id);
  EXPECT_FALSE(senderA_.Connect());
  EXPECT_TRUE(a_.entries().empty());
  EXPECT_EQ(InFile(), std::vector<std::string>{});
}

}  // namespace
}  // namespace vello::testing
