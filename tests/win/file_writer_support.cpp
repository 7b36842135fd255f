#include "file_writer_helper.h"

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/file_io.h"
#include "common/vello_error.h"
#include "platform/win_text.h"
#include "settings/address_book.h"
#include "settings/ini_file.h"
#include "settings/phrase_store.h"

namespace vello::testing {

// settings PATH KEY COUNT      writes KEY=1..COUNT into [setup]
// book PATH PREFIX COUNT       adds COUNT lines "PREFIX-i : PC"
// phrases PATH CATEGORY COUNT  adds COUNT phrases "CATEGORY-i"
// hold PATH MARKER             holds PATH's lock until MARKER is deleted,
//                              creating MARKER once it has it
// contend PATH COUNT           takes PATH's lock COUNT times; while it holds
//                              it, PATH.holder exists and is its own: exit
//                              status 5 when another holder had made it
int RunFileWriter(const std::vector<std::string>& args) {
  try {
    // The path as the system takes it (the arguments are in code page 932).
    const std::filesystem::path path = args.size() >= 2 ? std::filesystem::path(Widen(args[1])) : std::filesystem::path();
    if (args.size() == 3 && args[0] == "hold") {
      FileLock lock(path);
      if (lock.state() != FileLock::State::kHeld) return 3;
      HANDLE marker = CreateFileA(args[2].c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, CREATE_NEW, 0, nullptr);
      if (marker == INVALID_HANDLE_VALUE) return 4;
      CloseHandle(marker);
      for (int i = 0; i < 3000 && GetFileAttributesA(args[2].c_str()) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
      return 0;
    }
    if (args.size() == 3 && args[0] == "contend") {
      const std::wstring holder = path.wstring() + L".holder";
      for (int i = 0, count = std::stoi(args[2]); i < count; ++i) {
        FileLock lock(path, 60000);
        if (lock.state() != FileLock::State::kHeld) return 3;
        HANDLE mine = CreateFileW(holder.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, CREATE_NEW, 0, nullptr);
        if (mine == INVALID_HANDLE_VALUE) return 5;
        CloseHandle(mine);
        Sleep(0);
        if (!DeleteFileW(holder.c_str())) return 5;
      }
      return 0;
    }
    if (args.size() != 4) return 2;
    const int count = std::stoi(args[3]);
    if (args[0] == "settings") {
      IniFile ini(path);
      for (int i = 1; i <= count; ++i) ini.WriteInteger("setup", args[2], i);
    } else if (args[0] == "book") {
      for (int i = 0; i < count; ++i) AddAddressBookLine(path, args[2] + "-" + std::to_string(i) + " : PC");
    } else if (args[0] == "phrases") {
      PhraseStore store(path);
      for (int i = 0; i < count; ++i) store.AddPhrase(args[2], args[2] + "-" + std::to_string(i));
    } else {
      return 2;
    }
    return 0;
  } catch (const VelloError& e) {
    std::fprintf(stderr, "file writer: %s\n", e.text().c_str());
    return 1;
  }
}

}  // namespace vello::testing
