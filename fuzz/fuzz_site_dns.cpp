// Bytes from the site's DNS server: any bytes as the answer to a query, as
// the answer to an update and as a TCP stream. The readers refuse them or
// keep only records of the question asked; the site browser takes them as
// the answer to each of its questions in turn (the id made to match) and
// what it lists stays within its bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "discovery/dns_update.h"
#include "discovery/site_browser.h"
#include "discovery/unicast_query.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vello;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const dns::Question asked{dns::Name::FromDotted("_vello._tcp.example.com"), dns::kTypePtr, dns::kClassIn, false};
  const dns::UnicastAnswer a = dns::ReadAnswer(bytes, size >= 2 ? static_cast<std::uint16_t>(
                                                                      (data[0] << 8) | data[1]) : 0, asked);
  if (a.outcome != dns::UnicastAnswer::Outcome::Answered) FUZZ_CHECK(a.records.empty());
  FUZZ_CHECK(a.records.size() <= dns::kMaxAnswerRecords);
  for (const dns::Record& r : a.records) {
    FUZZ_CHECK(r.type == asked.type && dns::SameName(r.name, asked.name));
    FUZZ_CHECK(r.ptr() != nullptr);
  }

  dns::ReadUpdateAnswer(bytes, 1, dns::Name::FromDotted("example.com"));

  dns::TcpFrameReader stream;
  stream.Append(bytes);
  while (auto message = stream.Next()) FUZZ_CHECK(message->size() >= 12);
  FUZZ_CHECK(stream.buffered() <= bytes.size());

  site::SiteBrowser::Bounds bounds;
  bounds.instancesPerDomain = 4;
  site::SiteBrowser browser(mdns::SeededRandom(size), bounds);
  browser.SetDomains({dns::Name::FromDotted("example.com")}, std::nullopt, dns::Name::FromDotted("example.com"));
  std::string answer(bytes);
  mdns::Millis now = 0;
  for (int round = 0; round < 8 && answer.size() >= 2; ++round, now += 500) {
    for (const site::SiteQuery& q : browser.Poll(now)) {
      answer[0] = static_cast<char>(q.id >> 8);
      answer[1] = static_cast<char>(q.id & 0xFF);
      browser.Receive(answer, q.overTcp, now);
    }
  }
  FUZZ_CHECK(browser.lookups() <= 2 + bounds.browseDomains * (1 + 3 * bounds.instancesPerDomain));
  for (const site::SiteInstance& f : browser.Found(now)) {
    FUZZ_CHECK(!f.name.empty() && f.name.size() <= dns::kMaxLabelBytes);
    FUZZ_CHECK(f.version.size() <= 32);
  }
  return 0;
}
