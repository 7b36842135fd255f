#include "settings/timer_page.h"

#include <algorithm>
#include <optional>

#include "common/file_paths.h"
#include "common/vello_error.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "platform/gdi.h"
#include "platform/win_text.h"
#include "schedule/schedule_clock.h"
#include "schedule/scheduler.h"
#include "settings/address_book.h"
#include "settings/setup_host.h"
#include "settings/stored_text.h"

namespace vello {

namespace {

// Control identifiers of the page; commands are matched by handle as well,
// since the dialog sees the identifiers of every page.
enum : UINT {
  kTimerOnBoxId = 4201, kYearBoxId, kMonthBoxId, kDayBoxId, kHourBoxId, kMinuteBoxId, kDestinationBoxId, kImportantBoxId,
  kAddButtonId, kDeleteButtonId, kEntryListId, kScheduleErrorLabelId,
};

// Where the list lies on the page.
constexpr int kListTop = 88, kListWidth = 345, kListHeight = 102;

const char kSentMark[] = "済";
// Its receiver was away at its minute: the message waits for it.
const char kWaitingMark[] = "待";

}  // namespace

void TTimerPage::BuildControls(HWND page, HFONT font) {
  page_ = page;
  font_ = font;
  CreateControls();
  scheduler_.SetOnChanged([this] { ShowEntries(); });
  // Built to show what went wrong when the dialog was opened.
  if (scheduleError_) {
    ShowPresentTime();
    ShowScheduleError(scheduleError_);
  }
}

void TTimerPage::CreateControls() {
  HINSTANCE inst = GetModuleHandleW(nullptr);
  auto make = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* caption, DWORD style, int x, int y, int w, int h,
                  UINT id) {
    HWND c = CreateWindowExW(exStyle, cls, caption, WS_CHILD | WS_VISIBLE | style, x, y, w, h, page_,
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), inst, nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return c;
  };
  auto combo = [&](int x, int width, UINT id) {
    // Drop-down boxes take typed text as well as a choice from the list.
    HWND box = make(0, WC_COMBOBOXW, L"", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, x, 32, width,
                    200, id);
    // The narrow date boxes need every pixel for their digits.
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(box, &info) && info.hwndItem)
      SendMessageW(info.hwndItem, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(0, 0));
    return box;
  };
  // Labels take the size of their text in the page's font, but stop short of
  // the destination box below them.
  WindowDC dc(page_);
  Selection pageFont(dc.get(), font_);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc.get(), &tm);
  auto label = [&](const wchar_t* caption, int x) {
    SIZE size{};
    GetTextExtentPoint32W(dc.get(), caption, static_cast<int>(wcslen(caption)), &size);
    make(0, WC_STATICW, caption, SS_LEFT | SS_NOPREFIX, x, 40, size.cx, std::min<int>(tm.tmHeight, 16), 0);
  };
  auto fill = [](HWND box, int from, int to) {
    for (int i = from; i <= to; ++i)
      SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_wstring(i).c_str()));
  };

  // Created in tab order.
  timerOnBox = make(0, WC_BUTTONW, L"タイマーセット(&S)", BS_AUTOCHECKBOX | WS_TABSTOP, 8, 8, 145, 17, kTimerOnBoxId);
  yearBox = combo(0, 49, kYearBoxId);
  FitYearFont();
  label(L"年", 56);
  monthBox = combo(72, 41, kMonthBoxId);
  fill(monthBox, 1, 12);
  label(L"月", 120);
  dayBox = combo(136, 41, kDayBoxId);
  fill(dayBox, 1, 31);
  label(L"日", 184);
  hourBox = combo(200, 41, kHourBoxId);
  fill(hourBox, 0, 23);
  label(L"時", 248);
  addButton = make(0, WC_BUTTONW, L"追加(&A)", BS_PUSHBUTTON | WS_TABSTOP, 288, 56, 49, 25, kAddButtonId);
  deleteButton = make(0, WC_BUTTONW, L"削除(&D)", BS_PUSHBUTTON | WS_TABSTOP, 224, 56, 57, 25, kDeleteButtonId);
  minuteBox = combo(264, 41, kMinuteBoxId);
  fill(minuteBox, 0, 59);
  label(L"分", 312);
  entryList = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                   LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP, 0, kListTop, kListWidth, kListHeight,
                   kEntryListId);
  SendMessageW(entryList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  struct { const wchar_t* header; int width; } columns[] = {{L"", 20}, {L"日時", 100}, {L"あて先", 100}, {L"", 90}};
  columns[1].width = std::max(columns[1].width, DateColumnWidth());
  for (int i = 0; i < 4; ++i) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.pszText = const_cast<wchar_t*>(columns[i].header);
    col.cx = columns[i].width;
    col.iSubItem = i;
    SendMessageW(entryList, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
  }
  destinationBox = make(0, WC_COMBOBOXW, L"", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0, 56, 153, 200,
                   kDestinationBoxId);
  importantBox = make(0, WC_BUTTONW, L"重要！", BS_AUTOCHECKBOX | WS_TABSTOP, 166, 60, 49, 17, kImportantBoxId);
  // Two lines of the page's font, over the top of the list while shown.
  scheduleErrorLabel = make(0, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, 0, kListTop,
                            kListWidth, 2 * tm.tmHeight + 2, kScheduleErrorLabelId);
  ShowWindow(scheduleErrorLabel, SW_HIDE);
  FillYears(Now().year);
}

