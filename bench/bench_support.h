#pragma once
// What the Win32 benchmark programs share: one clock, a fine sleep, the
// summary of a set of times, the pinger that asks whether a main window
// keeps answering, and the memory a process holds.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace bench {

// Milliseconds on QueryPerformanceCounter's clock, shared by every process
// on the machine, so two programs' moments compare.
inline double Now() {
  static const double perMs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / perMs;
}

// A sleep finer than Sleep(1) where the system allows it (Wine: select()
// with microseconds; Windows: rounded to the timer period).
inline void SleepMicro(int us) {
  using DelayFn = LONG(WINAPI*)(BOOLEAN, PLARGE_INTEGER);
  static auto delay = reinterpret_cast<DelayFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDelayExecution")));
  if (!delay) return Sleep(static_cast<DWORD>((us + 999) / 1000));
  LARGE_INTEGER t;
  t.QuadPart = -10LL * us;
  delay(FALSE, &t);
}

struct Stats {
  double median, p90, p99, max, mean;
};
inline Stats Summarise(std::vector<double> v) {
  if (v.empty()) return {0, 0, 0, 0, 0};
  std::sort(v.begin(), v.end());
  auto at = [&](double q) {
    std::size_t i = static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
  };
  double sum = 0;
  for (double x : v) sum += x;
  return {at(0.5), at(0.9), at(0.99), v.back(), sum / static_cast<double>(v.size())};
}

inline void PrintStats(const char* what, const std::string& name, const Stats& s, std::size_t n) {
  std::printf("%-10s %-6s n=%-5zu median %8.3f  p90 %8.3f  p99 %8.3f  max %8.3f  mean %8.3f\n", what, name.c_str(), n,
              s.median, s.p90, s.p99, s.max, s.mean);
}

// Pings main windows every 20 ms from a thread of its own (WM_NULL, waiting
// up to 1 s for the answer) until stopped: whether each window kept
// answering while it was being measured.
class Pinger {
 public:
  explicit Pinger(std::vector<HWND> windows)
      : windows_(std::move(windows)), samples_(windows_.size()), sentAt_(windows_.size()) {
    thread_ = std::thread([this] {
      while (!stop_) {
        for (std::size_t k = 0; k < windows_.size(); ++k) {
          DWORD_PTR r;
          double a = Now();
          SendMessageTimeoutW(windows_[k], WM_NULL, 0, 0, SMTO_NORMAL, 1000, &r);
          samples_[k].push_back(Now() - a);
          sentAt_[k].push_back(a);
        }
        Sleep(20);
      }
    });
  }
  ~Pinger() { Stop(); }
  Pinger(const Pinger&) = delete;
  Pinger& operator=(const Pinger&) = delete;
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // After Stop: how long each answer took, and when each ping was sent.
  const std::vector<double>& samples(std::size_t k) const { return samples_[k]; }
  const std::vector<double>& sentAt(std::size_t k) const { return sentAt_[k]; }
  void Print(const std::vector<std::string>& names) const {
    for (std::size_t k = 0; k < windows_.size(); ++k) {
      Stats p = Summarise(samples_[k]);
      std::printf("ping       %-6s n=%-5zu median %8.3f  p99 %8.3f  max %8.3f ms, over 100 ms: %zu\n", names[k].c_str(),
                  samples_[k].size(), p.median, p.p99, p.max,
                  static_cast<std::size_t>(
                      std::count_if(samples_[k].begin(), samples_[k].end(), [](double x) { return x > 100; })));
    }
  }

 private:
  std::vector<HWND> windows_;
  std::vector<std::vector<double>> samples_, sentAt_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Asks a program to end as its user does. WM_CLOSE, which Vello takes as
// File > Close (its close box is greyed) and the floor as its close box.
// Not the menu item's command id: that follows the item's place in the
// menu, and an item added above it made the old id open another window.
inline void AskToEnd(HWND main) { PostMessageW(main, WM_CLOSE, 0, 0); }

// The working set of a process, as the system reports it (0 when it cannot
// be read); `peak` gets the system's own peak.
inline std::size_t WorkingSetOf(DWORD pid, std::size_t* peak = nullptr) {
  std::size_t ws = 0;
  HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!p) return 0;
  PROCESS_MEMORY_COUNTERS m{};
  m.cb = sizeof m;
  if (GetProcessMemoryInfo(p, &m, sizeof m)) {
    ws = m.WorkingSetSize;
    if (peak) *peak = m.PeakWorkingSetSize;
  }
  CloseHandle(p);
  return ws;
}

}  // namespace bench
