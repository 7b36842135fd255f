#pragma once
// vello-send as a function, so tests can run it whole: arguments in, exit
// status and standard output and error out.
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "vello_send/send_options.h"

namespace vello::send {

enum ExitStatus : int {
  kExitSent = 0,
  kExitFailure = 1,       // anything not listed below (a write that broke off, unreadable input)
  kExitUsage = 2,         // bad command line or settings file
  kExitText = 3,          // text or font name not convertible to code page 932, or too long
  kExitHostNotFound = 4,
  kExitRefused = 5,
  kExitUnreachable = 6,
  kExitTimeout = 7,
};

// Reads all of standard input as UTF-8; called only when no TEXT is given.
// Throws std::runtime_error when the input cannot be read.
using InputReader = std::function<std::string()>;

// The message line for these options and this text (UTF-8), exactly as the
// composer would build it. Throws TextError for text the wire cannot carry.
std::string BuildLineFor(const SendOptions& options, std::string_view utf8Text);

// The port from a settings file's [setup] port (5963 when the key is missing
// or not a number, as the program reads it). Throws UsageError when the file
// is missing or unreadable or the value is not a port.
uint16_t PortFromSettings(const std::string& utf8Path);

// `args` excludes the program name. Writes the help or version to `out` and
// every message to `err` as one line starting "vello-send: ". A non-empty
// `commandLineLoss` says why text on the command line may not be what was
// typed: then TEXT words and a font name given there are refused (status 3)
// rather than sent as other bytes; text on standard input still goes.
int RunVelloSend(const std::vector<std::string>& args, const InputReader& readInput, std::ostream& out,
                 std::ostream& err, const std::string& commandLineLoss = {});

}  // namespace vello::send
