// The menu agent: loaded into the program's process by the driver, it reads
// the program's real menus (the menu bar and the pop-up menus it has open)
// and reports where an item with a given caption is shown, so that the
// driver can click it as a person would.
#include "menu_agent.h"

#include <cwchar>

namespace {

using e2e::MenuAgentOp;
using e2e::MenuAgentRequest;

constexpr UINT kGetMenuOfMenuWindow = 0x01E1;  // MN_GETHMENU

class ItemList {
 public:
  explicit ItemList(MenuAgentRequest& r) : r_(r) { r_.items[0] = L'\0'; }
  void Add(const wchar_t* caption) {
    std::size_t used = std::wcslen(r_.items);
    std::size_t room = e2e::kMenuAgentItems - used;
    if (room > 1) std::swprintf(r_.items + used, room, L"%ls\n", caption);
  }

 private:
  MenuAgentRequest& r_;
};

// The item's caption, or "-" for a separator.
void Caption(HMENU menu, int pos, wchar_t (&out)[e2e::kMenuAgentCaption]) {
  out[0] = L'\0';
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE;
  if (GetMenuItemInfoW(menu, static_cast<UINT>(pos), TRUE, &info) && (info.fType & MFT_SEPARATOR)) {
    std::wcscpy(out, L"-");
    return;
  }
  GetMenuStringW(menu, static_cast<UINT>(pos), out, e2e::kMenuAgentCaption, MF_BYPOSITION);
}

UINT StateOf(HMENU menu, int pos) {
  return GetMenuState(menu, static_cast<UINT>(pos), MF_BYPOSITION) & (MF_CHECKED | MF_GRAYED | MF_DISABLED);
}

// Depth-first below `menu`; on success `path[0..depth)` names the way down.
bool FindBelow(HMENU menu, MenuAgentRequest& r, int depth, ItemList& seen) {
  if (depth >= e2e::kMenuAgentMaxDepth) return false;
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    Caption(menu, i, r.path[depth]);
    seen.Add(r.path[depth]);
    HMENU sub = GetSubMenu(menu, i);
    if (!sub && std::wcscmp(r.path[depth], r.caption) == 0) {
      r.depth = depth + 1;
      r.state = StateOf(menu, i);
      return true;
    }
    if (sub && FindBelow(sub, r, depth + 1, seen)) return true;
  }
  return false;
}

void FindInBar(MenuAgentRequest& r, bool menus) {
  HMENU bar = GetMenu(r.window);
  ItemList seen(r);
  int count = GetMenuItemCount(bar);
  for (int i = 0; i < count; ++i) {
    HMENU sub = GetSubMenu(bar, i);
    Caption(bar, i, r.path[0]);
    bool here = !sub != menus && std::wcscmp(r.path[0], r.caption) == 0;
    if (here) {
      r.depth = 1;
      r.state = StateOf(bar, i);
    } else {
      seen.Add(r.path[0]);
    }
    if (here || (sub && !menus && FindBelow(sub, r, 1, seen))) {
      r.found = GetMenuItemRect(r.window, bar, static_cast<UINT>(i), &r.rect) ? 1 : 0;
      return;
    }
  }
}

// The process's visible menu windows, the most recently opened first.
struct OpenPopups {
  HWND windows[16];
  int count = 0;
};

BOOL CALLBACK CollectPopup(HWND h, LPARAM lp) {
  auto* open = reinterpret_cast<OpenPopups*>(lp);
  wchar_t cls[16];
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == GetCurrentProcessId() && IsWindowVisible(h) && GetClassNameW(h, cls, 16) &&
      std::wcscmp(cls, L"#32768") == 0 && open->count < 16)
    open->windows[open->count++] = h;
  return TRUE;
}

HMENU MenuOfWindow(HWND popup) {
  DWORD_PTR menu = 0;
  SendMessageTimeoutW(popup, kGetMenuOfMenuWindow, 0, 0, SMTO_ABORTIFHUNG, 2000, &menu);
  if (!menu) menu = static_cast<DWORD_PTR>(GetWindowLongPtrW(popup, 0));
  return reinterpret_cast<HMENU>(menu);
}

void SearchOpenPopups(MenuAgentRequest& r, bool find) {
  OpenPopups open;
  EnumWindows(CollectPopup, reinterpret_cast<LPARAM>(&open));
  r.popups = open.count;
  ItemList seen(r);
  for (int w = 0; w < open.count; ++w) {
    HMENU menu = MenuOfWindow(open.windows[w]);
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
      wchar_t caption[e2e::kMenuAgentCaption];
      Caption(menu, i, caption);
      seen.Add(caption);
      if (find && !r.found && std::wcscmp(caption, r.caption) == 0 &&
          GetMenuItemRect(nullptr, menu, static_cast<UINT>(i), &r.rect)) {
        r.found = 1;
        r.popup = open.windows[w];
        r.state = StateOf(menu, i);
      }
    }
  }
}

}  // namespace

extern "C" __declspec(dllexport) DWORD WINAPI MenuAgentRun(void* block) {
  auto& r = *static_cast<MenuAgentRequest*>(block);
  r.found = 0;
  r.popups = 0;
  r.depth = 0;
  r.state = 0;
  r.popup = nullptr;
  switch (r.op) {
    case MenuAgentOp::FindInBar: FindInBar(r, false); break;
    case MenuAgentOp::FindBarMenu: FindInBar(r, true); break;
    case MenuAgentOp::FindInOpenPopup: SearchOpenPopups(r, true); break;
    case MenuAgentOp::ListOpenPopups: SearchOpenPopups(r, false); break;
    case MenuAgentOp::CloseMenus: EndMenu(); break;
  }
  return static_cast<DWORD>(r.found);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
