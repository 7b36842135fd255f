#pragma once
// The settings dialog's page "一般(2)": what the main window does after a
// send and in working mode, and whether other copies are looked for on the
// network; stored only at OK.
#include <windows.h>

#include "settings/setup_page_content.h"

namespace vello {

class SetupHost;

class TGeneralPage2 : public SetupPageContent {
 public:
  explicit TGeneralPage2(SetupHost& host) : host_(host) {}

  // Every control from the settings file.
  bool Load() override;
  // The keys, in this order, after those of "一般(1)": Clear, WSound, Discovery.
  void Save(IniFile& settings) const override;
  // The two flags the main window keeps in memory.
  void Apply() const override;

  // discoveryBox switches finding other copies on the network on or off.
  HWND clearAfterSendBox = nullptr, quietInWorkingModeBox = nullptr, discoveryBox = nullptr;

 protected:
  void BuildControls(HWND page, HFONT font) override;

 private:
  SetupHost& host_;
};

}  // namespace vello
