#pragma once

// Ids of the resources in vello.rc (which cannot include this header: the
// resource compiler does not read C++). Keep the two in step.
namespace vello {

inline constexpr int kIconMain = 1;        // application icon, ExtractIcon index 0
inline constexpr int kIconArrival = 2;     // tray icon while a message waits, index 1
inline constexpr int kBitmapToolbar = 100; // 48x16: font, colour, send; magenta is the mask
inline constexpr int kBitmapVersion = 101; // 250x250 version-page picture; bottom-left pixel is the mask

}  // namespace vello
