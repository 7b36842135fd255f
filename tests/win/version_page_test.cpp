// The version page, its picture and its links.
#include "setup_dialog_fixture.h"

namespace vello::testing {
namespace {

TEST_F(SetupDialogTest, TheVersionPageShowsThePictureNameAndTwoLinks) {
  StartApp();
  // The documents shipped beside the executable.
  for (const wchar_t* name : {L"VELLO.html", L"LICENSE.txt"}) std::ofstream(dir_ / name) << "x";
  Dialog().ShowPage(SetupPage::Version);
  TVersionPage& v = Dialog().content<TVersionPage>(SetupPage::Version);
  HWND panel = v.logoPanel.hwnd();
  RECT r = RectIn(panel, Dialog().page(SetupPage::Version));
  EXPECT_EQ(r.left, 16);
  EXPECT_EQ(r.top, 8);
  EXPECT_EQ(r.right - r.left, 321);
  EXPECT_EQ(r.bottom - r.top, 169);
  struct Expected {
    HWND control;
    int x, y;
    const char* text;
  } table[] = {
      {v.titleLabel, 120, 32, "Vello　ver.1.5"},
      {v.descriptionLabel, 56, 72, "LAN メッセンジャー"},
      {v.helpLink.hwnd(), 56, 96, "ヘルプ: VELLO.html"},
      {v.licenceLink.hwnd(), 56, 112, "ライセンス: MIT (LICENSE.txt)"},
      {v.thanksLabel, 16, 136, "使っていただいてどうもありがとうございます。"},
      {v.copyrightLabel, 16, 149, "Copyright (c) 2026 The Vello developers"},
  };
  for (const auto& e : table) {
    SCOPED_TRACE(e.text);
    RECT c = RectIn(e.control, panel);
    EXPECT_EQ(c.left, e.x);
    EXPECT_EQ(c.top, e.y);
    EXPECT_EQ(ControlText(e.control), e.text);
    // Whole on the panel: no text cut at its right edge.
    SIZE text = TextExtent(e.control, Widen(e.text));
    EXPECT_GE(c.right - c.left, text.cx);
    EXPECT_GE(c.bottom - c.top, text.cy);
    EXPECT_LE(c.right, 321);
  }
  EXPECT_EQ(RectIn(v.titleLabel, panel).right - RectIn(v.titleLabel, panel).left, 161);
  EXPECT_EQ(RectIn(v.descriptionLabel, panel).right - RectIn(v.descriptionLabel, panel).left, 201);
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(v.titleLabel, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  EXPECT_EQ(lf.lfHeight, -19);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_TRUE(lf.lfItalic);
  EXPECT_STREQ(lf.lfFaceName, L"ＭＳ Ｐゴシック");

  EXPECT_EQ(v.helpLink.Hikisu(), "VELLO.html");
  EXPECT_EQ(v.licenceLink.Hikisu(), "LICENSE.txt");
  for (TClickLabel* link : {&v.helpLink, &v.licenceLink}) {
    EXPECT_EQ(link->EnterColor(), 0x00FFFF);
    EXPECT_EQ(link->EnterCursor(), kCursorHandPoint);
  }
  // Each opens its document beside the executable, whatever the current folder.
  for (TClickLabel* link : {&v.helpLink, &v.licenceLink}) {
    SendMessageW(link->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(link->hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  }
  ASSERT_EQ(shellCalls_.size(), 2u);
  EXPECT_EQ(fs::path(shellCalls_[0].file), dir_ / L"VELLO.html");
  EXPECT_EQ(fs::path(shellCalls_[1].file), dir_ / L"LICENSE.txt");
  // No address of anyone's: nothing on the page names a place that is not there.
  for (HWND label : {v.titleLabel, v.descriptionLabel, v.helpLink.hwnd(), v.licenceLink.hwnd(), v.thanksLabel, v.copyrightLabel}) {
    std::wstring text = Widen(ControlText(label));
    EXPECT_EQ(text.find(L"example"), std::wstring::npos) << ControlText(label);
    EXPECT_EQ(text.find(L'@'), std::wstring::npos) << ControlText(label);
  }
}

TEST_F(SetupDialogTest, ThePictureIsStretchedWithItsBottomLeftColourLeftOut) {
  StartApp();
  TVersionPage& v = Dialog().content<TVersionPage>(SetupPage::Version);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP canvas = CreateCompatibleBitmap(screen, 120, 80);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, canvas);
  const COLORREF magenta = RGB(255, 0, 255);
  HBRUSH brush = CreateSolidBrush(magenta);
  RECT all{0, 0, 120, 80};
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  v.logoPanel.DrawLogo(dc);
  const RECT& box = TVersionPanel::kLogoArea;
  // Corners show what lies beneath; the middle holds the picture.
  EXPECT_EQ(GetPixel(dc, box.left, box.bottom - 1), magenta);
  EXPECT_EQ(GetPixel(dc, box.right - 1, box.top), magenta);
  COLORREF middle = GetPixel(dc, (box.left + box.right) / 2, (box.top + box.bottom) / 2);
  EXPECT_NE(middle, magenta);
  EXPECT_NE(middle, RGB(240, 240, 240));
  // Nothing is drawn outside the 73 x 57 box.
  EXPECT_EQ(GetPixel(dc, box.right, (box.top + box.bottom) / 2), magenta);
  EXPECT_EQ(GetPixel(dc, (box.left + box.right) / 2, box.bottom), magenta);
  int drawn = 0;
  for (int y = box.top; y < box.bottom; ++y)
    for (int x = box.left; x < box.right; ++x) drawn += GetPixel(dc, x, y) != magenta;
  EXPECT_GT(drawn, 73 * 57 / 4);
  SelectObject(dc, old);
  DeleteObject(canvas);
  DeleteDC(dc);
}

class ClickLabelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"ClickLabelTestParent";
    RegisterClassW(&wc);
    parent_ = CreateWindowExW(0, L"ClickLabelTestParent", L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 100, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    font_ = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0,
                        L"ＭＳ Ｐゴシック");
    SetShellExecuteFunctionForTests([this](const ShellExecuteCall& call) {
      files_.push_back(call.file);
      events_.push_back("shell " + call.operation + " [" + Narrow(call.file) + "] " + std::to_string(call.show) +
                        (call.window ? " window" : ""));
    });
  }
  void TearDown() override {
    SetShellExecuteFunctionForTests({});
    label_.reset();
    DestroyWindow(parent_);
    DeleteObject(font_);
  }
  TClickLabel& Make(const std::string& caption = "URL: http://example.org/") {
    label_ = std::make_unique<TClickLabel>();
    label_->CreateLabel({.parent = parent_, .x = 10, .y = 10, .caption = caption, .font = font_});
    label_->OnClick = [this] { events_.push_back("click"); };
    return *label_;
  }
  void Enter() { SendMessageW(label_->hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3)); }
  void Leave() { SendMessageW(label_->hwnd(), WM_MOUSELEAVE, 0, 0); }
  void Press(int x, int y) {
    SendMessageW(label_->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageW(label_->hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  }
  HCURSOR CursorShown() {
    SendMessageW(label_->hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(label_->hwnd()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  }
  // Pixels of exactly this colour in the label as it paints itself now.
  int PixelsOf(COLORREF color) {
    RECT r;
    GetClientRect(label_->hwnd(), &r);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, r.right, r.bottom);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    SendMessageW(label_->hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    int n = 0;
    for (int y = 0; y < r.bottom; ++y)
      for (int x = 0; x < r.right; ++x) n += GetPixel(dc, x, y) == color;
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    return n;
  }

  HWND parent_ = nullptr;
  HFONT font_ = nullptr;
  std::unique_ptr<TClickLabel> label_;
  std::vector<std::string> events_;
  std::vector<std::wstring> files_;  // as the shell gets them, unconverted
};

TEST_F(ClickLabelTest, HoverTakesTheEnterColourAndCursorAndLeavingRestoresTheConstructionColour) {
  TClickLabel& l = Make();
  EXPECT_EQ(l.Hikisu(), "");
  EXPECT_EQ(l.EnterColor(), 0);
  EXPECT_EQ(l.EnterCursor(), 0);
  EXPECT_EQ(l.FontColor(), kColorWindowText);
  const COLORREF red = RGB(255, 0, 0);
  l.SetEnterColor(0x0000FF);
  l.SetEnterCursor(kCursorHandPoint);
  EXPECT_EQ(PixelsOf(red), 0);  // stored only: nothing changes before the mouse comes
  // Changed after construction, as a stored layout would.
  l.SetFontColor(0xFF0000);
  Enter();
  EXPECT_EQ(l.FontColor(), 0x0000FF);
  EXPECT_EQ(l.Cursor(), kCursorHandPoint);
  EXPECT_EQ(CursorShown(), LoadCursorW(nullptr, IDC_HAND));
  EXPECT_GT(PixelsOf(red), 0);
  Enter();  // moving within the label changes nothing
  EXPECT_EQ(l.FontColor(), 0x0000FF);
  Leave();
  EXPECT_EQ(l.FontColor(), kColorWindowText);
  EXPECT_EQ(l.Cursor(), kCursorDefault);
  EXPECT_EQ(CursorShown(), LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(PixelsOf(red), 0);
  EXPECT_GT(PixelsOf(GetSysColor(COLOR_WINDOWTEXT)), 0);
  // Entering again after leaving.
  Enter();
  EXPECT_EQ(l.FontColor(), 0x0000FF);
}

TEST_F(ClickLabelTest, WithNothingSetHoveringTurnsTheTextBlackWithTheDefaultCursor) {
  TClickLabel& l = Make();
  l.SetFontColor(0x00FF00);
  Enter();
  EXPECT_EQ(l.FontColor(), kColorBlack);
  EXPECT_EQ(l.Cursor(), kCursorDefault);
  EXPECT_EQ(CursorShown(), LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(PixelsOf(RGB(0, 255, 0)), 0);
}

TEST_F(ClickLabelTest, AClickRaisesTheClickEventThenOpensTheTargetOnce) {
  TClickLabel& l = Make();
  l.SetHikisu("https://vello.example.org/");
  Press(3, 3);
  EXPECT_EQ(events_, (std::vector<std::string>{"click", "shell OPEN [https://vello.example.org/] 5"}));
  // Released outside the label: no click.
  events_.clear();
  Press(-5, 3);
  EXPECT_TRUE(events_.empty());
  // The next click opens the new target; an empty one still goes to the shell.
  l.SetHikisu("");
  Press(3, 3);
  EXPECT_EQ(events_, (std::vector<std::string>{"click", "shell OPEN [] 5"}));
  // A click does not change the hover state.
  Enter();
  l.Click();
  EXPECT_EQ(l.FontColor(), kColorBlack);
  EXPECT_EQ(l.Cursor(), kCursorDefault);
}

TEST_F(ClickLabelTest, ABareFileNameOpensTheFileBesideTheExecutableByItsFullPath) {
  // The program in a folder whose name code page 932 cannot spell.
  fs::path root = fs::temp_directory_path() / L"vello-click-label-test";
  fs::path folder = root / kForeignFolder;
  fs::remove_all(root);
  fs::create_directories(folder);
  std::ofstream(folder / L"LICENSE.txt") << "MIT";
  fs::create_directories(folder / L"docs");
  SetExecutablePathForTests(folder / L"vello.exe");
  struct Case {
    const char* hikisu;
    std::wstring shell;
  } cases[] = {
      {"LICENSE.txt", (folder / L"LICENSE.txt").native()},
      {"VELLO.html", L"VELLO.html"},  // not there: the shell gets the name as it is
      {"docs", L"docs"},              // a folder is no document
      {"docs\\LICENSE.txt", L"docs\\LICENSE.txt"},
      {"mailto:someone", L"mailto:someone"},
      {"C:\\LICENSE.txt", L"C:\\LICENSE.txt"},
      {"", L""},
  };
  TClickLabel& l = Make();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hikisu);
    files_.clear();
    l.SetHikisu(c.hikisu);
    Press(3, 3);
    ASSERT_EQ(files_.size(), 1u);
    EXPECT_EQ(files_[0], c.shell);
  }
  SetExecutablePathForTests({});
  fs::remove_all(root);
}

}  // namespace
}  // namespace vello::testing
