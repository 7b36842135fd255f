#include "schedule/timer_page.h"

#include <algorithm>
#include <optional>

#include "app/main_form.h"
#include "common/file_paths.h"
#include "platform/clock.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "platform/win_text.h"
#include "schedule/schedule_clock.h"
#include "schedule/schedule_file.h"
#include "settings/address_book.h"
#include "settings/destination_list.h"
#include "settings/setup_form.h"

namespace vello {

namespace {

// Control identifiers of the page; commands are matched by handle as well,
// since the dialog sees the identifiers of every page.
enum : UINT {
  kCheckBox7 = 4201, kComboBox2, kComboBox3, kComboBox4, kComboBox5, kComboBox6, kComboBox7, kCheckBox8,
  kButton8, kButton9, kListView1,
};

constexpr std::size_t kMaxComposerText = 255;
const char kSentMark[] = "済";

}  // namespace

TTimerPage::TTimerPage(TSetupForm& setup, TMainForm& main, HWND page, HFONT font)
    : setup_(setup), main_(main), page_(page), font_(font) {
  CreateControls();
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
  HDC dc = GetDC(page_);
  HGDIOBJ oldFont = SelectObject(dc, font_);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  auto label = [&](const wchar_t* caption, int x) {
    SIZE size{};
    GetTextExtentPoint32W(dc, caption, static_cast<int>(wcslen(caption)), &size);
    make(0, WC_STATICW, caption, SS_LEFT | SS_NOPREFIX, x, 40, size.cx, std::min<int>(tm.tmHeight, 16), 0);
  };
  auto fill = [](HWND box, int from, int to) {
    for (int i = from; i <= to; ++i)
      SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_wstring(i).c_str()));
  };

  // Created in tab order.
  CheckBox7 = make(0, WC_BUTTONW, L"タイマーセット(&S)", BS_AUTOCHECKBOX | WS_TABSTOP, 8, 8, 145, 17, kCheckBox7);
  ComboBox2 = combo(0, 49, kComboBox2);
  FitYearFont();
  label(L"年", 56);
  ComboBox3 = combo(72, 41, kComboBox3);
  fill(ComboBox3, 1, 12);
  label(L"月", 120);
  ComboBox4 = combo(136, 41, kComboBox4);
  fill(ComboBox4, 1, 31);
  label(L"日", 184);
  ComboBox5 = combo(200, 41, kComboBox5);
  fill(ComboBox5, 0, 23);
  label(L"時", 248);
  Button8 = make(0, WC_BUTTONW, L"追加(&A)", BS_PUSHBUTTON | WS_TABSTOP, 288, 56, 49, 25, kButton8);
  Button9 = make(0, WC_BUTTONW, L"削除(&D)", BS_PUSHBUTTON | WS_TABSTOP, 224, 56, 57, 25, kButton9);
  ComboBox6 = combo(264, 41, kComboBox6);
  fill(ComboBox6, 0, 59);
  label(L"分", 312);
  ListView1 = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                   LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP, 0, 88, 345, 102, kListView1);
  SendMessageW(ListView1, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  struct { const wchar_t* header; int width; } columns[] = {{L"", 20}, {L"日時", 100}, {L"あて先", 100}, {L"", 90}};
  columns[1].width = std::max(columns[1].width, DateColumnWidth());
  for (int i = 0; i < 4; ++i) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.pszText = const_cast<wchar_t*>(columns[i].header);
    col.cx = columns[i].width;
    col.iSubItem = i;
    SendMessageW(ListView1, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
  }
  ComboBox7 = make(0, WC_COMBOBOXW, L"", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0, 56, 153, 200,
                   kComboBox7);
  CheckBox8 = make(0, WC_BUTTONW, L"重要！", BS_AUTOCHECKBOX | WS_TABSTOP, 166, 60, 49, 17, kCheckBox8);
  SelectObject(dc, oldFont);
  ReleaseDC(page_, dc);
  FillYears(Now().year);
}

void TTimerPage::FitYearFont() {
  // Where the dialog font's digits are wider than the one it was laid out
  // for, a four-digit year would not fit the year box: that box alone gets
  // the same face a little smaller.
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!GetComboBoxInfo(ComboBox2, &info) || !info.hwndItem) return;
  RECT edit;
  GetClientRect(info.hwndItem, &edit);
  LOGFONTW lf{};
  if (!GetObjectW(font_, sizeof lf, &lf)) return;
  HDC dc = GetDC(ComboBox2);
  auto fits = [&](HFONT f) {
    HGDIOBJ old = SelectObject(dc, f);
    SIZE size{};
    GetTextExtentPoint32W(dc, L"0000", 4, &size);
    SelectObject(dc, old);
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
    if (yearFont_.get()) SendMessageW(ComboBox2, WM_SETFONT, reinterpret_cast<WPARAM>(yearFont_.get()), FALSE);
  }
  ReleaseDC(ComboBox2, dc);
}

