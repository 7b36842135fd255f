#include "platform/media_player.h"

#include <windows.h>
#include <mmsystem.h>

#include "common/vello_error.h"
#include "platform/com_apartment.h"
#include "platform/win_text.h"

namespace vello {

namespace {
std::string MciErrorText(MCIERROR error) {
  wchar_t text[256] = {};
  if (!mciGetErrorStringW(error, text, 256)) return "MCI エラー (" + std::to_string(error) + ")";
  return Narrow(text);
}
}  // namespace

MediaPlayer::~MediaPlayer() { Close(); }

void MediaPlayer::Open(const std::string& fileName) {
  Close();
  std::wstring wide = Widen(fileName);
  // Some sound drivers are COM objects that would otherwise put this
  // thread into an apartment of their own choosing.
  UseComOnThisThread();
  MCI_OPEN_PARMSW params{};
  params.lpstrElementName = wide.c_str();
  MCIERROR error = mciSendCommandW(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT, reinterpret_cast<DWORD_PTR>(&params));
  if (error) throw VelloError(MciErrorText(error));
  device_ = params.wDeviceID;
  fileName_ = fileName;
}

void MediaPlayer::Close() {
  if (!device_) return;
  mciSendCommandW(device_, MCI_CLOSE, MCI_WAIT, 0);
  device_ = 0;
}

void MediaPlayer::Play() {
  if (!device_) return;
  MCI_PLAY_PARMS params{};
  params.dwFrom = 0;
  MCIERROR error = mciSendCommandW(device_, MCI_PLAY, MCI_FROM, reinterpret_cast<DWORD_PTR>(&params));
  if (error) throw VelloError(MciErrorText(error));
}

}  // namespace vello
