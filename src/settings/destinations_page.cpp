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
enum : UINT {
  kEntryListId = 2201, kNicknameLabelId, kNicknameBoxId, kAddressLabelId, kAddressBoxId, kAddButtonId,
  kDeleteButtonId, kRestartNoticeId
};

std::filesystem::path AddressBookPath() { return FileBesideExecutable(kAddressBookEnding); }
}  // namespace

void TDestinationsPage::BuildControls(HWND page, HFONT font) {
  // Created in tab order: nicknameBox, addressBox, addButton, deleteButton, entryList.
  nicknameLabel = CreateControl({.text = L"通称名：", .x = 0, .y = 140, .parent = page, .id = kNicknameLabelId, .font = font});
  nicknameBox = CreateControl({.className = L"EDIT", .style = WS_TABSTOP | ES_AUTOHSCROLL, .exStyle = WS_EX_CLIENTEDGE,
                         .x = 48, .y = 136, .width = 105, .height = 20, .parent = page, .id = kNicknameBoxId, .font = font});
  addressLabel = CreateControl({.text = L"IP又はPC名：", .x = 160, .y = 140, .parent = page, .id = kAddressLabelId, .font = font});
  addressBox = CreateControl({.className = L"EDIT", .style = WS_TABSTOP | ES_AUTOHSCROLL, .exStyle = WS_EX_CLIENTEDGE,
                         .x = 232, .y = 136, .width = 105, .height = 20, .parent = page, .id = kAddressBoxId, .font = font});
  addButton = CreateControl({.className = L"BUTTON", .text = L"追加(&A)", .style = WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED,
                           .x = 152, .y = 160, .width = 75, .height = 25, .parent = page, .id = kAddButtonId,
                           .font = font});
  deleteButton = CreateControl({.className = L"BUTTON", .text = L"削除(&D)", .style = WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED,
                           .x = 240, .y = 160, .width = 75, .height = 25, .parent = page, .id = kDeleteButtonId,
                           .font = font});
  entryList = CreateControl({.className = L"LISTBOX",
                            .style = WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                            .exStyle = WS_EX_CLIENTEDGE, .x = 0, .y = 0, .width = 345, .height = 129, .parent = page,
                            .id = kEntryListId, .font = font});
  LOGFONTW lf{};
  GetObjectW(font, sizeof lf, &lf);
  lf.lfWeight = FW_BOLD;
  boldFont_.reset(CreateFontIndirectW(&lf));
  // Empty at first; wide enough for the notice, whose height the font gives.
  restartNotice = CreateControl({.text = L"! 再起動後に有効", .x = 8, .y = 168, .parent = page, .id = kRestartNoticeId,
                           .font = boldFont_.get()});
  SetControlText(restartNotice, "");
}

bool TDestinationsPage::Load() {
  rows_ = LoadAddressBook(AddressBookPath());
  SendMessageW(entryList, LB_RESETCONTENT, 0, 0);
  for (const auto& line : rows_) AddListRow(entryList, line);
  return true;
}

bool TDestinationsPage::HandleCommand(UINT code, HWND control) {
  if (control == nicknameBox) {
    if (code == EN_CHANGE) OnNicknameEdited();
  } else if (control == entryList) {
    if (code == LBN_SELCHANGE || code == LBN_SELCANCEL) OnEntrySelected();
  } else if (control == addButton) {
    if (code == BN_CLICKED) OnAddClicked();
  } else if (control == deleteButton) {
    if (code == BN_CLICKED) OnDeleteClicked();
  } else {
    return control == addressBox || control == nicknameLabel || control == addressLabel || control == restartNotice;
  }
  return true;
}

HBRUSH TDestinationsPage::ControlColor(HDC dc, HWND control) const {
  if (control != restartNotice) return nullptr;
  SetTextColor(dc, RGB(255, 0, 0));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return GetSysColorBrush(COLOR_BTNFACE);
}

void TDestinationsPage::OnNicknameEdited() { EnableWindow(addButton, GetWindowTextLengthW(nicknameBox) > 0); }

void TDestinationsPage::OnEntrySelected() {
  EnableWindow(deleteButton, SendMessageW(entryList, LB_GETCURSEL, 0, 0) != LB_ERR);
}

void TDestinationsPage::OnAddClicked() {
  std::string nickname = ControlText(nicknameBox), address = ControlText(addressBox);
  if (nickname.empty() || address.empty()) {
    ShowMessageBox(GetAncestor(entryList, GA_ROOT), "通称名とIPまたはPC名を入力してください。", ApplicationTitle(), MB_OK);
    return;
  }
  // Both stay in their boxes to be corrected.
  for (auto [box, what] : {std::pair{nicknameBox, "通称名"}, {addressBox, "IP又はPC名"}}) {
    if (std::optional<std::string> refusal = OutsideCodePageRefusal(what, WideControlText(box))) {
      ShowMessageBox(GetAncestor(entryList, GA_ROOT), *refusal, ApplicationTitle(), MB_OK);
      return;
    }
  }
  std::string line = nickname + std::string(kAddressSeparator) + address;
  rows_.push_back(line);
  AddListRow(entryList, line);
  SetControlText(nicknameBox, "");
  SetControlText(addressBox, "");
  ShowStored(AddAddressBookLine(AddressBookPath(), line));
  ShowRestartNotice();
}

void TDestinationsPage::OnDeleteClicked() {
  // The button can outlive its row (the list is refilled at every showing);
  // with nothing selected there is nothing to delete.
  int row = static_cast<int>(SendMessageW(entryList, LB_GETCURSEL, 0, 0));
  if (row == LB_ERR || row >= static_cast<int>(rows_.size())) {
    EnableWindow(deleteButton, FALSE);
    return;
  }
  std::string line = rows_[static_cast<std::size_t>(row)];
  SendMessageW(entryList, LB_DELETESTRING, row, 0);
  rows_.erase(rows_.begin() + row);
  ShowStored(RemoveAddressBookLine(AddressBookPath(), static_cast<std::size_t>(row), line));
  EnableWindow(deleteButton, FALSE);
  ShowRestartNotice();
}

void TDestinationsPage::ShowStored(const std::vector<std::string>& lines) {
  if (lines == rows_) return;
  rows_ = lines;
  SendMessageW(entryList, LB_RESETCONTENT, 0, 0);
  for (const auto& line : rows_) AddListRow(entryList, line);
}

void TDestinationsPage::ShowRestartNotice() {
  ShowMessageBox(GetAncestor(entryList, GA_ROOT), "再起動後に有効になります。", ApplicationTitle(), MB_OK);
  SetControlText(restartNotice, "! 再起動後に有効");
}

}  // namespace vello
