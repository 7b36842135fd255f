#include "settings/phrase_store.h"

#include <utility>

namespace vello {

namespace {

// Keeps the names that fit whole in the listing buffer. A name cut short by
// the buffer would name a category or phrase that does not exist, so the
// first name that does not fit ends the list.
std::vector<std::string> ThroughListBuffer(std::vector<std::string> names) {
  std::size_t used = 1;  // the NUL that ends the list
  std::size_t kept = 0;
  for (const std::string& name : names) {
    if (used + name.size() + 1 > kPhraseListBufferBytes) break;
    used += name.size() + 1;
    ++kept;
  }
  names.resize(kept);
  return names;
}

}  // namespace

PhraseStore::PhraseStore(std::string path) : ini_(std::move(path)) {}

std::vector<std::string> PhraseStore::Categories() const {
  return ThroughListBuffer(ini_.ReadSections());
}

std::vector<std::string> PhraseStore::Phrases(std::string_view category) const {
  if (category.empty()) return {};
  return ThroughListBuffer(ini_.ReadSection(category));
}

void PhraseStore::AddPhrase(std::string_view category, std::string_view phrase) {
  ini_.WriteString(category, phrase, "");
}

void PhraseStore::DeletePhrase(std::string_view category, std::string_view phrase) noexcept {
  try {
    ini_.DeleteKey(category, phrase);
  } catch (...) {
    // A phrase that could not be removed simply stays in the file.
  }
}

void PhraseStore::DeleteCategory(std::string_view category) {
  ini_.EraseSection(category);
}

}  // namespace vello
