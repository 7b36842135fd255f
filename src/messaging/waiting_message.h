#pragma once
// A message that could not be delivered when it was sent and waits for its
// receiver, and the text of the file that keeps such messages beside the
// executable (see waiting_file.h for the file itself).
//
// The file, in bytes (every line ends with CR LF):
//
//   VelloWaiting 1
//   id=...,dest=...,host=...,written=...,expires=...,attempts=...,...,check=1a2b3c4d
//   ...
//
// One record per line, fields "name=value" separated by ",". The values
// escape every byte below 0x20, "%" and "," as "%" and two upper-case hex
// digits, so no record can hold a line break or a separator of its own. The
// escaped bytes are all below 0x40, and no byte below 0x40 is ever the second
// byte of a code page 932 character, so the escaping works byte by byte and
// leaves every double-byte character whole. The last field, "check", is the
// CRC-32 of the record's bytes before ",check=": a line cut short or changed
// by hand no longer matches it and is kept aside as unreadable, never read
// as a message that was never written.
//
// The version in the first line changes only when a reader of this one
// would misread the file. A newer copy adds fields within version 1: fields
// a reader does not know are kept with the record and written back as they
// came.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "messaging/message_look.h"

namespace vello {

enum class WaitState {
  kWaiting,  // tried again when due or when the receiver is seen again
  kSending,  // an attempt is writing the line now: stored before the line goes out
  kUnknown,  // an attempt whose outcome is unknown: tried again only when the user asks
};

struct WaitingMessage {
  std::string id;           // unique; made by whoever keeps the message
  std::string destination;  // as the user named it
  std::string host;         // what the look-up gets
  MessageLook look;
  std::string text;         // as the line carries it, CR LF line ends
  std::string importance;   // "P" or "N"
  int64_t writtenAt = 0;    // ms since the Unix epoch, UTC: when it was composed
  int64_t expiresAt = 0;    // same unit
  uint32_t attempts = 0;    // every attempt made, as the user sees it
  // Failed attempts since the receiver was last seen: the back-off's step
  // (retry_plan.h). Seeing the receiver again starts the back-off afresh.
  uint32_t failuresSinceSeen = 0;
  int64_t nextAttemptAt = 0;
  std::string lastReason;   // code page 932, shown to the user
  WaitState state = WaitState::kWaiting;
  // Empty, or what names the scheduled entry whose Sent mark is set when
  // the message is delivered.
  std::string scheduleKey;
  // Fields a newer copy wrote that this one does not know, as they lay in
  // the file ("name=escaped value"), written back unchanged.
  std::vector<std::string> laterFields;

  // The first line of the text, as the user recognises the message by.
  std::string FirstLine() const { return text.substr(0, text.find_first_of("\r\n")); }

  friend bool operator==(const WaitingMessage&, const WaitingMessage&) = default;
};

inline constexpr std::string_view kWaitingFormat = "VelloWaiting";
inline constexpr int kWaitingFormatVersion = 1;

// The file's bytes: the first line, then a line for each message in order,
// then the `unreadable` lines exactly as DecodeWaitingFile handed them back,
// so that nothing a reader could not understand is lost by a writer.
std::string EncodeWaitingFile(const std::vector<WaitingMessage>& messages,
                              const std::vector<std::string>& unreadable = {});

// The messages of the file's bytes, in order. Lines that are not a whole,
// intact record (cut short, damaged, a second record with an id already
// read) are skipped and handed back in `unreadable` (emptied first), without
// their line ending, for the writer to keep. A missing or damaged first line
// is one such line; the records after it are read all the same. Empty lines
// are skipped. A file of a newer version than this reader's gives no
// messages, and every line is unreadable (see WaitingFileVersion).
std::vector<WaitingMessage> DecodeWaitingFile(std::string_view bytes, std::vector<std::string>* unreadable = nullptr);

// The version the file's first line names, or nullopt when it names none.
std::optional<int> WaitingFileVersion(std::string_view bytes);

// Turns every message stored as kSending into kUnknown, the state of an
// attempt cut short by the end of the program. True when any was.
bool SettleInterruptedAttempts(std::vector<WaitingMessage>& messages);

}  // namespace vello
