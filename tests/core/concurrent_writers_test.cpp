// Two copies of the program writing into one folder at the same moment, as
// two real processes: nothing already stored may be lost, and a writer that
// cannot get the file in time says so.
#include <gtest/gtest.h>

#include "child_process.h"
#include "temp_folder.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "messaging/log_entry.h"
#include "schedule/schedule_file.h"
#include "settings/address_book.h"
#include "settings/ini_file.h"
#include "settings/phrase_store.h"

using namespace vello;
using vello::testing::StartChild;
using vello::testing::WaitChild;
namespace fs = std::filesystem;

namespace {

class ConcurrentWriters : public vello::testing::TempFolderTest {
 protected:
  // Every name in the folder: no lock or temporary file may stay behind.
  std::set<std::string> FolderNames() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename().string());
    return names;
  }
};

TEST_F(ConcurrentWriters, TwoWritersOfTheSettingsFileLoseNoKey) {
  // Forty keys written before, then two processes writing a key each, 2,000
  // times, as fast as they can.
  std::string path = PathOf("vello.ini");
  std::string before = "[setup]\r\n";
  for (int i = 0; i < 40; ++i) before += "key" + std::to_string(i) + "=value " + std::to_string(i) + "\r\n";
  Write(path, before);

  constexpr int kWrites = 2000;
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    children.push_back(StartChild([&, writer] {
      IniFile ini(path);
      for (int i = 1; i <= kWrites; ++i) ini.WriteInteger("setup", "writer" + std::to_string(writer), i);
    }));
  }
  for (pid_t child : children) EXPECT_EQ(WaitChild(child), 0);

  IniFile ini(path);
  for (int i = 0; i < 40; ++i)
    EXPECT_EQ(ini.ReadString("setup", "key" + std::to_string(i), "(lost)"), "value " + std::to_string(i)) << i;
  EXPECT_EQ(ini.ReadInteger("setup", "writer0", 0), kWrites);
  EXPECT_EQ(ini.ReadInteger("setup", "writer1", 0), kWrites);
  EXPECT_EQ(ini.ReadSection("setup").size(), 42u);
  EXPECT_EQ(FolderNames(), std::set<std::string>{"vello.ini"});
}

TEST_F(ConcurrentWriters, TwoDestinationPagesAddingAtOnceKeepEveryLine) {
  std::string path = PathOf("vello.dat");
  Write(path, "taro : PC01\r\njiro : PC02\r\n");
  constexpr int kLines = 200;
  auto line = [](int writer, int i) { return "w" + std::to_string(writer) + "-" + std::to_string(i) + " : PC"; };
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    children.push_back(StartChild([&, writer] {
      for (int i = 0; i < kLines; ++i) AddAddressBookLine(path, line(writer, i));
    }));
  }
  for (pid_t child : children) EXPECT_EQ(WaitChild(child), 0);

  std::vector<std::string> lines = LoadAddressBook(path);
  ASSERT_EQ(lines.size(), 2u + 2 * kLines);
  EXPECT_EQ(lines[0], "taro : PC01");
  EXPECT_EQ(lines[1], "jiro : PC02");
  // Each writer's lines are all there, in the order it added them.
  for (int writer = 0; writer < 2; ++writer) {
    std::vector<std::string> own, expected;
    for (const auto& l : lines)
      if (l.rfind("w" + std::to_string(writer) + "-", 0) == 0) own.push_back(l);
    for (int i = 0; i < kLines; ++i) expected.push_back(line(writer, i));
    EXPECT_EQ(own, expected) << writer;
  }
  EXPECT_EQ(FolderNames(), std::set<std::string>{"vello.dat"});
}

TEST_F(ConcurrentWriters, TwoPhrasePagesAddingAtOnceKeepEveryPhrase) {
  std::string path = PathOf("velloFixed.dat");
  Write(path, "[あいさつ]\r\nおはようございます=\r\n");
  constexpr int kPhrases = 150;
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    children.push_back(StartChild([&, writer] {
      PhraseStore store(path);
      for (int i = 0; i < kPhrases; ++i) {
        // Both into one category, and each into one of its own.
        store.AddPhrase("連絡", std::to_string(writer) + "-" + std::to_string(i));
        store.AddPhrase("連絡" + std::to_string(writer), std::to_string(i));
      }
    }));
  }
  for (pid_t child : children) EXPECT_EQ(WaitChild(child), 0);

  std::vector<PhraseCategory> all = PhraseStore(path).Load();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].name, "あいさつ");
  EXPECT_EQ(all[0].phrases, std::vector<std::string>{"おはようございます"});
  std::set<std::string> shared;
  for (const auto& category : all) {
    if (category.name == "連絡") shared.insert(category.phrases.begin(), category.phrases.end());
    if (category.name == "連絡0" || category.name == "連絡1") {
      EXPECT_EQ(category.phrases.size(), static_cast<std::size_t>(kPhrases));
    }
  }
  EXPECT_EQ(shared.size(), 2u * kPhrases);
}

