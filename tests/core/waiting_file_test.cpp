// The waiting file on disk: changes under its lock, nothing lost or doubled
// by a second writer, a failed write or a writer killed at any moment.
#include <gtest/gtest.h>

#include "child_process.h"
#include "temp_folder.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/file_paths.h"
#include "messaging/retry_plan.h"
#include "messaging/waiting_file.h"

using namespace vello;
using vello::testing::StartChild;
using vello::testing::WaitChild;
namespace fs = std::filesystem;

namespace {

WaitingMessage Message(const std::string& id) {
  WaitingMessage m;
  m.id = id;
  m.destination = m.host = "pc-b";
  m.text = "本文 " + id + "\r\n二行目";
  m.importance = "N";
  m.expiresAt = INT64_MAX;
  return m;
}

bool Add(std::vector<WaitingMessage>& messages, const WaitingMessage& m) {
  messages.push_back(m);
  return true;
}

std::vector<std::string> Ids(const std::vector<WaitingMessage>& messages) {
  std::vector<std::string> ids;
  for (const WaitingMessage& m : messages) ids.push_back(m.id);
  return ids;
}

class WaitingFile : public vello::testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    path_ = BesideExecutable(dir_ / "vello.exe", kWaitingEnding);
  }
  std::set<std::string> FolderNames() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename().string());
    return names;
  }
  fs::path path_;
};

}  // namespace

TEST_F(WaitingFile, LiesBesideTheExecutableUnderANameOfItsOwn) {
  EXPECT_EQ(path_.filename(), "vello.wait");
  for (std::string_view other : {kSettingsEnding, kAddressBookEnding, kLogEnding, kPhrasesEnding, kScheduleEnding})
    EXPECT_NE(kWaitingEnding, other);
}

TEST_F(WaitingFile, AMissingFileHoldsNoneAndTheFirstChangeMakesIt) {
  EXPECT_TRUE(LoadWaitingFile(path_).empty());
  EXPECT_FALSE(fs::exists(path_));
  UpdateWaitingFile(path_, [](std::vector<WaitingMessage>& messages) {
    EXPECT_TRUE(messages.empty());
    return false;
  });
  EXPECT_FALSE(fs::exists(path_));
  UpdateWaitingFile(path_, [](std::vector<WaitingMessage>& messages) { return Add(messages, Message("a")); });
  EXPECT_EQ(Bytes(path_.string()), EncodeWaitingFile({Message("a")}));
  EXPECT_EQ(LoadWaitingFile(path_), std::vector<WaitingMessage>{Message("a")});
  EXPECT_EQ(FolderNames(), std::set<std::string>{"vello.wait"});
}

TEST_F(WaitingFile, AnAttemptUnderWayShowsAsUnknownToALoadButAsStoredToAChange) {
  WaitingMessage sending = Message("a");
  BeginAttempt(sending);
  Write(path_.string(), EncodeWaitingFile({sending, Message("b")}));
  std::vector<WaitingMessage> loaded = LoadWaitingFile(path_);
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(loaded[0].state, WaitState::kUnknown);
  EXPECT_EQ(loaded[1].state, WaitState::kWaiting);
  // Loading changes nothing on the disk.
  EXPECT_EQ(Bytes(path_.string()), EncodeWaitingFile({sending, Message("b")}));
  // A change sees it as stored (another copy's attempt may be under way);
  // settling it at start-up is a change of its own.
  UpdateWaitingFile(path_, [](std::vector<WaitingMessage>& messages) {
    EXPECT_EQ(messages[0].state, WaitState::kSending);
    return SettleInterruptedAttempts(messages);
  });
  // Unknown is never tried again by itself: only the user sends it again.
  loaded = LoadWaitingFile(path_);
  EXPECT_EQ(loaded[0].state, WaitState::kUnknown);
  EXPECT_EQ(DueMessages(loaded, 0), std::vector<std::size_t>{1});
}

TEST_F(WaitingFile, AChangeKeepsTheLinesItCannotReadAsTheyWere) {
  const std::string damaged = std::string("id=x,text=cut sh\x83", 18);
  Write(path_.string(), "VelloWaiting 1\r\n" + damaged + "\r\n" +
                            EncodeWaitingFile({Message("a")}).substr(std::string("VelloWaiting 1\r\n").size()));
  UpdateWaitingFile(path_, [](std::vector<WaitingMessage>& messages) {
    EXPECT_EQ(Ids(messages), std::vector<std::string>{"a"});
    return Add(messages, Message("b"));
  });
  EXPECT_EQ(Bytes(path_.string()), EncodeWaitingFile({Message("a"), Message("b")}, {damaged}));
  EXPECT_EQ(Ids(LoadWaitingFile(path_)), (std::vector<std::string>{"a", "b"}));
}

