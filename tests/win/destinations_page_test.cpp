// The destinations page against the bytes of the address book.
#include "setup_dialog_fixture.h"

namespace vello::testing {
namespace {

TEST_F(SetupDialogTest, DestinationsAreAddedAndDeletedInTheFileAtOnce) {
  StartApp();
  Dialog().ShowPage(SetupPage::Destinations);
  TDestinationsPage& d = Destinations();
  const Placed layout[] = {
      {d.ListBox1, 0, 0, 345, 129, ""},       {d.Label11, 0, 140, -1, -1, "通称名："},
      {d.Edit2, 48, 136, 105, 20, ""},        {d.Label12, 160, 140, -1, -1, "IP又はPC名："},
      {d.Edit5, 232, 136, 105, 20, ""},       {d.Button3, 152, 160, 75, 25, "追加(&A)"},
      {d.Button4, 240, 160, 75, 25, "削除(&D)"}, {d.Label13, 8, 168, -1, -1, ""},
  };
  for (const auto& e : layout) ExpectPlaced(e, Dialog().page(SetupPage::Destinations));
  EXPECT_FALSE(IsWindowEnabled(d.Button3));
  EXPECT_FALSE(IsWindowEnabled(d.Button4));
  // Tab order: Edit2, Edit5, Button3, Button4, ListBox1.
  EnableWindow(d.Button3, TRUE);
  EnableWindow(d.Button4, TRUE);
  HWND at = d.Edit2;
  std::vector<HWND> order;
  for (int i = 0; i < 5; ++i, at = GetNextDlgTabItem(Dialog().hwnd(), at, FALSE)) order.push_back(at);
  EXPECT_EQ(order, (std::vector<HWND>{d.Edit2, d.Edit5, d.Button3, d.Button4, d.ListBox1}));
  EnableWindow(d.Button3, FALSE);
  EnableWindow(d.Button4, FALSE);

  Type(d.Edit2, L"Taro");
  EXPECT_TRUE(IsWindowEnabled(d.Button3));
  Type(d.Edit5, L"192.168.0.5");
  Click(d.Button3);
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\n");
  EXPECT_EQ(ListRows(d.ListBox1), std::vector<std::string>{"Taro : 192.168.0.5"});
  EXPECT_EQ(ControlText(d.Edit2), "");
  EXPECT_EQ(ControlText(d.Edit5), "");
  EXPECT_FALSE(IsWindowEnabled(d.Button3));
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "再起動後に有効になります。");
  EXPECT_EQ(boxes_[0].caption, "Vello");
  EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK));
  EXPECT_EQ(ControlText(d.Label13), "! 再起動後に有効");
  RECT r = RectIn(d.Label13, Dialog().page(SetupPage::Destinations));
  EXPECT_GE(r.right - r.left, TextExtent(d.Label13, L"! 再起動後に有効").cx);

  Type(d.Edit2, L"花子");
  Type(d.Edit5, L"hanako-pc");
  Click(d.Button3);
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\n花子 : hanako-pc\r\n");

  ClickRow(d.ListBox1, 0);
  EXPECT_TRUE(IsWindowEnabled(d.Button4));
  Click(d.Button4);
  EXPECT_EQ(ReadBeside(".dat"), "花子 : hanako-pc\r\n");
  EXPECT_EQ(ListRows(d.ListBox1), std::vector<std::string>{"花子 : hanako-pc"});
  EXPECT_FALSE(IsWindowEnabled(d.Button4));
  ASSERT_EQ(boxes_.size(), 3u);
  EXPECT_EQ(boxes_[2].text, "再起動後に有効になります。");

  // The red bold notice.
  HDC dc = GetDC(d.Label13);
  HBRUSH brush = reinterpret_cast<HBRUSH>(
      SendMessageW(Dialog().page(SetupPage::Destinations), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(d.Label13)));
  EXPECT_NE(brush, nullptr);
  EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0));
  ReleaseDC(d.Label13, dc);
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(d.Label13, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);

  // The list as stored, at the next showing, with nothing selected.
  Click(Dialog().cancelButton);
  WriteBeside(".dat", "a : 1\n\nb : 2 : 3\r");
  Dialog().ShowPage(SetupPage::Destinations);
  EXPECT_EQ(ListRows(d.ListBox1), (std::vector<std::string>{"a : 1", "", "b : 2 : 3"}));
  EXPECT_EQ(SendMessageW(d.ListBox1, LB_GETCURSEL, 0, 0), LB_ERR);
}

