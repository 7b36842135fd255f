#include "messaging/balloons.h"

#include <algorithm>

#include "common/fair_share.h"
#include "common/sjis.h"
#include "platform/fonts.h"
#include "platform/timing_points.h"

namespace vello {

TBalloons::TBalloons(BalloonHost& host) : host_(host), balloonMenu_(CreatePopupMenu()) {
  AppendMenuW(balloonMenu_.get(), MF_STRING, balloonids::ReplyItem, L"返信する");
  AppendMenuW(balloonMenu_.get(), MF_STRING, balloonids::QuoteReplyItem, L"引用して返信");
  AppendMenuW(balloonMenu_.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(balloonMenu_.get(), MF_STRING, balloonids::CloseItem, L"閉じる\u3000Ctrl+C");
}

TBalloons::~TBalloons() { DestroyAll(); }

namespace {
// The balloon's window: the body and the tail below it.
uint64_t PixelsOf(const MessageLook& look) {
  return static_cast<uint64_t>(std::max(look.width, 0)) * static_cast<uint64_t>(std::max(look.height + 60, 0));
}
}  // namespace

TBalloons::Holding TBalloons::HeldBy(uint32_t sender) const {
  Holding held;
  for (const auto& b : FBalloons) {
    if (b->sender() != sender) continue;
    ++held.balloons;
    held.textBytes += b->Caption().size();
    held.pixels += PixelsOf(b->look());
  }
  return held;
}

bool TBalloons::HasRoomFor(const BalloonContent& content) {
  auto fits = [&] {
    Holding held = HeldBy(content.sender);
    return held.balloons < kMaxPerSender && FairShareAllows(held.balloons, FBalloons.size(), kMaxOpen, 1) &&
           FairShareAllows(held.textBytes, FTextBytes, kMaxTextBytes, content.text.size()) &&
           FairShareAllows(held.pixels, FPixels, kMaxPixels, PixelsOf(content.look));
  };
  // Balloons hidden for good can never be seen again: they go first.
  for (auto it = FBalloons.begin(); !fits() && it != FBalloons.end();) {
    if ((*it)->hiddenForGood()) {
      TBalloon* gone = it->get();
      ++it;
      Destroy(gone);
      it = FBalloons.begin();
    } else {
      ++it;
    }
  }
  return fits();
}

TBalloon& TBalloons::Arrive(BalloonContent content, HWND owner, bool workMode, bool important) {
  FTextBytes += content.text.size();
  FPixels += PixelsOf(content.look);
  auto balloon = std::make_unique<TBalloon>(*this, std::move(content), owner, workMode && important);
  TBalloon& b = *balloon;
  FBalloons.push_back(std::move(balloon));
  VELLO_TIMING_ONLY(timing::Stopwatch watch("balloon show");)
  b.Shape();
  VELLO_TIMING_ONLY(watch.Step("shaped");)
  ShowWindow(b.hwnd(), SW_SHOWNOACTIVATE);
  if (workMode) {
    ShowWindow(b.hwnd(), SW_HIDE);
    FHeldBalloons.push_back(b.hwnd());
  }
  return b;
}

std::shared_ptr<const UniqueFont> TBalloons::FontFor(const MessageLook& look) {
  auto key = std::make_tuple(look.fontName, look.fontSize, static_cast<int>(look.style().Bits()));
  if (auto font = fonts_[key].lock()) return font;
  // Fonts no balloon uses any more go; every sender may name faces of its own.
  std::erase_if(fonts_, [](const auto& entry) { return entry.second.expired(); });
  auto font = std::make_shared<const UniqueFont>(CreateFontFor(look.fontName, look.fontSize, look.style()));
  fonts_[key] = font;
  return font;
}

void TBalloons::ReleaseHeld() {
  // A handle whose window is gone is passed over: the call just fails.
  for (HWND balloon : FHeldBalloons) ShowWindow(balloon, SW_RESTORE);
  FHeldBalloons.clear();
}

void TBalloons::DestroyAll() {
  FCurrentBalloon = nullptr;
  FBalloons.clear();
  FTextBytes = 0;
  FPixels = 0;
}

void TBalloons::NameFound(uint32_t sender, const std::string& name) {
  for (const auto& b : FBalloons)
    if (b->sender() == sender) b->SetHint(name);
}

TBalloon* TBalloons::Find(HWND hwnd) const {
  for (const auto& b : FBalloons)
    if (b->hwnd() == hwnd) return b.get();
  return nullptr;
}

void TBalloons::BalloonMouseDown(TBalloon& balloon, int button, WPARAM, int x, int y) {
  FDragStartX = x;
  FDragStartY = y;
  FDragArmed = true;
  if (button == 1) {
    FCurrentBalloon = &balloon;
    host_.AcknowledgeArrival();
  }
}

void TBalloons::BalloonMouseMove(TBalloon& balloon, WPARAM keys, int x, int y) {
  if (!(keys & MK_LBUTTON) || (x == FDragStartX && y == FDragStartY) || !FDragArmed) return;
  ReleaseCapture();
  // The system moves the window with the mouse as if by its title bar.
  SendMessageW(balloon.hwnd(), WM_SYSCOMMAND, 0xF012, MAKELPARAM(x, y));
  FDragArmed = false;
}

void TBalloons::BalloonKeyDown(TBalloon& balloon, WPARAM key) {
  if ((GetKeyState(VK_CONTROL) & 0x8000) && key == 'C') {
    host_.AcknowledgeArrival();
    balloon.HideForGood();
  }
}

void TBalloons::BalloonContextMenu(TBalloon& balloon, int screenX, int screenY) {
  if (screenX == -1 && screenY == -1) {  // from the keyboard
    RECT r;
    GetWindowRect(balloon.hwnd(), &r);
    screenX = r.left + 12;
    screenY = r.top + 10;
  }
  FCurrentBalloon = &balloon;
  UINT id = TrackPopupMenu(balloonMenu_.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, screenX, screenY, 0, balloon.hwnd(),
                           nullptr);
  switch (id) {
    case balloonids::ReplyItem: Window::Guard([this] { OnReplyChosen(); }); break;
    case balloonids::QuoteReplyItem: Window::Guard([this] { OnQuoteReplyChosen(); }); break;
    case balloonids::CloseItem: Window::Guard([this] { OnCloseChosen(); }); break;
  }
}

void TBalloons::OnReplyChosen() {
  if (!FCurrentBalloon) return;
  host_.ReplyTo(FCurrentBalloon->Hint());
}

void TBalloons::OnQuoteReplyChosen() {
  if (!FCurrentBalloon) return;
  std::string quoted;
  for (const std::string& line : SplitLines(FCurrentBalloon->Caption())) quoted += ">" + line + "\r";
  if (!quoted.empty()) quoted.pop_back();
  host_.SetComposerText(quoted);
  OnReplyChosen();
}

void TBalloons::OnCloseChosen() {
  if (FCurrentBalloon) Destroy(FCurrentBalloon);
}

void TBalloons::Destroy(TBalloon* balloon) {
  if (FCurrentBalloon == balloon) FCurrentBalloon = nullptr;
  std::erase(FHeldBalloons, balloon->hwnd());
  FTextBytes -= balloon->Caption().size();
  FPixels -= PixelsOf(balloon->look());
  std::erase_if(FBalloons, [balloon](const std::unique_ptr<TBalloon>& b) { return b.get() == balloon; });
}

}  // namespace vello
