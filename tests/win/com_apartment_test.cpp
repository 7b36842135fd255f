// COM is started by what needs it, on the thread that uses it: a thread the
// program never prepared still makes and reads shell links.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <exception>
#include <filesystem>
#include <thread>

#include "platform/com_apartment.h"
#include "platform/shell_link.h"

namespace fs = std::filesystem;

namespace vello {
namespace {

// The apartment the calling thread entered: APTTYPE_CURRENT (-1) when COM is
// not started there. A thread that never entered one counts as in the
// process's multithreaded apartment once any other thread has started it
// (an earlier test, or the system's own threads): that is not entered either.
APTTYPE ApartmentOfThisThread() {
  APTTYPE type;
  APTTYPEQUALIFIER qualifier;
  if (FAILED(CoGetApartmentType(&type, &qualifier))) return APTTYPE_CURRENT;
  return qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA ? APTTYPE_CURRENT : type;
}

TEST(ComApartment, AShellLinkOnAFreshThreadWorksInASingleThreadedApartment) {
  fs::path folder = fs::temp_directory_path() / ("vello-com-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(folder);
  fs::path target = folder / L"target.txt";
  CloseHandle(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  APTTYPE before = APTTYPE_MTA, after = APTTYPE_MTA;
  bool saved = false, loaded = false;
  ShellLinkFields read;
  std::thread([&] {
    before = ApartmentOfThisThread();
    try {
      SaveShellLink((folder / L"link.lnk").native(),
                    {.target = target.native(), .workingDirectory = folder.native(), .description = L"Vello"});
      saved = true;
    } catch (const std::exception&) {
    }
    loaded = LoadShellLink((folder / L"link.lnk").native(), read);
    after = ApartmentOfThisThread();
  }).join();
  EXPECT_EQ(before, APTTYPE_CURRENT);
  EXPECT_TRUE(saved);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(read.target, target.native());
  EXPECT_EQ(read.description, L"Vello");
  // Single-threaded; the first such apartment of a process is its main one.
  EXPECT_TRUE(after == APTTYPE_STA || after == APTTYPE_MAINSTA) << after;
  fs::remove_all(folder);
}

TEST(ComApartment, AThreadAlreadyInAnApartmentKeepsIt) {
  APTTYPE after = APTTYPE_STA;
  std::thread([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    UseComOnThisThread();
    after = ApartmentOfThisThread();
    CoUninitialize();
  }).join();
  EXPECT_EQ(after, APTTYPE_MTA);
}

}  // namespace
}  // namespace vello
