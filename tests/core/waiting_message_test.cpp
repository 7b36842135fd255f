// The text of the waiting file: every message reads back as written, whatever
// its bytes; a damaged or cut line is kept aside, never read as a message,
// and never takes the lines around it along.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "messaging/waiting_message.h"

using namespace vello;

namespace {

// One line of the file as this version writes it, with its check
// (CRC-32 of the bytes before ",check=", computed apart from the program).
const std::string kGoldenRecord =
    "id=7f3a,dest=*営業 (pc-b),host=pc-b,written=1767225600000,expires=1767830400000,attempts=2,failures=1,"
    "next=1767225660000,state=waiting,reason=接続できません,schedule=,width=300,height=200,color=16777215,"
    "fontColor=0,fontSize=10,font=ＭＳ ゴシック,style=1,importance=P,text=表示%0D%0A100%25%2C ok,check=C6159551";

WaitingMessage GoldenMessage() {
  WaitingMessage m;
  m.id = "7f3a";
  m.destination = "*営業 (pc-b)";
  m.host = "pc-b";
  m.writtenAt = 1767225600000;
  m.expiresAt = 1767830400000;
  m.attempts = 2;
  m.failuresSinceSeen = 1;
  m.nextAttemptAt = 1767225660000;
  m.lastReason = "接続できません";
  m.look = {.width = 300, .height = 200, .color = 0xFFFFFF, .fontColor = 0, .fontSize = 10,
            .fontName = "ＭＳ ゴシック", .fontStyle = 1};
  m.importance = "P";
  m.text = "表示\r\n100%, ok";
  return m;
}

WaitingMessage Message(std::string id, std::string text) {
  WaitingMessage m = GoldenMessage();
  m.id = std::move(id);
  m.text = std::move(text);
  return m;
}

// Every byte value, and every double-byte character code page 932 can hold
// (lead 81-9F, E0-FC; trail 40-7E, 80-FC), each also followed by the bytes
// the file escapes, and lead bytes cut off right before them.
std::string EveryByteAndPair() {
  std::string text;
  for (int b = 0; b < 256; ++b) text += static_cast<char>(b);
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      text += static_cast<char>(lead);
      text += static_cast<char>(trail);
    }
    for (const char* after : {",", "%", "\r", "\n", "=", "\\", "\""}) {
      text += static_cast<char>(lead);
      text += after;
    }
  }
  return text;
}

std::vector<std::string> LinesOf(const std::string& file) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = file.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(file.substr(start, end - start));
  EXPECT_EQ(start, file.size()) << "the file does not end with a line break";
  return lines;
}

// A record line for `body` with the check that fits it, computed here as
// CRC-32 (reflected, polynomial 0xEDB88320) independently of the program.
std::string WithCheck(const std::string& body) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : body) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(crc ^ 0xFFFFFFFFu));
  return body + ",check=" + hex;
}

}  // namespace

TEST(WaitingFileText, TheFormatIsFixedByteForByte) {
  const std::string file = "VelloWaiting 1\r\n" + kGoldenRecord + "\r\n";
  EXPECT_EQ(EncodeWaitingFile({GoldenMessage()}), file);
  std::vector<std::string> unreadable{"left over"};
  std::vector<WaitingMessage> read = DecodeWaitingFile(file, &unreadable);
  EXPECT_EQ(read, std::vector<WaitingMessage>{GoldenMessage()});
  EXPECT_TRUE(unreadable.empty());
  EXPECT_EQ(WaitingFileVersion(file), 1);
  EXPECT_EQ(EncodeWaitingFile({}), "VelloWaiting 1\r\n");
}

