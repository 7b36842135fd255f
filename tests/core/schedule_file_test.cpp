// The schedule file on disk: whole records, byte-for-byte saves, errors.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "common/vello_error.h"
#include "schedule/schedule_file.h"

using namespace vello;
namespace fs = std::filesystem;

namespace {

class ScheduleFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vello_schedule_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "vellot.dat").string();
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }

  void Write(const std::string& bytes) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string Read() {
    std::ifstream in(path_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  // The error text of a call expected to fail.
  template <typename F>
  std::string ErrorOf(F f) {
    try {
      f();
    } catch (const VelloError& e) {
      return e.text();
    }
    return "(no error)";
  }

  fs::path dir_;
  std::string path_;
};

// Two records as an older run may have left them: text fields with junk
// after the text, non-zero fillers, a sent entry and a pending one.
std::string TwoRecordFixture() {
  std::string file(2 * 344, '\0');
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(0xA0 + i % 31);
  auto put = [&](std::size_t rec, std::size_t off, std::string_view b) { file.replace(rec * 344 + off, b.size(), b); };
  put(0, 0, "\x0D" "2002/7/5 9:30");
  put(0, 16, "\x0C" "192.168.0.10");
  put(0, 40, std::string("\x59\x01\0\0", 4));  // 345
  put(0, 85, "\x06" "a\r\nb\r\n");
  put(0, 341, "\x01P\x01");
  put(1, 0, "\x0F" "2026/12/1014:05");
  put(1, 16, "\x04" "PC01");
  put(1, 48, std::string("\x05\0\0\x80", 4));
  put(1, 85, std::string("\x00", 1));
  put(1, 341, std::string("\x01N\0", 3));
  return file;
}

}  // namespace

TEST_F(ScheduleFileTest, TwoRecordsLoadInOrderAndSaveBackByteForByte) {
  const std::string fixture = TwoRecordFixture();
  Write(fixture);
  std::vector<TScheduleEntry> entries(3);  // emptied by the load
  LoadScheduleFile(path_, entries);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].DateTime(), "2002/7/5 9:30");
  EXPECT_EQ(entries[0].Destination(), "192.168.0.10");
  EXPECT_EQ(entries[0].Width(), 345);
  EXPECT_EQ(entries[0].Text(), "a\r\nb\r\n");
  EXPECT_EQ(entries[0].Importance(), "P");
  EXPECT_EQ(entries[0].Sent(), 1);
  EXPECT_EQ(entries[1].DateTime(), "2026/12/10 14:05");
  EXPECT_EQ(entries[1].Destination(), "PC01");
  EXPECT_EQ(entries[1].Color(), static_cast<int32_t>(0x80000005));
  EXPECT_EQ(entries[1].Text(), "");
  EXPECT_EQ(entries[1].Importance(), "N");
  EXPECT_EQ(entries[1].Sent(), 0);

  fs::remove(path_);
  SaveScheduleFile(path_, entries);
  EXPECT_EQ(Read(), fixture);
  // Nothing else is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

  // Changing one entry changes only its bytes.
  entries[1].SetSent(1);
  SaveScheduleFile(path_, entries);
  std::string expected = fixture;
  expected[344 + 343] = 1;
  EXPECT_EQ(Read(), expected);
}

TEST_F(ScheduleFileTest, RecordCutShortKeepsTheWholeOnesBeforeIt) {
  std::string fixture = TwoRecordFixture();
  Write(fixture + fixture.substr(0, 100));
  std::vector<TScheduleEntry> entries;
  EXPECT_EQ(ErrorOf([&] { LoadScheduleFile(path_, entries); }), path_ + ": ファイルの末尾以降を読み込みました");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].Destination(), "PC01");

  Write(fixture.substr(0, 343));
  EXPECT_EQ(ErrorOf([&] { LoadScheduleFile(path_, entries); }), path_ + ": ファイルの末尾以降を読み込みました");
  EXPECT_TRUE(entries.empty());
}

TEST_F(ScheduleFileTest, EmptyFileHasNoEntries) {
  Write("");
  std::vector<TScheduleEntry> entries(1);
  LoadScheduleFile(path_, entries);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(fs::file_size(path_), 0u);
}

TEST_F(ScheduleFileTest, MissingFileIsCreatedEmpty) {
  // In a folder whose name code page 932 cannot hold: the path is the
  // system's own from the executable's location on.
  fs::path folder = dir_ / fs::path(u8"Müller한글饅");
  fs::create_directories(folder);
  fs::path path = folder / "vellot.dat";
  std::vector<TScheduleEntry> entries(2);
  LoadScheduleFile(path, entries);
  EXPECT_TRUE(entries.empty());
  ASSERT_TRUE(fs::exists(path));
  EXPECT_EQ(fs::file_size(path), 0u);
  std::vector<TScheduleEntry> one(1);
  SaveScheduleFile(path, one);
  LoadScheduleFile(path, entries);
  EXPECT_EQ(entries.size(), 1u);
}

TEST_F(ScheduleFileTest, SavingNoEntriesLeavesAnEmptyFile) {
  Write(TwoRecordFixture());
  SaveScheduleFile(path_, {});
  EXPECT_EQ(fs::file_size(path_), 0u);
}

