#include "settings/phrases_page.h"

#include <algorithm>

#include "common/file_paths.h"
#include "common/sjis.h"
#include "platform/controls.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "platform/win_text.h"
#include "settings/stored_text.h"

namespace vello {

namespace {
enum : UINT { kCategoryBoxId = 2301, kPhraseListId, kPhraseBoxId, kAddButtonId, kDeleteButtonId };
}  // namespace

void TPhrasesPage::BuildControls(HWND page, HFONT font) {
  // Created in tab order: categoryBox, phraseBox, addButton, deleteButton, phraseList.
  categoryBox = CreateControl({.className = L"COMBOBOX",
                             .style = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                             .x = 0, .y = 0, .width = 193, .height = 200, .parent = page, .id = kCategoryBoxId,
                             .font = font});
  phraseBox = CreateControl({.className = L"EDIT", .style = WS_TABSTOP | ES_AUTOHSCROLL, .exStyle = WS_EX_CLIENTEDGE,
                         .x = 0, .y = 136, .width = 345, .height = 20, .parent = page, .id = kPhraseBoxId, .font = font});
  addButton = CreateControl({.className = L"BUTTON", .text = L"追加(&A)", .style = WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED,
                           .x = 152, .y = 160, .width = 75, .height = 25, .parent = page, .id = kAddButtonId,
                           .font = font});
  deleteButton = CreateControl({.className = L"BUTTON", .text = L"削除(&D)", .style = WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED,
                           .x = 240, .y = 160, .width = 75, .height = 25, .parent = page, .id = kDeleteButtonId,
                           .font = font});
  phraseList = CreateControl({.className = L"LISTBOX",
                            .style = WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT,
                            .exStyle = WS_EX_CLIENTEDGE, .x = 0, .y = 24, .width = 345, .height = 105, .parent = page,
                            .id = kPhraseListId, .font = font});
}

PhraseStore TPhrasesPage::Store() { return PhraseStore(FileBesideExecutable(kPhrasesEnding)); }

bool TPhrasesPage::Load() {
  settingCategory_ = true;
  SendMessageW(categoryBox, CB_RESETCONTENT, 0, 0);
  SetWindowTextW(categoryBox, L"");
  // One reading of the file for the whole list and the first category.
  std::vector<PhraseCategory> all = Store().Load();
  categories_.clear();
  for (const auto& category : all) {
    categories_.push_back(category.name);
    AddComboRow(categoryBox, category.name);
  }
  if (!categories_.empty()) SendMessageW(categoryBox, CB_SETCURSEL, 0, 0);
  settingCategory_ = false;
  ShowPhrases(all.empty() ? std::vector<std::string>{} : all.front().phrases);
  return true;
}

std::string TPhrasesPage::CategoryText() const {
  std::wstring text = WideControlText(categoryBox);
  for (const auto& category : categories_)
    if (Widen(category) == text) return category;
  return Narrow(text);
}

void TPhrasesPage::FillPhrases(const std::string& category) {
  ShowPhrases(category.empty() ? std::vector<std::string>{} : Store().Phrases(category));
}

void TPhrasesPage::ShowPhrases(std::vector<std::string> phrases) {
  SendMessageW(phraseList, LB_RESETCONTENT, 0, 0);
  rows_ = std::move(phrases);
  for (const auto& phrase : rows_) AddListRow(phraseList, phrase);
}

bool TPhrasesPage::HandleCommand(UINT code, HWND control) {
  if (control == categoryBox) {
    if (settingCategory_) return true;
    if (code == CBN_SELCHANGE) {
      // The box's text follows the chosen row only after this notification.
      int row = static_cast<int>(SendMessageW(categoryBox, CB_GETCURSEL, 0, 0));
      if (row >= 0 && row < static_cast<int>(categories_.size())) {
        settingCategory_ = true;
        SetWindowTextW(categoryBox, Widen(categories_[static_cast<std::size_t>(row)]).c_str());
        settingCategory_ = false;
      }
      OnCategoryChanged();
    } else if (code == CBN_EDITCHANGE) {
      OnCategoryChanged();
    }
  } else if (control == phraseBox) {
    if (code == EN_CHANGE) OnPhraseEdited();
  } else if (control == phraseList) {
    if (code == LBN_SELCHANGE || code == LBN_SELCANCEL) OnPhraseSelected();
  } else if (control == addButton) {
    if (code == BN_CLICKED) OnAddClicked();
  } else if (control == deleteButton) {
    if (code == BN_CLICKED) OnDeleteClicked();
  } else {
    return false;
  }
  return true;
}

void TPhrasesPage::OnCategoryChanged() {
  EnableWindow(deleteButton, FALSE);
  EnableWindow(addButton, FALSE);
  std::string category = CategoryText();
  if (category.empty()) return;
  FillPhrases(category);
}

void TPhrasesPage::OnPhraseEdited() { EnableWindow(addButton, GetWindowTextLengthW(phraseBox) > 0); }

void TPhrasesPage::OnPhraseSelected() { EnableWindow(deleteButton, SendMessageW(phraseList, LB_GETSELCOUNT, 0, 0) > 0); }

void TPhrasesPage::OnAddClicked() {
  std::string category = CategoryText();
  if (category.empty()) return;
  std::string phrase = ControlText(phraseBox);
  // A text the file cannot hold as a phrase is refused before it is listed;
  // it stays in the box to be corrected.
  std::optional<std::string> refusal = OutsideCodePageRefusal("分類", WideControlText(categoryBox));
  if (!refusal) refusal = OutsideCodePageRefusal("定型文", WideControlText(phraseBox));
  if (!refusal) refusal = PhraseRefusal(phrase);
  if (refusal) {
    ShowMessageBox(GetAncestor(phraseList, GA_ROOT), *refusal, ApplicationTitle(), MB_OK);
    return;
  }
  rows_.push_back(phrase);
  AddListRow(phraseList, phrase);
  Store().AddPhrase(category, phrase);
  SetControlText(phraseBox, "");
}

void TPhrasesPage::OnDeleteClicked() {
  std::string category = CategoryText();
  PhraseStore store = Store();
  // From the last selected row up, so the indices ahead stay valid.
  std::vector<int> selected = SelectedListRows(phraseList);
  for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
    auto row = static_cast<std::size_t>(*it);
    if (row >= rows_.size()) continue;
    store.DeletePhrase(category, rows_[row]);
    SendMessageW(phraseList, LB_DELETESTRING, row, 0);
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
  }
  // The last phrase takes its category with it, from the file and the box.
  if (SendMessageW(phraseList, LB_GETCOUNT, 0, 0) == 0) {
    store.DeleteCategory(category);
    // The category's own row, whatever the box's list selection says: a typed
    // name leaves no row selected, and a typed prefix selects another one.
    auto found = std::find_if(categories_.begin(), categories_.end(),
                              [&](const std::string& c) { return SameTextIgnoreCase(c, category); });
    if (found != categories_.end()) {
      SendMessageW(categoryBox, CB_DELETESTRING, static_cast<WPARAM>(found - categories_.begin()), 0);
      categories_.erase(found);
    }
    SelectFirstCategory();
  }
  // Nothing is selected now.
  EnableWindow(deleteButton, FALSE);
}

void TPhrasesPage::SelectFirstCategory() {
  settingCategory_ = true;
  if (categories_.empty()) {
    SendMessageW(categoryBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetWindowTextW(categoryBox, L"");
  } else {
    SendMessageW(categoryBox, CB_SETCURSEL, 0, 0);
  }
  settingCategory_ = false;
}

}  // namespace vello
