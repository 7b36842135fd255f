#include "messaging/message_line.h"

#include <limits>

#include "common/sjis.h"
#include "common/text_format.h"
#include "common/vello_error.h"

namespace vello {

namespace {

// A field between double quotes that every receiver reads back as `value`
// and that cannot end early or run on into the next field: a double quote is
// doubled, a NUL byte (which ends the line for a receiver) is left out, and
// so is a lead byte not followed by a trail byte (a name cut in the middle
// of a character would swallow the closing quote).
void AppendQuoted(std::string& line, std::string_view value) {
  line += '"';
  for (std::size_t i = 0; i < value.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    if (IsLeadByte(c)) {
      if (i + 1 < value.size() && IsTrailByte(static_cast<unsigned char>(value[i + 1]))) {
        line.append(value.substr(i, 2));
        ++i;
      }
      continue;
    }
    if (c == 0) continue;
    if (c == '"') line += '"';
    line += static_cast<char>(c);
  }
  line += '"';
}

}  // namespace

std::string MakeMessageLine(const MessageLook& look, std::string_view text, std::string_view importance) {
  std::string line;
  line.reserve(64 + look.fontName.size() + text.size() * 2);
  line += std::to_string(look.width) + ",";
  line += std::to_string(look.height) + ",";
  line += std::to_string(look.color) + ",";
  line += std::to_string(look.fontColor) + ",";
  line += std::to_string(look.fontSize) + ",";
  AppendQuoted(line, look.fontName);
  line += ",";
  line += std::to_string(look.fontStyle) + ",";
  // Whatever a record holds as its mark, the line carries "P" or "N".
  line += importance == "P" ? "P" : "N";
  line += ",";
  AppendQuoted(line, text);
  return line;
}

namespace {

bool IsBlankOrControl(unsigned char c) { return c >= 1 && c <= 32; }

}  // namespace

namespace {

struct Field {
  std::string text;
  bool quoted = false;
  bool closed = false;  // a quoted field's closing quote came
};

std::vector<Field> SplitFields(std::string_view text) {
  // A NUL byte ends the text wherever it stands.
  if (std::size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);

  std::vector<Field> fields;
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto skipBlanks = [&] {
    while (i < n && IsBlankOrControl(static_cast<unsigned char>(text[i]))) ++i;
  };

  skipBlanks();
  while (i < n) {
    Field field;
    if (text[i] == '"') {
      field.quoted = true;
      ++i;
      while (i < n) {
        std::size_t len = CharLength(text, i);
        if (len == 1 && text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            field.text += '"';
            i += 2;
            continue;
          }
          ++i;  // the closing quote
          field.closed = true;
          break;
        }
        field.text.append(text.substr(i, len));
        i += len;
      }
      // Without a closing quote the field has taken the rest of the data.
    } else {
      std::size_t start = i;
      while (i < n) {
        std::size_t len = CharLength(text, i);
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (len == 1 && (c == ',' || c <= 32)) break;
        i += len;
      }
      field.text.assign(text.substr(start, i - start));
    }
    fields.push_back(std::move(field));

    skipBlanks();
    if (i < n && text[i] == ',') {
      ++i;
      skipBlanks();
    }
  }
  return fields;
}

}  // namespace

std::vector<std::string> SplitCommaText(std::string_view text) {
  std::vector<std::string> fields;
  for (Field& f : SplitFields(text)) fields.push_back(std::move(f.text));
  return fields;
}

bool IsWholeMessageLine(std::string_view line) {
  std::vector<Field> fields = SplitFields(line);
  return fields.size() >= 9 && fields[8].quoted && fields[8].closed;
}

std::optional<int32_t> ParseInt32(std::string_view text) {
  bool negative = false;
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  // Accumulate the magnitude in 64 bits and stop as soon as it cannot fit.
  const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                 : static_cast<int64_t>(std::numeric_limits<int32_t>::max());
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > limit) return std::nullopt;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

namespace {

const std::string& FieldAt(const std::vector<std::string>& fields, std::size_t index) {
  if (index >= fields.size())
    throw VelloError(FormatText("リストのインデックスが範囲を超えています (%d)", {std::to_string(index)}));
  return fields[index];
}

// What an error box shows of a field that is not a number: its first bytes,
// whole characters only and control bytes made visible. The field comes
// from whoever sent the line, who must not be able to write the box.
std::string QuotedForError(std::string_view field) {
  std::string_view start = WholeCharsPrefix(field, kQuotedFieldBytes);
  std::string quoted;
  for (std::size_t i = 0; i < start.size();) {
    std::size_t len = CharLength(start, i);
    unsigned char c = static_cast<unsigned char>(start[i]);
    if (len == 1 && (c < 0x20 || c == 0x7F))
      quoted += '?';
    else
      quoted.append(start.substr(i, len));
    i += len;
  }
  if (start.size() < field.size()) quoted += "…";
  return quoted;
}

int32_t IntegerAt(const std::vector<std::string>& fields, std::size_t index) {
  const std::string& field = FieldAt(fields, index);
  std::optional<int32_t> value = ParseInt32(field);
  if (!value) throw VelloError(FormatText("'%s' は整数ではありません", {QuotedForError(field)}));
  return *value;
}

}  // namespace

ReceivedMessage ReadMessageLine(std::string_view line) {
  std::vector<std::string> fields = SplitCommaText(line);
  ReceivedMessage m;
  // The order in which the receiver reads the fields decides which error
  // a bad line reports.
  m.look.width = IntegerAt(fields, 0);
  m.look.height = IntegerAt(fields, 1);
  m.look.color = IntegerAt(fields, 2);
  m.text = FieldAt(fields, 8);
  m.important = FieldAt(fields, 7) == "P";
  m.look.fontColor = IntegerAt(fields, 3);
  m.look.fontSize = IntegerAt(fields, 4);
  m.look.fontName = FieldAt(fields, 5);
  m.look.fontStyle = static_cast<uint8_t>(static_cast<uint32_t>(IntegerAt(fields, 6)) & 0xFF);
  return m;
}

}  // namespace vello
