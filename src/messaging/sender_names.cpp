#include "messaging/sender_names.h"

#include "common/sjis.h"

#include <optional>

#include "platform/name_lookup.h"
#include "platform/timing_points.h"

namespace vello {

std::string DottedAddress(const in_addr& address) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
         std::to_string(b[3]);
}

TSenderNames::TSenderNames() = default;

const SenderName* TSenderNames::Known(const in_addr& address) const {
  auto it = known_.find(address.s_addr);
  if (it == known_.end() || GetTickCount64() >= it->second.until) return nullptr;
  return &it->second.name;
}

void TSenderNames::Find(const in_addr& address, std::function<void(const SenderName&)> found) {
  if (const SenderName* name = Known(address)) {
    found(*name);
    return;
  }
  uint32_t key = address.s_addr;
  auto waiting = waiting_.find(key);
  if (waiting != waiting_.end()) {  // already being looked up
    waiting->second.push_back(std::move(found));
    return;
  }
  if (waiting_.size() >= kMaxLookups) {
    found({DottedAddress(address), false});
    return;
  }
  waiting_[key].push_back(std::move(found));
  VELLO_TIMING_ONLY(askedAt_[key] = timing::Now();)
  lookups_.Run<std::optional<std::string>>([address] { return LookUpName(address); },
                                           [this, key, address](std::optional<std::string> name) {
                                             if (name && !name->empty())
                                               Found(key, {*name, true});
                                             else
                                               Found(key, {DottedAddress(address), false});
                                           });
}

bool TSenderNames::KnowsName(const std::string& host) const {
  for (const auto& [key, entry] : known_) {
    in_addr address{};
    address.s_addr = key;
    if (SameTextIgnoreCase(entry.name.text, host) || DottedAddress(address) == host) return true;
  }
  return false;
}

void TSenderNames::LookUpSoon(const in_addr& address) {
  if (Known(address) || waiting_.count(address.s_addr)) return;
  Find(address, [](const SenderName&) {});
}

void TSenderNames::Found(uint32_t key, const SenderName& name) {
  ULONGLONG now = GetTickCount64();
  if (known_.size() >= kMaxKnown) std::erase_if(known_, [now](const auto& k) { return now >= k.second.until; });
  known_[key] = {name, now + (name.found ? kNameKeptMs : kNoNameKeptMs)};
  std::vector<std::function<void(const SenderName&)>> callbacks;
  if (auto it = waiting_.find(key); it != waiting_.end()) {
    callbacks = std::move(it->second);
    waiting_.erase(it);
  }
  VELLO_TIMING_ONLY(if (auto at = askedAt_.find(key); at != askedAt_.end()) {
    timing::Add("sender name: asked to known", timing::Now() - at->second);
    askedAt_.erase(at);
  })
  for (auto& callback : callbacks) callback(name);
}

}  // namespace vello
