#include "messaging/message_look.h"

#include <algorithm>

namespace vello {

namespace {
constexpr int32_t kMinBody = 40;
constexpr int32_t kTailHeight = 60;
constexpr int32_t kMaxFontPoints = 500;
}  // namespace

MessageLook ClampedToScreen(const MessageLook& look, int screenWidth, int screenHeight) {
  MessageLook safe = look;
  safe.width = std::clamp(look.width, kMinBody, std::max(kMinBody, screenWidth));
  safe.height = std::clamp(look.height, kMinBody, std::max(kMinBody, screenHeight - kTailHeight));
  safe.fontSize = std::clamp(look.fontSize, 1, kMaxFontPoints);
  return safe;
}

}  // namespace vello
