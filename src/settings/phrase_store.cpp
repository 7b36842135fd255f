#include "settings/phrase_store.h"

#include <utility>

#include "common/vello_error.h"

namespace vello {

namespace {

// Keeps the names that fit whole in the listing buffer. A name cut short by
// the buffer would name a category or phrase that does not exist, so the
// first name that does not fit ends the list.
std::size_t FittingNames(const std::vector<std::string>& names) {
  std::size_t used = 1;  // the NUL that ends the list
  std::size_t kept = 0;
  for (const std::string& name : names) {
    if (used + name.size() + 1 > kPhraseListBufferBytes) break;
    used += name.size() + 1;
    ++kept;
  }
  return kept;
}

std::vector<std::string> ThroughListBuffer(std::vector<std::string> names) {
  names.resize(FittingNames(names));
  return names;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::optional<std::string> PhraseRefusal(std::string_view phrase) {
  // "=", ";" and blanks are below 0x40 and never trail bytes, so plain byte
  // tests are exact; "[" can be a trail byte but is only looked for first.
  if (phrase.find('=') != std::string_view::npos) return "定型文に「=」は使えません。";
  if (!phrase.empty() && phrase.front() == '[') return "「[」で始まる定型文は登録できません。";
  if (!phrase.empty() && phrase.front() == ';') return "「;」で始まる定型文は登録できません。";
  if (!phrase.empty() && (IsBlank(phrase.front()) || IsBlank(phrase.back())))
    return "前後に空白のある定型文は登録できません。";
  return std::nullopt;
}

PhraseStore::PhraseStore(std::filesystem::path path) : ini_(std::move(path)) {}

std::vector<PhraseCategory> PhraseStore::Load() const {
  std::vector<IniSection> sections = ini_.ReadAllSections();
  std::vector<std::string> names;
  names.reserve(sections.size());
  for (const IniSection& section : sections) names.push_back(section.name);
  sections.resize(FittingNames(names));

  std::vector<PhraseCategory> categories;
  categories.reserve(sections.size());
  for (IniSection& section : sections)
    categories.push_back({std::move(section.name), ThroughListBuffer(std::move(section.keys))});
  return categories;
}

std::vector<std::string> PhraseStore::Categories() const {
  return ThroughListBuffer(ini_.ReadSections());
}

std::vector<std::string> PhraseStore::Phrases(std::string_view category) const {
  if (category.empty()) return {};
  return ThroughListBuffer(ini_.ReadSection(category));
}

void PhraseStore::AddPhrase(std::string_view category, std::string_view phrase) {
  if (std::optional<std::string> refusal = PhraseRefusal(phrase)) throw VelloError(*refusal);
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
  ini_.EraseSectionWithoutKeys(category);
}

}  // namespace vello
