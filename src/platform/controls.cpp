#include "platform/controls.h"

#include "common/vello_error.h"
#include "platform/gdi.h"
#include "platform/win_text.h"

namespace vello {

HWND CreateControl(const ControlArgs& a) {
  int width = a.width, height = a.height;
  DWORD style = WS_CHILD | WS_VISIBLE | a.style;
  // A label sized to its text stays one line: a wrap at its exact width
  // could push the last characters out of sight.
  if (width == 0 && std::wstring_view(a.className) == L"STATIC" && (a.style & SS_TYPEMASK) == SS_LEFT)
    style |= SS_LEFTNOWORDWRAP;
  HWND h = CreateWindowExW(a.exStyle, a.className, a.text.c_str(), style, a.x, a.y,
                           width, height, a.parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(a.id)),
                           GetModuleHandleW(nullptr), nullptr);
  if (!h) throw VelloError("ウィンドウを作成できません");
  if (a.font) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(a.font), FALSE);
  if (width == 0 || height == 0) {
    SIZE s = TextExtent(h, a.text);
    SetWindowPos(h, nullptr, 0, 0, width ? width : s.cx + a.widthPadding, height ? height : s.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return h;
}

SIZE TextExtent(HWND control, std::wstring_view text) {
  WindowDC dc(control);
  Selection font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT r{0, 0, 0, 0};
  std::wstring t(text);
  DrawTextW(dc.get(), t.empty() ? L" " : t.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
  return {t.empty() ? 0 : r.right - r.left, r.bottom - r.top};
}

std::wstring WideControlText(HWND control) {
  int n = GetWindowTextLengthW(control);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  n = GetWindowTextW(control, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(n));
  return text;
}

std::string ControlText(HWND control) { return Narrow(WideControlText(control)); }

void SetControlText(HWND control, std::string_view cp932) { SetWindowTextW(control, Widen(cp932).c_str()); }

bool IsChecked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void SetChecked(HWND button, bool checked) {
  SendMessageW(button, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::vector<std::string> ListRows(HWND listBox) {
  std::vector<std::string> rows;
  int count = static_cast<int>(SendMessageW(listBox, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring row(static_cast<std::size_t>(SendMessageW(listBox, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
    int n = static_cast<int>(SendMessageW(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(row.data())));
    row.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    rows.push_back(Narrow(row));
  }
  return rows;
}

void AddListRow(HWND listBox, std::string_view cp932) {
  SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(cp932).c_str()));
}

std::vector<int> SelectedListRows(HWND listBox) {
  int count = static_cast<int>(SendMessageW(listBox, LB_GETSELCOUNT, 0, 0));
  if (count <= 0) return {};
  std::vector<int> rows(static_cast<std::size_t>(count));
  count = static_cast<int>(SendMessageW(listBox, LB_GETSELITEMS, count, reinterpret_cast<LPARAM>(rows.data())));
  rows.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
  return rows;
}

std::string ComboRow(HWND comboBox, int index) {
  LRESULT len = SendMessageW(comboBox, CB_GETLBTEXTLEN, index, 0);
  if (len == CB_ERR) return {};
  std::wstring row(static_cast<std::size_t>(len) + 1, L'\0');
  LRESULT n = SendMessageW(comboBox, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(row.data()));
  row.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return Narrow(row);
}

std::vector<std::string> ComboRows(HWND comboBox) {
  std::vector<std::string> rows;
  int count = static_cast<int>(SendMessageW(comboBox, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) rows.push_back(ComboRow(comboBox, i));
  return rows;
}

void ReplaceComboRows(HWND comboBox, const std::vector<std::string>& rows) {
  SendMessageW(comboBox, WM_SETREDRAW, FALSE, 0);
  SendMessageW(comboBox, CB_RESETCONTENT, 0, 0);
  SetWindowTextW(comboBox, L"");
  for (const std::string& row : rows) AddComboRow(comboBox, row);
  SendMessageW(comboBox, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(comboBox, nullptr, TRUE);
}

void AddComboRow(HWND comboBox, std::string_view cp932) {
  SendMessageW(comboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(cp932).c_str()));
}

}  // namespace vello