void TTimerPage::FitYearFont() {
  // Where the dialog font's digits are wider than the one it was laid out
  // for, a four-digit year would not fit the year box: that box alone gets
  // the same face a little smaller.
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!GetComboBoxInfo(yearBox, &info) || !info.hwndItem) return;
  RECT edit;
  GetClientRect(info.hwndItem, &edit);
  LOGFONTW lf{};
  if (!GetObjectW(font_, sizeof lf, &lf)) return;
  WindowDC dc(yearBox);
  auto fits = [&](HFONT f) {
    Selection font(dc.get(), f);
    SIZE size{};
    GetTextExtentPoint32W(dc.get(), L"0000", 4, &size);
    return size.cx + 1 <= edit.right - edit.left;
  };
  if (!fits(font_)) {
    LONG sign = lf.lfHeight < 0 ? -1 : 1;
    for (LONG h = std::abs(lf.lfHeight) - 1; h >= 8; --h) {
      lf.lfHeight = sign * h;
      UniqueFont smaller(CreateFontIndirectW(&lf));
      if (!smaller.get()) break;
      bool ok = fits(smaller.get());
      yearFont_ = std::move(smaller);
      if (ok) break;
    }
    if (yearFont_.get()) SendMessageW(yearBox, WM_SETFONT, reinterpret_cast<WPARAM>(yearFont_.get()), FALSE);
  }
}

int TTimerPage::DateColumnWidth() const {
  // The longest date-time text, plus the list's own padding around a sub-text.
  constexpr int kPadding = 12;
  int text = static_cast<int>(SendMessageW(entryList, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(L"2000/12/30 23:59")));
  return text + kPadding;
}

void TTimerPage::FillYears(int presentYear) {
  if (yearsFor_ == presentYear) return;
  // Refilling keeps whatever is typed in the box.
  std::string typed = ControlText(yearBox);
  SendMessageW(yearBox, CB_RESETCONTENT, 0, 0);
  for (const std::string& y : YearChoices(presentYear))
    SendMessageW(yearBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(y).c_str()));
  SetControlText(yearBox, typed);
  yearsFor_ = presentYear;
}

std::string TTimerPage::ControlText(HWND control) { return vello::ControlText(control); }

void TTimerPage::SetControlText(HWND control, const std::string& cp932) { vello::SetControlText(control, cp932); }

int TTimerPage::RowCount() const { return static_cast<int>(SendMessageW(entryList, LVM_GETITEMCOUNT, 0, 0)); }

