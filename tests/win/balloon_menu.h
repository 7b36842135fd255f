#pragma once
// A balloon's pop-up menu chosen as a person chooses it: a right click on the
// balloon opens the real menu, and the item is picked by its caption with
// the keys, while the menu is open.
#include <windows.h>

#include <string>

namespace vello::testing {

// Returns whether an item with that caption was there and chosen.
bool ChooseFromBalloonMenu(HWND balloon, const std::wstring& caption);

}  // namespace vello::testing
