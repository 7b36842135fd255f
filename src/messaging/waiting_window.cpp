#include "messaging/waiting_window.h"

#include <commctrl.h>


#include "messaging/outbox.h"
#include "platform/win_text.h"

namespace vello {

namespace {
enum : UINT { kEntryListId = 501, kSendNowId, kDropId, kCloseId };
constexpr int kMargin = 8, kButtonWidth = 100, kButtonHeight = 25;

// "2026/12/11 9:05", local time, of a moment in ms since the epoch (UTC).
std::string LocalTimeText(int64_t ms) {
  ULARGE_INTEGER ticks;
  ticks.QuadPart = static_cast<ULONGLONG>(ms) * 10000ull + 116444736000000000ull;
  FILETIME utc{ticks.LowPart, ticks.HighPart}, local;
  SYSTEMTIME t{};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) return "";
  char text[40];
  wsprintfA(text, "%u/%u/%u %u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
  return text;
}

std::string StateText(const WaitingMessage& m) {
  switch (m.state) {
    case WaitState::kUnknown: return "届いたか不明: " + m.lastReason;
    case WaitState::kSending: return "送信中";
    case WaitState::kWaiting: return m.lastReason;
  }
  return m.lastReason;
}
}  // namespace

TWaitingForm::~TWaitingForm() { Destroy(); }

void TWaitingForm::Open(HWND owner) {
  if (!hwnd()) {
    RegisterClassOnce(kClassName, CS_DBLCLKS, GetSysColorBrush(COLOR_BTNFACE));
    Create({.className = kClassName,
            .title = L"送信待ちのメッセージ",
            .style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
            .width = 560,
            .height = 300,
            .parent = owner});
    CreateControls();
  }
  Refresh();
  ShowWindow(hwnd(), SW_SHOW);
  if (IsIconic(hwnd())) ShowWindow(hwnd(), SW_RESTORE);
  SetForegroundWindow(hwnd());
  SetFocus(entryList);
}

void TWaitingForm::CreateControls() {
  HINSTANCE inst = GetModuleHandleW(nullptr);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  font_.reset(CreateFontIndirectW(&metrics.lfMessageFont));
  auto make = [&](DWORD ex, const wchar_t* cls, const wchar_t* text, DWORD style, UINT id) {
    HWND h = CreateWindowExW(ex, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, hwnd(),
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), inst, nullptr);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return h;
  };
  entryList = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"送信待ちのメッセージ",
                   LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP, kEntryListId);
  SendMessageW(entryList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  const struct { const wchar_t* header; int width; } columns[] = {
      {L"あて先", 90}, {L"内容", 150}, {L"書いた日時", 110}, {L"試行", 40}, {L"最後の理由", 140}};
  for (int i = 0; i < 5; ++i) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.pszText = const_cast<wchar_t*>(columns[i].header);
    col.cx = columns[i].width;
    col.iSubItem = i;
    SendMessageW(entryList, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
  }
  sendNowButton = make(0, WC_BUTTONW, L"今すぐ送る(&S)", BS_PUSHBUTTON | WS_TABSTOP, kSendNowId);
  dropButton = make(0, WC_BUTTONW, L"送らない(&D)", BS_PUSHBUTTON | WS_TABSTOP, kDropId);
  closeButton = make(0, WC_BUTTONW, L"閉じる(&C)", BS_PUSHBUTTON | WS_TABSTOP, kCloseId);
  Layout();
}

void TWaitingForm::Layout() {
  RECT rc;
  GetClientRect(hwnd(), &rc);
  int buttonsTop = rc.bottom - kMargin - kButtonHeight;
  MoveWindow(entryList, kMargin, kMargin, std::max<LONG>(0, rc.right - 2 * kMargin),
             std::max(0, buttonsTop - 2 * kMargin), TRUE);
  MoveWindow(sendNowButton, kMargin, buttonsTop, kButtonWidth, kButtonHeight, TRUE);
  MoveWindow(dropButton, kMargin * 2 + kButtonWidth, buttonsTop, kButtonWidth, kButtonHeight, TRUE);
  MoveWindow(closeButton, std::max<LONG>(0, rc.right - kMargin - kButtonWidth), buttonsTop, kButtonWidth,
             kButtonHeight, TRUE);
}