TEST(WaitingFileText, HostileTextReadsBackExactlyAndStaysOnItsLine) {
  const std::vector<std::string> texts = {
      "",
      "\r",
      "\n",
      "\r\n\r\n",
      "a,b;c",
      "\"quoted\" \"\"",
      "%",
      "%41 %0D %%",
      "=",
      "x,check=00000000",
      std::string("nul\0byte", 8),
      "表示ソ能\\",  // trail bytes 0x5C
      "ァ@ー|",      // trail bytes 0x40 and 0x7C
      "\x81",       // a lead byte cut off at the end
      EveryByteAndPair(),
      std::string(320 * 1024, '\n'),
      std::string(320 * 1024 / 2, '\x81') + std::string(320 * 1024 / 2, ','),
  };
  std::vector<WaitingMessage> messages;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    WaitingMessage m = Message("id" + std::to_string(i), texts[i]);
    // Every text field, not only the message's own.
    m.destination = m.host = m.lastReason = m.scheduleKey = m.look.fontName = m.importance =
        texts[i].substr(0, 300);
    m.id += m.destination;
    m.state = i % 3 == 0 ? WaitState::kWaiting : i % 3 == 1 ? WaitState::kSending : WaitState::kUnknown;
    m.writtenAt = -1 - static_cast<int64_t>(i);
    m.expiresAt = INT64_MAX - static_cast<int64_t>(i);
    m.nextAttemptAt = INT64_MIN + static_cast<int64_t>(i);
    m.attempts = UINT32_MAX - static_cast<uint32_t>(i);
    m.look.color = INT32_MIN;
    m.look.fontStyle = 255;
    messages.push_back(m);
  }
  const std::string file = EncodeWaitingFile(messages);
  // No byte of a field broke a line: one line for each message after the first.
  EXPECT_EQ(LinesOf(file).size(), messages.size() + 1);
  std::vector<std::string> unreadable;
  std::vector<WaitingMessage> read = DecodeWaitingFile(file, &unreadable);
  EXPECT_TRUE(unreadable.empty()) << unreadable.size();
  ASSERT_EQ(read.size(), messages.size());
  for (std::size_t i = 0; i < messages.size(); ++i) EXPECT_TRUE(read[i] == messages[i]) << "message " << i;
}

TEST(WaitingFileText, ADamagedLineIsKeptAsideAndTheOthersRead) {
  const std::vector<std::string> lines = LinesOf(EncodeWaitingFile({Message("a", "first"), Message("c", "third")}));
  const std::string record = LinesOf(EncodeWaitingFile({Message("b", "second")}))[1];
  const std::string body = record.substr(0, record.rfind(",check="));
  auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  struct Case {
    const char* what;
    std::string line;
  };
  const std::vector<Case> cases = {
      // Damage the check finds.
      {"a byte of the text changed", replaced(record, "text=second", "text=secont")},
      {"a byte of the check changed", record.substr(0, record.size() - 1) + (record.back() == '0' ? "1" : "0")},
      {"no check", body},
      {"the check cut short", record.substr(0, record.size() - 2)},
      {"cut in the text", record.substr(0, record.find("text=") + 7)},
      {"cut in the first field", "id=b"},
      {"plain words", "hello, world"},
      {"a NUL and a lone CR", std::string("\0\r\0", 3)},
      // Lines whose check fits but whose fields do not read.
      {"an escape cut short", WithCheck(body + "%4")},
      {"an escape not in hex", WithCheck(replaced(body, "text=second", "text=%zz"))},
      {"an escape of a byte never escaped", WithCheck(replaced(body, "text=second", "text=%41"))},
      {"a field without =", WithCheck(replaced(body, ",state=waiting", ",state"))},
      {"a field missing", WithCheck(replaced(body, ",attempts=2", ""))},
      {"a field twice", WithCheck(body + ",host=pc-z")},
      {"a second check", WithCheck(body + ",check=00000000")},
      {"a number that is not one", WithCheck(replaced(body, "written=1767225600000", "written=17x"))},
      {"a number out of range", WithCheck(replaced(body, "attempts=2", "attempts=4294967296"))},
      {"a style out of range", WithCheck(replaced(body, "style=1", "style=256"))},
      {"a state unknown", WithCheck(replaced(body, "state=waiting", "state=paused"))},
      {"an empty id", WithCheck(replaced(body, "id=b", "id="))},
      {"the id of a message read before", WithCheck(replaced(body, "id=b", "id=a"))},
  };
  for (const Case& c : cases) {
    const std::string file = "VelloWaiting 1\r\n" + lines[1] + "\r\n" + c.line + "\r\n" + lines[2] + "\r\n";
    std::vector<std::string> unreadable;
    std::vector<WaitingMessage> read = DecodeWaitingFile(file, &unreadable);
    ASSERT_EQ(read.size(), 2u) << c.what;
    EXPECT_EQ(read[0].text, "first") << c.what;
    EXPECT_EQ(read[1].text, "third") << c.what;
    EXPECT_EQ(unreadable, std::vector<std::string>{c.line}) << c.what;
    // Written back, the line is there as it was, and stays unreadable.
    std::vector<std::string> again;
    EXPECT_EQ(DecodeWaitingFile(EncodeWaitingFile(read, unreadable), &again), read) << c.what;
    EXPECT_EQ(again, unreadable) << c.what;
  }
  // The same line with its own id reads: the faults above are the fields'.
  std::vector<std::string> unreadable;
  EXPECT_EQ(DecodeWaitingFile("VelloWaiting 1\r\n" + WithCheck(body) + "\r\n", &unreadable).size(), 1u);
  EXPECT_TRUE(unreadable.empty());
}

