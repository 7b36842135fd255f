#include "settings/version_page.h"

#include <algorithm>
#include <string>

#include "common/version.h"
#include "platform/controls.h"
#include "platform/gdi.h"
#include "resources/resource_ids.h"

namespace vello {

TVersionPanel::~TVersionPanel() { Destroy(); }

void TVersionPanel::CreatePanel(HWND parent, int x, int y, int width, int height) {
  RegisterClassOnce(kClassName, 0, nullptr);
  Create({.className = kClassName, .style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, .exStyle = WS_EX_CONTROLPARENT,
          .x = x, .y = y, .width = width, .height = height, .parent = parent});
  picture_.reset(static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kBitmapVersion),
                                                 IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

void TVersionPanel::DrawLogo(HDC dc) const {
  if (!picture_) return;
  BITMAP bm{};
  GetObjectW(picture_.get(), sizeof bm, &bm);
  MemoryDC source(dc);
  Selection picture(source.get(), picture_.get());
  COLORREF transparent = GetPixel(source.get(), 0, bm.bmHeight - 1);
  GdiTransparentBlt(dc, kLogoArea.left, kLogoArea.top, kLogoArea.right - kLogoArea.left, kLogoArea.bottom - kLogoArea.top,
                    source.get(), 0, 0, bm.bmWidth, bm.bmHeight, transparent);
}

LRESULT TVersionPanel::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd(), &ps);
      RECT r;
      GetClientRect(hwnd(), &r);
      DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
      DrawLogo(dc);
      EndPaint(hwnd(), &ps);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      // The labels draw on the panel's face: a line of a tall substitute
      // font may reach into its neighbour's box without wiping its text.
      SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
      SetTextColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    case WM_COMMAND:
    case WM_NOTIFY:
      return SendMessageW(GetParent(hwnd()), msg, wp, lp);
  }
  return Default(msg, wp, lp);
}

void TVersionPage::BuildControls(HWND page, HFONT font) {
  logoPanel.CreatePanel(page, 16, 8, 321, 169);
  HWND panel = logoPanel.hwnd();
  LOGFONTW lf{};
  GetObjectW(font, sizeof lf, &lf);
  lf.lfHeight = -19;
  lf.lfWeight = FW_BOLD;
  lf.lfItalic = TRUE;
  titleFont_.reset(CreateFontIndirectW(&lf));
  // Fixed sizes; a height of 0 takes the font's line height where it is taller.
  titleLabel = CreateControl({.text = L"Vello\u3000ver." VELLO_VERSION_W, .style = SS_LEFTNOWORDWRAP, .x = 120, .y = 32, .width = 161,
                          .height = 0, .parent = panel, .font = titleFont_.get()});
  descriptionLabel = CreateControl({.text = L"LAN メッセンジャー", .style = SS_LEFTNOWORDWRAP, .x = 56, .y = 72, .width = 201,
                          .height = 0, .parent = panel, .font = font});
  for (HWND fixed : {titleLabel, descriptionLabel}) {
    RECT r;
    GetWindowRect(fixed, &r);
    int nominal = fixed == titleLabel ? 19 : 12;
    SetWindowPos(fixed, nullptr, 0, 0, r.right - r.left, std::max<int>(nominal, r.bottom - r.top),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  std::string help = kHelpFileName, licence = kLicenceFileName;
  helpLink.CreateLabel({.parent = panel, .x = 56, .y = 96, .caption = "ヘルプ: " + help, .font = font});
  helpLink.SetHikisu(help);
  licenceLink.CreateLabel({.parent = panel, .x = 56, .y = 112, .caption = "ライセンス: MIT (" + licence + ")", .font = font});
  licenceLink.SetHikisu(licence);
  for (TClickLabel* link : {&helpLink, &licenceLink}) {
    link->SetEnterColor(kColorYellow);
    link->SetEnterCursor(kCursorHandPoint);
  }

  // Word-wrapped at 257; where the font is wider and the panel has room, the
  // sentence stays on one line rather than running into copyrightLabel.
  const wchar_t* thanks = L"使っていただいてどうもありがとうございます。";
  thanksLabel = CreateControl({.text = thanks, .x = 16, .y = 136, .width = 257, .height = 0, .parent = panel, .font = font});
  SIZE line = TextExtent(thanksLabel, thanks);
  RECT inner;
  GetClientRect(panel, &inner);
  int width = std::clamp<int>(line.cx, 257, inner.right - 2 - 16);
  SetWindowPos(thanksLabel, nullptr, 0, 0, width, std::max<int>(12, line.cy), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // Where bug reports would go was never more than a placeholder; the line
  // names who holds the copyright instead.
  copyrightLabel = CreateControl({.text = L"Copyright (c) 2026 The Vello developers", .x = 16, .y = 149, .parent = panel,
                          .font = font});
}

}  // namespace vello