TEST_F(WaitingFile, AFileOfAnotherVersionIsNeverWrittenOver) {
  const std::string newer = "VelloWaiting 2\r\nwhatever it holds\r\n";
  Write(path_.string(), newer);
  bool called = false;
  const std::string error = ErrorText([&] {
    UpdateWaitingFile(path_, [&](std::vector<WaitingMessage>&) { return called = true; });
  });
  EXPECT_EQ(error, path_.string() + ": ファイルの形式の版が違います (2)");
  EXPECT_FALSE(called);
  EXPECT_EQ(ErrorText([&] { LoadWaitingFile(path_); }), error);
  EXPECT_EQ(Bytes(path_.string()), newer);
}

TEST_F(WaitingFile, AFailedWriteLeavesTheOldFileAsItWas) {
  const std::string before = EncodeWaitingFile({Message("a"), Message("b")});
  {
    // The disk fills up half-way through the new file.
    Write(path_.string(), before);
    vello::testing::FileSizeLimit limit(before.size() + 10);
    WaitingMessage big = Message("c");
    big.text.assign(64 * 1024, 'x');
    const std::string error = ErrorText([&] {
      UpdateWaitingFile(path_, [&](std::vector<WaitingMessage>& messages) { return Add(messages, big); });
    });
    EXPECT_EQ(error, path_.string() + ": I/O エラー (" + std::to_string(EFBIG) + ")");
  }
  EXPECT_EQ(Bytes(path_.string()), before);
  EXPECT_EQ(FolderNames(), std::set<std::string>{"vello.wait"});

  // The temporary name beside the file is too long for the system.
  const fs::path longPath = dir_ / (std::string(250, 'v') + ".wait");
  Write(longPath.string(), before);
  EXPECT_EQ(ErrorText([&] {
              UpdateWaitingFile(longPath, [](std::vector<WaitingMessage>& m) { return Add(m, Message("c")); });
            }),
            longPath.string() + ": I/O エラー (" + std::to_string(ENAMETOOLONG) + ")");
  EXPECT_EQ(Ids(LoadWaitingFile(longPath)), (std::vector<std::string>{"a", "b"}));
}

TEST_F(WaitingFile, AWriterKeptWaitingSaysTheFileIsInUse) {
  UpdateWaitingFile(path_, [](std::vector<WaitingMessage>& m) { return Add(m, Message("a")); });
  const int savedWait = FileLockWaitMilliseconds();
  SetFileLockWaitMilliseconds(50);
  {
    FileLock held(path_);
    ASSERT_EQ(held.state(), FileLock::State::kHeld);
    bool called = false;
    EXPECT_EQ(ErrorText([&] {
                UpdateWaitingFile(path_, [&](std::vector<WaitingMessage>&) { return called = true; });
              }),
              FileInUseText(path_));
    EXPECT_FALSE(called);
    // Reading needs no lock.
    EXPECT_EQ(Ids(LoadWaitingFile(path_)), std::vector<std::string>{"a"});
  }
  SetFileLockWaitMilliseconds(savedWait);
}

TEST_F(WaitingFile, AReadOnlyFileIsRefused) {
  Write(path_.string(), EncodeWaitingFile({Message("a")}));
  fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  if (::access(path_.c_str(), W_OK) == 0) GTEST_SKIP() << "running as root: the file stays writable";
  const std::string refused = path_.string() + ": ファイルへのアクセスが拒否されました";
  EXPECT_EQ(ErrorText([&] { LoadWaitingFile(path_); }), refused);
  EXPECT_EQ(ErrorText([&] {
              UpdateWaitingFile(path_, [](std::vector<WaitingMessage>& m) { return Add(m, Message("b")); });
            }),
            refused);
  EXPECT_EQ(Bytes(path_.string()), EncodeWaitingFile({Message("a")}));
}

