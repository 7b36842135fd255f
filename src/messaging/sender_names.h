#pragma once
// The host names of senders. A reverse look-up can wait for a resolver that
// never answers, so it runs off the user-interface thread; a name found (or
// not found) is kept for a while per address, so a host that sends often is
// looked up once.
#include <winsock2.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/background_work.h"
#include "platform/timing_points.h"

namespace vello {

struct SenderName {
  std::string text;    // the host name, or the dotted IPv4 address when none was found
  bool found = false;  // a name, not the address
};

// The dotted text of an IPv4 address: "192.168.0.5".
std::string DottedAddress(const in_addr& address);

class TSenderNames {
 public:
  // How long an answer is kept.
  static constexpr unsigned kNameKeptMs = 10 * 60 * 1000;
  static constexpr unsigned kNoNameKeptMs = 60 * 1000;
  // Addresses looked up at once; beyond, a sender goes by its address.
  static constexpr std::size_t kMaxLookups = 256;
  // Answers kept before the stale ones are dropped.
  static constexpr std::size_t kMaxKnown = 4096;

  TSenderNames();

  // Calls `found` with the sender's name: at once when it is known, or on
  // the user-interface thread once the look-up has ended.
  void Find(const in_addr& address, std::function<void(const SenderName&)> found);
  // Starts looking the name up, if it is not known or being looked up, so
  // that a Find soon after finds it known or on its way.
  void LookUpSoon(const in_addr& address);
  // The name, when known now.
  const SenderName* Known(const in_addr& address) const;
  // Whether `host` (a name, letter case ignored, or a dotted address) is a
  // sender heard from lately.
  bool KnowsName(const std::string& host) const;

 private:
  struct Entry {
    SenderName name;
    ULONGLONG until = 0;
  };
  void Found(uint32_t key, const SenderName& name);

  BackgroundWork lookups_{4};
  std::map<uint32_t, Entry> known_;
  std::map<uint32_t, std::vector<std::function<void(const SenderName&)>>> waiting_;
  // When each name still being looked up was asked for.
  VELLO_TIMING_ONLY(std::map<uint32_t, double> askedAt_;)
};

}  // namespace vello
