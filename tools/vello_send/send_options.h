#pragma once
// The command line of vello-send: vello-send [options] HOST [TEXT...].
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/settings_keys.h"

namespace vello::send {

// A command line we cannot act on; the message is one line, UTF-8.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

inline constexpr uint16_t kDefaultPort = static_cast<uint16_t>(setting::Port.fallback);

// Everything as typed, texts still UTF-8; the defaults are the composer's
// (white balloon of 315 by 179 pixels, black 10-point plain "MS ゴシック").
struct SendOptions {
  std::string host;
  std::optional<uint16_t> port;  // --port; wins over --settings
  std::string settingsPath;      // --settings: take the port from this settings file
  bool important = false;
  std::string fontName = reinterpret_cast<const char*>(u8"MS ゴシック");
  int32_t fontSize = 10;
  uint8_t fontStyle = 0;
  int32_t color = 16777215;  // background, 0x00BBGGRR or a system colour
  int32_t fontColor = 0;
  int32_t width = 315;
  int32_t height = 179;
  int32_t timeoutMs = 10000;  // connecting and writing together
  bool verbose = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> text;  // the TEXT words; none means standard input
};

// `args` excludes the program name. Throws UsageError. With --help or
// --version the rest of the line is not checked for a host.
SendOptions ParseSendArguments(const std::vector<std::string>& args);

// The value parsers, for the option named `option` (used in messages).
// Colours: "#RRGGBB", or a decimal colour value as the settings file holds
// it (0x00BBGGRR, or negative for a system colour).
int32_t ParseColorValue(const std::string& option, const std::string& value);
// Styles: 0 to 15, or names joined by ",": bold, italic, underline, strikeout
// (and "plain").
uint8_t ParseStyleValue(const std::string& option, const std::string& value);

// The --help text (UTF-8).
std::string HelpText();

}  // namespace vello::send
