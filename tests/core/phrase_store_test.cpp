// The fixed phrase file: categories as sections, phrases as keys.
#include <gtest/gtest.h>

#include "temp_folder.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/vello_error.h"
#include "settings/phrase_store.h"

using namespace vello;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

const std::string kExample =
    "[あいさつ]\r\n"
    "おはようございます=\r\n"
    "お疲れさまです=\r\n"
    "[連絡]\r\n"
    "会議室に来てください=\r\n";

class PhraseStoreTest : public vello::testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    path_ = PathOf("velloFixed.dat");
  }

  std::string Bytes() const { return TempFolderTest::Bytes(path_); }
  void Write(const std::string& bytes) const { TempFolderTest::Write(path_, bytes); }
  void MakeReadOnly() const {
    fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }

  std::string path_;
};

TEST_F(PhraseStoreTest, ListsCategoriesAndPhrasesInFileOrder) {
  Write(kExample);
  PhraseStore store(path_);
  EXPECT_EQ(store.Categories(), (Names{"あいさつ", "連絡"}));
  EXPECT_EQ(store.Phrases("あいさつ"), (Names{"おはようございます", "お疲れさまです"}));
  EXPECT_EQ(store.Phrases("連絡"), (Names{"会議室に来てください"}));
  EXPECT_TRUE(store.Phrases("").empty());
  EXPECT_TRUE(store.Phrases("連").empty());
}

TEST_F(PhraseStoreTest, MissingFileHoldsNothingUntilTheFirstPhrase) {
  PhraseStore store(path_);
  EXPECT_TRUE(store.Categories().empty());
  EXPECT_TRUE(store.Phrases("連絡").empty());
  store.DeletePhrase("連絡", "x");
  store.DeleteCategory("連絡");
  EXPECT_FALSE(fs::exists(path_));

  store.AddPhrase("連絡", "会議室に来てください");
  EXPECT_EQ(Bytes(), "[連絡]\r\n会議室に来てください=\r\n");
  EXPECT_EQ(store.Categories(), (Names{"連絡"}));
}

TEST_F(PhraseStoreTest, AddingGoesToTheEndOfItsCategoryOrOfTheFile) {
  Write(kExample);
  PhraseStore store(path_);
  store.AddPhrase("あいさつ", "こんにちは");
  store.AddPhrase("質問", "いつですか？");
  EXPECT_EQ(Bytes(),
            "[あいさつ]\r\n"
            "おはようございます=\r\n"
            "お疲れさまです=\r\n"
            "こんにちは=\r\n"
            "[連絡]\r\n"
            "会議室に来てください=\r\n"
            "[質問]\r\n"
            "いつですか？=\r\n");
  EXPECT_EQ(store.Categories(), (Names{"あいさつ", "連絡", "質問"}));
}

TEST_F(PhraseStoreTest, NamesDifferingOnlyInCaseAreOne) {
  Write("[Work]\r\nMeeting at 3=\r\n");
  PhraseStore store(path_);
  store.AddPhrase("WORK", "meeting AT 3");
  store.AddPhrase("work", "Lunch");
  EXPECT_EQ(Bytes(), "[Work]\r\nMeeting at 3=\r\nLunch=\r\n");
  store.DeletePhrase("wOrK", "LUNCH");
  EXPECT_EQ(Bytes(), "[Work]\r\nMeeting at 3=\r\n");
}

TEST_F(PhraseStoreTest, PhrasesTheProfileFormatCannotHoldAreRefused) {
  // Stored as keys they would read back as another text ("a=b" as "a", " x"
  // as "x"), as a category ("[x]") or not at all (";memo").
  struct Case { std::string phrase, says; } cases[] = {
    {"a=b", "定型文に「=」は使えません。"},
    {"=", "定型文に「=」は使えません。"},
    {"式は x=1", "定型文に「=」は使えません。"},
    {"[x]", "「[」で始まる定型文は登録できません。"},
    {"[", "「[」で始まる定型文は登録できません。"},
    {";memo", "「;」で始まる定型文は登録できません。"},
    {" 前", "前後に空白のある定型文は登録できません。"},
    {"後 ", "前後に空白のある定型文は登録できません。"},
    {"\tタブ", "前後に空白のある定型文は登録できません。"},
  };
  Write(kExample);
  PhraseStore store(path_);
  for (const auto& c : cases) {
    EXPECT_EQ(PhraseRefusal(c.phrase), c.says) << c.phrase;
    EXPECT_EQ(ErrorText([&] { store.AddPhrase("あいさつ", c.phrase); }), c.says) << c.phrase;
  }
  EXPECT_EQ(Bytes(), kExample);

  // Anything else is a phrase, also with these characters inside it or a
  // double-byte character whose second byte is "[" (饉 E9 5B).
  for (std::string phrase : {"x[1]", "a;b", "中 の 空白", "饉", "【重要】", "\"引用\"", "全角　", "50%"}) {
    EXPECT_EQ(PhraseRefusal(phrase), std::nullopt) << phrase;
    store.AddPhrase("可", phrase);
  }
  EXPECT_EQ(store.Phrases("可"),
            (Names{"x[1]", "a;b", "中 の 空白", "饉", "【重要】", "\"引用\"", "全角　", "50%"}));
}

