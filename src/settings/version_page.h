#pragma once
// The settings dialog's page "バージョン情報": the program's picture, name and
// version, and two links to documents shipped beside the executable: the
// help and the licence.
#include <windows.h>

#include "platform/unique_handle.h"
#include "platform/window.h"
#include "settings/setup_page_content.h"
#include "widgets/click_label.h"

namespace vello {

// Bare names: the link label opens the file of that name beside the executable.
inline constexpr char kHelpFileName[] = "VELLO.html";
inline constexpr char kLicenceFileName[] = "LICENSE.txt";

// The raised panel of the version page: it paints the logo and lets its labels show through.
class TVersionPanel : public Window {
 public:
  static constexpr wchar_t kClassName[] = L"TPanel";
  ~TVersionPanel() override;
  void CreatePanel(HWND parent, int x, int y, int width, int height);

  // The logo: the 250 x 250 picture stretched into 73 x 57 at (24, 8), the
  // colour of its bottom-left pixel left out.
  static constexpr RECT kLogoArea{24, 8, 24 + 73, 8 + 57};
  void DrawLogo(HDC dc) const;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  UniqueBitmap picture_;
};

// Reads nothing and stores nothing: it only shows.
class TVersionPage : public SetupPageContent {
 public:
  TVersionPanel logoPanel;
  HWND titleLabel = nullptr, descriptionLabel = nullptr, thanksLabel = nullptr, copyrightLabel = nullptr;
  TClickLabel helpLink, licenceLink;

 protected:
  void BuildControls(HWND page, HFONT font) override;

 private:
  UniqueFont titleFont_;
};

}  // namespace vello
