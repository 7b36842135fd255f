#pragma once
// Fixed phrases in named categories, kept in the fixed phrase file: each
// category is a section, each phrase a key with an empty value. Every call
// reads or writes the file at once.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_file.h"

namespace vello {

// Names are listed through a buffer of this many bytes, each name followed by
// a NUL and the list by one more; names that do not fit whole are not read.
inline constexpr std::size_t kPhraseListBufferBytes = 16384;

struct PhraseCategory {
  std::string name;
  std::vector<std::string> phrases;
};

// Why a text cannot be stored as a phrase, or nullopt when it can. A phrase
// is a key of the profile format, which every copy of the program reads with
// the system's profile functions: a key cannot hold "=" (the value starts
// there), a line starting with "[" is a section and one starting with ";" a
// comment, and blanks at either end are dropped when the file is read. Such
// a phrase would come back as another text, or not at all, so it is refused
// rather than stored in a form other copies could not read.
std::optional<std::string> PhraseRefusal(std::string_view phrase);

class PhraseStore {
 public:
  explicit PhraseStore(std::filesystem::path path);

  const std::filesystem::path& path() const { return ini_.path(); }

  // The whole file in one reading: the categories in file order, each with
  // its phrases in file order, exactly as Categories() and Phrases() list
  // them. For the Insert menu and the phrase page, which show every category.
  std::vector<PhraseCategory> Load() const;

  // Category names in file order.
  std::vector<std::string> Categories() const;
  // Phrases of the category in file order; an empty or unknown category has
  // none. A phrase is the text before the first "=" of its line.
  std::vector<std::string> Phrases(std::string_view category) const;

  // Adds the phrase at the end of its category, creating the category at the
  // end of the file when needed; a phrase the category already holds (in any
  // letter case) stays one line. Throws the PhraseRefusal text for a phrase
  // that cannot be stored, "<path> に書き込めません" when the system refuses,
  // and FileInUseText(path) when another writer keeps the file.
  void AddPhrase(std::string_view category, std::string_view phrase);
  // Removes the phrase; a missing phrase or a refused write goes unreported.
  void DeletePhrase(std::string_view category, std::string_view phrase) noexcept;
  // Removes the category once it holds no phrases, as the phrase page does
  // when its last row is deleted: phrases the page did not show (added by
  // another copy meanwhile) keep their category. Throws when refused.
  void DeleteCategory(std::string_view category);

 private:
  IniFile ini_;
};

}  // namespace vello
