#pragma once
// The settings dialog's page "定型文": fixed phrases by category, each
// addition and deletion written to the fixed phrase file at once.
#include <windows.h>

#include <string>
#include <vector>

#include "settings/phrase_store.h"

namespace vello {

class TPhrasesPage {
 public:
  TPhrasesPage(HWND page, HFONT font);

  // The dialog's FormShow, step 3.
  void FormShow();
  bool HandleCommand(UINT code, HWND control);

  void OnCategoryChanged();
  void OnPhraseEdited();
  void OnPhraseSelected();
  void OnAddClicked();
  void OnDeleteClicked();

  // The category box's text, as bytes (a listed category's bytes exactly).
  std::string CategoryText() const;

  HWND categoryBox = nullptr, phraseList = nullptr, phraseBox = nullptr, addButton = nullptr, deleteButton = nullptr;

 private:
  static PhraseStore Store();
  void FillPhrases(const std::string& category);
  void ShowPhrases(std::vector<std::string> phrases);
  void SelectFirstCategory();
  // The bytes behind categoryBox's list and phraseList's rows, in step with them.
  std::vector<std::string> categories_, rows_;
  // Set while the program itself changes the category box.
  bool settingCategory_ = false;
};

}  // namespace vello
