#include "vello_send/send_options.h"

#include <cstdlib>
#include <functional>
#include <string_view>

#include "messaging/message_line.h"

namespace vello::send {

namespace {

int32_t IntegerInRange(const std::string& option, const std::string& value, int32_t low, int32_t high,
                       const char* what) {
  std::optional<int32_t> parsed = ParseInt32(value);
  if (!parsed || *parsed < low || *parsed > high)
    throw UsageError(option + ": '" + value + "' is not " + what + " (" + std::to_string(low) + " to " +
                     std::to_string(high) + ")");
  return *parsed;
}

// Seconds with up to three decimals: "10", "0.5", "2.25".
int32_t ParseTimeout(const std::string& option, const std::string& value) {
  const std::size_t dot = value.find('.');
  const std::string whole = value.substr(0, dot);
  const std::string fraction = dot == std::string::npos ? "" : value.substr(dot + 1);
  bool ok = !whole.empty() && whole.size() <= 5 && fraction.size() <= 3 &&
            (dot == std::string::npos || !fraction.empty());
  for (char c : whole + fraction) ok = ok && c >= '0' && c <= '9';
  long long ms = 0;
  if (ok) {
    ms = std::atoll(whole.c_str()) * 1000;
    if (!fraction.empty()) ms += std::atoll((fraction + std::string(3 - fraction.size(), '0')).c_str());
  }
  if (!ok || ms <= 0 || ms > 3600 * 1000)
    throw UsageError(option + ": '" + value + "' is not a number of seconds (more than 0, at most 3600)");
  return static_cast<int32_t>(ms);
}

struct OptionRule {
  std::string_view longName;
  char shortName;  // 0: none
  bool takesValue;
  std::function<void(SendOptions&, const std::string& shown, const std::string& value)> apply;
};

const std::vector<OptionRule>& Options() {
  static const std::vector<OptionRule> options = {
      {"help", 'h', false, [](SendOptions& o, auto&, auto&) { o.help = true; }},
      {"version", 'V', false, [](SendOptions& o, auto&, auto&) { o.version = true; }},
      {"verbose", 'v', false, [](SendOptions& o, auto&, auto&) { o.verbose = true; }},
      {"port", 'p', true,
       [](SendOptions& o, auto& n, auto& v) {
         o.port = static_cast<uint16_t>(IntegerInRange(n, v, 1, 65535, "a port number"));
       }},
      {"settings", 0, true,
       [](SendOptions& o, auto& n, auto& v) {
         if (v.empty()) throw UsageError(n + ": the file name is empty");
         o.settingsPath = v;
       }},
      {"important", 'i', false, [](SendOptions& o, auto&, auto&) { o.important = true; }},
      {"font", 'f', true,
       [](SendOptions& o, auto& n, auto& v) {
         // The name goes between double quotes on the wire, undoubled.
         if (v.find('"') != std::string::npos) throw UsageError(n + ": a font name cannot hold a double quote");
         if (v.empty()) throw UsageError(n + ": the font name is empty");
         o.fontName = v;
       }},
      {"size", 's', true,
       [](SendOptions& o, auto& n, auto& v) { o.fontSize = IntegerInRange(n, v, 1, 1638, "a font size in points"); }},
      {"style", 0, true, [](SendOptions& o, auto& n, auto& v) { o.fontStyle = ParseStyleValue(n, v); }},
      {"color", 0, true, [](SendOptions& o, auto& n, auto& v) { o.color = ParseColorValue(n, v); }},
      {"font-color", 0, true, [](SendOptions& o, auto& n, auto& v) { o.fontColor = ParseColorValue(n, v); }},
      {"width", 0, true,
       [](SendOptions& o, auto& n, auto& v) { o.width = IntegerInRange(n, v, 1, 32767, "a width in pixels"); }},
      {"height", 0, true,
       [](SendOptions& o, auto& n, auto& v) { o.height = IntegerInRange(n, v, 1, 32767, "a height in pixels"); }},
      {"timeout", 't', true, [](SendOptions& o, auto& n, auto& v) { o.timeoutMs = ParseTimeout(n, v); }},
  };
  return options;
}

}  // namespace

int32_t ParseColorValue(const std::string& option, const std::string& value) {
  if (value.size() == 7 && value[0] == '#') {
    uint32_t rgb = 0;
    for (std::size_t i = 1; i < 7; ++i) {
      const char c = value[i];
      int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (digit < 0) break;
      rgb = rgb * 16 + static_cast<uint32_t>(digit);
      if (i == 6) {
        // #RRGGBB as people write it; the wire holds 0x00BBGGRR.
        const uint32_t r = rgb >> 16, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
        return static_cast<int32_t>(r | (g << 8) | (b << 16));
      }
    }
  } else if (std::optional<int32_t> v = ParseInt32(value); v && (*v <= 0xFFFFFF)) {
    // Negative values name system colours and are passed on as they are;
    // a non-negative value has nothing above blue.
    return *v;
  }
  throw UsageError(option + ": '" + value + "' is not a colour (#RRGGBB or a colour value such as 16777215)");
}

uint8_t ParseStyleValue(const std::string& option, const std::string& value) {
  if (std::optional<int32_t> v = ParseInt32(value)) {
    if (*v >= 0 && *v <= 15) return static_cast<uint8_t>(*v);
  } else if (!value.empty()) {
    uint8_t style = 0;
    bool ok = true;
    std::size_t start = 0;
    while (ok && start <= value.size()) {
      std::size_t comma = value.find(',', start);
      if (comma == std::string::npos) comma = value.size();
      const std::string_view word = std::string_view(value).substr(start, comma - start);
      if (word == "bold") style |= 1;
      else if (word == "italic") style |= 2;
      else if (word == "underline") style |= 4;
      else if (word == "strikeout") style |= 8;
      else if (word != "plain") ok = false;
      start = comma + 1;
    }
    if (ok) return style;
  }
  throw UsageError(option + ": '" + value + "' is not a style (0 to 15, or bold,italic,underline,strikeout)");
}

SendOptions ParseSendArguments(const std::vector<std::string>& args) {
  SendOptions o;
  bool hostSeen = false, optionsEnded = false;
  auto apply = [&](const OptionRule& rule, const std::string& shown, std::size_t& i,
                   const std::optional<std::string>& attached) {
    if (!rule.takesValue) {
      if (attached) throw UsageError("option '" + shown + "' takes no value");
      rule.apply(o, shown, {});
      return;
    }
    if (attached) {
      rule.apply(o, shown, *attached);
    } else {
      // The next word is the value even when it starts with "-", so a
      // negative system colour can be given.
      if (i + 1 >= args.size()) throw UsageError("option '" + shown + "' needs a value");
      rule.apply(o, shown, args[++i]);
    }
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // Options stand before HOST and between HOST and the first word of the
    // text; from there on every word is text, so a message may hold "-x".
    const bool optionLike = !optionsEnded && o.text.empty() && arg.size() > 1 && arg[0] == '-';
    if (!optionLike) {
      if (!hostSeen) {
        if (arg.empty()) throw UsageError("HOST is empty");
        o.host = arg;
        hostSeen = true;
      } else {
        o.text.push_back(arg);
      }
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg[1] == '-') {
      const std::size_t eq = arg.find('=');
      const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      std::optional<std::string> attached;
      if (eq != std::string::npos) attached = arg.substr(eq + 1);
      const OptionRule* rule = nullptr;
      for (const auto& s : Options())
        if (s.longName == name) rule = &s;
      if (!rule) throw UsageError("unknown option '--" + name + "' (see vello-send --help)");
      apply(*rule, "--" + name, i, attached);
    } else {
      // Short options may be bundled ("-iv"); a value may follow at once ("-p5963").
      for (std::size_t k = 1; k < arg.size(); ++k) {
        const OptionRule* rule = nullptr;
        for (const auto& s : Options())
          if (s.shortName != 0 && s.shortName == arg[k]) rule = &s;
        const std::string shown = std::string("-") + arg[k];
        if (!rule) throw UsageError("unknown option '" + shown + "' (see vello-send --help)");
        if (rule->takesValue && k + 1 < arg.size()) {
          apply(*rule, shown, i, arg.substr(k + 1));
          break;
        }
        apply(*rule, shown, i, std::nullopt);
      }
    }
    if (o.help || o.version) return o;
  }
  if (!hostSeen) throw UsageError("no HOST given (see vello-send --help)");
  return o;
}

std::string HelpText() {
  return reinterpret_cast<const char*>(u8R"(Usage: vello-send [OPTION]... HOST [TEXT]...
Send one message to the Vello instance on HOST, as its composer would.

HOST is a computer name or an IPv4 address. The message is the TEXT words
joined by blanks or, with no TEXT, everything read from standard input.
Each line of the message is sent followed by CR LF; an empty last line is
dropped. The text is converted to code page 932; a character it cannot hold
is an error. Options are read before HOST and before the first TEXT word;
"--" ends them.

  -p, --port=PORT        port of the receiving instance (default 5963)
      --settings=FILE    take the port from this settings file ([setup] port)
  -i, --important        mark the message important
  -f, --font=NAME        font face name (default "MS ゴシック")
  -s, --size=POINTS      font size in points, 1 to 1638 (default 10)
      --style=STYLE      0 to 15, or names joined by ",": bold, italic,
                         underline, strikeout (default 0, plain)
      --color=COLOUR     balloon background (default #FFFFFF, white)
      --font-color=COLOUR  text colour (default #000000, black)
      --width=PIXELS     balloon width, 1 to 32767 (default 315)
      --height=PIXELS    balloon height, 1 to 32767 (default 179)
  -t, --timeout=SECONDS  give up connecting and sending after this long
                         (default 10; fractions such as 0.5 allowed)
  -v, --verbose          say what was sent, on standard error
  -h, --help             show this help and exit
  -V, --version          show the version and exit

A COLOUR is #RRGGBB, or a colour value as the settings file holds it: a
decimal number 0x00BBGGRR (16777215 is white), or a negative system colour
(-2147483643 is the window background).

Exit status: 0 sent; 1 other failure; 2 bad command line or settings file;
3 text not convertible to code page 932, or too long; 4 host not found;
5 connection refused; 6 host or network unreachable; 7 timed out.

Example:
  make all; vello-send -i build-pc "make finished with status $?"
)");
}

}  // namespace vello::send
