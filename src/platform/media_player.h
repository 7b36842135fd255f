#pragma once
// The arrival sound through the media control interface (wave or MIDI; the
// device is chosen from the file).
#include <string>

namespace vello {

class MediaPlayer {
 public:
  MediaPlayer() = default;
  MediaPlayer(const MediaPlayer&) = delete;
  MediaPlayer& operator=(const MediaPlayer&) = delete;
  ~MediaPlayer();

  // Closes a file opened before, then opens this one. Throws VelloError with
  // the media system's own text when it cannot be opened.
  void Open(const std::string& fileName);
  void Close();
  // Plays from the beginning, also after the sound has played to its end.
  void Play();
  bool isOpen() const { return device_ != 0; }
  const std::string& fileName() const { return fileName_; }

 private:
  unsigned device_ = 0;
  std::string fileName_;
};

}  // namespace vello