TEST_F(ScheduleFileTest, ReadOnlyFileIsRefused) {
  const std::string fixture = TwoRecordFixture();
  Write(fixture);
  ::chmod(path_.c_str(), 0444);
  if (::access(path_.c_str(), W_OK) == 0) GTEST_SKIP() << "running as root: the file stays writable";
  std::vector<TScheduleEntry> entries;
  EXPECT_EQ(ErrorOf([&] { LoadScheduleFile(path_, entries); }), path_ + ": ファイルへのアクセスが拒否されました");
  EXPECT_TRUE(entries.empty());

  std::vector<TScheduleEntry> one(1);
  EXPECT_EQ(ErrorOf([&] { SaveScheduleFile(path_, one); }), path_ + ": ファイルへのアクセスが拒否されました");
  EXPECT_EQ(Read(), fixture);
}

TEST_F(ScheduleFileTest, FailedSaveLeavesTheOldFileUntouched) {
  const std::string fixture = TwoRecordFixture();
  // The file's own name fits; the temporary name beside it does not.
  const fs::path path = dir_ / (std::string(245, 'v') + "t.dat");
  std::ofstream(path, std::ios::binary) << fixture;
  std::vector<TScheduleEntry> one(1);
  EXPECT_EQ(ErrorOf([&] { SaveScheduleFile(path, one); }),
            path.string() + ": I/O エラー (" + std::to_string(ENAMETOOLONG) + ")");
  std::vector<TScheduleEntry> entries;
  LoadScheduleFile(path, entries);
  EXPECT_EQ(entries.size(), 2u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(ScheduleFileTest, TheTemporaryFileIsTheWritersOwn) {
  // What another writer (or one that died) left under a shared name does
  // not stand in the way.
  fs::create_directory(path_ + ".tmp");
  std::ofstream(path_ + ".tmp/x") << "x";
  std::vector<TScheduleEntry> one(1);
  SaveScheduleFile(path_, one);
  EXPECT_EQ(fs::file_size(path_), 344u);

  // Two writers saving at the same moment never mix their files: every save
  // succeeds and the file is always one of the two lists, whole.
  std::vector<TScheduleEntry> two(2), three(3);
  std::atomic<int> failures{0};
  auto saveMany = [&](const std::vector<TScheduleEntry>& entries) {
    for (int i = 0; i < 300; ++i) {
      try {
        SaveScheduleFile(path_, entries);
      } catch (const VelloError&) {
        ++failures;
      }
    }
  };
  std::thread a(saveMany, std::cref(two)), b(saveMany, std::cref(three));
  std::vector<TScheduleEntry> seen;
  for (int i = 0; i < 300; ++i) {
    LoadScheduleFile(path_, seen);
    EXPECT_TRUE(seen.size() == 1 || seen.size() == 2 || seen.size() == 3) << seen.size();
  }
  a.join();
  b.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_TRUE(fs::file_size(path_) == 2 * 344u || fs::file_size(path_) == 3 * 344u);
}

TEST_F(ScheduleFileTest, OtherErrorsCarryTheSystemNumber) {
  std::vector<TScheduleEntry> entries;
  std::string inMissingFolder = (dir_ / "none" / "vellot.dat").string();
  EXPECT_EQ(ErrorOf([&] { LoadScheduleFile(inMissingFolder, entries); }),
            inMissingFolder + ": I/O エラー (" + std::to_string(ENOENT) + ")");
  EXPECT_EQ(ErrorOf([&] { SaveScheduleFile(inMissingFolder, entries); }),
            inMissingFolder + ": I/O エラー (" + std::to_string(ENOENT) + ")");
  // A folder where the file should be.
  EXPECT_EQ(ErrorOf([&] { LoadScheduleFile(dir_.string(), entries); }),
            dir_.string() + ": I/O エラー (" + std::to_string(EISDIR) + ")");
}

TEST_F(ScheduleFileTest, AnUpdateChangesWhatTheFileHoldsNowAndNeverWritesOverADamagedFile) {
  const std::string fixture = TwoRecordFixture();
  Write(fixture);
  TScheduleEntry added;
  added.SetDestination("PC09");
  UpdateScheduleFile(path_, [&](std::vector<TScheduleEntry>& records) {
    EXPECT_EQ(records.size(), 2u);
    records.push_back(added);
    return true;
  });
  EXPECT_EQ(Read(), fixture + std::string(reinterpret_cast<const char*>(added.bytes().data()), 344));
  // Nothing to store: the file is left alone.
  UpdateScheduleFile(path_, [](std::vector<TScheduleEntry>& records) {
    records.clear();
    return false;
  });
  EXPECT_EQ(fs::file_size(path_), 3 * 344u);

  // A record cut short: the whole ones before it are no reason to lose the rest.
  Write(fixture + "cut");
  bool called = false;
  EXPECT_EQ(ErrorOf([&] {
              UpdateScheduleFile(path_, [&](std::vector<TScheduleEntry>&) { return called = true; });
            }),
            path_ + ": ファイルの末尾以降を読み込みました");
  EXPECT_FALSE(called);
  EXPECT_EQ(Read(), fixture + "cut");

  // No file yet: the change starts from no entries and makes it.
  fs::remove(path_);
  UpdateScheduleFile(path_, [&](std::vector<TScheduleEntry>& records) {
    EXPECT_TRUE(records.empty());
    records.push_back(added);
    return true;
  });
  EXPECT_EQ(fs::file_size(path_), 344u);
}