TEST(WaitingFileText, AFileCutAnywhereInARecordLosesOnlyThatRecord) {
  const std::string two = EncodeWaitingFile({Message("a", "first"), Message("b", "second")});
  const std::string file = EncodeWaitingFile({Message("a", "first"), Message("b", "second"), Message("c", "third")});
  for (std::size_t cut = two.size() + 1; cut < file.size(); ++cut) {
    const std::string bytes = file.substr(0, cut);
    std::vector<std::string> unreadable;
    std::vector<WaitingMessage> read = DecodeWaitingFile(bytes, &unreadable);
    // Only a cut in the line break leaves the third record whole.
    const bool whole = cut >= file.size() - 2;
    ASSERT_EQ(read.size(), whole ? 3u : 2u) << cut;
    EXPECT_EQ(read[0], Message("a", "first")) << cut;
    EXPECT_EQ(read[1], Message("b", "second")) << cut;
    EXPECT_EQ(unreadable, whole ? std::vector<std::string>{} : std::vector<std::string>{bytes.substr(two.size())})
        << cut;
  }
}

TEST(WaitingFileText, TheFirstLineDecidesWhetherTheFileIsReadAtAll) {
  const std::string records = LinesOf(EncodeWaitingFile({Message("a", "first")}))[1] + "\r\n";
  std::vector<std::string> unreadable;
  // A newer version: nothing is read as this one's, everything kept aside.
  EXPECT_EQ(WaitingFileVersion("VelloWaiting 2\r\n" + records), 2);
  EXPECT_TRUE(DecodeWaitingFile("VelloWaiting 2\r\n" + records, &unreadable).empty());
  EXPECT_EQ(unreadable, (std::vector<std::string>{"VelloWaiting 2", records.substr(0, records.size() - 2)}));
  // A first line damaged or missing: it is kept aside, the records still read.
  for (const std::string& first : {std::string("VelloWaitin"), std::string("VelloWaiting x"),
                                   std::string("VelloWaiting -1"), std::string("\x83\x5C")}) {
    EXPECT_EQ(WaitingFileVersion(first + "\r\n" + records), std::nullopt) << first;
    EXPECT_EQ(DecodeWaitingFile(first + "\r\n" + records, &unreadable).size(), 1u) << first;
    EXPECT_EQ(unreadable, std::vector<std::string>{first});
  }
  EXPECT_EQ(DecodeWaitingFile(records, &unreadable).size(), 1u);
  EXPECT_TRUE(unreadable.empty());
  // Empty files and empty lines hold nothing and lose nothing.
  EXPECT_TRUE(DecodeWaitingFile("", &unreadable).empty());
  EXPECT_TRUE(unreadable.empty());
  EXPECT_EQ(DecodeWaitingFile("VelloWaiting 1\r\n\r\n\n" + records + "\r\n", &unreadable).size(), 1u);
  EXPECT_TRUE(unreadable.empty());
}

TEST(WaitingFileText, FieldsOfANewerCopyAreKeptAndWrittenBack) {
  const std::string record = LinesOf(EncodeWaitingFile({Message("a", "first")}))[1];
  std::string body = record.substr(0, record.rfind(",check="));
  body.insert(body.find(",text="), ",priority=high%2C urgent,zz=");
  const std::string file = "VelloWaiting 1\r\n" + WithCheck(body) + "\r\n";
  std::vector<std::string> unreadable;
  std::vector<WaitingMessage> read = DecodeWaitingFile(file, &unreadable);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_TRUE(unreadable.empty());
  EXPECT_EQ(read[0].text, "first");
  EXPECT_EQ(read[0].laterFields, (std::vector<std::string>{"priority=high%2C urgent", "zz="}));
  EXPECT_EQ(EncodeWaitingFile(read), file);
}

TEST(WaitingFileText, AnAttemptCutShortBecomesUnknown) {
  std::vector<WaitingMessage> messages = {Message("a", ""), Message("b", ""), Message("c", "")};
  messages[0].state = WaitState::kSending;
  messages[2].state = WaitState::kUnknown;
  EXPECT_TRUE(SettleInterruptedAttempts(messages));
  EXPECT_EQ(messages[0].state, WaitState::kUnknown);
  EXPECT_EQ(messages[1].state, WaitState::kWaiting);
  EXPECT_EQ(messages[2].state, WaitState::kUnknown);
  EXPECT_FALSE(SettleInterruptedAttempts(messages));
}
