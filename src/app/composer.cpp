#include "app/composer.h"

#include <richedit.h>

#include <algorithm>
#include <cwchar>
#include <map>

#include "messaging/message_line.h"
#include "platform/colors.h"
#include "platform/win_text.h"

namespace vello {

std::string JoinComposerLines(const std::vector<std::string>& displayedLines) {
  std::string out;
  for (const auto& line : displayedLines) out += line + "\r\n";
  return out;
}

namespace {

// The editors this file has subclassed, each with its composer and the
// editor's own procedure. Not the common controls' subclassing: under Wine
// that looks up window properties, a call to its server, for every message,
// and reading a long text line by line sends thousands.
struct Subclassed {
  TComposer* composer;
  WNDPROC original;
};
std::map<HWND, Subclassed>& SubclassedEditors() {
  static std::map<HWND, Subclassed> editors;  // the user-interface thread's alone
  return editors;
}

LRESULT CALLBACK ComposerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto found = SubclassedEditors().find(hwnd);
  if (found == SubclassedEditors().end()) return DefWindowProcW(hwnd, msg, wParam, lParam);
  const Subclassed editor = found->second;
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editor.original));
    SubclassedEditors().erase(found);
    return CallWindowProcW(editor.original, hwnd, msg, wParam, lParam);
  }
  // The editor's own paste is not used: Wine's rich edit in plain-text mode
  // puts the clipboard in place of the whole text, and takes any amount.
  bool pasteKey = false;
  if (msg == WM_KEYDOWN && (wParam == 'V' || wParam == VK_INSERT)) {
    const bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0, alt = GetKeyState(VK_MENU) < 0;
    pasteKey = !alt && ((wParam == 'V' && ctrl) || (wParam == VK_INSERT && shift && !ctrl));
  }
  if (msg == WM_PASTE || pasteKey) {
    editor.composer->Paste();
    return 0;
  }
  // A full editor refuses a typed character; Wine's says nothing of it.
  if (msg == WM_CHAR && (wParam >= L' ' || wParam == L'\r') && editor.composer->Full())
    editor.composer->TellParentFull();
  return CallWindowProcW(editor.original, hwnd, msg, wParam, lParam);
}

}  // namespace

void TComposer::Create(HWND parent, UINT id, int x, int y, int width, int height) {
  LoadLibraryW(L"Msftedit.dll");
  editor_ = CreateWindowExW(WS_EX_CLIENTEDGE, MSFTEDIT_CLASS, nullptr,
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL |
                                  ES_NOHIDESEL,
                              x, y, width, height, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                              GetModuleHandleW(nullptr), nullptr);
  SendMessageW(editor_, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(kComposerMaxCharacters));
  // EN_CHANGE lets the window hold the bound where the editor does not.
  SendMessageW(editor_, EM_SETEVENTMASK, 0, SendMessageW(editor_, EM_GETEVENTMASK, 0, 0) | ENM_CHANGE);
  SubclassedEditors()[editor_] = {this, reinterpret_cast<WNDPROC>(GetWindowLongPtrW(editor_, GWLP_WNDPROC))};
  SetWindowLongPtrW(editor_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ComposerProc));
  SendMessageW(editor_, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
  SendMessageW(editor_, EM_SETLANGOPTIONS, 0, SendMessageW(editor_, EM_GETLANGOPTIONS, 0, 0) & ~IMF_AUTOFONT);
}

void TComposer::SetLook(const MessageLook& look) {
  FontStyle style = look.style();
  CHARFORMAT2W cf{};
  cf.cbSize = sizeof cf;
  cf.dwMask = CFM_FACE | CFM_SIZE | CFM_COLOR | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_CHARSET;
  std::wstring face = Widen(look.fontName);
  wcsncpy(cf.szFaceName, face.c_str(), LF_FACESIZE - 1);
  cf.yHeight = look.fontSize * 20;
  cf.crTextColor = ToColorRef(look.fontColor);
  cf.bCharSet = DEFAULT_CHARSET;
  cf.dwEffects = (style.bold ? CFE_BOLD : 0) | (style.italic ? CFE_ITALIC : 0) |
                 (style.underline ? CFE_UNDERLINE : 0) | (style.strikeOut ? CFE_STRIKEOUT : 0);
  SendMessageW(editor_, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
  SendMessageW(editor_, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf));
  SendMessageW(editor_, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(ToColorRef(look.color)));
  color_ = look.color;
  fontColor_ = look.fontColor;
}

