#include "discovery/own_service.h"

#include "discovery/mdns_types.h"

namespace vello::mdns {

namespace {

// At most `max` bytes, not cutting a UTF-8 sequence.
std::string CutUtf8(std::string_view text, std::size_t max) {
  if (text.size() <= max) return std::string(text);
  std::size_t cut = max;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut));
}

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

const char kHostSuffix[] = "-vello";

}  // namespace

std::string InstanceLabelFor(std::string_view computerNameUtf8) {
  std::string label = CutUtf8(computerNameUtf8, dns::kMaxLabelBytes);
  return label.empty() ? std::string("Vello") : label;
}

std::string HostLabelFor(std::string_view computerNameUtf8) {
  std::string base;
  for (char c : computerNameUtf8) {
    if (IsHostChar(c)) base += c;
    else if (!base.empty() && base.back() != '-') base += '-';
  }
  while (!base.empty() && base.back() == '-') base.pop_back();
  base = base.substr(0, dns::kMaxLabelBytes - (sizeof kHostSuffix - 1));
  while (!base.empty() && base.back() == '-') base.pop_back();
  return (base.empty() ? std::string("pc") : base) + kHostSuffix;
}

std::string RenamedInstance(std::string_view base, int n) {
  std::string suffix = " (" + std::to_string(n) + ")";
  return CutUtf8(base, dns::kMaxLabelBytes - suffix.size()) + suffix;
}

std::string RenamedHost(std::string_view base, int n) {
  std::string suffix = "-" + std::to_string(n);
  return std::string(base.substr(0, dns::kMaxLabelBytes - suffix.size())) + suffix;
}

std::vector<OwnRecord> OwnRecords(const OwnService& s) {
  const dns::Name instance = InstanceName(s.instance);
  const dns::Name host = HostName(s.host);
  std::vector<OwnRecord> records;
  records.push_back({dns::MakePtr(ServiceType(), instance, kOtherTtl), true});
  records.push_back({dns::MakeSrv(instance, s.port, host, kHostTtl, true), true});
  records.push_back({dns::MakeTxt(instance, {"ver=" + s.version}, kOtherTtl, true), true});
  for (std::uint32_t a : s.addresses) records.push_back({dns::MakeA(host, a, kHostTtl, true), true});
  records.push_back({dns::MakePtr(ServiceEnumeration(), ServiceType(), kOtherTtl), false});
  return records;
}

std::vector<std::size_t> AdditionalsFor(const std::vector<OwnRecord>& records, std::size_t answer) {
  const dns::Record& r = records[answer].record;
  std::vector<std::size_t> more;
  const dns::Name* instance = nullptr;
  const dns::Name* host = nullptr;
  if (r.ptr() && dns::SameName(r.name, ServiceType())) instance = &r.ptr()->target;
  if (r.srv()) host = &r.srv()->target;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const dns::Record& o = records[i].record;
    if (instance && dns::SameName(o.name, *instance) && (o.srv() || o.txt())) {
      more.push_back(i);
      if (o.srv() && !host) host = &o.srv()->target;
    }
  }
  if (host)
    for (std::size_t i = 0; i < records.size(); ++i)
      if (records[i].record.a() && dns::SameName(records[i].record.name, *host)) more.push_back(i);
  return more;
}

}  // namespace vello::mdns
