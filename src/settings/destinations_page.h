#pragma once
// The settings dialog's page "送信先": the address book's lines, added and
// deleted one at a time and saved at once. The main window's destination
// list takes the change at the next start, which the page says.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "settings/setup_page_content.h"

namespace vello {

class TDestinationsPage : public SetupPageContent {
 public:
  // The address book's lines; a file that cannot be read keeps the dialog shut.
  bool Load() override;
  bool HandleCommand(UINT code, HWND control) override;
  // The red notice; null for other controls.
  HBRUSH ControlColor(HDC dc, HWND control) const override;

  void OnNicknameEdited();
  void OnEntrySelected();
  void OnAddClicked();
  void OnDeleteClicked();

  HWND entryList = nullptr, nicknameLabel = nullptr, nicknameBox = nullptr, addressLabel = nullptr,
       addressBox = nullptr, addButton = nullptr, deleteButton = nullptr, restartNotice = nullptr;

 protected:
  void BuildControls(HWND page, HFONT font) override;

 private:
  // The rows become the lines the file holds after a change, which also
  // shows what another copy of the program has added or removed.
  void ShowStored(const std::vector<std::string>& lines);
  void ShowRestartNotice();
  // The rows' bytes as the file holds them, in step with entryList.
  std::vector<std::string> rows_;
  UniqueFont boldFont_;
};

}  // namespace vello