MessageLook TComposer::Look() const {
  MessageLook look;
  RECT r;
  GetWindowRect(editor_, &r);
  look.width = r.right - r.left;
  look.height = r.bottom - r.top;
  look.color = color_;
  look.fontColor = fontColor_;
  CHARFORMAT2W cf{};
  cf.cbSize = sizeof cf;
  SendMessageW(editor_, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf));
  look.fontName = Narrow(cf.szFaceName);
  look.fontSize = (cf.yHeight + 10) / 20;
  look.fontStyle = FontStyle{.bold = (cf.dwEffects & CFE_BOLD) != 0,
                             .italic = (cf.dwEffects & CFE_ITALIC) != 0,
                             .underline = (cf.dwEffects & CFE_UNDERLINE) != 0,
                             .strikeOut = (cf.dwEffects & CFE_STRIKEOUT) != 0}
                       .Bits();
  return look;
}

std::string TComposer::LinesText() const {
  // The displayed lines, wraps included; an empty last line is not a line.
  int count = static_cast<int>(SendMessageW(editor_, EM_GETLINECOUNT, 0, 0));
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) {
    LRESULT start = SendMessageW(editor_, EM_LINEINDEX, i, 0);
    LRESULT length = SendMessageW(editor_, EM_LINELENGTH, start, 0);
    std::wstring buffer(static_cast<std::size_t>(std::max<LRESULT>(length, 0) + 2), L'\0');
    *reinterpret_cast<WORD*>(buffer.data()) = static_cast<WORD>(buffer.size());
    LRESULT got = SendMessageW(editor_, EM_GETLINE, i, reinterpret_cast<LPARAM>(buffer.data()));
    buffer.resize(static_cast<std::size_t>(std::max<LRESULT>(got, 0)));
    while (!buffer.empty() && (buffer.back() == L'\r' || buffer.back() == L'\n')) buffer.pop_back();
    lines.push_back(Narrow(buffer));
  }
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return JoinComposerLines(lines);
}

std::string TComposer::PlainText() const {
  int n = GetWindowTextLengthW(editor_);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  GetWindowTextW(editor_, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(n));
  // The rich edit keeps paragraphs with a lone CR; the program's texts use CR LF.
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\r') out += L"\r\n";
    else if (c != L'\n') out += c;
  }
  return Narrow(out);
}

void TComposer::SetText(const std::string& cp932) { SetWindowTextW(editor_, Widen(cp932).c_str()); }

void TComposer::ReplaceSelection(const std::string& cp932) { InsertFitting(Widen(cp932)); }

void TComposer::Paste() {
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(editor_)) return;
  std::wstring text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (auto* units = static_cast<const wchar_t*>(GlobalLock(data))) {
      // Another program's data need not end where it says.
      text.assign(units, wcsnlen(units, GlobalSize(data) / sizeof(wchar_t)));
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  InsertFitting(std::move(text));
}

long TComposer::Room() const {
  CHARRANGE selection{};
  SendMessageW(editor_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  return static_cast<long>(kComposerMaxCharacters) - (Length() - (selection.cpMax - selection.cpMin));
}

void TComposer::InsertFitting(std::wstring text) {
  const long room = Room();
  // The editor keeps a CR LF as one character.
  std::size_t end = 0;
  for (long taken = 0; end < text.size() && taken < room; ++taken)
    end += text.compare(end, 2, L"\r\n") == 0 ? 2 : 1;
  const bool cut = end < text.size();
  if (cut && end > 0 && IS_HIGH_SURROGATE(text[end - 1])) --end;
  text.resize(end);
  SendMessageW(editor_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
  if (cut) TellParentFull();
}

void TComposer::TellParentFull() {
  SendMessageW(GetParent(editor_), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(editor_), EN_MAXTEXT),
               reinterpret_cast<LPARAM>(editor_));
}

long TComposer::Length() const {
  GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
  return static_cast<long>(SendMessageW(editor_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
}

bool TComposer::CutToBound() {
  const long length = Length();
  const long bound = static_cast<long>(kComposerMaxCharacters);
  // Wine's editor raises its limit to take whatever is put in.
  if (SendMessageW(editor_, EM_GETLIMITTEXT, 0, 0) != bound)
    SendMessageW(editor_, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(bound));
  if (length <= bound) return false;
  const long excess = length - bound;
  CHARRANGE caret{};
  SendMessageW(editor_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&caret));
  // The text just put in ends at the caret; text set whole leaves the caret
  // at the start, and then the end goes.
  CHARRANGE cut = caret.cpMax >= excess ? CHARRANGE{caret.cpMax - excess, caret.cpMax} : CHARRANGE{bound, length};
  // Never half a surrogate pair: the cut starts before its high half.
  if (cut.cpMin > 0) {
    wchar_t before[2] = {};
    TEXTRANGEW range{{cut.cpMin - 1, cut.cpMin}, before};
    SendMessageW(editor_, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    if (IS_HIGH_SURROGATE(before[0])) --cut.cpMin;
  }
  SendMessageW(editor_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&cut));
  // Undoable, so that the editor's undo of what came before stays in step.
  SendMessageW(editor_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
  return true;
}

}  // namespace vello
