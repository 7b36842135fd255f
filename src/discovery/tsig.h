#pragma once
// Signing a DNS message with a shared key (TSIG, RFC 8945), HMAC-SHA256
// only: the record appended to the additional section of an update for a
// server that takes updates only from holders of the key.
#include <cstdint>
#include <string>
#include <string_view>

#include "discovery/dns_name.h"

namespace vello::dns {

inline constexpr std::uint16_t kTypeTsig = 250;

struct TsigKey {
  Name name;           // the key's name as the server knows it
  std::string secret;  // the key's bytes (decoded from the base64 an administrator hands out)
};

struct TsigSigned {
  std::string message;  // the message with the TSIG record added
  std::string mac;      // to check the server's signed answer with
};

// Signs `message` (a whole message without a TSIG record) at `timeSigned`
// (seconds since 1970), valid `fudge` seconds either side.
TsigSigned SignTsig(std::string_view message, const TsigKey& key, std::uint64_t timeSigned,
                    std::uint16_t fudge = 300);

}  // namespace vello::dns
