#pragma once
// Child controls made in one call, and their text and state in CP932: the
// few things every page of a dialog does with them.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace vello {

struct ControlArgs {
  const wchar_t* className = L"STATIC";
  std::wstring text = L"";
  DWORD style = 0;  // WS_CHILD | WS_VISIBLE are always added
  DWORD exStyle = 0;
  // A width or height of 0 takes the text's extent in the font (a label
  // sizing itself); `widthPadding` is added to a fitted width (a check box's box).
  int x = 0, y = 0, width = 0, height = 0;
  int widthPadding = 0;
  HWND parent = nullptr;
  UINT id = 0;
  HFONT font = nullptr;
};

HWND CreateControl(const ControlArgs& args);

// The text's extent in the control's font ("&" counts as a prefix).
SIZE TextExtent(HWND control, std::wstring_view text);

std::string ControlText(HWND control);
// The text as the control holds it (UTF-16): every character, also those
// code page 932 cannot hold.
std::wstring WideControlText(HWND control);
void SetControlText(HWND control, std::string_view cp932);

bool IsChecked(HWND button);
void SetChecked(HWND button, bool checked);

// List box and combo box rows, CP932.
std::vector<std::string> ListRows(HWND listBox);
void AddListRow(HWND listBox, std::string_view cp932);
std::vector<int> SelectedListRows(HWND listBox);  // ascending
std::string ComboRow(HWND comboBox, int index);
std::vector<std::string> ComboRows(HWND comboBox);
// Empties the box, its typed text included, and fills it with `rows`,
// redrawn once at the end.
void ReplaceComboRows(HWND comboBox, const std::vector<std::string>& rows);
void AddComboRow(HWND comboBox, std::string_view cp932);

}  // namespace vello