int TTimerPage::DateColumnWidth() const {
  // The longest date-time text, plus the list's own padding around a sub-text.
  constexpr int kPadding = 12;
  int text = static_cast<int>(SendMessageW(ListView1, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(L"2000/12/30 23:59")));
  return text + kPadding;
}

void TTimerPage::FillYears(int presentYear) {
  if (yearsFor_ == presentYear) return;
  // Refilling keeps whatever is typed in the box.
  std::string typed = ControlText(ComboBox2);
  SendMessageW(ComboBox2, CB_RESETCONTENT, 0, 0);
  for (const std::string& y : YearChoices(presentYear))
    SendMessageW(ComboBox2, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(y).c_str()));
  SetControlText(ComboBox2, typed);
  yearsFor_ = presentYear;
}

std::string TTimerPage::ControlText(HWND control) {
  int n = GetWindowTextLengthW(control);
  std::wstring text(static_cast<std::size_t>(std::max(n, 0)) + 1, L'\0');
  int got = GetWindowTextW(control, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return Narrow(text);
}

void TTimerPage::SetControlText(HWND control, const std::string& cp932) {
  SetWindowTextW(control, Widen(cp932).c_str());
}

int TTimerPage::RowCount() const { return static_cast<int>(SendMessageW(ListView1, LVM_GETITEMCOUNT, 0, 0)); }

std::string TTimerPage::RowText(int row, int column) const {
  // A row's message text is at most 255 bytes; the buffer grows if ever needed.
  for (std::size_t size = 512;; size *= 4) {
    std::wstring buffer(size, L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(size);
    auto n = static_cast<std::size_t>(SendMessageW(ListView1, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
    if (n + 1 < size) {
      buffer.resize(n);
      return Narrow(buffer);
    }
  }
}

int TTimerPage::AddRow(const std::string& caption, const std::string& dateTime, const std::string& destination,
                       const std::string& text) {
  std::wstring texts[4] = {Widen(caption), Widen(dateTime), Widen(destination), Widen(text)};
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = RowCount();
  item.pszText = texts[0].data();
  int row = static_cast<int>(SendMessageW(ListView1, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  for (int i = 1; i < 4; ++i) {
    LVITEMW sub{};
    sub.iSubItem = i;
    sub.pszText = texts[i].data();
    SendMessageW(ListView1, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&sub));
  }
  return row;
}

void TTimerPage::SetRowCaption(int row, const std::string& caption) {
  std::wstring text = Widen(caption);
  LVITEMW item{};
  item.iSubItem = 0;
  item.pszText = text.data();
  SendMessageW(ListView1, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

void TTimerPage::FormShow() {
  LocalDateTime t = Now();
  FillYears(t.year);
  SetControlText(ComboBox2, std::to_string(t.year));
  SetControlText(ComboBox3, std::to_string(t.month));
  SetControlText(ComboBox4, std::to_string(t.day));
  SetControlText(ComboBox5, std::to_string(t.hour));
  SetControlText(ComboBox6, std::to_string(t.minute));
  LoadSchedule();
}

void TTimerPage::LoadSchedule() {
  std::vector<TScheduleEntry>& entries = main_.FScheduleEntries;
  LoadScheduleFile(FileBesideExecutable(kScheduleEnding), entries);
  if (entries.empty()) return;
  SendMessageW(ListView1, WM_SETREDRAW, FALSE, 0);
  SendMessageW(ListView1, LVM_DELETEALLITEMS, 0, 0);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TScheduleEntry& e = entries[i];
    // An entry still on its way keeps its mark: the file says Sent 0 until it has gone.
    bool marked = e.Sent() != 0 || EntryInFlight(static_cast<int>(i));
    AddRow(marked ? kSentMark : "", e.DateTime(), e.Destination(), RowTextFromStored(e.Text()));
  }
  SendMessageW(ListView1, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(ListView1, nullptr, TRUE);
}

void TTimerPage::SaveSchedule() { SaveScheduleFile(FileBesideExecutable(kScheduleEnding), main_.FScheduleEntries); }

bool TTimerPage::HandleCommand(UINT, UINT code, HWND control) {
  if (!control) return false;
  if (control == CheckBox7) {
    if (code == BN_CLICKED) CheckBox7Click();
  } else if (control == ComboBox7) {
    if (code == CBN_DROPDOWN) ComboBox7DropDown();
  } else if (control == Button8) {
    if (code == BN_CLICKED) Button8Click();
  } else if (control == Button9) {
    if (code == BN_CLICKED) Button9Click();
  } else if (control != CheckBox8 && control != ComboBox2 && control != ComboBox3 && control != ComboBox4 &&
             control != ComboBox5 && control != ComboBox6) {
    return false;
  }
  return true;
}

bool TTimerPage::HandleNotify(NMHDR* header) { return header && header->hwndFrom == ListView1; }

void TTimerPage::CheckBox7Click() {
  if (SendMessageW(CheckBox7, BM_GETCHECK, 0, 0) == BST_CHECKED) {
    SetTimer(setup_.hwnd(), kTimerId, kTimer1Interval, nullptr);
    timer1Interval_ = kTimer1Interval;
  } else {
    KillTimer(setup_.hwnd(), kTimerId);
    timer1Interval_ = 0;
  }
}

void TTimerPage::Timer1Timer() {
  LocalDateTime t = Now();
  std::string now = CurrentTimeText(t.year, t.month, t.day, t.hour, t.minute);
  // The row count is read afresh each time: a box opened by a hand-over runs a
  // nested message loop in which rows can be deleted.
  for (int row = 0; row < RowCount(); ++row) {
    if (!IsDue(RowText(row, 1), RowText(row, 0), now)) continue;
    main_.FScheduledIndex = row;
    main_.FSendingScheduled = true;
    // Marked before the hand-over, so that a tick inside a box the hand-over
    // opens cannot hand the same row over again.
    SetRowCaption(row, kSentMark);
    // Its own connection, so entries due together and a manual send still
    // connecting do not overwrite each other.
    main_.StartScheduledSend(row);
    SaveSchedule();
  }
}

void TTimerPage::ComboBox7DropDown() {
  std::vector<std::string> fresh = RefreshDestinationList(main_.DestinationItems(), main_.ListNetworkComputers());
  SendMessageW(ComboBox7, WM_SETREDRAW, FALSE, 0);
  SetWindowTextW(ComboBox7, L"");
  SendMessageW(ComboBox7, CB_RESETCONTENT, 0, 0);
  for (const std::string& e : fresh)
    SendMessageW(ComboBox7, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(e).c_str()));
  SendMessageW(ComboBox7, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(ComboBox7, nullptr, TRUE);
}

void TTimerPage::Button8Click() {
  std::string text = main_.ComposerPlainText();
  if (text.size() > kMaxComposerText) {
    ShowMessageBox(setup_.hwnd(), "メッセージが全角で１２３文字を超えています。", "Vello", MB_OK | MB_ICONINFORMATION);
    return;
  }
  std::string destination = ControlText(ComboBox7);
  if (destination.empty()) {
    ShowMessageBox(setup_.hwnd(), "あて先を選択してください", "Vello", MB_OK | MB_ICONINFORMATION);
    return;
  }
  std::string dateTime = ComposeDateTimeText(ControlText(ComboBox2), ControlText(ComboBox3), ControlText(ComboBox4),
                                             ControlText(ComboBox5), ControlText(ComboBox6));
  // The entry is made in full before the row is added, so that a failure on
  // the way (an unreadable address book) leaves rows and entries in step.
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
  ComposerLook look = main_.ComposerLookNow();
  e.SetWidth(look.width);
  e.SetHeight(look.height);
  e.SetColor(look.color);
  e.SetFontName(look.fontName);
  e.SetFontColor(look.fontColor);
  e.SetFontSize(look.fontSize);
  e.SetFontStyle(look.fontStyle);
  e.SetText(main_.ComposerLinesText());
  e.SetImportance(SendMessageW(CheckBox8, BM_GETCHECK, 0, 0) == BST_CHECKED ? "P" : "N");
  e.SetSent(0);

  AddRow("", dateTime, destination, text);
  main_.FScheduleEntries.push_back(e);
  SaveSchedule();
}

void TTimerPage::Button9Click() {
  int row = static_cast<int>(SendMessageW(ListView1, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  std::vector<TScheduleEntry>& entries = main_.FScheduleEntries;
  if (row < 0 || static_cast<std::size_t>(row) >= entries.size()) return;
  ForgetEntryInFlight(row);
  entries.erase(entries.begin() + row);
  SendMessageW(ListView1, LVM_DELETEITEM, row, 0);
  SaveSchedule();
}

bool TTimerPage::EntryInFlight(int index) const {
  for (const auto& a : main_.FSendAttempts)
    if (a->scheduledIndex == index && !a->client->finished()) return true;
  return false;
}

void TTimerPage::ForgetEntryInFlight(int index) {
  auto& attempts = main_.FSendAttempts;
  // An attempt that has not ended is never inside one of its own handlers,
  // so it can go at once: the deleted entry is not sent.
  std::erase_if(attempts, [index](const std::unique_ptr<SendAttempt>& a) {
    return a->scheduledIndex == index && !a->client->finished();
  });
  for (auto& a : attempts) {
    if (a->scheduledIndex == index) a->scheduledIndex = -1;
    else if (a->scheduledIndex > index) --a->scheduledIndex;
  }
  if (main_.FScheduledIndex == index) {
    main_.FScheduledIndex = -1;
    main_.FSendingScheduled = false;
  } else if (main_.FScheduledIndex > index) {
    --main_.FScheduledIndex;
  }
}

}  // namespace vello
