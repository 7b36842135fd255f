#pragma once
// The composer: the main window's rich-text editor (RichEdit1), where the
// message is written in the user's own look. What it holds is the message:
// its size, colours and font, and its lines as displayed.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "messaging/message_look.h"

namespace vello {

class TComposer {
 public:
  // Creates the editor as a child of `parent`.
  void Create(HWND parent, UINT id, int x, int y, int width, int height);
  HWND hwnd() const { return RichEdit1; }

  // Font and colours from the look; the size stays the window's.
  void SetLook(const MessageLook& look);
  // Font and colours, and the editing area's size in pixels.
  MessageLook Look() const;

  // The lines as a message carries them: each displayed line (wraps
  // included) followed by CR LF, an empty last line not counted.
  std::string LinesText() const;
  // The text with CR LF between paragraphs.
  std::string PlainText() const;
  void SetText(const std::string& cp932);
  // Replaces the selection (or inserts at the caret) with the text.
  void ReplaceSelection(const std::string& cp932);

 private:
  HWND RichEdit1 = nullptr;
  // Colour values as the look has them (a system colour stays one).
  int32_t color_ = 0xFFFFFF, fontColor_ = 0;
};

// Each displayed line followed by CR LF.
std::string JoinComposerLines(const std::vector<std::string>& displayedLines);

}  // namespace vello