TEST_F(ConcurrentWriters, TwoCopiesAddingToOneScheduleKeepEveryEntry) {
  const std::string path = PathOf("vellot.dat");
  constexpr int kEntries = 150;
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    children.push_back(StartChild([&, writer] {
      for (int i = 0; i < kEntries; ++i) {
        TScheduleEntry e;
        e.SetDestination("w" + std::to_string(writer));
        e.SetWidth(i);
        UpdateScheduleFile(path, [&](std::vector<TScheduleEntry>& records) {
          records.push_back(e);
          return true;
        });
      }
    }));
  }
  for (pid_t child : children) EXPECT_EQ(WaitChild(child), 0);
  std::vector<TScheduleEntry> records;
  LoadScheduleFile(path, records);
  ASSERT_EQ(records.size(), 2u * kEntries);
  // Each copy's entries are all there, in the order it added them.
  for (const char* writer : {"w0", "w1"}) {
    std::vector<int32_t> widths;
    for (const TScheduleEntry& e : records)
      if (e.Destination() == writer) widths.push_back(e.Width());
    ASSERT_EQ(widths.size(), static_cast<std::size_t>(kEntries)) << writer;
    for (int i = 0; i < kEntries; ++i) EXPECT_EQ(widths[i], i) << writer;
  }
  EXPECT_EQ(FolderNames(), std::set<std::string>{"vellot.dat"});
}

TEST_F(ConcurrentWriters, TwoCopiesAppendingToOneLogKeepEveryEntryWhole) {
  const std::string path = PathOf("vello.log");
  constexpr int kEntries = 3000;
  auto entry = [](int writer, int i) {
    return ReceivedLogEntry("2026/12/08 9:05:40", "PC0" + std::to_string(writer), "本文 " + std::to_string(i) + "\r\n");
  };
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer)
    children.push_back(StartChild([&, writer] {
      for (int i = 0; i < kEntries; ++i) AppendLogEntry(path, entry(writer, i));
    }));
  for (pid_t child : children) EXPECT_EQ(WaitChild(child), 0);
  // Every entry whole, each copy's in the order it wrote them. Between two
  // entries there may be an extra line break: the log is appended without a
  // lock, and a copy that looks at the last byte while the other's entry is
  // half-way in starts its own on a line of its own. Nothing else.
  const std::string log = Bytes(path);
  std::vector<bool> inEntry(log.size(), false);
  for (int writer = 0; writer < 2; ++writer) {
    std::size_t at = 0;
    for (int i = 0; i < kEntries; ++i) {
      const std::string e = entry(writer, i);
      at = log.find(e, at);
      ASSERT_NE(at, std::string::npos) << writer << " " << i;
      for (std::size_t k = at; k < at + e.size(); ++k) {
        ASSERT_FALSE(inEntry[k]) << "entries overlap at byte " << k;
        inEntry[k] = true;
      }
    }
  }
  for (std::size_t k = 0; k < log.size();) {
    if (inEntry[k]) {
      ++k;
      continue;
    }
    ASSERT_EQ(log.compare(k, 2, "\r\n"), 0) << "stray bytes at " << k << ": " << log.substr(k, 20);
    ASSERT_TRUE(k + 2 < log.size() && inEntry[k + 2]) << "a line break not before an entry at " << k;
    k += 2;
  }
}

TEST_F(ConcurrentWriters, CopiesWritingTheFirstEntryOfALogTogetherAllGetIn) {
  // The log does not exist yet and several copies append at the same moment:
  // the one that loses the race to create it appends to the winner's file.
  constexpr int kRounds = 60, kWriters = 6;
  for (int round = 0; round < kRounds; ++round) {
    const std::string path = PathOf("vello" + std::to_string(round) + ".log");
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer)
      children.push_back(StartChild([&, writer] {
        ::close(go[1]);
        char byte;
        (void)!::read(go[0], &byte, 1);  // returns when the parent closes its end
        AppendLogEntry(path, ReceivedLogEntry("2026/12/08 9:05:40", "PC0" + std::to_string(writer), "本文\r\n"));
      }));
    ::close(go[0]);
    ::close(go[1]);
    for (pid_t child : children) ASSERT_EQ(WaitChild(child), 0) << "round " << round;
    const std::string log = Bytes(path);
    for (int writer = 0; writer < kWriters; ++writer)
      EXPECT_NE(log.find("From : PC0" + std::to_string(writer) + "\r\n"), std::string::npos) << round;
  }
}