TEST_F(WaitingFile, TwoCopiesKeepingMessagesAtOnceLoseNone) {
  constexpr int kMessages = 120;
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    children.push_back(StartChild([&, writer] {
      for (int i = 0; i < kMessages; ++i) {
        // Each adds one and marks its previous one as under way: a change
        // made to what the file holds now, the other's messages among it.
        UpdateWaitingFile(path_, [&](std::vector<WaitingMessage>& messages) {
          for (WaitingMessage& m : messages)
            if (m.id == "w" + std::to_string(writer) + "-" + std::to_string(i - 1)) BeginAttempt(m);
          return Add(messages, Message("w" + std::to_string(writer) + "-" + std::to_string(i)));
        });
      }
    }));
  }
  for (pid_t child : children) EXPECT_EQ(WaitChild(child), 0);
  std::vector<WaitingMessage> all = LoadWaitingFile(path_);
  ASSERT_EQ(all.size(), 2u * kMessages);
  for (int writer = 0; writer < 2; ++writer) {
    std::vector<std::string> own, expected;
    for (const WaitingMessage& m : all)
      if (m.id.rfind("w" + std::to_string(writer) + "-", 0) == 0) own.push_back(m.id);
    for (int i = 0; i < kMessages; ++i) expected.push_back("w" + std::to_string(writer) + "-" + std::to_string(i));
    EXPECT_EQ(own, expected) << writer;
  }
  // Every mark kept, none made twice: all but each copy's last are under way.
  for (const WaitingMessage& m : all) {
    const bool last = m.id.ends_with("-" + std::to_string(kMessages - 1));
    EXPECT_EQ(m.attempts, last ? 0u : 1u) << m.id;
    EXPECT_EQ(m.state, last ? WaitState::kWaiting : WaitState::kUnknown) << m.id;
  }
  EXPECT_EQ(FolderNames(), std::set<std::string>{"vello.wait"});
}

TEST_F(WaitingFile, WhatAWriterKilledHalfWayLeftBehindCostsNothing) {
  // The file as the last whole write left it, and what a writer killed
  // after that left beside it: its lock file (the lock itself ended with
  // it) and its temporary file, written in part.
  const std::string stored = EncodeWaitingFile({Message("a"), Message("b")});
  Write(path_.string(), stored);
  Write(path_.string() + ".lock", "");
  Write(path_.string() + ".lock.next", "");
  const std::string partNew = EncodeWaitingFile({Message("a"), Message("b"), Message("c")});
  Write(path_.string() + ".4242-1.tmp", partNew.substr(0, partNew.size() - 40));

  EXPECT_EQ(Ids(LoadWaitingFile(path_)), (std::vector<std::string>{"a", "b"}));
  UpdateWaitingFile(path_, [](std::vector<WaitingMessage>& m) { return Add(m, Message("d")); });
  EXPECT_EQ(Ids(LoadWaitingFile(path_)), (std::vector<std::string>{"a", "b", "d"}));
  EXPECT_EQ(FolderNames().count("vello.wait.4242-1.tmp"), 0u);
}

TEST_F(WaitingFile, KilledAtAnyMomentAWriterLosesNoneAndDoublesNone) {
  // A child keeps a message after another, each its own change; after every
  // change it notes how many are stored. Killed at a random moment, the file
  // holds exactly the first n or n + 1 (the change it was making), each once.
  auto* stored = static_cast<std::atomic<int>*>(
      ::mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(stored, MAP_FAILED);
  new (stored) std::atomic<int>(0);
  int total = 0;
  for (int round = 0; round < 25; ++round) {
    stored->store(total);
    pid_t child = StartChild([&] {
      for (int i = total;; ++i) {
        UpdateWaitingFile(path_, [&](std::vector<WaitingMessage>& m) { return Add(m, Message(std::to_string(i))); });
        stored->store(i + 1);
      }
    });
    // Once it has stored one (however busy the machine), at a moment that
    // varies from round to round.
    for (int waited = 0; stored->load() <= total && waited < 10000; ++waited) ::usleep(1000);
    ::usleep(static_cast<useconds_t>((round * 7919) % 3000));
    ::kill(child, SIGKILL);
    EXPECT_EQ(WaitChild(child), -1);
    const int noted = stored->load();
    std::vector<std::string> ids = Ids(LoadWaitingFile(path_));
    ASSERT_TRUE(static_cast<int>(ids.size()) == noted || static_cast<int>(ids.size()) == noted + 1)
        << "round " << round << ": " << ids.size() << " stored, " << noted << " noted";
    for (std::size_t i = 0; i < ids.size(); ++i) ASSERT_EQ(ids[i], std::to_string(i)) << "round " << round;
    total = static_cast<int>(ids.size());
  }
  EXPECT_GE(total, 25);
  // The next writer clears what the killed ones left.
  UpdateWaitingFile(path_, [](std::vector<WaitingMessage>&) { return true; });
  for (const std::string& name : FolderNames())
    EXPECT_TRUE(name == "vello.wait" || name == "vello.wait.lock" || name == "vello.wait.lock.next") << name;
  ::munmap(stored, sizeof(std::atomic<int>));
}
