// The 344-byte schedule record: offsets, capacities, cuts and byte order.
#include <gtest/gtest.h>

#include <string>

#include "schedule/schedule_entry.h"

using namespace vello;

namespace {

std::string Bytes(const TScheduleEntry& e) {
  return std::string(reinterpret_cast<const char*>(e.bytes().data()), e.bytes().size());
}

// A record image built by hand: zero except what each case puts at its offset.
struct Image {
  std::string b = std::string(TScheduleEntry::kSize, '\0');
  Image& At(std::size_t offset, std::string_view bytes) {
    b.replace(offset, bytes.size(), bytes);
    return *this;
  }
};

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

}  // namespace

TEST(ScheduleEntry, NewEntryIsAllZero) {
  TScheduleEntry e;
  EXPECT_EQ(Bytes(e), std::string(344, '\0'));
  EXPECT_EQ(e.DateTime(), "");
  EXPECT_EQ(e.Importance(), "");
  EXPECT_EQ(e.Sent(), 0);
}

TEST(ScheduleEntry, FieldsLandAtTheirOffsets) {
  struct Case {
    const char* name;
    void (*fill)(TScheduleEntry&);
    std::string expected;
  } cases[] = {
    {"date-time", [](TScheduleEntry& e) { e.SetDateTime("2002/7/5 9:30"); },
     Image().At(0, std::string("\x0D") + "2002/7/5 9:30").b},
    {"destination", [](TScheduleEntry& e) { e.SetDestination("192.168.0.10"); },
     Image().At(16, std::string("\x0C") + "192.168.0.10").b},
    {"destination cut at 20", [](TScheduleEntry& e) { e.SetDestination(Repeat('d', 25)); },
     Image().At(16, std::string("\x14") + Repeat('d', 20)).b},
    {"width, height, colour little-endian",
     [](TScheduleEntry& e) { e.SetWidth(0x01020304); e.SetHeight(185); e.SetColor(16777215); },
     Image().At(40, "\x04\x03\x02\x01").At(44, std::string("\xB9\0\0\0", 4)).At(48, std::string("\xFF\xFF\xFF\0", 4)).b},
    {"system colour with the top bit set", [](TScheduleEntry& e) { e.SetColor(static_cast<int32_t>(0x80000005)); e.SetFontColor(-16777208); },
     Image().At(48, std::string("\x05\0\0\x80", 4)).At(76, std::string("\x08\0\0\xFF", 4)).b},
    {"font name cut at 20 bytes of whole characters", [](TScheduleEntry& e) { e.SetFontName("ＭＳ Ｐゴシックあいうえお"); },
     // 25 bytes: a cut at 20 would split "う" after its lead byte.
     Image().At(52, std::string("\x13") + std::string("ＭＳ Ｐゴシックあいうえお").substr(0, 19)).b},
    {"destination cut before a character with lead byte E9", [](TScheduleEntry& e) { e.SetDestination("pc-0123456789abcdef饅"); },
     Image().At(16, std::string("\x13") + "pc-0123456789abcdef").b},
    {"text cut at 255 bytes of whole characters", [](TScheduleEntry& e) { e.SetText(Repeat('t', 254) + "纊"); },
     Image().At(85, std::string("\xFE") + Repeat('t', 254)).b},
    {"font size and style", [](TScheduleEntry& e) { e.SetFontSize(-12); e.SetFontStyle(1 | 4); },
     Image().At(80, "\xF4\xFF\xFF\xFF").At(84, "\x05").b},
    {"text", [](TScheduleEntry& e) { e.SetText("こんにちは\r\n"); },
     Image().At(85, std::string("\x0C") + "こんにちは\r\n").b},
    {"text cut at 255", [](TScheduleEntry& e) { e.SetText(Repeat('t', 300)); },
     Image().At(85, std::string("\xFF") + Repeat('t', 255)).b},
    {"important", [](TScheduleEntry& e) { e.SetImportance("P"); }, Image().At(341, "\x01P").b},
    {"not important", [](TScheduleEntry& e) { e.SetImportance("N"); }, Image().At(341, "\x01N").b},
    {"importance holds one byte", [](TScheduleEntry& e) { e.SetImportance("PN"); }, Image().At(341, "\x01P").b},
    {"sent", [](TScheduleEntry& e) { e.SetSent(1); }, Image().At(343, "\x01").b},
  };
  for (const auto& c : cases) {
    TScheduleEntry e;
    c.fill(e);
    EXPECT_EQ(Bytes(e), c.expected) << c.name;
    // The fillers stay zero in a new entry.
    EXPECT_EQ(Bytes(e).substr(37, 3), std::string(3, '\0')) << c.name;
    EXPECT_EQ(Bytes(e).substr(73, 3), std::string(3, '\0')) << c.name;
  }
}

