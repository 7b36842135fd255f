#pragma once
// The settings dialog's page "定型文": fixed phrases by category, each
// addition and deletion written to the fixed phrase file at once.
#include <windows.h>

#include <string>
#include <vector>

#include "settings/phrase_store.h"
#include "settings/setup_page_content.h"

namespace vello {

class TPhrasesPage : public SetupPageContent {
 public:
  // The categories and the first one's phrases; a file that cannot be read
  // keeps the dialog shut.
  bool Load() override;
  bool HandleCommand(UINT code, HWND control) override;

  void OnCategoryChanged();
  void OnPhraseEdited();
  void OnPhraseSelected();
  void OnAddClicked();
  void OnDeleteClicked();

  // The category box's text, as bytes (a listed category's bytes exactly).
  std::string CategoryText() const;

  HWND categoryBox = nullptr, phraseList = nullptr, phraseBox = nullptr, addButton = nullptr, deleteButton = nullptr;

 protected:
  void BuildControls(HWND page, HFONT font) override;

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
