#include "discovery/dns_name.h"

namespace vello::dns {

namespace {
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

Name Name::FromDotted(std::string_view dotted) {
  Name name;
  if (!dotted.empty() && dotted.back() == '.') dotted.remove_suffix(1);
  while (!dotted.empty()) {
    std::size_t dot = dotted.find('.');
    name.labels.emplace_back(dotted.substr(0, dot));
    if (dot == std::string_view::npos) break;
    dotted.remove_prefix(dot + 1);
  }
  return name;
}

std::string Name::ToText() const {
  std::string text;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (i) text += '.';
    for (char c : labels[i]) {
      if (c == '.' || c == '\\') text += '\\';
      text += c;
    }
  }
  return text;
}

std::size_t Name::WireLength() const {
  std::size_t n = 1;
  for (const std::string& l : labels) n += 1 + l.size();
  return n;
}

bool Name::IsValid() const {
  for (const std::string& l : labels)
    if (l.empty() || l.size() > kMaxLabelBytes) return false;
  return WireLength() <= kMaxNameWireBytes;
}

Name Name::WithFirstLabel(std::string prefix) const {
  Name name;
  name.labels.reserve(labels.size() + 1);
  name.labels.push_back(std::move(prefix));
  name.labels.insert(name.labels.end(), labels.begin(), labels.end());
  return name;
}

Name Name::Parent() const {
  Name name;
  if (!labels.empty()) name.labels.assign(labels.begin() + 1, labels.end());
  return name;
}

bool SameLabel(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool SameName(const Name& a, const Name& b) {
  if (a.labels.size() != b.labels.size()) return false;
  for (std::size_t i = 0; i < a.labels.size(); ++i)
    if (!SameLabel(a.labels[i], b.labels[i])) return false;
  return true;
}

std::string NameKey(const Name& name) {
  std::string key;
  for (const std::string& l : name.labels) {
    key += static_cast<char>(l.size());
    for (char c : l) key += LowerAscii(c);
  }
  return key;
}

}  // namespace vello::dns
