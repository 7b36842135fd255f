#pragma once
// The profile (.ini) file behind the settings file and the fixed phrase file.
//
// Every call opens the file, does its work and lets it go again: nothing is
// cached, so what one call writes is what the next one reads. (Held() is the
// one exception, for many reads at one moment.) Text is CP932
// bytes and is never converted. Reads agree with GetPrivateProfileStringA;
// writes are textual edits of the file, so comments, unknown keys and line
// endings the user wrote by hand survive every write; a UTF-8 byte-order
// mark an editor put at the start is skipped when reading and kept. Each
// write holds the file's lock from reading the file to replacing it, so
// another copy of the program writing at the same moment loses nothing and
// makes us lose nothing.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vello {

// One section as ReadAllSections lists it.
struct IniSection {
  std::string name;
  std::vector<std::string> keys;
};

class IniFile {
 public:
  // Binds to the file; does not read it and never fails.
  explicit IniFile(std::filesystem::path path);

  const std::filesystem::path& path() const;

  // The same file, read once now: the reads through the copy returned parse
  // what the file held at this moment, however many there are, until a
  // write through it, which reaches the file as always and turns the copy
  // back into one that reads the file afresh. For a burst of reads where
  // opening the file for each costs more than it tells, such as the start.
  IniFile Held() const;

  // Section and key names match without regard to the case of ASCII letters,
  // with blanks around them ignored. A key line without "=" has no value and
  // reads as the default, as it does for the system's profile functions.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

  // Each write reaches the file at once, or throws VelloError and leaves the
  // file as it was: "<path> に書き込めません" (the path as PathText shows it)
  // when the system refuses (or the
  // file exists but cannot be read, so writing would lose what it holds),
  // FileInUseText(path) when another writer kept the file's lock for the
  // whole wait. A section or key name that is empty (or only blanks) cannot
  // be stored and is ignored.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

  // Section names in file order, each name once.
  std::vector<std::string> ReadSections() const;
  // Key names of the section in file order (lines with "=" only).
  std::vector<std::string> ReadSection(std::string_view section) const;
  // Every section with its keys, read and parsed once: the same names as
  // ReadSections, each with what ReadSection would list for it.
  std::vector<IniSection> ReadAllSections() const;

  // These leave the file alone when there is nothing to remove; a refused
  // write throws as above.
  void DeleteKey(std::string_view section, std::string_view key);
  void EraseSection(std::string_view section);
  // Removes the section only when ReadSection would list no key of it, as
  // decided under the lock: a key another writer has just added keeps it.
  // A file that could not be written is refused also when the section stays,
  // since the caller meant it to go.
  void EraseSectionWithoutKeys(std::string_view section);

 private:
  // The file's bytes: the held ones, or else read now.
  std::string Bytes() const;

  std::filesystem::path path_;
  std::shared_ptr<const std::string> held_;
};

// The integer text rule of the settings file: "0x"/"0X" followed by at least
// one more character, or "$", introduces up to 32 bits of hexadecimal;
// otherwise an optionally signed decimal that must fit 32 bits. Anything
// else (blanks, junk, an empty text) is nullopt.
std::optional<int32_t> ParseProfileInteger(std::string_view text);

}  // namespace vello
