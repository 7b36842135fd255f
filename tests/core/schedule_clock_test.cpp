// The scheduler's time texts and due rule.
#include <gtest/gtest.h>

#include "schedule/schedule_clock.h"
#include "schedule/schedule_entry.h"

using namespace vello;

TEST(ScheduleClock, CurrentTimeTextHasNoLeadingZeros) {
  EXPECT_EQ(CurrentTimeText(2002, 7, 5, 9, 5), "2002/7/5 9:5");
  EXPECT_EQ(CurrentTimeText(2002, 7, 5, 0, 0), "2002/7/5 0:0");
  EXPECT_EQ(CurrentTimeText(2026, 12, 10, 14, 5), "2026/12/10 14:5");
  EXPECT_EQ(CurrentTimeText(2002, 12, 31, 23, 59), "2002/12/31 23:59");
}

TEST(ScheduleClock, DueOnlyInItsMinuteAndOnlyOnce) {
  const std::string now = CurrentTimeText(2002, 7, 5, 9, 30);
  struct Case { const char* row; const char* caption; bool due; } cases[] = {
    {"2002/7/5 9:30", "", true},
    {"2002/7/5 9:30", "済", false},
    {"2002/07/05 9:30", "", false},   // leading zeros never match
    {"2002/7/5 09:30", "", false},
    {"2002/7/5 9:29", "", false},     // a minute already past
    {"2002/7/5 9:31", "", false},
    {"2002/7/5 9:3", "", false},
    {"2002/7/5 9:30 ", "", false},
    {"", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsDue(c.row, c.caption, now), c.due) << c.row << " / " << c.caption;
}

TEST(ScheduleClock, FullDateTimeFallsDueAfterAReload) {
  // Typed with two-digit numbers, the row text is 16 bytes; stored and read
  // back it must still equal the current-time text of its minute.
  const std::string typed = ComposeDateTimeText("2026", "12", "10", "14", "15");
  EXPECT_EQ(typed, "2026/12/10 14:15");
  TScheduleEntry e;
  e.SetDateTime(typed);
  TScheduleEntry reloaded = TScheduleEntry::FromBytes(
      std::string(reinterpret_cast<const char*>(e.bytes().data()), e.bytes().size()));
  EXPECT_TRUE(IsDue(reloaded.DateTime(), "", CurrentTimeText(2026, 12, 10, 14, 15)));
  EXPECT_FALSE(IsDue(reloaded.DateTime(), "", CurrentTimeText(2026, 12, 10, 14, 1)));
}

TEST(ScheduleClock, DateTimeIsComposedAsTyped) {
  EXPECT_EQ(ComposeDateTimeText("2002", "7", "5", "9", "30"), "2002/7/5 9:30");
  EXPECT_EQ(ComposeDateTimeText("2002", "2", "31", "x", ""), "2002/2/31 x:");
  EXPECT_EQ(ComposeDateTimeText("", "", "", "", ""), "// :");
}

TEST(ScheduleClock, RowTextDropsTheFinalLineBreak) {
  EXPECT_EQ(RowTextFromStored("a\r\nb\r\n"), "a\r\nb");
  EXPECT_EQ(RowTextFromStored("\r\n"), "");
  EXPECT_EQ(RowTextFromStored("a"), "");
  EXPECT_EQ(RowTextFromStored(""), "");

  // A 255-byte message: stored with its CR LF cut to 255 bytes loses the
  // line break, and the row then loses its last two characters' bytes.
  const std::string message(255, 'm');
  TScheduleEntry e;
  e.SetText(message + "\r\n");
  EXPECT_EQ(e.Text(), message);
  EXPECT_EQ(RowTextFromStored(e.Text()), message.substr(0, 253));
}

TEST(ScheduleClock, YearChoicesStartAtThePresentYear) {
  EXPECT_EQ(YearChoices(2026), (std::vector<std::string>{"2026", "2027", "2028", "2029", "2030"}));
}
