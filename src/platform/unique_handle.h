#pragma once
// One move-only owner for every kind of Windows handle.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace vello {

template <typename T, auto Close, T Invalid = T{}>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T h) : h_(h) {}
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Invalid)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, Invalid));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  T get() const { return h_; }
  explicit operator bool() const { return h_ != Invalid; }
  // Gives up ownership, e.g. a region handed to SetWindowRgn belongs to the system.
  T release() { return std::exchange(h_, Invalid); }
  void reset(T h = Invalid) {
    if (h_ != Invalid) Close(h_);
    h_ = h;
  }

 private:
  T h_ = Invalid;
};

inline void CloseFont(HFONT h) { DeleteObject(h); }
inline void CloseBrush(HBRUSH h) { DeleteObject(h); }
inline void CloseRegion(HRGN h) { DeleteObject(h); }
inline void CloseBitmap(HBITMAP h) { DeleteObject(h); }
inline void CloseIconHandle(HICON h) { DestroyIcon(h); }
inline void CloseMenuHandle(HMENU h) { DestroyMenu(h); }
inline void CloseSocketHandle(SOCKET s) { closesocket(s); }
inline void CloseImageList(HIMAGELIST h) { ImageList_Destroy(h); }

using UniqueFont = UniqueHandle<HFONT, &CloseFont>;
using UniqueBrush = UniqueHandle<HBRUSH, &CloseBrush>;
using UniqueRegion = UniqueHandle<HRGN, &CloseRegion>;
using UniqueBitmap = UniqueHandle<HBITMAP, &CloseBitmap>;
using UniqueIcon = UniqueHandle<HICON, &CloseIconHandle>;
using UniqueMenu = UniqueHandle<HMENU, &CloseMenuHandle>;
using UniqueSocket = UniqueHandle<SOCKET, &CloseSocketHandle, INVALID_SOCKET>;
using UniqueImageList = UniqueHandle<HIMAGELIST, &CloseImageList>;

}  // namespace vello