TEST_F(ConcurrentWriters, AWriterThatCannotGetTheFileInTimeSaysSoAndChangesNothing) {
  // Another process holds each file's lock until we close the pipe.
  const std::string ini = PathOf("vello.ini"), book = PathOf("vello.dat"), phrases = PathOf("velloFixed.dat");
  Write(ini, "[setup]\r\nport=1\r\n");
  Write(book, "taro : PC01\r\n");
  Write(phrases, "[連絡]\r\n至急=\r\n");
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  pid_t holder = StartChild([&] {
    ::close(ready[0]);
    ::close(release[1]);
    FileLock a(ini), b(book), c(phrases);
    if (a.state() != FileLock::State::kHeld || b.state() != FileLock::State::kHeld ||
        c.state() != FileLock::State::kHeld)
      throw VelloError("no lock");
    char byte = 1;
    (void)!::write(ready[1], &byte, 1);
    (void)!::read(release[0], &byte, 1);  // returns when the parent closes its end
  });
  ::close(ready[1]);
  ::close(release[0]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);

  const int savedWait = FileLockWaitMilliseconds();
  SetFileLockWaitMilliseconds(300);
  EXPECT_EQ(ErrorText([&] { IniFile(ini).WriteInteger("setup", "port", 2); }),
            "ファイル " + ini + " は使用中のため書き込めません");
  EXPECT_EQ(ErrorText([&] { AddAddressBookLine(book, "jiro : PC02"); }),
            "ファイル " + book + " は使用中のため書き込めません");
  EXPECT_EQ(ErrorText([&] { RemoveAddressBookLine(book, 0, "taro : PC01"); }),
            "ファイル " + book + " は使用中のため書き込めません");
  EXPECT_EQ(ErrorText([&] { PhraseStore(phrases).AddPhrase("連絡", "会議"); }),
            "ファイル " + phrases + " は使用中のため書き込めません");
  EXPECT_EQ(ErrorText([&] { PhraseStore(phrases).DeleteCategory("連絡"); }),
            "ファイル " + phrases + " は使用中のため書き込めません");
  EXPECT_EQ(Bytes(ini), "[setup]\r\nport=1\r\n");
  EXPECT_EQ(Bytes(book), "taro : PC01\r\n");
  EXPECT_EQ(Bytes(phrases), "[連絡]\r\n至急=\r\n");

  // Once the other writer lets go, the same writes go through.
  ::close(release[1]);
  EXPECT_EQ(WaitChild(holder), 0);
  ::close(ready[0]);
  IniFile(ini).WriteInteger("setup", "port", 2);
  EXPECT_EQ(AddAddressBookLine(book, "jiro : PC02"), (std::vector<std::string>{"taro : PC01", "jiro : PC02"}));
  SetFileLockWaitMilliseconds(savedWait);
  EXPECT_EQ(Bytes(ini), "[setup]\r\nport=2\r\n");
  EXPECT_EQ(FolderNames(), (std::set<std::string>{"vello.ini", "vello.dat", "velloFixed.dat"}));
}

TEST_F(ConcurrentWriters, ALockLeftByAWriterThatDiedIsTakenOver) {
  // A process killed while holding the lock leaves the lock file behind on
  // POSIX, but not the lock: the next writer must not wait for it.
  const std::string ini = PathOf("vello.ini");
  pid_t holder = StartChild([&] {
    FileLock lock(ini);
    ::_exit(lock.state() == FileLock::State::kHeld ? 0 : 1);  // dies holding it
  });
  ASSERT_EQ(WaitChild(holder), 0);
  ASSERT_TRUE(fs::exists(ini + ".lock"));
  const int savedWait = FileLockWaitMilliseconds();
  SetFileLockWaitMilliseconds(300);
  IniFile(ini).WriteInteger("setup", "port", 7);
  SetFileLockWaitMilliseconds(savedWait);
  EXPECT_EQ(Bytes(ini), "[setup]\r\nport=7\r\n");
}

