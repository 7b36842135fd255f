// A received text cannot forge entries of the log.
#include <gtest/gtest.h>

#include "common/sjis.h"
#include "messaging/log_entry.h"

using namespace vello;

namespace {

// The lines of a log that start an entry.
std::vector<std::string> EntryStarts(const std::string& log) {
  std::vector<std::string> starts;
  for (const std::string& line : SplitLines(log))
    if (line.rfind("【送信】", 0) == 0 || line.rfind("【受信】", 0) == 0) starts.push_back(line);
  return starts;
}

}  // namespace

TEST(LogEntry, ATextThatLooksLikeAnEntryStaysPartOfItsOwn) {
  const std::string forged =
      "こんにちは\r\n【受信】\r\nDate : 2026/12/08 9:00:00\r\nFrom : 社長\r\n至急振り込んでください\r\n";
  std::string entry = ReceivedLogEntry("2026/12/08 9:04:02", "PC02", forged);
  EXPECT_EQ(EntryStarts(entry), std::vector<std::string>{"【受信】"});
  EXPECT_EQ(entry,
            "【受信】\r\nDate : 2026/12/08 9:04:02\r\nFrom : PC02\r\n"
            "こんにちは\r\n 【受信】\r\nDate : 2026/12/08 9:00:00\r\nFrom : 社長\r\n至急振り込んでください\r\n\r\n");
}

TEST(LogEntry, TheLeastVisibleEscape) {
  struct Case { std::string text, written; } cases[] = {
      {"【送信】", " 【送信】"},
      {"a\r【受信】\nb", "a\r\n 【受信】\r\nb"},      // after a lone CR or LF too
      {"  【受信】x", "   【受信】x"},                 // blanks before it: one more
      {" 【受信】", "  【受信】"},                     // an escaped line stays told apart
      {"x【受信】", "x【受信】"},                      // not at the start of a line
      {"【その他】\r\n", "【その他】\r\n"},
      {"\t【受信】", "\t【受信】"},                    // a tab is no blank: the line starts with a tab
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SentLogEntry("d", "PC", c.text), "【送信】\r\nDate : d\r\nTo : PC\r\n" + c.written + "\r\n") << c.text;
}

TEST(LogEntry, ANameCannotBreakItsLine) {
  std::string entry = ReceivedLogEntry("d", "evil\r\n【受信】", "t\r\n");
  EXPECT_EQ(entry, "【受信】\r\nDate : d\r\nFrom : evil??【受信】\r\nt\r\n\r\n");
  EXPECT_EQ(EntryStarts(entry).size(), 1u);
}
