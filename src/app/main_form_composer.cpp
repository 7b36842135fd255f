// The composer and its tools: font, background colour, importance, fixed
// phrases, and ApplySettings.
#include "app/main_form.h"

#include <commdlg.h>
#include <richedit.h>

#include "common/file_paths.h"
#include "common/sjis.h"
#include "platform/executable_path.h"
#include "platform/win_text.h"
#include "settings/destination_list.h"
#include "settings/phrase_store.h"

namespace vello {

namespace {
COLORREF ToColorRef(int32_t color) {
  // A negative value names a system colour by the index in its lowest byte.
  return color < 0 ? GetSysColor(color & 0xFF) : static_cast<COLORREF>(color);
}
}  // namespace

std::string JoinComposerLines(const std::vector<std::string>& displayedLines) {
  std::string out;
  for (const auto& line : displayedLines) out += line + "\r\n";
  return out;
}

void TMainForm::SetComposerLook(const ComposerLook& look) {
  CHARFORMAT2W cf{};
  cf.cbSize = sizeof cf;
  cf.dwMask = CFM_FACE | CFM_SIZE | CFM_COLOR | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_CHARSET;
  std::wstring face = Widen(look.fontName);
  wcsncpy(cf.szFaceName, face.c_str(), LF_FACESIZE - 1);
  cf.yHeight = look.fontSize * 20;
  cf.crTextColor = ToColorRef(look.fontColor);
  cf.bCharSet = DEFAULT_CHARSET;
  cf.dwEffects = (look.fontStyle & 1 ? CFE_BOLD : 0) | (look.fontStyle & 2 ? CFE_ITALIC : 0) |
                 (look.fontStyle & 4 ? CFE_UNDERLINE : 0) | (look.fontStyle & 8 ? CFE_STRIKEOUT : 0);
  SendMessageW(RichEdit1, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
  SendMessageW(RichEdit1, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf));
  SendMessageW(RichEdit1, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(ToColorRef(look.color)));
  SetPropW(RichEdit1, L"VelloColor", reinterpret_cast<HANDLE>(static_cast<intptr_t>(look.color)));
  SetPropW(RichEdit1, L"VelloFontColor", reinterpret_cast<HANDLE>(static_cast<intptr_t>(look.fontColor)));
}

ComposerLook TMainForm::ComposerLookNow() const {
  ComposerLook look;
  RECT r;
  GetWindowRect(RichEdit1, &r);
  look.width = r.right - r.left;
  look.height = r.bottom - r.top;
  look.color = static_cast<int32_t>(reinterpret_cast<intptr_t>(GetPropW(RichEdit1, L"VelloColor")));
  look.fontColor = static_cast<int32_t>(reinterpret_cast<intptr_t>(GetPropW(RichEdit1, L"VelloFontColor")));
  CHARFORMAT2W cf{};
  cf.cbSize = sizeof cf;
  SendMessageW(RichEdit1, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf));
  look.fontName = Narrow(cf.szFaceName);
  look.fontSize = (cf.yHeight + 10) / 20;
  look.fontStyle = static_cast<uint8_t>((cf.dwEffects & CFE_BOLD ? 1 : 0) | (cf.dwEffects & CFE_ITALIC ? 2 : 0) |
                                        (cf.dwEffects & CFE_UNDERLINE ? 4 : 0) | (cf.dwEffects & CFE_STRIKEOUT ? 8 : 0));
  return look;
}

std::string TMainForm::ComposerLinesText() const {
  // The displayed lines, wraps included; an empty last line is not a line.
  int count = static_cast<int>(SendMessageW(RichEdit1, EM_GETLINECOUNT, 0, 0));
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) {
    LRESULT start = SendMessageW(RichEdit1, EM_LINEINDEX, i, 0);
    LRESULT length = SendMessageW(RichEdit1, EM_LINELENGTH, start, 0);
    std::wstring buffer(static_cast<std::size_t>(std::max<LRESULT>(length, 0) + 2), L'\0');
    *reinterpret_cast<WORD*>(buffer.data()) = static_cast<WORD>(buffer.size());
    LRESULT got = SendMessageW(RichEdit1, EM_GETLINE, i, reinterpret_cast<LPARAM>(buffer.data()));
    buffer.resize(static_cast<std::size_t>(std::max<LRESULT>(got, 0)));
    while (!buffer.empty() && (buffer.back() == L'\r' || buffer.back() == L'\n')) buffer.pop_back();
    lines.push_back(Narrow(buffer));
  }
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return JoinComposerLines(lines);
}