TEST_F(ConcurrentWriters, TemporaryFilesOfWritersKilledHalfWayGoAtTheNextSave) {
  const std::string path = PathOf("vello.ini");
  Write(path, "[setup]\r\nport=1\r\n");
  // Writers killed while they save a large value, until one is killed
  // between making its temporary file and renaming it, leaving it behind.
  const std::string big(2 << 20, 'x');
  auto temporaries = [&] {
    std::set<std::string> names;
    for (const std::string& name : FolderNames())
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) names.insert(name);
    return names;
  };
  // The kill comes later and later, as a slow build (the sanitizers) may
  // take long to reach its first save.
  for (int round = 0; round < 200 && temporaries().empty(); ++round) {
    pid_t writer = StartChild([&] {
      IniFile ini(path);
      for (;;) ini.WriteString("setup", "big", big);
    });
    ::usleep(static_cast<useconds_t>(5000 + 7000 * (round % 30)));
    ::kill(writer, SIGKILL);
    WaitChild(writer);
  }
  std::set<std::string> leftovers = temporaries();
  ASSERT_FALSE(leftovers.empty()) << "no writer was killed half-way";
  // Names that only look alike, and another file's leftover, whose lock
  // the next save does not hold: they stay.
  const std::set<std::string> others = {"vello.ini.tmp", "vello.ini.12-x.tmp", "vello.ini.12-3.tmp.bak",
                                        "vello.ini.-3.tmp", "xvello.ini.12-3.tmp", "vello.dat.12-3.tmp"};
  for (const std::string& name : others) Write(PathOf(name), "keep");

  IniFile(path).WriteInteger("setup", "port", 2);
  EXPECT_EQ(temporaries(), (std::set<std::string>{"vello.ini.12-x.tmp", "vello.ini.-3.tmp", "xvello.ini.12-3.tmp",
                                                 "vello.ini.tmp", "vello.dat.12-3.tmp"}))
      << leftovers.size() << " left by killed writers";
  for (const std::string& name : others) EXPECT_EQ(Bytes(PathOf(name)), "keep") << name;
  EXPECT_EQ(IniFile(path).ReadInteger("setup", "port", 0), 2);
}

TEST_F(ConcurrentWriters, ThreeContendersNeverHoldTheLockTogether) {
  // Each process counts itself in while it holds the lock, in memory the
  // three share; the most ever counted in at once must be one.
  struct Shared {
    std::atomic<int> holders, most, taken;
  };
  void* memory = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  Shared* shared = new (memory) Shared{};
  const std::string path = PathOf("vello.ini");
  constexpr int kRounds = 400;
  std::vector<pid_t> children;
  for (int contender = 0; contender < 3; ++contender) {
    children.push_back(StartChild([&] {
      for (int i = 0; i < kRounds; ++i) {
        FileLock lock(path, 20000);
        if (lock.state() != FileLock::State::kHeld) throw VelloError("not taken");
        int now = ++shared->holders;
        for (int most = shared->most.load(); now > most && !shared->most.compare_exchange_weak(most, now);) {
        }
        ++shared->taken;
        ::usleep(20);
        --shared->holders;
      }
    }));
  }
  for (pid_t child : children) EXPECT_EQ(WaitChild(child), 0);
  EXPECT_EQ(shared->taken.load(), 3 * kRounds);
  EXPECT_EQ(shared->most.load(), 1);
  ::munmap(memory, sizeof(Shared));
}

TEST_F(ConcurrentWriters, ReplacementsFromTwoProcessesAreAlwaysWhole) {
  // Without any lock, each replacement must still land whole: every reader
  // sees one writer's bytes or the other's, never a mixture or a cut file.
  const std::string path = PathOf("whole.dat");
  const std::string initial(1000, 'i'), a(256 * 1024, 'a'), b(192 * 1024, 'b');
  Write(path, initial);
  constexpr int kReplacements = 150;
  std::vector<pid_t> children;
  for (const std::string* bytes : {&a, &b}) {
    children.push_back(StartChild([&, bytes] {
      for (int i = 0; i < kReplacements; ++i)
        if (!ReplaceFileBytes(path, *bytes)) throw VelloError("replacement " + std::to_string(i) + " failed");
    }));
  }
  int torn = 0, reads = 0;
  std::vector<int> statuses(children.size(), -2);  // -2: still running
  for (bool running = true; running;) {
    running = false;
    for (std::size_t i = 0; i < children.size(); ++i) {
      int status = 0;
      if (statuses[i] == -2 && ::waitpid(children[i], &status, WNOHANG) == children[i])
        statuses[i] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      running = running || statuses[i] == -2;
    }
    std::string seen = Bytes(path);
    ++reads;
    if (seen != initial && seen != a && seen != b) ++torn;
  }
  EXPECT_EQ(statuses, (std::vector<int>{0, 0}));
  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
  EXPECT_EQ(FolderNames(), std::set<std::string>{"whole.dat"});
}

}  // namespace
