// The destinations page against the bytes of the address book.
#include "setup_dialog_fixture.h"

namespace vello::testing {
namespace {

TEST_F(SetupDialogTest, DestinationsAreAddedAndDeletedInTheFileAtOnce) {
  StartApp();
  Dialog().ShowPage(SetupPage::Destinations);
  TDestinationsPage& d = Destinations();
  const Placed layout[] = {
      {d.entryList, 0, 0, 345, 129, ""},       {d.nicknameLabel, 0, 140, -1, -1, "通称名："},
      {d.nicknameBox, 48, 136, 105, 20, ""},        {d.addressLabel, 160, 140, -1, -1, "IP又はPC名："},
      {d.addressBox, 232, 136, 105, 20, ""},       {d.addButton, 152, 160, 75, 25, "追加(&A)"},
      {d.deleteButton, 240, 160, 75, 25, "削除(&D)"}, {d.restartNotice, 8, 168, -1, -1, ""},
  };
  for (const auto& e : layout) ExpectPlaced(e, Dialog().page(SetupPage::Destinations));
  EXPECT_FALSE(IsWindowEnabled(d.addButton));
  EXPECT_FALSE(IsWindowEnabled(d.deleteButton));
  // Tab order: nicknameBox, addressBox, addButton, deleteButton, entryList.
  EnableWindow(d.addButton, TRUE);
  EnableWindow(d.deleteButton, TRUE);
  HWND at = d.nicknameBox;
  std::vector<HWND> order;
  for (int i = 0; i < 5; ++i, at = GetNextDlgTabItem(Dialog().hwnd(), at, FALSE)) order.push_back(at);
  EXPECT_EQ(order, (std::vector<HWND>{d.nicknameBox, d.addressBox, d.addButton, d.deleteButton, d.entryList}));
  EnableWindow(d.addButton, FALSE);
  EnableWindow(d.deleteButton, FALSE);

  Type(d.nicknameBox, L"Taro");
  EXPECT_TRUE(IsWindowEnabled(d.addButton));
  Type(d.addressBox, L"192.168.0.5");
  Click(d.addButton);
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\n");
  EXPECT_EQ(ListRows(d.entryList), std::vector<std::string>{"Taro : 192.168.0.5"});
  EXPECT_EQ(ControlText(d.nicknameBox), "");
  EXPECT_EQ(ControlText(d.addressBox), "");
  EXPECT_FALSE(IsWindowEnabled(d.addButton));
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "再起動後に有効になります。");
  EXPECT_EQ(boxes_[0].caption, "Vello");
  EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_OK));
  EXPECT_EQ(ControlText(d.restartNotice), "! 再起動後に有効");
  RECT r = RectIn(d.restartNotice, Dialog().page(SetupPage::Destinations));
  EXPECT_GE(r.right - r.left, TextExtent(d.restartNotice, L"! 再起動後に有効").cx);

  Type(d.nicknameBox, L"花子");
  Type(d.addressBox, L"hanako-pc");
  Click(d.addButton);
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\n花子 : hanako-pc\r\n");

  ClickRow(d.entryList, 0);
  EXPECT_TRUE(IsWindowEnabled(d.deleteButton));
  Click(d.deleteButton);
  EXPECT_EQ(ReadBeside(".dat"), "花子 : hanako-pc\r\n");
  EXPECT_EQ(ListRows(d.entryList), std::vector<std::string>{"花子 : hanako-pc"});
  EXPECT_FALSE(IsWindowEnabled(d.deleteButton));
  ASSERT_EQ(boxes_.size(), 3u);
  EXPECT_EQ(boxes_[2].text, "再起動後に有効になります。");

  // The red bold notice.
  HDC dc = GetDC(d.restartNotice);
  HBRUSH brush = reinterpret_cast<HBRUSH>(
      SendMessageW(Dialog().page(SetupPage::Destinations), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(d.restartNotice)));
  EXPECT_NE(brush, nullptr);
  EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0));
  ReleaseDC(d.restartNotice, dc);
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(d.restartNotice, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);

  // The list as stored, at the next showing, with nothing selected.
  Click(Dialog().cancelButton);
  WriteBeside(".dat", "a : 1\n\nb : 2 : 3\r");
  Dialog().ShowPage(SetupPage::Destinations);
  EXPECT_EQ(ListRows(d.entryList), (std::vector<std::string>{"a : 1", "", "b : 2 : 3"}));
  EXPECT_EQ(SendMessageW(d.entryList, LB_GETCURSEL, 0, 0), LB_ERR);
}

TEST_F(SetupDialogTest, ADestinationNeedsBothFields) {
  StartApp();
  Dialog().ShowPage(SetupPage::Destinations);
  TDestinationsPage& d = Destinations();
  Type(d.nicknameBox, L"Taro");
  Click(d.addButton);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "通称名とIPまたはPC名を入力してください。");
  EXPECT_EQ(boxes_[0].caption, "Vello");
  EXPECT_FALSE(fs::exists(PathBeside(".dat")));
  EXPECT_EQ(ControlText(d.nicknameBox), "Taro");
  EXPECT_EQ(ControlText(d.restartNotice), "");
  Clear(d.nicknameBox);
  EXPECT_FALSE(IsWindowEnabled(d.addButton));
}

TEST_F(SetupDialogTest, AddressBookFailuresAreShownWithThePath) {
  WriteBeside(".dat", "Taro : 192.168.0.5\r\n");
  StartApp();
  Dialog().ShowPage(SetupPage::Destinations);
  TDestinationsPage& d = Destinations();
  // A refused save (the book is read-only): the row is on the page, no notice.
  MakeReadOnly(".dat");
  Type(d.nicknameBox, L"Jiro");
  Type(d.addressBox, L"10.0.0.2");
  Click(d.addButton);
  MakeWritable(".dat");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, ErrorDisplayText("ファイル " + PathText(PathBeside(".dat")) + " を作成できません"));
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\n");
  EXPECT_EQ(ListRows(d.entryList).size(), 2u);
  EXPECT_EQ(ControlText(d.restartNotice), "");

  // A folder stands where the book should be: it cannot be read, so it is
  // not written over either.
  fs::path book = PathBeside(".dat");
  fs::remove(book);
  fs::create_directory(book);
  Type(d.nicknameBox, L"Saburo");
  Type(d.addressBox, L"10.0.0.3");
  Click(d.addButton);
  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(boxes_[1].text, ErrorDisplayText("ファイル " + PathText(PathBeside(".dat")) + " は開けません"));
  EXPECT_TRUE(fs::is_directory(book));
  EXPECT_EQ(ControlText(d.restartNotice), "");
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
  ClickRow(d.entryList, 1);
  ASSERT_TRUE(IsWindowEnabled(d.deleteButton));
  // Shown again: the rows are reloaded with none selected, the button stays enabled.
  Click(Dialog().cancelButton);
  Dialog().ShowPage(SetupPage::Destinations);
  ASSERT_TRUE(IsWindowEnabled(d.deleteButton));
  Click(d.deleteButton);
  EXPECT_EQ(ReadBeside(".dat"), "Taro : 192.168.0.5\r\nJiro : 10.0.0.2\r\n");
  EXPECT_EQ(ListRows(d.entryList).size(), 2u);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_FALSE(IsWindowEnabled(d.deleteButton));
}

}  // namespace
}  // namespace vello::testing
