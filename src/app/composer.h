#pragma once
// The composer: the main window's rich-text editor, where the
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
  HWND hwnd() const { return editor_; }

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
  // Replaces the selection (or inserts at the caret) with as much of the
  // text as fits in kComposerMaxCharacters; when some is left out, the
  // parent hears EN_MAXTEXT as from the editor itself.
  void ReplaceSelection(const std::string& cp932);
  // The clipboard's text, in place of the selection, as far as it fits.
  void Paste();
  // Characters as the editor counts them (a paragraph break is one).
  long Length() const;
  // No room for a character in place of the selection.
  bool Full() const { return Room() <= 0; }
  // Tells the parent, as the editor itself does, that text did not go in.
  void TellParentFull();
  // Holds the editor to kComposerMaxCharacters whatever else put the text
  // in (Wine's editor lets typed text and whole texts past its limit): what
  // went in last, just before the caret, loses its end. True when something
  // was cut.
  bool CutToBound();

 private:
  // Characters that fit in place of the selection.
  long Room() const;
  void InsertFitting(std::wstring text);

  HWND editor_ = nullptr;
  // Colour values as the look has them (a system colour stays one).
  int32_t color_ = 0xFFFFFF, fontColor_ = 0;
};

// Each displayed line followed by CR LF.
std::string JoinComposerLines(const std::vector<std::string>& displayedLines);

}  // namespace vello
