#pragma once
// Every message balloon of the program, and what a person does with them:
// drag one, reply, reply with quotation, close it (its menu, balloonMenu_),
// hide it (Ctrl+C). In working mode new balloons are held hidden until the
// tray icon releases them. What a reply does to the main window is the
// host's business.
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "messaging/balloon_window.h"
#include "platform/unique_handle.h"

namespace vello {

// What the balloons need of the main window.
class BalloonHost {
 public:
  // The user has seen the arrival (a right press on a balloon, Ctrl+C): the
  // tray notice stops and no message counts as pending any more.
  virtual void AcknowledgeArrival() = 0;
  // The destination box takes `destination` and the main window comes to
  // the front, restored when minimised.
  virtual void ReplyTo(const std::string& destination) = 0;
  // The composer's lines become `quoted`, lines separated by CR.
  virtual void SetComposerText(const std::string& quoted) = 0;

 protected:
  ~BalloonHost() = default;
};

// Identifiers of balloonMenu_'s commands.
namespace balloonids {
enum : UINT { ReplyItem = 401, QuoteReplyItem, CloseItem };
}

class TBalloons {
 public:
  // Balloons open at once: from one sender, in all, the bytes of their texts
  // in all, and the pixels of their windows in all (a window costs its area
  // in memory: 64 Mpx is 256 MiB of surfaces, nearly 900 balloons of the
  // composer's size but about fifty that fill a 1280 x 1024 screen). Of each
  // bound in all, a sender that has balloons open gets more only while it
  // would then hold no more than is left for the others (FairShareAllows):
  // senders that came first cannot keep a new one out. A message beyond
  // them is not shown (the caller says so).
  static constexpr std::size_t kMaxPerSender = 50;
  static constexpr std::size_t kMaxOpen = 500;
  static constexpr std::size_t kMaxTextBytes = 8 * 1024 * 1024;
  static constexpr uint64_t kMaxPixels = 64ull * 1024 * 1024;

  explicit TBalloons(BalloonHost& host);
  ~TBalloons();
  TBalloons(const TBalloons&) = delete;
  TBalloons& operator=(const TBalloons&) = delete;

  // Whether a balloon for `content` (its look already fitted to the screen)
  // can be shown within the bounds; balloons hidden for good make room first.
  bool HasRoomFor(const BalloonContent& content);
  // A new balloon for an arrived message, shaped and shown; in working mode
  // hidden at once and held, stay-on-top when `important`. The window is
  // `owner`'s. The shape is set before the balloon shows: it never flashes
  // as a rectangle, and it is drawn once, not again for its new shape.
  TBalloon& Arrive(BalloonContent content, HWND owner, bool workMode, bool important);
  // The sender's name is known: its balloons reply to it.
  void NameFound(uint32_t sender, const std::string& name);
  // Shows every held balloon, in order of arrival, and holds none any more.
  // A balloon destroyed meanwhile is passed over.
  void ReleaseHeld();
  // Destroys every balloon (the program ends).
  void DestroyAll();

  // The label font for a look: one per face, size and style while balloons
  // use it (a font made once, and one GDI object for them all).
  std::shared_ptr<const UniqueFont> FontFor(const MessageLook& look);

  std::size_t count() const { return FBalloons.size(); }
  TBalloon& newest() const { return *FBalloons.back(); }
  TBalloon* Find(HWND hwnd) const;
  const std::vector<HWND>& held() const { return FHeldBalloons; }
  TBalloon* current() const { return FCurrentBalloon; }
  HMENU menu() const { return balloonMenu_.get(); }

  // The handlers of every balloon and its label.
  void BalloonMouseDown(TBalloon& balloon, int button, WPARAM keys, int x, int y);
  void BalloonMouseMove(TBalloon& balloon, WPARAM keys, int x, int y);
  void BalloonKeyDown(TBalloon& balloon, WPARAM key);
  void BalloonContextMenu(TBalloon& balloon, int screenX, int screenY);
  // balloonMenu_'s commands, on the balloon it was opened on.
  void OnReplyChosen();
  void OnQuoteReplyChosen();
  void OnCloseChosen();

 private:
  struct Holding {
    std::size_t balloons = 0;
    std::size_t textBytes = 0;
    uint64_t pixels = 0;
  };
  void Destroy(TBalloon* balloon);
  Holding HeldBy(uint32_t sender) const;

  BalloonHost& host_;
  UniqueMenu balloonMenu_;
  std::map<std::tuple<std::string, int, int>, std::weak_ptr<const UniqueFont>> fonts_;
  std::vector<std::unique_ptr<TBalloon>> FBalloons;
  std::size_t FTextBytes = 0;
  uint64_t FPixels = 0;
  std::vector<HWND> FHeldBalloons;
  TBalloon* FCurrentBalloon = nullptr;
  int32_t FDragStartX = 0, FDragStartY = 0;
  bool FDragArmed = false;
};

}  // namespace vello