TEST_F(SetupDialogTest, ADestinationNeedsBothFields) {
  StartApp();
  Dialog().ShowPage(SetupPage::Destinations);
  TDestinationsPage& d = Destinations();
  Type(d.Edit2, L"Taro");
  Click(d.Button3);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "通称名とIPまたはPC名を入力してください。");
  EXPECT_EQ(boxes_[0].caption, "Vello");
  EXPECT_FALSE(fs::exists(PathBeside(".dat")));
  EXPECT_EQ(ControlText(d.Edit2), "Taro");
  EXPECT_EQ(ControlText(d.Label13), "");
  Clear(d.Edit2);
  EXPECT_FALSE(IsWindowEnabled(d.Button3));
}

TEST_F(SetupDialogTest, AddressBookFailuresAreShownWithThePath) {
  WriteBeside(".dat", "Taro : 192.168.0.5\r\n");
  StartApp();
  Dialog().ShowPage(SetupPage::Destinations);
  TDestinationsPage& d = Destinations();
  // A refused save (the book is read-only): the row is on the page, no notice.
  MakeReadOnly(".dat");
  Type(d.Edit2, L"Jiro");
  Type(d.Edit5, L"10.0.0.2");
  Click(d.Button3);
  MakeWritable(".dat");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, ErrorDisplayText("ファイル " + PathText(PathBeside(".dat")) + " を作成できません"));
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\n");
  EXPECT_EQ(ListRows(d.ListBox1).size(), 2u);
  EXPECT_EQ(ControlText(d.Label13), "");

  // A folder stands where the book should be: it cannot be read, so it is
  // not written over either.
  fs::path book = PathBeside(".dat");
  fs::remove(book);
  fs::create_directory(book);
  Type(d.Edit2, L"Saburo");
  Type(d.Edit5, L"10.0.0.3");
  Click(d.Button3);
  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(boxes_[1].text, ErrorDisplayText("ファイル " + PathText(PathBeside(".dat")) + " は開けません"));
  EXPECT_TRUE(fs::is_directory(book));
  EXPECT_EQ(ControlText(d.Label13), "");
  fs::remove(book);
  WriteBeside(".dat", "Taro : 192.168.0.5\r\n");

  // A file that cannot be opened for reading stops the showing there.
  Click(Dialog().cancelButton);
  HANDLE lock = CreateFileW(PathBeside(".dat").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  std::string error;
  try {
    Dialog().ShowPage(SetupPage::Destinations);
  } catch (const std::exception& e) {
    error = e.what();
  }
  CloseHandle(lock);
  EXPECT_EQ(error, "ファイル " + PathText(PathBeside(".dat")) + " は開けません");
  EXPECT_FALSE(DialogVisible());
  EXPECT_EQ(boxes_.size(), 2u);
}

TEST_F(SetupDialogTest, DeleteWithNoRowSelectedDeletesNothing) {
  WriteBeside(".dat", "Taro : 192.168.0.5\r\nJiro : 10.0.0.2\r\n");
  StartApp();
  Dialog().ShowPage(SetupPage::Destinations);
  TDestinationsPage& d = Destinations();
  ClickRow(d.ListBox1, 1);
  ASSERT_TRUE(IsWindowEnabled(d.Button4));
  // Shown again: the rows are reloaded with none selected, the button stays enabled.
  Click(Dialog().cancelButton);
  Dialog().ShowPage(SetupPage::Destinations);
  ASSERT_TRUE(IsWindowEnabled(d.Button4));
  Click(d.Button4);
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\nJiro : 10.0.0.2\r\n");
  EXPECT_EQ(ListRows(d.ListBox1).size(), 2u);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_FALSE(IsWindowEnabled(d.Button4));
}

}  // namespace
}  // namespace vello::testing