TEST_F(PhraseStoreTest, DeletingRemovesExactlyThoseLines) {
  Write("; my phrases\r\n[あいさつ]\r\nおはよう=\r\nこんにちは=\r\nこんばんは=\r\n\r\n[連絡]\r\n至急=\r\n");
  PhraseStore store(path_);
  store.DeletePhrase("あいさつ", "おはよう");
  store.DeletePhrase("あいさつ", "こんばんは");
  store.DeletePhrase("あいさつ", "ありません");
  EXPECT_EQ(Bytes(), "; my phrases\r\n[あいさつ]\r\nこんにちは=\r\n\r\n[連絡]\r\n至急=\r\n");

  store.DeletePhrase("あいさつ", "こんにちは");
  store.DeleteCategory("あいさつ");
  EXPECT_EQ(Bytes(), "; my phrases\r\n[連絡]\r\n至急=\r\n");
  EXPECT_EQ(store.Categories(), (Names{"連絡"}));
}

TEST_F(PhraseStoreTest, ACategoryStillHoldingPhrasesIsKept) {
  // The page deletes a category when its list runs empty; phrases it did not
  // show (another copy added them meanwhile) keep the category in the file.
  const std::string bytes = "[連絡]\r\n会議室に来てください=\r\n[あいさつ]\r\n; only a comment\r\nno value\r\n";
  Write(bytes);
  PhraseStore store(path_);
  store.DeleteCategory("連絡");
  EXPECT_EQ(Bytes(), bytes);
  // A section without a phrase goes, with whatever else its lines hold.
  store.DeleteCategory("あいさつ");
  EXPECT_EQ(Bytes(), "[連絡]\r\n会議室に来てください=\r\n");
}

TEST_F(PhraseStoreTest, RefusedWrites) {
  Write(kExample);
  MakeReadOnly();
  PhraseStore store(path_);
  EXPECT_EQ(ErrorText([&] { store.AddPhrase("連絡", "至急"); }), path_ + " に書き込めません");
  // The phrases could not be deleted, so neither can their category: said so.
  EXPECT_EQ(ErrorText([&] { store.DeleteCategory("あいさつ"); }), path_ + " に書き込めません");
  EXPECT_EQ(ErrorText([&] { store.DeletePhrase("連絡", "会議室に来てください"); }), "(no error)");
  EXPECT_EQ(Bytes(), kExample);

  std::string nowhere = (dir_ / "gone" / "velloFixed.dat").string();
  PhraseStore lost(nowhere);
  EXPECT_EQ(ErrorText([&] { lost.AddPhrase("連絡", "至急"); }), nowhere + " に書き込めません");
}

// Names of `size` bytes each: "[001xxxx...]".
std::string Name(int i, std::size_t size) {
  std::string name = std::to_string(1000 + i).substr(1);
  name.resize(size, 'x');
  return name;
}

