#include "vello_send/vello_send.h"

#include <exception>
#include <filesystem>
#include <string>

#include "common/file_io.h"
#include "common/version.h"
#include "messaging/message_line.h"
#include "settings/settings_keys.h"
#include "vello_send/net_client.h"
#include "vello_send/text_convert.h"

namespace vello::send {

namespace {

std::string JoinWords(const std::vector<std::string>& words) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) text += ' ';
    text += words[i];
  }
  return text;
}

std::string Seconds(int32_t ms) {
  std::string s = std::to_string(ms / 1000);
  if (int32_t rest = ms % 1000) {
    std::string fraction = std::to_string(1000 + rest).substr(1);
    while (fraction.back() == '0') fraction.pop_back();
    s += "." + fraction;
  }
  return s + " s";
}

}  // namespace

std::string BuildLineFor(const SendOptions& o, std::string_view utf8Text) {
  // The receiver's comma-text reader stops at a NUL byte: the rest of the
  // message would be lost without a word.
  if (std::size_t nul = utf8Text.find('\0'); nul != std::string_view::npos)
    throw TextError("the text cannot be sent: it holds a NUL character (" + DescribePosition(utf8Text, nul) + ")");
  std::string fontName, text;
  try {
    fontName = Utf8ToCp932(o.fontName);
  } catch (const TextError& e) {
    throw TextError(std::string("the font name cannot be sent: ") + e.what());
  }
  try {
    text = Utf8ToCp932(utf8Text);
  } catch (const TextError& e) {
    throw TextError(std::string("the text cannot be sent: ") + e.what());
  }
  MessageLook look;
  look.width = o.width;
  look.height = o.height;
  look.color = o.color;
  look.fontColor = o.fontColor;
  look.fontSize = o.fontSize;
  look.fontName = fontName;
  look.fontStyle = o.fontStyle;
  std::string line = MakeMessageLine(look, ComposerLines(text), o.important ? "P" : "N");
  // Every receiver drops a longer line.
  if (line.size() > kMaxMessageLineBytes)
    throw TextError("the message is too long to be sent: " + std::to_string(line.size()) + " bytes, at most " +
                    std::to_string(kMaxMessageLineBytes));
  return line;
}

uint16_t PortFromSettings(const std::string& utf8Path) {
  // The file name as the system knows it: any character the terminal can
  // type, not only those of code page 932.
  const std::filesystem::path path(std::u8string(utf8Path.begin(), utf8Path.end()));
  if (!FileExists(path)) throw UsageError("--settings: no such file: " + utf8Path);
  if (!ReadFileBytes(path)) throw UsageError("--settings: cannot read " + utf8Path);
  const int32_t port = ReadSetting(IniFile(path), setting::Port);
  if (port < 1 || port > 65535)
    throw UsageError("--settings: " + utf8Path + " gives port " + std::to_string(port) +
                     ", which is not a port number (1 to 65535)");
  return static_cast<uint16_t>(port);
}

int RunVelloSend(const std::vector<std::string>& args, const InputReader& readInput, std::ostream& out,
                 std::ostream& err, const std::string& commandLineLoss) {
  auto fail = [&](int status, const std::string& message) {
    err << "vello-send: " << message << '\n';
    return status;
  };

  SendOptions o;
  uint16_t port = kDefaultPort;
  try {
    o = ParseSendArguments(args);
    if (o.help) {
      out << HelpText();
      return kExitSent;
    }
    if (o.version) {
      out << "vello-send " << VELLO_VERSION << '\n';
      return kExitSent;
    }
    if (o.port) port = *o.port;
    else if (!o.settingsPath.empty()) port = PortFromSettings(o.settingsPath);
  } catch (const UsageError& e) {
    return fail(kExitUsage, e.what());
  }

  if (!commandLineLoss.empty()) {
    if (!o.text.empty()) return fail(kExitText, "the text cannot be sent: " + commandLineLoss);
    if (o.fontName != SendOptions{}.fontName) return fail(kExitText, "the font name cannot be sent: " + commandLineLoss);
  }

  std::string text;
  if (!o.text.empty()) {
    text = JoinWords(o.text);
  } else {
    try {
      text = readInput();
    } catch (const std::exception& e) {
      return fail(kExitFailure, std::string("cannot read standard input: ") + e.what());
    }
    // A byte-order mark some editors and shells put first is not text.
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  }

  std::string line;
  try {
    line = BuildLineFor(o, text);
  } catch (const TextError& e) {
    return fail(kExitText, e.what());
  }

  const SendResult result = SendToHost(o.host, port, line, o.timeoutMs);
  const std::string where = o.host + " port " + std::to_string(port);
  const std::string detail = result.detail.empty() ? "" : " (" + result.detail + ")";
  switch (result.failure) {
    case SendFailure::kNone:
      if (o.verbose)
        err << "vello-send: sent " << line.size() << " bytes to " << o.host << " (" << result.address << ") port "
            << port << '\n';
      return kExitSent;
    case SendFailure::kHostNotFound:
      return fail(kExitHostNotFound, "host not found: " + o.host + detail);
    case SendFailure::kRefused:
      return fail(kExitRefused, "connection refused by " + where + ": is Vello running there?");
    case SendFailure::kUnreachable:
      return fail(kExitUnreachable, where + " cannot be reached" + detail);
    case SendFailure::kTimeout:
      return fail(kExitTimeout, std::string("timed out after ") + Seconds(o.timeoutMs) +
                                    (result.connected ? " sending to " : " connecting to ") + where);
    case SendFailure::kOther:
      break;
  }
  return fail(kExitFailure, (result.connected ? "sending to " : "connecting to ") + where + " failed" + detail);
}

}  // namespace vello::send
