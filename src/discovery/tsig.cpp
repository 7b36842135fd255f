#include "discovery/tsig.h"

#include <stdexcept>

#include "discovery/dns_message.h"
#include "discovery/hmac_sha256.h"

namespace vello::dns {

namespace {

void Put16(std::string& out, std::uint64_t v) {
  out += static_cast<char>((v >> 8) & 0xFF);
  out += static_cast<char>(v & 0xFF);
}

// Uncompressed and in lower case, as the MAC covers names (RFC 8945 4.3.3).
std::string CanonicalName(const Name& name) { return NameKey(name) + std::string(1, '\0'); }

}  // namespace

TsigSigned SignTsig(std::string_view message, const TsigKey& key, std::uint64_t timeSigned, std::uint16_t fudge) {
  if (message.size() < 12) throw std::invalid_argument("TSIG: not a DNS message");
  if (!key.name.IsValid()) throw std::invalid_argument("TSIG: invalid key name");
  const std::string keyName = CanonicalName(key.name);
  const std::string algorithm = CanonicalName(Name::FromDotted("hmac-sha256"));
  std::string time;
  Put16(time, timeSigned >> 32);
  Put16(time, timeSigned >> 16);
  Put16(time, timeSigned);

  std::string variables = keyName;
  Put16(variables, kClassAny);
  variables.append(4, '\0');  // TTL
  variables += algorithm + time;
  Put16(variables, fudge);
  Put16(variables, 0);  // error
  Put16(variables, 0);  // other length

  const std::string mac = DigestBytes(HmacSha256(key.secret, std::string(message) + variables));

  std::string rdata = algorithm + time;
  Put16(rdata, fudge);
  Put16(rdata, mac.size());
  rdata += mac;
  rdata += message.substr(0, 2);  // the original id
  Put16(rdata, 0);                // error
  Put16(rdata, 0);                // other length

  TsigSigned out{std::string(message), mac};
  out.message += keyName;
  Put16(out.message, kTypeTsig);
  Put16(out.message, kClassAny);
  out.message.append(4, '\0');
  Put16(out.message, rdata.size());
  out.message += rdata;
  const unsigned additionals =
      ((static_cast<unsigned char>(message[10]) << 8) | static_cast<unsigned char>(message[11])) + 1;
  if (additionals > 0xFFFF) throw std::invalid_argument("TSIG: no room for another record");
  out.message[10] = static_cast<char>(additionals >> 8);
  out.message[11] = static_cast<char>(additionals & 0xFF);
  return out;
}

}  // namespace vello::dns