TEST(ScheduleEntry, ReadsBackWhatWasSet) {
  TScheduleEntry e;
  e.SetDateTime("2002/12/31 9:59");
  e.SetDestination("PC-SOUMU01");
  e.SetWidth(345);
  e.SetHeight(-1);
  e.SetColor(static_cast<int32_t>(0x80000005));
  e.SetFontName("MS ゴシック");
  e.SetFontColor(255);
  e.SetFontSize(9);
  e.SetFontStyle(15);
  e.SetText("a\r\nb\r\n");
  e.SetImportance("N");
  e.SetSent(1);
  TScheduleEntry copy = TScheduleEntry::FromBytes(Bytes(e));
  EXPECT_EQ(copy.DateTime(), "2002/12/31 9:59");
  EXPECT_EQ(copy.Destination(), "PC-SOUMU01");
  EXPECT_EQ(copy.Width(), 345);
  EXPECT_EQ(copy.Height(), -1);
  EXPECT_EQ(copy.Color(), static_cast<int32_t>(0x80000005));
  EXPECT_EQ(copy.FontName(), "MS ゴシック");
  EXPECT_EQ(copy.FontColor(), 255);
  EXPECT_EQ(copy.FontSize(), 9);
  EXPECT_EQ(copy.FontStyle(), 15);
  EXPECT_EQ(copy.Text(), "a\r\nb\r\n");
  EXPECT_EQ(copy.Importance(), "N");
  EXPECT_EQ(copy.Sent(), 1);
  EXPECT_EQ(copy, e);
}

TEST(ScheduleEntry, ShorterTextKeepsTheFieldsOldTail) {
  // A record from the file with junk after the text: setting a shorter text
  // rewrites the length and the first bytes only.
  std::string raw = Image().At(16, std::string("\x14") + Repeat('x', 20)).b;
  TScheduleEntry e = TScheduleEntry::FromBytes(raw);
  e.SetDestination("abc");
  EXPECT_EQ(Bytes(e).substr(16, 21), std::string("\x03") + "abc" + Repeat('x', 17));
  EXPECT_EQ(e.Destination(), "abc");
}

TEST(ScheduleEntry, LengthByteBeyondCapacityIsClamped) {
  // Length bytes of 0xFF in 15-, 20- and 1-byte fields must not read into the
  // next field.
  std::string raw = Image()
                        .At(0, "\xFF" + Repeat('1', 15))
                        .At(16, "\xFF" + Repeat('2', 20))
                        .At(52, "\xFF" + Repeat('3', 20))
                        .At(341, "\xFFP")
                        .b;
  TScheduleEntry e = TScheduleEntry::FromBytes(raw);
  EXPECT_EQ(e.DateTime(), Repeat('1', 15));
  EXPECT_EQ(e.Destination(), Repeat('2', 20));
  EXPECT_EQ(e.FontName(), Repeat('3', 20));
  EXPECT_EQ(e.Importance(), "P");
}

TEST(ScheduleEntry, FromBytesWantsAWholeRecord) {
  EXPECT_THROW(TScheduleEntry::FromBytes(std::string(343, '\0')), std::invalid_argument);
  EXPECT_THROW(TScheduleEntry::FromBytes(std::string(345, '\0')), std::invalid_argument);
}