std::string TTimerPage::RowText(int row, int column) const {
  // A row's message text is at most 255 bytes; the buffer grows if ever needed.
  for (std::size_t size = 512;; size *= 4) {
    std::wstring buffer(size, L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(size);
    auto n = static_cast<std::size_t>(SendMessageW(entryList, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
    if (n + 1 < size) {
      buffer.resize(n);
      return Narrow(buffer);
    }
  }
}

void TTimerPage::ShowEntries() {
  LPARAM selected = -1;
  int row = static_cast<int>(SendMessageW(entryList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (row >= 0) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (SendMessageW(entryList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) selected = item.lParam;
  }
  SendMessageW(entryList, WM_SETREDRAW, FALSE, 0);
  SendMessageW(entryList, LVM_DELETEALLITEMS, 0, 0);
  int index = 0;
  for (const ScheduledEntry& e : scheduler_.entries()) {
    const char* mark = scheduler_.Waiting(e) ? kWaitingMark : e.Marked() ? kSentMark : "";
    std::wstring texts[4] = {Widen(mark), Widen(e.dateTimeText), Widen(e.destinationText), Widen(e.messageText)};
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index++;
    item.pszText = texts[0].data();
    item.lParam = static_cast<LPARAM>(e.id);
    if (item.lParam == selected) {
      item.mask |= LVIF_STATE;
      item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    }
    int r = static_cast<int>(SendMessageW(entryList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    for (int i = 1; i < 4; ++i) {
      LVITEMW sub{};
      sub.iSubItem = i;
      sub.pszText = texts[i].data();
      SendMessageW(entryList, LVM_SETITEMTEXTW, r, reinterpret_cast<LPARAM>(&sub));
    }
  }
  SendMessageW(entryList, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(entryList, nullptr, TRUE);
}

bool TTimerPage::Load() {
  scheduleError_.reset();
  if (built()) ShowPresentTime();
  try {
    scheduler_.LoadSchedule();
  } catch (const VelloError& e) {
    scheduleError_ = e.text();
  }
  if (built()) ShowScheduleError(scheduleError_);
  return !scheduleError_;
}

void TTimerPage::ShowPresentTime() {
  LocalDateTime t = Now();
  FillYears(t.year);
  SetControlText(yearBox, std::to_string(t.year));
  SetControlText(monthBox, std::to_string(t.month));
  SetControlText(dayBox, std::to_string(t.day));
  SetControlText(hourBox, std::to_string(t.hour));
  SetControlText(minuteBox, std::to_string(t.minute));
}

void TTimerPage::ShowScheduleError(const std::optional<std::string>& error) {
  int shift = 0;
  if (error) {
    SetControlText(scheduleErrorLabel, *error);
    RECT label;
    GetWindowRect(scheduleErrorLabel, &label);
    shift = label.bottom - label.top;
  }
  ShowWindow(scheduleErrorLabel, error ? SW_SHOW : SW_HIDE);
  SetWindowPos(entryList, nullptr, 0, kListTop + shift, kListWidth, kListHeight - shift, SWP_NOZORDER | SWP_NOACTIVATE);
}

HBRUSH TTimerPage::ControlColor(HDC dc, HWND control) const {
  if (control != scheduleErrorLabel) return nullptr;
  SetTextColor(dc, RGB(255, 0, 0));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return GetSysColorBrush(COLOR_BTNFACE);
}

bool TTimerPage::HandleCommand(UINT code, HWND control) {
  if (control == timerOnBox) {
    if (code == BN_CLICKED) OnTimerOnToggled();
  } else if (control == destinationBox) {
    if (code == CBN_DROPDOWN) OnDestinationListOpening();
  } else if (control == addButton) {
    if (code == BN_CLICKED) OnAddClicked();
  } else if (control == deleteButton) {
    if (code == BN_CLICKED) OnDeleteClicked();
  } else if (control != importantBox && control != yearBox && control != monthBox && control != dayBox &&
             control != hourBox && control != minuteBox) {
    return false;
  }
  return true;
}

bool TTimerPage::HandleNotify(NMHDR* header) { return header && header->hwndFrom == entryList; }

void TTimerPage::OnTimerOnToggled() { scheduler_.SetRunning(IsChecked(timerOnBox)); }

void TTimerPage::OnDestinationListOpening() { ReplaceComboRows(destinationBox, host_.RefreshedDestinations()); }

void TTimerPage::OnAddClicked() {
  std::string text = host_.ComposerPlainText();
  HWND dialog = GetAncestor(page_, GA_ROOT);
  // What the record stores is the displayed lines, a line break after each
  // wrapped line too: that must fit, not just the text as typed.
  std::optional<std::string> stored = ScheduledTextFor(host_.ComposerLinesText());
  if (!stored) {
    ShowMessageBox(dialog, "メッセージが全角で１２３文字を超えています。", "Vello", MB_OK | MB_ICONINFORMATION);
    return;
  }
  std::string destination = ControlText(destinationBox);
  if (destination.empty()) {
    ShowMessageBox(dialog, "あて先を選択してください", "Vello", MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (std::optional<std::string> refusal = OutsideCodePageRefusal("あて先", WideControlText(destinationBox))) {
    ShowMessageBox(dialog, *refusal, "Vello", MB_OK | MB_ICONINFORMATION);
    return;
  }
  std::string dateTime = ComposeDateTimeText(ControlText(yearBox), ControlText(monthBox), ControlText(dayBox),
                                             ControlText(hourBox), ControlText(minuteBox));
  TScheduleEntry e;
  e.SetDateTime(dateTime);
  if (destination[0] != '*') {
    e.SetDestination(destination);
  } else {
    // A nickname listed twice resolves to its last line here. Without a
    // match the destination stays empty; sending it then says so.
    std::vector<std::string> lines = LoadAddressBook(FileBesideExecutable(kAddressBookEnding));
    if (std::optional<std::string> host = ResolveLast(lines, destination)) e.SetDestination(*host);
  }
  e.SetLook(host_.ComposerLook());
  e.SetText(*stored);
  e.SetImportance(IsChecked(importantBox) ? "P" : "N");
  e.SetSent(0);
  scheduler_.Add(e, dateTime, destination, text);
}

void TTimerPage::OnDeleteClicked() {
  int row = static_cast<int>(SendMessageW(entryList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (row < 0) return;
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!SendMessageW(entryList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return;
  auto id = static_cast<EntryId>(item.lParam);
  if (scheduler_.Find(id)) scheduler_.Delete(id);
}

}  // namespace vello
