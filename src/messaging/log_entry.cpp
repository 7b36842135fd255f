#include "messaging/log_entry.h"

#include <algorithm>
#include <fstream>

#include "common/file_io.h"
#include "common/native_path.h"
#include "common/text_format.h"
#include "common/vello_error.h"

namespace vello {

namespace {

std::string Number(int value, std::size_t minDigits) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (digits.size() < minDigits) digits.insert(0, minDigits - digits.size(), '0');
  return value < 0 ? "-" + digits : digits;
}

constexpr std::string_view kSentMarker = "【送信】";
constexpr std::string_view kReceivedMarker = "【受信】";

// Bytes a terminal or an editor would act on rather than show (ESC starts
// escape sequences, BEL rings). None of them is ever part of a double-byte
// character: trail bytes are 0x40 and above, and 0x7F is never one.
bool IsControl(char c) {
  auto b = static_cast<unsigned char>(c);
  return b < 0x20 || b == 0x7F;
}

// A name on one line of its own: every control byte, line breaks and tabs
// among them, becomes "?".
std::string OneLine(std::string_view who) {
  std::string out(who);
  for (char& c : out)
    if (IsControl(c)) c = '?';
  return out;
}

// A message's lines as the log holds them: every line break (CR LF, a lone
// CR, a lone LF) becomes CR LF, control bytes other than tab become "?",
// and a line that begins, after any blanks, with an entry's first line gets
// one more blank in front, so a message cannot start an entry of its own.
std::string LogLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  std::size_t i = 0;
  for (;;) {
    std::size_t end = text.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(i, end - i);
    std::string_view rest = line.substr(std::min(line.find_first_not_of(' '), line.size()));
    if (rest.starts_with(kSentMarker) || rest.starts_with(kReceivedMarker)) out += ' ';
    for (char c : line) out += IsControl(c) && c != '\t' ? '?' : c;
    if (end == text.size()) break;
    out += "\r\n";
    i = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return out;
}

std::string Entry(std::string_view kind, std::string_view dateTimeText, std::string_view whoLabel,
                  std::string_view who, std::string_view text) {
  std::string entry;
  entry.reserve(kind.size() + dateTimeText.size() + who.size() + text.size() + 32);
  entry.append(kind).append("\r\n");
  entry.append("Date : ").append(OneLine(dateTimeText)).append("\r\n");
  entry.append(whoLabel).append(OneLine(who)).append("\r\n");
  entry.append(LogLines(text)).append("\r\n");
  return entry;
}

}  // namespace

std::string DateTimeText(std::string_view shortDate, const LocalDateTime& t, const LocaleTimeFormat& f) {
  std::string out(shortDate);
  if (t.hour == 0 && t.minute == 0 && t.second == 0) return out;

  int hour = t.hour;
  if (f.twelveHour) {
    hour %= 12;
    if (hour == 0) hour = 12;
  }
  std::string time = Number(hour, f.hourLeadingZero ? 2 : 1) + f.timeSeparator + Number(t.minute, 2) +
                     f.timeSeparator + Number(t.second, 2);
  if (f.twelveHour) {
    const std::string& designator = t.hour < 12 ? f.amDesignator : f.pmDesignator;
    if (!designator.empty()) time = f.designatorBeforeTime ? designator + " " + time : time + " " + designator;
  }
  out += ' ';
  out += time;
  return out;
}

std::string SentLogEntry(std::string_view dateTimeText, std::string_view destination, std::string_view text) {
  return Entry(kSentMarker, dateTimeText, "To : ", destination, text);
}

std::string ReceivedLogEntry(std::string_view dateTimeText, std::string_view sender, std::string_view text) {
  return Entry(kReceivedMarker, dateTimeText, "From : ", sender, text);
}

void AppendLogEntry(const std::filesystem::path& logPath, std::string_view entry) {
  const std::string cannotOpen = FormatText("ファイル %s は開けません", {PathText(logPath)});
  const std::string cannotCreate = FormatText("ファイル %s を作成できません", {PathText(logPath)});
  std::string bytes;
  if (FileExists(logPath)) {
    // Only the last byte matters: an append must cost the same for a huge
    // log as for an empty one.
    std::ifstream in(logPath, std::ios::binary);
    if (!in) throw VelloError(cannotOpen);
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) throw VelloError(cannotOpen);
    if (size > 0) {
      char last = 0;
      in.seekg(size - 1);
      if (!in.get(last)) throw VelloError(cannotOpen);
      if (last != '\r' && last != '\n') bytes += "\r\n";
    }
  }
  bytes.append(entry);
  if (!AppendFileBytes(logPath, bytes)) throw VelloError(cannotCreate);
}

}  // namespace vello