TEST(ScheduleEntry, FullDateTimeSurvivesTheFifteenByteField) {
  // Every two-digit month, day, hour and minute makes 16 bytes; the entry must
  // still read back the text the scheduler compares with.
  for (const char* full : {"2026/12/10 14:05", "2002/12/31 23:59", "2030/10/01 00:00"}) {
    TScheduleEntry e;
    e.SetDateTime(full);
    EXPECT_EQ(e.bytes()[0], 15) << full;
    EXPECT_EQ(e.DateTime(), full);
    EXPECT_EQ(TScheduleEntry::FromBytes(Bytes(e)).DateTime(), full);
  }
  TScheduleEntry e;
  e.SetDateTime("2026/12/10 14:05");
  EXPECT_EQ(Bytes(e).substr(0, 16), "\x0F" "2026/12/1014:05");
}

TEST(ScheduleEntry, OtherDateTimesAreStoredAsTyped) {
  struct Case { const char* in; const char* stored; } cases[] = {
    {"2002/7/5 9:30", "2002/7/5 9:30"},
    {"2002/12/31 9:59", "2002/12/31 9:59"},    // 15 bytes: fits as it is
    {"2002/07/05 9:30", "2002/07/05 9:30"},    // leading zero, 15 bytes
    {"2002/7/5 9:30abc", "2002/7/5 9:30ab"},   // 16 bytes of another shape: cut
    {"2002/1a/10 14:05", "2002/1a/10 14:0"},   // not digits: cut
    {"20021/2/10 14:05", "20021/2/10 14:0"},   // blank elsewhere: cut
    {"2002/12/10 14:055", "2002/12/10 14:0"},  // 17 bytes: cut
    {"", ""},
  };
  for (const auto& c : cases) {
    TScheduleEntry e;
    e.SetDateTime(c.in);
    EXPECT_EQ(e.DateTime(), c.stored) << c.in;
    EXPECT_EQ(Bytes(e).substr(1, e.bytes()[0]), c.stored) << c.in;
  }
}

TEST(ScheduleEntry, CutOldDateTimesStillReadAsStored) {
  // Files written before the packing hold the 16-byte text cut to 15 bytes:
  // it has its blank, so it reads back as it was stored.
  TScheduleEntry e = TScheduleEntry::FromBytes(Image().At(0, "\x0F" "2002/12/31 23:5").b);
  EXPECT_EQ(e.DateTime(), "2002/12/31 23:5");
}

TEST(ScheduleEntry, TheStoredTextOfAComposerMessage) {
  struct Case { std::string lines; std::optional<std::string> stored; } cases[] = {
      {"", ""},
      {"a\r\n", "a\r\n"},
      {Repeat('a', 253) + "\r\n", Repeat('a', 253) + "\r\n"},   // 255: as it is
      {Repeat('a', 254) + "\r\n", Repeat('a', 254)},              // 256: without the final break
      {Repeat('a', 255) + "\r\n", Repeat('a', 255)},              // 257: without the final break
      {Repeat('a', 256) + "\r\n", std::nullopt},                  // the message itself is too long
      {Repeat('a', 256), std::nullopt},
      {Repeat('a', 254) + "\r\nb", std::nullopt},                 // a break that is not the last one
  };
  for (const auto& c : cases) EXPECT_EQ(ScheduledTextFor(c.lines), c.stored) << c.lines.size();
}

TEST(ScheduleEntry, ItsKeyOutlivesTheSentMarkAndTellsEveryOtherFieldApart) {
  TScheduleEntry e;
  e.SetDateTime("2026/12/10 14:35");
  e.SetDestination("pc-b");
  e.SetText("予約です\r\n");
  e.SetImportance("N");
  const std::string key = ScheduleKey(e);
  EXPECT_EQ(key.size(), 16u);
  EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos) << key;
  TScheduleEntry sent = e;
  sent.SetSent(1);
  EXPECT_EQ(ScheduleKey(sent), key);
  // A change in any byte but the mark is another entry, the last one too.
  for (std::size_t offset : {std::size_t{0}, TScheduleEntry::kDestinationOffset, TScheduleEntry::kWidthOffset,
                             TScheduleEntry::kTextOffset + 3, TScheduleEntry::kImportanceOffset,
                             TScheduleEntry::kSentOffset - 1}) {
    std::string bytes = Bytes(e);
    bytes[offset] = static_cast<char>(bytes[offset] ^ 0x01);
    EXPECT_NE(ScheduleKey(TScheduleEntry::FromBytes(bytes)), key) << offset;
  }
}
