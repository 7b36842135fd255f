#pragma once
// The request block shared by the driver and the menu agent, a small library
// the driver loads into the program's process: under Wine a menu belongs to
// the process that made it, so only code inside that process can read the
// captions, states and places of the menus the program really shows.
//
// The driver writes a block into the program's memory, runs MenuAgentRun on
// it in a thread of that process and reads the block back.
#include <windows.h>

namespace e2e {

enum class MenuAgentOp : int {
  // Look for `caption` anywhere below the menu bar of `window`: `path` holds
  // the captions from the bar item down to the item, `rect` the bar item.
  FindInBar = 1,
  // Look for `caption` at the top level of the process's open pop-up menus:
  // `rect` is the item, `popup` the menu window showing it.
  FindInOpenPopup = 2,
  // List the captions of the process's open pop-up menus in `items`.
  ListOpenPopups = 3,
  // Close every open menu of the process, as Escape would.
  CloseMenus = 4,
  // Look for a menu of the menu bar of `window` by its caption: `rect`.
  FindBarMenu = 5,
};

constexpr int kMenuAgentMaxDepth = 6;
constexpr int kMenuAgentCaption = 256;
constexpr int kMenuAgentItems = 4096;

struct MenuAgentRequest {
  MenuAgentOp op;
  HWND window;                       // FindInBar: the window that owns the bar
  wchar_t caption[kMenuAgentCaption];
  // Results.
  int found;                         // 1 when the caption was found
  int popups;                        // open pop-up menus seen
  RECT rect;                         // screen rectangle to click
  HWND popup;                        // FindInOpenPopup: the menu window
  UINT state;                        // MF_CHECKED, MF_GRAYED, MF_DISABLED of the item
  int depth;                         // FindInBar: entries in `path`
  wchar_t path[kMenuAgentMaxDepth][kMenuAgentCaption];
  wchar_t items[kMenuAgentItems];    // captions seen, one a line, "-" for a separator
};

// The agent's entry point, run as a thread procedure in the program's process.
using MenuAgentRunProc = DWORD(WINAPI*)(void* request);
constexpr const char* kMenuAgentEntry = "MenuAgentRun";
constexpr const wchar_t* kMenuAgentFile = L"e2e_menu_agent.dll";

}  // namespace e2e
