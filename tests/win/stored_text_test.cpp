// Text outside code page 932, typed where the program stores it: refused
// with a message naming the characters, never stored changed.
#include "setup_dialog_fixture.h"

#include "settings/stored_text.h"

namespace vello::testing {
namespace {

constexpr char kPhrases[] = "[あいさつ]\r\nおはようございます=\r\n";

TEST_F(SetupDialogTest, TextOutsideTheCodePageIsRefusedWhereItWouldBeStored) {
  WriteBeside("Fixed.dat", kPhrases);
  WriteBeside(".dat", "Taro : 192.168.0.5\r\n");
  StartApp();
  app_->main.SetComposerText("予約");
  Dialog().ShowPage(SetupPage::General1);
  TPhrasesPage& p = Phrases();
  TDestinationsPage& d = Destinations();
  TTimerPage& t = Dialog().content<TTimerPage>(SetupPage::Timer);
  auto typeInto = [&](HWND box, const std::wstring& text) {
    Clear(box);
    Type(box, text);
  };
  struct Case {
    const char* where;
    std::function<void()> fill;
    HWND button;
    const char* says;
    std::vector<std::pair<HWND, std::wstring>> kept;  // boxes that keep what was typed
  } cases[] = {
      {"a phrase", [&] { typeInto(p.phraseBox, L"café😀"); }, p.addButton,
       "定型文に、保存できない文字 (シフトJIS にない文字: U+00E9, U+1F600) が含まれています。"
       "保存すると別の文字に変わってしまうため、登録できません。",
       {{p.phraseBox, L"café😀"}}},
      {"a category", [&] { typeInto(p.categoryBox, L"Müller"); typeInto(p.phraseBox, L"会議"); }, p.addButton,
       "分類に、保存できない文字 (シフトJIS にない文字: U+00FC) が含まれています。"
       "保存すると別の文字に変わってしまうため、登録できません。",
       {{p.categoryBox, L"Müller"}, {p.phraseBox, L"会議"}}},
      {"a nickname", [&] { typeInto(d.nicknameBox, L"Zoë"); typeInto(d.addressBox, L"pc-zoe"); }, d.addButton,
       "通称名に、保存できない文字 (シフトJIS にない文字: U+00EB) が含まれています。"
       "保存すると別の文字に変わってしまうため、登録できません。",
       {{d.nicknameBox, L"Zoë"}, {d.addressBox, L"pc-zoe"}}},
      {"an address", [&] { typeInto(d.nicknameBox, L"Kim"); typeInto(d.addressBox, L"한글-pc"); }, d.addButton,
       "IP又はPC名に、保存できない文字 (シフトJIS にない文字: U+D55C, U+AE00) が含まれています。"
       "保存すると別の文字に変わってしまうため、登録できません。",
       {{d.nicknameBox, L"Kim"}, {d.addressBox, L"한글-pc"}}},
      {"the timer's destination", [&] { SetWindowTextW(t.destinationBox, L"äöüëïÿâ"); }, t.addButton,
       "あて先に、保存できない文字 (シフトJIS にない文字: U+00E4, U+00F6, U+00FC, U+00EB, U+00EF ほか) が"
       "含まれています。保存すると別の文字に変わってしまうため、登録できません。",
       {{t.destinationBox, L"äöüëïÿâ"}}},
  };
  const std::string phrases = ReadBeside("Fixed.dat"), book = ReadBeside(".dat");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    c.fill();
    const std::vector<std::string> phraseRows = ListRows(p.phraseList);
    boxes_.clear();
    Click(c.button);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, c.says);
    EXPECT_EQ(boxes_[0].caption, "Vello");
    // Nothing stored or listed; what was typed stays to be corrected.
    EXPECT_EQ(ReadBeside("Fixed.dat"), phrases);
    EXPECT_EQ(ReadBeside(".dat"), book);
    EXPECT_EQ(ReadBeside("t.dat"), "");
    EXPECT_EQ(ListRows(p.phraseList), phraseRows);
    EXPECT_EQ(ListRows(d.entryList).size(), 1u);
    EXPECT_EQ(t.RowCount(), 0);
    for (const auto& [box, typed] : c.kept) EXPECT_EQ(WideControlText(box), typed);
  }

  // Characters the code page has, double-byte and special ones among them,
  // are stored as typed.
  boxes_.clear();
  typeInto(p.categoryBox, L"あいさつ");
  typeInto(p.phraseBox, L"会議室①～Ⅱ");
  Click(p.addButton);
  typeInto(d.nicknameBox, L"ソ饅");
  typeInto(d.addressBox, L"表-pc");
  Click(d.addButton);
  SetWindowTextW(t.destinationBox, L"表-pc");
  Click(t.addButton);
  EXPECT_EQ(ReadBeside("Fixed.dat"), "[あいさつ]\r\nおはようございます=\r\n会議室①～Ⅱ=\r\n");
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\nソ饅 : 表-pc\r\n");
  ASSERT_EQ(t.RowCount(), 1);
  EXPECT_EQ(t.RowText(0, 2), "表-pc");
}

}  // namespace
}  // namespace vello::testing
