#pragma once
// A message balloon: a borderless top-level window of class "TForm", shaped
// like a speech balloon with a tail, holding one text label in the sender's
// font and colours. What the mouse and keys do with it is the balloons'
// owner's business (messaging/balloons.h).
#include <windows.h>

#include <memory>
#include <string>

#include "messaging/message_look.h"
#include "platform/unique_handle.h"
#include "platform/window.h"

namespace vello {

class TBalloons;
class TBalloonLabel;

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
  HWND label() const;
  void Shape();

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  friend class TBalloonLabel;
  TBalloons& owner_;
  BalloonContent content_;
  UniqueBrush brush_;
  bool hiddenForGood_ = false;
  std::unique_ptr<TBalloonLabel> label_;
};

}  // namespace vello