TEST_F(PhraseStoreTest, ListsOnlyWhatFitsTheListingBuffer) {
  // 163 names of 99 bytes take 163 * 100 = 16300 bytes with their NULs. With
  // the list's closing NUL, a last name of up to 82 bytes fits; 83 does not.
  for (std::size_t last : {82u, 83u}) {
    std::string bytes;
    Names expected;
    for (int i = 0; i < 163; ++i) {
      bytes += "[" + Name(i, 99) + "]\r\n";
      expected.push_back(Name(i, 99));
    }
    bytes += "[" + Name(163, last) + "]\r\n" + "[" + Name(164, 1) + "]\r\n";
    if (last == 82) expected.push_back(Name(163, last));
    Write(bytes);
    EXPECT_EQ(PhraseStore(path_).Categories(), expected) << last;
  }

  // The same buffer lists the phrases of one category; two-byte characters
  // count two bytes.
  std::string bytes = "[長い]\r\n";
  Names expected;
  std::string kana;
  for (int i = 0; i < 97; ++i) kana += "あ";
  for (int i = 0; i < 81; ++i) {
    std::string p = std::to_string(100 + i) + kana + "x";  // 3 + 194 + 1 = 198 bytes
    bytes += p + "=\r\n";
    expected.push_back(p);
  }
  // 81 * 199 = 16119 bytes used; 16384 - 1 - 16119 = 264 left for one name and its NUL.
  std::string fits(263, 'y');
  bytes += fits + "=\r\n" + "z=\r\n";
  expected.push_back(fits);
  Write(bytes);
  EXPECT_EQ(PhraseStore(path_).Phrases("長い"), expected);
}

}  // namespace

namespace {

class PhraseSnapshot : public PhraseStoreTest {
 protected:
  // Load() must list exactly what the category-by-category reading lists.
  void ExpectSameAsOneByOne() {
    PhraseStore store(path_);
    std::vector<PhraseCategory> loaded = store.Load();
    Names categories = store.Categories();
    ASSERT_EQ(loaded.size(), categories.size());
    for (std::size_t i = 0; i < loaded.size(); ++i) {
      EXPECT_EQ(loaded[i].name, categories[i]);
      EXPECT_EQ(loaded[i].phrases, store.Phrases(categories[i])) << categories[i];
    }
  }
};

TEST_F(PhraseSnapshot, OneReadingListsWhatCategoryByCategoryReadingLists) {
  Write("stray=before any section\r\n"
        "[あいさつ]\r\n"
        "おはようございます=\r\n"
        "; a comment\r\n"
        "no value\r\n"
        "  お疲れさまです  = ignored value\r\n"
        "=empty name\r\n"
        "[Work]\r\n"
        "Meeting=\r\n"
        "[ 連絡 ]\r\n"
        "会議室に来てください=\r\n"
        "[WORK]\r\n"  // the same category again: only the first is read
        "Lunch=\r\n"
        "[あいさつ]\r\n"
        "こんばんは=\r\n"
        "[空]\r\n"
        "[饅頭]\r\n"  // E9 5C: a trail byte that is a backslash
        "纊=\r\n");
  ExpectSameAsOneByOne();
  std::vector<PhraseCategory> loaded = PhraseStore(path_).Load();
  ASSERT_EQ(loaded.size(), 5u);
  EXPECT_EQ(loaded[0].name, "あいさつ");
  EXPECT_EQ(loaded[0].phrases, (Names{"おはようございます", "お疲れさまです"}));
  EXPECT_EQ(loaded[1].phrases, (Names{"Meeting"}));
  EXPECT_EQ(loaded[2].name, "連絡");
  EXPECT_EQ(loaded[3].name, "空");
  EXPECT_TRUE(loaded[3].phrases.empty());
  EXPECT_EQ(loaded[4].name, "饅頭");
  EXPECT_EQ(loaded[4].phrases, (Names{"纊"}));
}

TEST_F(PhraseSnapshot, TheListingBufferBoundsBothLists) {
  // More categories than the buffer lists, and a category with more phrases
  // than it lists: the snapshot cuts both where the one-by-one reading does.
  std::string bytes;
  for (int i = 0; i < 2000; ++i) {
    bytes += "[category " + std::to_string(i) + "]\r\n";
    if (i == 3)
      for (int p = 0; p < 1500; ++p) bytes += "phrase number " + std::to_string(p) + "=\r\n";
  }
  Write(bytes);
  ExpectSameAsOneByOne();
  std::vector<PhraseCategory> loaded = PhraseStore(path_).Load();
  EXPECT_LT(loaded.size(), 2000u);
  EXPECT_LT(loaded[3].phrases.size(), 1500u);
  EXPECT_FALSE(loaded[3].phrases.empty());
}

TEST_F(PhraseSnapshot, MissingFileHoldsNoCategory) { EXPECT_TRUE(PhraseStore(path_).Load().empty()); }

}  // namespace
