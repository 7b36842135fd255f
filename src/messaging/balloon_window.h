#pragma once
// A message balloon: a borderless top-level window of class "TForm", shaped
// like a speech balloon with a tail, holding one text label in the sender's
// font and colours. Its handlers belong to the main window.
#include <windows.h>

#include <memory>
#include <string>

#include "messaging/message_line.h"
#include "platform/unique_handle.h"
#include "platform/window.h"

namespace vello {

class TMainForm;

// What the balloon looks like, from a message line's fields, with the sizes
// that strangers send kept sane: every value a composer can produce is
// kept exactly; only what would crash, freeze or strand a window is clamped.
struct BalloonLook {
  int width = 0, height = 0;  // body size; the window is height + 60 high
  int32_t color = 0, fontColor = 0, fontSize = 0;
  std::string fontName;
  uint8_t fontStyle = 0;
  std::string text;
  std::string hint;  // the sender's host name
  bool important = false;
};
BalloonLook BalloonLookFromFields(const MessageFields& f, int screenWidth, int screenHeight);

// The balloon's region: the rounded body and the tail triangle.
struct BalloonShape {
  RECT body;          // passed to CreateRoundRectRgn with 50 x 50 corners
  POINT tail[3];      // passed to CreatePolygonRgn, WINDING
};
BalloonShape BalloonShapeFor(int width, int height);

class TBalloonLabel;

class TBalloon : public Window {
 public:
  static constexpr wchar_t kClassName[] = L"TForm";
  TBalloon(TMainForm& main, const BalloonLook& look, HWND owner, bool stayOnTop);
  ~TBalloon() override;

  const std::string& Hint() const { return look_.hint; }
  const std::string& Caption() const { return look_.text; }
  HWND label() const;
  void Shape();

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  friend class TBalloonLabel;
  TMainForm& main_;
  BalloonLook look_;
  UniqueBrush brush_;
  std::unique_ptr<TBalloonLabel> label_;
};

}  // namespace vello
