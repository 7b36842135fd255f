#pragma once
// Fixed phrases in named categories, kept in the fixed phrase file: each
// category is a section, each phrase a key with an empty value. Every call
// reads or writes the file at once.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_file.h"

namespace vello {

// Names are listed through a buffer of this many bytes, each name followed by
// a NUL and the list by one more; names that do not fit whole are not read.
inline constexpr std::size_t kPhraseListBufferBytes = 16384;

class PhraseStore {
 public:
  explicit PhraseStore(std::string path);

  const std::string& path() const { return ini_.path(); }

  // Category names in file order.
  std::vector<std::string> Categories() const;
  // Phrases of the category in file order; an empty or unknown category has
  // none. A phrase is the text before the first "=" of its line.
  std::vector<std::string> Phrases(std::string_view category) const;

  // Adds the phrase at the end of its category, creating the category at the
  // end of the file when needed; a phrase the category already holds (in any
  // letter case) stays one line. Throws "<path> に書き込めません" when refused.
  void AddPhrase(std::string_view category, std::string_view phrase);
  // Removes the phrase; a missing phrase or a refused write goes unreported.
  void DeletePhrase(std::string_view category, std::string_view phrase) noexcept;
  // Removes the category with all its phrases; throws when refused.
  void DeleteCategory(std::string_view category);

 private:
  IniFile ini_;
};

}  // namespace vello
