#include "settings/destinations_page.h"

#include "common/file_paths.h"
#include "platform/controls.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "settings/address_book.h"
#include "settings/stored_text.h"

#include <utility>

namespace vello {

namespace {
enum : UINT { kListBox1 = 2201, kLabel11, kEdit2, kLabel12, kEdit5, kButton3, kButton4, kLabel13 };

std::filesystem::path AddressBookPath() { return FileBesideExecutable(kAddressBookEnding); }
}  // namespace

TDestinationsPage::TDestinationsPage(HWND page, HFONT font) {
  // Created in tab order: Edit2, Edit5, Button3, Button4, ListBox1.
  Label11 = CreateControl({.text = L"通称名：", .x = 0, .y = 140, .parent = page, .id = kLabel11, .font = font});
  Edit2 = CreateControl({.className = L"EDIT", .style = WS_TABSTOP | ES_AUTOHSCROLL, .exStyle = WS_EX_CLIENTEDGE,
                         .x = 48, .y = 136, .width = 105, .height = 20, .parent = page, .id = kEdit2, .font = font});
  Label12 = CreateControl({.text = L"IP又はPC名：", .x = 160, .y = 140, .parent = page, .id = kLabel12, .font = font});
  Edit5 = CreateControl({.className = L"EDIT", .style = WS_TABSTOP | ES_AUTOHSCROLL, .exStyle = WS_EX_CLIENTEDGE,
                         .x = 232, .y = 136, .width = 105, .height = 20, .parent = page, .id = kEdit5, .font = font});
  Button3 = CreateControl({.className = L"BUTTON", .text = L"追加(&A)", .style = WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED,
                           .x = 152, .y = 160, .width = 75, .height = 25, .parent = page, .id = kButton3,
                           .font = font});
  Button4 = CreateControl({.className = L"BUTTON", .text = L"削除(&D)", .style = WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED,
                           .x = 240, .y = 160, .width = 75, .height = 25, .parent = page, .id = kButton4,
                           .font = font});
  ListBox1 = CreateControl({.className = L"LISTBOX",
                            .style = WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                            .exStyle = WS_EX_CLIENTEDGE, .x = 0, .y = 0, .width = 345, .height = 129, .parent = page,
                            .id = kListBox1, .font = font});
  LOGFONTW lf{};
  GetObjectW(font, sizeof lf, &lf);
  lf.lfWeight = FW_BOLD;
  boldFont_.reset(CreateFontIndirectW(&lf));
  // Empty at first; wide enough for the notice, whose height the font gives.
  Label13 = CreateControl({.text = L"! 再起動後に有効", .x = 8, .y = 168, .parent = page, .id = kLabel13,
                           .font = boldFont_.get()});
  SetControlText(Label13, "");
}

void TDestinationsPage::FormShow() {
  rows_ = LoadAddressBook(AddressBookPath());
  SendMessageW(ListBox1, LB_RESETCONTENT, 0, 0);
  for (const auto& line : rows_) AddListRow(ListBox1, line);
}

bool TDestinationsPage::HandleCommand(UINT code, HWND control) {
  if (control == Edit2) {
    if (code == EN_CHANGE) Edit2Change();
  } else if (control == ListBox1) {
    if (code == LBN_SELCHANGE || code == LBN_SELCANCEL) ListBox1Click();
  } else if (control == Button3) {
    if (code == BN_CLICKED) Button3Click();
  } else if (control == Button4) {
    if (code == BN_CLICKED) Button4Click();
  } else {
    return control == Edit5 || control == Label11 || control == Label12 || control == Label13;
  }
  return true;
}

HBRUSH TDestinationsPage::ControlColor(HDC dc, HWND control) const {
  if (control != Label13) return nullptr;
  SetTextColor(dc, RGB(255, 0, 0));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return GetSysColorBrush(COLOR_BTNFACE);
}

void TDestinationsPage::Edit2Change() { EnableWindow(Button3, GetWindowTextLengthW(Edit2) > 0); }

void TDestinationsPage::ListBox1Click() {
  EnableWindow(Button4, SendMessageW(ListBox1, LB_GETCURSEL, 0, 0) != LB_ERR);
}

void TDestinationsPage::Button3Click() {
  std::string nickname = ControlText(Edit2), address = ControlText(Edit5);
  if (nickname.empty() || address.empty()) {
    ShowMessageBox(GetAncestor(ListBox1, GA_ROOT), "通称名とIPまたはPC名を入力してください。", ApplicationTitle(), MB_OK);
    return;
  }
  // Both stay in their boxes to be corrected.
  for (auto [box, what] : {std::pair{Edit2, "通称名"}, {Edit5, "IP又はPC名"}}) {
    if (std::optional<std::string> refusal = OutsideCodePageRefusal(what, WideControlText(box))) {
      ShowMessageBox(GetAncestor(ListBox1, GA_ROOT), *refusal, ApplicationTitle(), MB_OK);
      return;
    }
  }
  std::string line = nickname + std::string(kAddressSeparator) + address;
  rows_.push_back(line);
  AddListRow(ListBox1, line);
  SetControlText(Edit2, "");
  SetControlText(Edit5, "");
  ShowStored(AddAddressBookLine(AddressBookPath(), line));
  ShowRestartNotice();
}

void TDestinationsPage::Button4Click() {
  // The button can outlive its row (the list is refilled at every showing);
  // with nothing selected there is nothing to delete.
  int row = static_cast<int>(SendMessageW(ListBox1, LB_GETCURSEL, 0, 0));
  if (row == LB_ERR || row >= static_cast<int>(rows_.size())) {
    EnableWindow(Button4, FALSE);
    return;
  }
  std::string line = rows_[static_cast<std::size_t>(row)];
  SendMessageW(ListBox1, LB_DELETESTRING, row, 0);
  rows_.erase(rows_.begin() + row);
  ShowStored(RemoveAddressBookLine(AddressBookPath(), static_cast<std::size_t>(row), line));
  EnableWindow(Button4, FALSE);
  ShowRestartNotice();
}

void TDestinationsPage::ShowStored(const std::vector<std::string>& lines) {
  if (lines == rows_) return;
  rows_ = lines;
  SendMessageW(ListBox1, LB_RESETCONTENT, 0, 0);
  for (const auto& line : rows_) AddListRow(ListBox1, line);
}

void TDestinationsPage::ShowRestartNotice() {
  ShowMessageBox(GetAncestor(ListBox1, GA_ROOT), "再起動後に有効になります。", ApplicationTitle(), MB_OK);
  SetControlText(Label13, "! 再起動後に有効");
}

}  // namespace vello