void TWaitingForm::Refresh() {
  if (!hwnd()) return;
  std::string chosen = ChosenId();
  SendMessageW(entryList, WM_SETREDRAW, FALSE, 0);
  SendMessageW(entryList, LVM_DELETEALLITEMS, 0, 0);
  rowIds_.clear();
  int row = 0, chosenRow = -1;
  for (const WaitingMessage& m : outbox_.waiting().messages()) {
    const std::string cells[] = {m.destination, m.FirstLine(), LocalTimeText(m.writtenAt),
                                 std::to_string(m.attempts), StateText(m)};
    rowIds_.push_back(m.id);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    std::wstring first = Widen(cells[0]);
    item.pszText = first.data();
    SendMessageW(entryList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (int c = 1; c < 5; ++c) {
      std::wstring text = Widen(cells[c]);
      LVITEMW sub{};
      sub.iSubItem = c;
      sub.pszText = text.data();
      SendMessageW(entryList, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&sub));
    }
    if (m.id == chosen) chosenRow = row;
    ++row;
  }
  if (chosenRow < 0 && row > 0) chosenRow = 0;
  if (chosenRow >= 0) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(entryList, LVM_SETITEMSTATE, chosenRow, reinterpret_cast<LPARAM>(&state));
  }
  SendMessageW(entryList, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(entryList, nullptr, TRUE);
  UpdateButtons();
}

std::string TWaitingForm::ChosenId() const {
  if (!entryList) return "";
  int row = static_cast<int>(SendMessageW(entryList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (row < 0 || static_cast<std::size_t>(row) >= rowIds_.size()) return "";
  return rowIds_[static_cast<std::size_t>(row)];
}

void TWaitingForm::UpdateButtons() {
  bool chosen = !ChosenId().empty();
  EnableWindow(sendNowButton, chosen);
  EnableWindow(dropButton, chosen);
}

void TWaitingForm::OnSendNowClicked() {
  std::string id = ChosenId();
  if (!id.empty()) outbox_.SendNow(id);
}

void TWaitingForm::OnDropClicked() {
  std::string id = ChosenId();
  if (!id.empty()) outbox_.Drop(id);
}

bool TWaitingForm::PreTranslate(MSG& msg) {
  if (!hwnd() || !IsWindowVisible(hwnd())) return false;
  if (msg.hwnd != hwnd() && !IsChild(hwnd(), msg.hwnd)) return false;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
    ShowWindow(hwnd(), SW_HIDE);
    return true;
  }
  return IsDialogMessageW(hwnd(), &msg) != FALSE;
}

LRESULT TWaitingForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case kSendNowId: OnSendNowClicked(); return 0;
        case kDropId: OnDropClicked(); return 0;
        case kCloseId: case IDCANCEL: ShowWindow(hwnd(), SW_HIDE); return 0;
      }
      break;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lp);
      if (header->hwndFrom == entryList && header->code == LVN_ITEMCHANGED) UpdateButtons();
      return 0;
    }
    case WM_NEXTDLGCTL: {
      // Tab and the access keys, as a dialog box's own procedure would.
      HWND next = lp ? reinterpret_cast<HWND>(wp) : GetNextDlgTabItem(hwnd(), GetFocus(), wp != 0);
      if (next && IsChild(hwnd(), next)) SetFocus(next);
      return 0;
    }
    case WM_SIZE:
      Layout();
      return 0;
    case WM_CLOSE:
      ShowWindow(hwnd(), SW_HIDE);
      return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
