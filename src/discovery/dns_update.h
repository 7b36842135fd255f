#pragma once
// Registering this copy in the site's DNS zone with DNS UPDATE (RFC 2136):
// the messages that add, refresh and delete our PTR, SRV, TXT and address
// records, and reading the server's answer.
//
// Records put into a zone stay there until deleted (their TTL only says how
// long others may keep a copy), so every message carries a prerequisite that
// keeps one copy off another's records:
// - Register: the instance's name is not in use. A server answering
//   YXDOMAIN holds the name already: ours, left by a copy that ended
//   without deleting it, or another computer's. Refresh tells the two apart.
// - Refresh: our very SRV (host and port) is there. NXRRSET means the name
//   is no longer ours to refresh: register again, under another name if
//   Register says it is held.
// - Delete: the same, so an exit never deletes another copy's records.
// A change of port is a Delete with the old registration, then a Register.
#include <cstdint>
#include <string>
#include <string_view>

#include "discovery/dns_message.h"
#include "discovery/dns_name.h"

namespace vello::dns {

struct Registration {
  Name zone;                 // the registration domain, "example.com"
  std::string instanceLabel; // UTF-8, up to 63 bytes
  Name host;                 // "<computer>-vello.example.com"
  std::uint32_t address = 0; // host order
  std::uint16_t port = 0;
  std::string version;       // the TXT's "ver="
  std::uint32_t ttl = 120;

  Name ServiceName() const;   // _vello._tcp.<zone>
  Name InstanceName() const;  // <label>._vello._tcp.<zone>
};

std::string BuildRegister(std::uint16_t id, const Registration& r);
std::string BuildRefresh(std::uint16_t id, const Registration& r);
std::string BuildDelete(std::uint16_t id, const Registration& r);

struct UpdateAnswer {
  enum class Outcome { Answered, NotOurs, Malformed };
  Outcome outcome = Outcome::Malformed;
  int rcode = 0;  // see Rcode and RcodeName in unicast_query.h
};
// The server's answer to the update of `id` for `zone`.
UpdateAnswer ReadUpdateAnswer(std::string_view bytes, std::uint16_t id, const Name& zone);

}  // namespace vello::dns