std::string TMainForm::ComposerPlainText() const {
  int n = GetWindowTextLengthW(RichEdit1);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  GetWindowTextW(RichEdit1, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(n));
  // The rich edit keeps paragraphs with a lone CR; the program's texts use CR LF.
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\r') out += L"\r\n";
    else if (c != L'\n') out += c;
  }
  return Narrow(out);
}

void TMainForm::SetComposerText(const std::string& cp932) {
  SetWindowTextW(RichEdit1, Widen(cp932).c_str());
}

bool TMainForm::ImportanceTicked() const { return SendMessageW(CheckBox1, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TMainForm::SetImportance(bool ticked) {
  bool was = ImportanceTicked();
  SendMessageW(CheckBox1, BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
  if (was != ticked) CheckBox1Click();
}

void TMainForm::CheckBox1Click() {
  // The caption's colour follows the tick (WM_CTLCOLORBTN reads it).
  InvalidateRect(CheckBox1, nullptr, TRUE);
}

std::string TMainForm::DestinationText() const {
  int n = GetWindowTextLengthW(ComboBox1);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  GetWindowTextW(ComboBox1, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(n));
  return Narrow(text);
}

void TMainForm::SetDestinationText(const std::string& text) { SetWindowTextW(ComboBox1, Widen(text).c_str()); }

std::vector<std::string> TMainForm::DestinationItems() const {
  std::vector<std::string> items;
  int count = static_cast<int>(SendMessageW(ComboBox1, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    int n = static_cast<int>(SendMessageW(ComboBox1, CB_GETLBTEXTLEN, i, 0));
    std::wstring text(static_cast<std::size_t>(std::max(n, 0)) + 1, L'\0');
    SendMessageW(ComboBox1, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max(n, 0)));
    items.push_back(Narrow(text));
  }
  return items;
}

void TMainForm::ComboBox1DropDown() {
  std::vector<std::string> fresh = RefreshDestinationList(DestinationItems(), ListNetworkComputers());
  SendMessageW(ComboBox1, WM_SETREDRAW, FALSE, 0);
  SendMessageW(ComboBox1, CB_RESETCONTENT, 0, 0);
  SetWindowTextW(ComboBox1, L"");
  for (const auto& e : fresh) SendMessageW(ComboBox1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(e).c_str()));
  SendMessageW(ComboBox1, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(ComboBox1, nullptr, TRUE);
}

void TMainForm::ComboBox1Change() {
  int selected = static_cast<int>(SendMessageW(ComboBox1, CB_GETCURSEL, 0, 0));
  std::string text = DestinationText();
  if (selected >= 0) {
    // During a selection change the edit text is not updated yet.
    int n = static_cast<int>(SendMessageW(ComboBox1, CB_GETLBTEXTLEN, selected, 0));
    std::wstring item(static_cast<std::size_t>(std::max(n, 0)) + 1, L'\0');
    SendMessageW(ComboBox1, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(item.data()));
    item.resize(static_cast<std::size_t>(std::max(n, 0)));
    text = Narrow(item);
  }
  int count = static_cast<int>(SendMessageW(ComboBox1, CB_GETCOUNT, 0, 0));
  if (text != kSeparator || count <= 1) return;
  int next = EntryAfterSeparator(selected, count);
  SendMessageW(ComboBox1, CB_SETCURSEL, static_cast<WPARAM>(next), 0);
}

void TMainForm::Font1Click() {
  ComposerLook look = ComposerLookNow();
  LOGFONTW lf{};
  HDC dc = GetDC(hwnd());
  lf.lfHeight = -MulDiv(look.fontSize, GetDeviceCaps(dc, LOGPIXELSY), 72);
  ReleaseDC(hwnd(), dc);
  lf.lfWeight = look.fontStyle & 1 ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = look.fontStyle & 2 ? 1 : 0;
  lf.lfUnderline = look.fontStyle & 4 ? 1 : 0;
  lf.lfStrikeOut = look.fontStyle & 8 ? 1 : 0;
  lf.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(lf.lfFaceName, Widen(look.fontName).c_str(), LF_FACESIZE - 1);
  CHOOSEFONTW cf{};
  cf.lStructSize = sizeof cf;
  cf.hwndOwner = hwnd();
  cf.lpLogFont = &lf;
  cf.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
  cf.rgbColors = ToColorRef(look.fontColor);
  IniFile ini = Settings();
  if (!ChooseFontW(&cf)) return;
  look.fontName = Narrow(lf.lfFaceName);
  look.fontSize = cf.iPointSize / 10;
  look.fontColor = static_cast<int32_t>(cf.rgbColors);
  look.fontStyle = static_cast<uint8_t>((lf.lfWeight >= FW_BOLD ? 1 : 0) | (lf.lfItalic ? 2 : 0) |
                                        (lf.lfUnderline ? 4 : 0) | (lf.lfStrikeOut ? 8 : 0));
  SetComposerLook(look);
  ComposerLook stored = ComposerLookNow();
  ini.WriteInteger("Edit", "Font-Color", stored.fontColor);
  ini.WriteInteger("Edit", "Font-Size", stored.fontSize);
  ini.WriteString("Edit", "Font-Name", stored.fontName);
  ini.WriteInteger("Edit", "Font-Style", stored.fontStyle);
}

void TMainForm::B1Click() {
  ComposerLook look = ComposerLookNow();
  static COLORREF custom[16] = {};
  CHOOSECOLORW cc{};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = hwnd();
  cc.rgbResult = ToColorRef(look.color);
  cc.lpCustColors = custom;
  cc.Flags = CC_RGBINIT;
  IniFile ini = Settings();
  if (!ChooseColorW(&cc)) return;
  look.color = static_cast<int32_t>(cc.rgbResult);
  SetComposerLook(look);
  ini.WriteInteger("Edit", "Color", look.color);
}

void TMainForm::FixedClick(UINT id) {
  std::size_t index = id - mainids::FirstPhrase;
  if (index >= FPhrases.size()) return;
  SendMessageW(RichEdit1, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Widen(FPhrases[index]).c_str()));
}

void TMainForm::ApplySettings() {
  // 1.-4.
  IniFile ini = Settings();
  int port = ini.ReadInteger("setup", "port", 5963);
  FLogOn = ini.ReadBool("setup", "Log", false);
  if (ini.ReadBool("setup", "Sound", false)) {
    MediaPlayer1.Open(ini.ReadString("setup", "Sound-File", ""));
    FSoundOn = true;
  } else {
    FSoundOn = false;
  }
  // 5. A changed port takes effect at once: the server listens again there.
  ServerSocket1().Listen(port);
  ClientPort = port;
  // 6.-9. The Insert menu, rebuilt from the fixed phrase file.
  while (GetMenuItemCount(Insert1) > 0) DeleteMenu(Insert1, 0, MF_BYPOSITION);
  FPhrases.clear();
  PhraseStore store(FileBesideExecutable(kPhrasesEnding));
  for (const std::string& category : store.Categories()) {
    HMENU sub = CreatePopupMenu();
    AppendMenuW(Insert1, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), Widen(category).c_str());
    for (const std::string& phrase : store.Phrases(category)) {
      UINT id = mainids::FirstPhrase + static_cast<UINT>(FPhrases.size());
      if (id > mainids::LastPhrase) break;
      FPhrases.push_back(phrase);
      // Owner-drawn captions would lose nothing, but a string item turns "&"
      // into an access key; MFT_STRING with the text doubled keeps it visible.
      std::wstring caption;
      for (wchar_t c : Widen(phrase)) {
        caption += c;
        if (c == L'&') caption += L'&';
      }
      AppendMenuW(sub, MF_STRING, id, caption.c_str());
    }
  }
  DrawMenuBar(hwnd());
}

}  // namespace vello
