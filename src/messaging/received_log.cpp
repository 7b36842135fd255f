#include "messaging/received_log.h"

#include "common/file_paths.h"
#include "messaging/log_entry.h"
#include "messaging/sender_names.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"

namespace vello {

namespace {
const wchar_t kClassName[] = L"VelloReceivedLog";
constexpr UINT_PTR kWaitTimer = 1;
}  // namespace

TReceivedLog::TReceivedLog() : MessageOnlyWindow(kClassName) {}

TReceivedLog::~TReceivedLog() { Destroy(); }

void TReceivedLog::Add(const in_addr& sender, std::string dateTimeText, std::string text) {
  pending_.push_back({.sender = sender.s_addr,
                      .address = DottedAddress(sender),
                      .name = std::nullopt,
                      .dateTimeText = std::move(dateTimeText),
                      .text = std::move(text),
                      .deadline = GetTickCount64() + kNameWaitMs});
  VELLO_TIMING_ONLY(pending_.back().arrived = timing::Now();)
  if (!waitTimer_) waitTimer_ = SetTimer(window(), kWaitTimer, 500, nullptr) != 0;
}

void TReceivedLog::NameFound(const in_addr& sender, const std::string& name) {
  for (Pending& p : pending_)
    if (p.sender == sender.s_addr && !p.name) p.name = name;
  WriteReady(false);
}

void TReceivedLog::Flush() { WriteReady(true); }

void TReceivedLog::WriteReady(bool all) {
  ULONGLONG now = GetTickCount64();
  while (!pending_.empty()) {
    Pending& p = pending_.front();
    if (!all && !p.name && now < p.deadline) break;
    std::string entry = ReceivedLogEntry(p.dateTimeText, p.name ? *p.name : p.address, p.text);
    VELLO_TIMING_ONLY(timing::Stopwatch watch("log", p.arrived); watch.Step("waited for the name");)
    pending_.pop_front();
    // What arrived from the network: its errors share the network's one box.
    Guard([&] { AppendLogEntry(FileBesideExecutable(kLogEnding), entry); }, ErrorOrigin::Network);
    VELLO_TIMING_ONLY(watch.Step("appended");)
  }
}

LRESULT TReceivedLog::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER && wp == kWaitTimer) {
    WriteReady(false);
    if (pending_.empty()) {
      KillTimer(hwnd(), kWaitTimer);
      waitTimer_ = false;
    }
    return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
