// The fixed-phrase page against the bytes of the phrase file.
#include "setup_dialog_fixture.h"

namespace vello::testing {
namespace {

constexpr char kPhrases[] =
    "[あいさつ]\r\nおはようございます=\r\nお疲れさまです=\r\nこんにちは=\r\n[連絡]\r\n会議室に来てください=\r\n";

TEST_F(SetupDialogTest, PhrasesAreListedByCategoryAndDeletedSeveralAtATime) {
  WriteBeside("Fixed.dat", kPhrases);
  StartApp();
  Dialog().ShowPage(SetupPage::Phrases);
  TPhrasesPage& p = Phrases();
  struct Expected {
    HWND control;
    int x, y, width, height;
  } layout[] = {{p.categoryBox, 0, 0, 193, -1}, {p.phraseList, 0, 24, 345, 105}, {p.phraseBox, 0, 136, 345, 20},
                {p.addButton, 152, 160, 75, 25}, {p.deleteButton, 240, 160, 75, 25}};
  for (const auto& e : layout) {
    RECT r = RectIn(e.control, Dialog().page(SetupPage::Phrases));
    EXPECT_EQ(r.left, e.x);
    EXPECT_EQ(r.top, e.y);
    EXPECT_EQ(r.right - r.left, e.width);
    if (e.height >= 0) {
      EXPECT_EQ(r.bottom - r.top, e.height);
    }
  }
  EXPECT_EQ(ControlText(p.addButton), "追加(&A)");
  EXPECT_EQ(ControlText(p.deleteButton), "削除(&D)");
  EXPECT_NE(GetWindowLongW(p.phraseList, GWL_STYLE) & LBS_EXTENDEDSEL, 0);

  EXPECT_EQ(ComboRows(p.categoryBox), (std::vector<std::string>{"あいさつ", "連絡"}));
  EXPECT_EQ(ControlText(p.categoryBox), "あいさつ");
  EXPECT_EQ(ListRows(p.phraseList), (std::vector<std::string>{"おはようございます", "お疲れさまです", "こんにちは"}));
  EXPECT_FALSE(IsWindowEnabled(p.addButton));
  EXPECT_FALSE(IsWindowEnabled(p.deleteButton));

  // Two of three rows.
  ClickRow(p.phraseList, 0);
  ClickRow(p.phraseList, 2, true);
  EXPECT_TRUE(IsWindowEnabled(p.deleteButton));
  Click(p.deleteButton);
  EXPECT_EQ(ReadBeside("Fixed.dat"), "[あいさつ]\r\nお疲れさまです=\r\n[連絡]\r\n会議室に来てください=\r\n");
  EXPECT_EQ(ListRows(p.phraseList), std::vector<std::string>{"お疲れさまです"});
  EXPECT_FALSE(IsWindowEnabled(p.deleteButton));

  // The last phrase takes its category with it; the box shows the first one left.
  ClickRow(p.phraseList, 0);
  Click(p.deleteButton);
  EXPECT_EQ(ReadBeside("Fixed.dat"), "[連絡]\r\n会議室に来てください=\r\n");
  EXPECT_EQ(ComboRows(p.categoryBox), std::vector<std::string>{"連絡"});
  EXPECT_EQ(ControlText(p.categoryBox), "連絡");
  EXPECT_TRUE(ListRows(p.phraseList).empty());
  EXPECT_FALSE(IsWindowEnabled(p.deleteButton));

  // Choosing the category from the list fills the rows.
  SendMessageW(p.categoryBox, CB_SETCURSEL, 0, 0);
  SendMessageW(Dialog().page(SetupPage::Phrases), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(p.categoryBox), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(p.categoryBox));
  EXPECT_EQ(ListRows(p.phraseList), std::vector<std::string>{"会議室に来てください"});
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(SetupDialogTest, PhrasesAreAddedToATypedCategory) {
  WriteBeside("Fixed.dat", kPhrases);
  StartApp();
  Dialog().ShowPage(SetupPage::Phrases);
  TPhrasesPage& p = Phrases();
  ClickRow(p.phraseList, 1);
  Type(p.phraseBox, L"x");
  ASSERT_TRUE(IsWindowEnabled(p.addButton));
  ASSERT_TRUE(IsWindowEnabled(p.deleteButton));
  // Typing a category that does not exist empties the list and disables both buttons.
  Clear(p.categoryBox);
  Type(p.categoryBox, L"質問");
  EXPECT_TRUE(ListRows(p.phraseList).empty());
  EXPECT_FALSE(IsWindowEnabled(p.addButton));
  EXPECT_FALSE(IsWindowEnabled(p.deleteButton));

  Clear(p.phraseBox);
  Type(p.phraseBox, L"いつですか？");
  EXPECT_TRUE(IsWindowEnabled(p.addButton));
  Click(p.addButton);
  EXPECT_EQ(ReadBeside("Fixed.dat"), std::string(kPhrases) + "[質問]\r\nいつですか？=\r\n");
  EXPECT_EQ(ListRows(p.phraseList), std::vector<std::string>{"いつですか？"});
  EXPECT_EQ(ControlText(p.phraseBox), "");
  EXPECT_FALSE(IsWindowEnabled(p.addButton));
  // The box's list takes the new category at the next showing.
  EXPECT_EQ(ComboRows(p.categoryBox).size(), 2u);

  // The same phrase twice is one line.
  Type(p.phraseBox, L"x[1]");
  Click(p.addButton);
  Type(p.phraseBox, L"いつですか？");
  Click(p.addButton);
  EXPECT_EQ(ListRows(p.phraseList), (std::vector<std::string>{"いつですか？", "x[1]", "いつですか？"}));
  EXPECT_EQ(ReadBeside("Fixed.dat"), std::string(kPhrases) + "[質問]\r\nいつですか？=\r\nx[1]=\r\n");
  Click(Dialog().cancelButton);
  Dialog().ShowPage(SetupPage::Phrases);
  EXPECT_EQ(ComboRows(p.categoryBox), (std::vector<std::string>{"あいさつ", "連絡", "質問"}));
  Clear(p.categoryBox);
  Type(p.categoryBox, L"質問");
  EXPECT_EQ(ListRows(p.phraseList), (std::vector<std::string>{"いつですか？", "x[1]"}));

  // With the category box empty, adding does nothing; the list keeps its rows.
  Clear(p.categoryBox);
  EXPECT_EQ(ListRows(p.phraseList).size(), 2u);
  std::string before = ReadBeside("Fixed.dat");
  Type(p.phraseBox, L"y");
  Click(p.addButton);
  EXPECT_EQ(ReadBeside("Fixed.dat"), before);
  EXPECT_EQ(ControlText(p.phraseBox), "y");
}

TEST_F(SetupDialogTest, PhrasesTheFileCannotHoldAreRefusedWithAMessage) {
  WriteBeside("Fixed.dat", kPhrases);
  StartApp();
  Dialog().ShowPage(SetupPage::Phrases);
  TPhrasesPage& p = Phrases();
  struct Case {
    const wchar_t* typed;
    const char* says;
  } cases[] = {
      {L"a=b", "定型文に「=」は使えません。"},
      {L"[x]", "「[」で始まる定型文は登録できません。"},
      {L";memo", "「;」で始まる定型文は登録できません。"},
      {L" 前の空白", "前後に空白のある定型文は登録できません。"},
      {L"後ろの空白 ", "前後に空白のある定型文は登録できません。"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    boxes_.clear();
    Clear(p.phraseBox);
    Type(p.phraseBox, c.typed);
    Click(p.addButton);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, c.says);
    EXPECT_EQ(boxes_[0].caption, "Vello");
    EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK));
    // Nothing listed, nothing stored; the text stays to be corrected.
    EXPECT_EQ(ListRows(p.phraseList).size(), 3u);
    EXPECT_EQ(ReadBeside("Fixed.dat"), kPhrases);
    EXPECT_EQ(ControlText(p.phraseBox), Narrow(c.typed));
  }
}

TEST_F(SetupDialogTest, TheDestinationPageKeepsWhatAnotherCopyStoredMeanwhile) {
  WriteBeside(".dat", "Taro : 192.168.0.5\r\nJiro : 10.0.0.2\r\n");
  StartApp();
  Dialog().ShowPage(SetupPage::Destinations);
  TDestinationsPage& d = Destinations();
  // Another copy of the program, sharing the folder, adds a line.
  WriteBeside(".dat", "Taro : 192.168.0.5\r\nJiro : 10.0.0.2\r\nSaburo : 10.0.0.3\r\n");
  Type(d.nicknameBox, L"花子");
  Type(d.addressBox, L"hanako-pc");
  Click(d.addButton);
  const std::vector<std::string> all = {"Taro : 192.168.0.5", "Jiro : 10.0.0.2", "Saburo : 10.0.0.3",
                                        "花子 : hanako-pc"};
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\nJiro : 10.0.0.2\r\nSaburo : 10.0.0.3\r\n花子 : hanako-pc\r\n");
  EXPECT_EQ(ListRows(d.entryList), all);  // the page shows what is stored

  // It removes Taro; our page still shows the row, and deleting Jiro's row
  // removes Jiro, not the line that has moved into its place.
  WriteBeside(".dat", "Jiro : 10.0.0.2\r\nSaburo : 10.0.0.3\r\n花子 : hanako-pc\r\n");
  ClickRow(d.entryList, 1);
  Click(d.deleteButton);
  EXPECT_EQ(ReadBeside(".dat"), "Saburo : 10.0.0.3\r\n花子 : hanako-pc\r\n");
  EXPECT_EQ(ListRows(d.entryList), (std::vector<std::string>{"Saburo : 10.0.0.3", "花子 : hanako-pc"}));
}

TEST_F(SetupDialogTest, DeletingATypedCategoryRemovesOnlyItsOwnEntry) {
  WriteBeside("Fixed.dat", kPhrases);
  StartApp();
  Dialog().ShowPage(SetupPage::Phrases);
  TPhrasesPage& p = Phrases();
  // "あ" is a prefix of a listed category: the box's list selects that row.
  Clear(p.categoryBox);
  Type(p.categoryBox, L"あ");
  Type(p.phraseBox, L"一つだけ");
  Click(p.addButton);
  ClickRow(p.phraseList, 0);
  Click(p.deleteButton);
  EXPECT_EQ(ReadBeside("Fixed.dat"), kPhrases);
  EXPECT_EQ(ComboRows(p.categoryBox), (std::vector<std::string>{"あいさつ", "連絡"}));
  EXPECT_EQ(ControlText(p.categoryBox), "あいさつ");
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(SetupDialogTest, RefusedPhraseWritesAreShownWithThePath) {
  WriteBeside("Fixed.dat", kPhrases);
  StartApp();
  Dialog().ShowPage(SetupPage::Phrases);
  TPhrasesPage& p = Phrases();
  MakeReadOnly("Fixed.dat");
  Type(p.phraseBox, L"至急");
  Click(p.addButton);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, ErrorDisplayText(PathText(PathBeside("Fixed.dat")) + " に書き込めません"));
  EXPECT_EQ(ListRows(p.phraseList).size(), 4u);  // the row stays on screen
  // A refused single deletion is not reported; the category's removal is.
  ClickRow(p.phraseList, 0);
  SendMessageW(p.phraseList, LB_SELITEMRANGE, TRUE, MAKELPARAM(0, 3));
  Click(p.deleteButton);
  MakeWritable("Fixed.dat");
  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(boxes_[1].text, ErrorDisplayText(PathText(PathBeside("Fixed.dat")) + " に書き込めません"));
  EXPECT_EQ(ReadBeside("Fixed.dat"), kPhrases);
}

TEST_F(SetupDialogTest, WithoutAPhraseFileThePageIsEmptyAndTheFirstPhraseMakesIt) {
  StartApp();
  Dialog().ShowPage(SetupPage::Phrases);
  TPhrasesPage& p = Phrases();
  EXPECT_TRUE(ComboRows(p.categoryBox).empty());
  EXPECT_EQ(ControlText(p.categoryBox), "");
  EXPECT_TRUE(ListRows(p.phraseList).empty());
  Type(p.categoryBox, L"連絡");
  Type(p.phraseBox, L"会議室に来てください");
  Click(p.addButton);
  EXPECT_EQ(ReadBeside("Fixed.dat"), "[連絡]\r\n会議室に来てください=\r\n");
  // The Insert menu follows at the next OK.
  EXPECT_EQ(GetMenuItemCount(app_->main.insertMenu), 0);
  Click(Dialog().okButton);
  ASSERT_EQ(GetMenuItemCount(app_->main.insertMenu), 1);
  wchar_t text[32];
  GetMenuStringW(app_->main.insertMenu, 0, text, 32, MF_BYPOSITION);
  EXPECT_STREQ(text, L"連絡");
}

}  // namespace
}  // namespace vello::testing
