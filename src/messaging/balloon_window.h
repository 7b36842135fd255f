#pragma once
// A message balloon: a borderless top-level window of class "TForm", shaped
// like a speech balloon with a tail, with one text label in the sender's
// font and colours at 12,10. The label is painted by the balloon, not a
// window of its own: a window fewer per balloon to make, show and count
// against the system's bound of windows per program. What the mouse and
// keys do with it is the balloons' owner's business (messaging/balloons.h).
#include <windows.h>

#include <memory>
#include <string>

#include "messaging/message_look.h"
#include "platform/unique_handle.h"
#include "platform/window.h"

namespace vello {

class TBalloons;

// The balloon's region: the rounded body and the tail triangle.
struct BalloonShape {
  RECT body;          // passed to CreateRoundRectRgn with 50 x 50 corners
  POINT tail[3];      // passed to CreatePolygonRgn, WINDING
};
BalloonShape BalloonShapeFor(int width, int height);

// What one balloon shows: a look already made safe for this screen.
struct BalloonContent {
  MessageLook look;  // body size; the window is look.height + 60 high
  std::string text;
  std::string hint;  // where a reply goes: the sender's host name, or its address
  uint32_t sender = 0;  // the sender's IPv4 address, as the network orders it
  // The screen the look was fitted to, where the balloon is centred; none
  // given: asked of the system (under Wine every ask of the screen size is
  // three round trips to its server).
  SIZE screen{0, 0};
};

class TBalloon : public Window {
 public:
  static constexpr wchar_t kClassName[] = L"TForm";
  TBalloon(TBalloons& owner, BalloonContent content, HWND ownerWindow, bool stayOnTop);
  ~TBalloon() override;

  const std::string& Hint() const { return content_.hint; }
  void SetHint(std::string hint) { content_.hint = std::move(hint); }
  uint32_t sender() const { return content_.sender; }
  // Hidden by Ctrl+C: never shown again.
  bool hiddenForGood() const { return hiddenForGood_; }
  void HideForGood();
  const std::string& Caption() const { return content_.text; }
  const MessageLook& look() const { return content_.look; }
  // Sets the balloon's region: the body and the tail.
  void Shape();
  // Where the label's text starts, in the balloon's client area.
  static constexpr POINT kLabelAt{12, 10};

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void Paint();

  TBalloons& owner_;
  BalloonContent content_;
  std::wstring text_;  // the label's text, as drawn
  UniqueBrush brush_;
  std::shared_ptr<const UniqueFont> font_;  // shared by the balloons of one face, size and style
  bool hiddenForGood_ = false;
};

}  // namespace vello
