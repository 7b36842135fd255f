// The measuring peer of the benchmarks. It runs in the same Wine prefix (or
// on the same Windows desktop) as the receivers, so it times both ends with
// one clock: QueryPerformanceCounter just before connect() and the moment
// the receiver's new window is visible, seen by polling the window list.
// Two receivers are measured side by side, their messages interleaved, so
// that whatever else loads the machine loads both alike.
//
//   bench_peer receive N TARGET TARGET [--warmup W] [--gap-ms G] [--poll-us P] [--from IP]
//                      [--senders K | --from-each [IP]] [--log PATH] [--ping]
//   bench_peer startup N TARGET:EXE TARGET:EXE
//   bench_peer watch SECONDS TARGET:EXE...   each started in turn, pinged and its memory sampled
//   bench_peer burst N TARGET [TARGET] [--senders K]
//   bench_peer fill N TARGET [--senders K]   N messages at once, until N popups are shown
//   bench_peer monitor TARGET STOPFILE
//   bench_peer wait TARGET...      until each main window is shown and its port accepts
//   bench_peer close TARGET...     end each receiver as a user would
//
// TARGET is vello:PORT (popups "TForm", main window "TMainForm", the popup's
// caption is the message text) or floor:PORT (minimal_receiver.exe: popups
// "MinimalPopup", main window "MinimalMain", the caption is the whole line).
// LABEL=vello:PORT:EXE names a target LABEL in the figures (one program set
// up two ways: with and without messages kept from before, for instance).
// Times are printed in milliseconds.
//
// receive: "shown" is the popup visible; "settled" adds the receiver's
// thread back in its message loop (a WM_NULL sent to the popup answered),
// the popup painted (no update region left) and, with --log, Vello's log grown by the message's entry, however long
// after the handler that is (the entry waits for the sender's name).
// --from IP sends from that local address; --senders K from K loopback
// addresses in turn (127.0.2.1 on), so that no sender reaches Vello's bound
// of 50 open balloons per sender; --from-each from a new loopback address
// for every message, so that no sender's name is known from before and
// every log entry waits for a reverse look-up.
//
// startup: "listening" is the port accepting; "window" the main window
// visible; "ready" adds a WM_NULL sent to it answered (start-up work done
// and the window painted and answering); "idle" is WaitForInputIdle: the
// thread waits for input with nothing left in its queue (work put off to
// the loop included). The start-up figure is the later of listening and
// ready.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace {

using bench::Now;
using bench::Pinger;
using bench::PrintStats;
using bench::SleepMicro;
using bench::Stats;
using bench::Summarise;

std::string Cp932(const std::wstring& w) {
  int n = WideCharToMultiByte(932, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(932, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

struct Target {
  std::string name;  // "vello" or "floor", or the label given
  bool vello = true;
  int port = 0;
  std::wstring exe;
  const wchar_t* popupClass = L"";
  const wchar_t* mainClass = L"";
  bool captionIsText = true;  // vello: the caption is field 8; floor: the whole line
};

Target ParseTarget(const wchar_t* arg) {
  std::wstring s = arg;
  Target t;
  // LABEL=vello:PORT:EXE: named LABEL in the figures (one program set up two ways).
  std::wstring label;
  if (std::size_t eq = s.find(L'='); eq != std::wstring::npos && eq < s.find(L':')) {
    label = s.substr(0, eq);
    s = s.substr(eq + 1);
  }
  std::size_t c1 = s.find(L':');
  std::size_t c2 = c1 == std::wstring::npos ? c1 : s.find(L':', c1 + 1);
  std::wstring kind = s.substr(0, c1);
  t.port = _wtoi(s.substr(c1 + 1, c2 == std::wstring::npos ? std::wstring::npos : c2 - c1 - 1).c_str());
  if (c2 != std::wstring::npos) t.exe = s.substr(c2 + 1);
  if (kind == L"vello") {
    t.name = "vello";
    t.popupClass = L"TForm";
    t.mainClass = L"TMainForm";
    t.captionIsText = true;
  } else {
    t.name = "floor";
    t.popupClass = L"MinimalPopup";
    t.mainClass = L"MinimalMain";
    t.captionIsText = false;
    t.vello = false;
  }
  if (!label.empty()) t.name = std::string(label.begin(), label.end());
  return t;
}

// A message as a composer of 315 x 179 sends it: white, black 10-point
// "MS ゴシック", two lines of Japanese text.
std::wstring MessageText(int i) {
  return L"ベンチマーク " + std::to_wstring(i) + L" 番目のメッセージ\r\nこんにちは\r\n";
}
std::wstring MessageLine(const std::wstring& text) {
  return L"315,179,16777215,0,10,\"MS ゴシック\",0,N,\"" + text + L"\"";
}

// The sender's own address (--from): 127.0.0.1 has a name in the hosts
// file; another loopback address has none, so the receiver's reverse
// look-up of it goes on to the DNS, as for a LAN peer without a PTR record.
// With --from-each, message (or sender) i comes from the address i after
// it: every one is a host the receiver has not heard of yet, so each starts
// a look-up of its own and none meets a bound per sender.
ULONG fromAddress = 0;
int senders = 0;             // --senders K: K loopback addresses in turn
bool fromEach = false;       // --from-each [IP]: an address of its own per message (after IP)
std::wstring logPath;        // --log: Vello's log, settled only once it has grown

// The n-th of the loopback addresses 127.0.2.1, 127.0.2.2, ... (never
// 127.0.0.1, whose name is in the hosts file).
ULONG LoopbackAddress(int n) {
  return htonl((127u << 24) | (static_cast<unsigned>(2 + n / 254) << 8) | static_cast<unsigned>(n % 254 + 1));
}
// Where message i comes from: --from-each, --senders or --from.
ULONG FromFor(int i) {
  if (fromEach) return fromAddress ? htonl(ntohl(fromAddress) + static_cast<ULONG>(i)) : LoopbackAddress(i);
  if (senders > 0) return LoopbackAddress(i % senders);
  return fromAddress;
}

long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a)) return -1;
  return (static_cast<long long>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

// One connection: connect, write the line, close. False when any step fails.
bool SendLine(int port, const std::string& bytes, ULONG from = 0) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  if (from) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = from;
    bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local);
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    int n = send(s, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
    if (n <= 0) ok = false;
    else done += static_cast<std::size_t>(n);
  }
  if (ok) shutdown(s, SD_SEND);
  closesocket(s);
  return ok;
}

bool PortAccepts(int port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  closesocket(s);
  return ok;
}

std::wstring CaptionOf(HWND h) {
  // For another process's window this reads the stored caption; no message
  // is sent, so the receiver's own thread is not involved.
  wchar_t buffer[512] = {};
  GetWindowTextW(h, buffer, 512);
  return buffer;
}

int fullSearchFinds = 0;  // popups that were not first of their class: a sign the poll is slow

// Waits for a visible top-level window of `cls` captioned `caption`. New
// windows enter at the top of the z-order, so the first of its class is
// checked at every poll (cheap); a full search by caption runs every 50th.
// Each poll costs two or three requests to the window server, which the
// receivers need too; the caption is read only for a handle not seen before.
HWND WaitForPopup(const wchar_t* cls, const std::wstring& caption, int pollUs, double timeoutMs) {
  double end = Now() + timeoutMs;
  HWND seen = nullptr;
  bool matches = false;
  for (int poll = 0;; ++poll) {
    HWND h = FindWindowExW(nullptr, nullptr, cls, nullptr);
    if (h && h != seen) {
      seen = h;
      matches = CaptionOf(h) == caption;
    }
    if (h && matches && IsWindowVisible(h)) return h;
    if (poll % 50 == 49) {
      h = FindWindowW(cls, caption.c_str());
      if (h && IsWindowVisible(h)) {
        ++fullSearchFinds;
        return h;
      }
    }
    if (Now() > end) return nullptr;
    SleepMicro(pollUs);
  }
}

HWND MainWindowOf(const Target& t, DWORD pid);

int Receive(int n, std::vector<Target> targets, int warmup, int gapMs, int pollUs, bool ping) {
  struct Samples { std::vector<double> shown, settled; int lost = 0, paintWaits = 0; };
  std::vector<Samples> samples(targets.size());
  std::unique_ptr<Pinger> pinger;
  if (ping) {
    std::vector<HWND> mains;
    for (const Target& t : targets) mains.push_back(MainWindowOf(t, 0));
    pinger = std::make_unique<Pinger>(mains);
  }
  for (int i = 0; i < warmup + n; ++i) {
    for (std::size_t k = 0; k < targets.size(); ++k) {
      // Alternate which receiver goes first, so neither always follows the other.
      const Target& t = targets[(k + static_cast<std::size_t>(i)) % targets.size()];
      Samples& out = samples[(k + static_cast<std::size_t>(i)) % targets.size()];
      std::wstring text = MessageText(i);
      std::wstring line = MessageLine(text);
      std::string bytes = Cp932(line);
      bool waitForLog = !logPath.empty() && t.vello;
      long long logBefore = waitForLog ? FileSize(logPath) : 0;
      double t0 = Now();
      if (!SendLine(t.port, bytes, FromFor(i))) {
        ++out.lost;
        continue;
      }
      HWND h = WaitForPopup(t.popupClass, t.captionIsText ? text : line, pollUs, 10000);
      double t1 = Now();
      if (!h) {
        ++out.lost;
        continue;
      }
      // Answered once the receiver's thread is back in its message loop:
      // the whole handler (region, foreground, tray, log) is done.
      DWORD_PTR r;
      SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
      // And the popup painted: a sent message is answered before the paint,
      // so a receiver still busy when it came answered before painting and
      // one already idle painted first. Both now wait for the paint.
      if (GetUpdateRect(h, nullptr, FALSE)) {
        ++out.paintWaits;
        while (GetUpdateRect(h, nullptr, FALSE) && Now() - t0 < 20000) SleepMicro(pollUs);
      }
      // The log entry, written once the sender's name is known.
      while (waitForLog && FileSize(logPath) <= logBefore && Now() - t0 < 20000) SleepMicro(pollUs);
      if (waitForLog && FileSize(logPath) <= logBefore) ++out.lost;
      double t2 = Now();
      if (i >= warmup) {
        out.shown.push_back(t1 - t0);
        out.settled.push_back(t2 - t0);
      }
      Sleep(static_cast<DWORD>(gapMs));
    }
  }
  if (pinger) {
    pinger->Stop();
    std::vector<std::string> names;
    for (const Target& t : targets) names.push_back(t.name);
    pinger->Print(names);
  }
  std::vector<Stats> shown, settled;
  for (std::size_t k = 0; k < targets.size(); ++k) {
    shown.push_back(Summarise(samples[k].shown));
    settled.push_back(Summarise(samples[k].settled));
    PrintStats("shown", targets[k].name, shown.back(), samples[k].shown.size());
    PrintStats("settled", targets[k].name, settled.back(), samples[k].settled.size());
    std::printf("lost       %-6s %d\n", targets[k].name.c_str(), samples[k].lost);
    std::printf("unpainted  %-6s %d when the WM_NULL was answered\n", targets[k].name.c_str(), samples[k].paintWaits);
  }
  std::printf("found only by the full search: %d\n", fullSearchFinds);
  if (targets.size() == 2) {
    std::printf("ratio shown   %s/%s: median %.2f  p99 %.2f\n", targets[0].name.c_str(), targets[1].name.c_str(),
                shown[0].median / shown[1].median, shown[0].p99 / shown[1].p99);
    std::printf("ratio settled %s/%s: median %.2f  p99 %.2f\n", targets[0].name.c_str(), targets[1].name.c_str(),
                settled[0].median / settled[1].median, settled[0].p99 / settled[1].p99);
  }
  return samples[0].lost + (targets.size() > 1 ? samples[1].lost : 0) ? 1 : 0;
}

HWND MainWindowOf(const Target& t, DWORD pid) {
  HWND h = nullptr;
  while ((h = FindWindowExW(nullptr, h, t.mainClass, nullptr))) {
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (!pid || owner == pid) return h;
  }
  return nullptr;
}

// From CreateProcess to both "the port accepts" and "the main window is
// visible"; then the receiver is closed as a user would and awaited.
int Startup(int n, std::vector<Target> targets) {
  std::vector<std::vector<double>> times(targets.size()), listenTimes(targets.size()), windowTimes(targets.size()),
      readyTimes(targets.size()), idleTimes(targets.size()), workingSets(targets.size());
  int failures = 0;
  for (int i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < targets.size(); ++k) {
      std::size_t which = (k + static_cast<std::size_t>(i)) % targets.size();
      const Target& t = targets[which];
      std::wstring dir = t.exe.substr(0, t.exe.find_last_of(L"\\/"));
      std::wstring cmd = L"\"" + t.exe + L"\"";
      if (!t.vello) cmd += L" " + std::to_wstring(t.port);
      STARTUPINFOW si{};
      si.cb = sizeof si;
      PROCESS_INFORMATION pi{};
      double t0 = Now();
      if (!CreateProcessW(t.exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi)) {
        std::printf("cannot start %ls\n", t.exe.c_str());
        return 1;
      }
      double listened = 0, shown = 0, ready = 0, idle = 0;
      HWND main = nullptr;
      while (Now() - t0 < 20000 && (!listened || !ready || !idle)) {
        if (!shown) {
          main = MainWindowOf(t, pi.dwProcessId);
          if (main && IsWindowVisible(main)) shown = Now();
        }
        if (shown && !ready) {
          DWORD_PTR r;
          if (SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r)) ready = Now();
        }
        if (!idle && WaitForInputIdle(pi.hProcess, 0) == 0) idle = Now();
        if (!listened && PortAccepts(t.port)) listened = Now();
        if (!listened || !ready || !idle) SleepMicro(500);
      }
      if (listened && ready) {
        times[which].push_back(std::max(listened, ready) - t0);
        listenTimes[which].push_back(listened - t0);
        windowTimes[which].push_back(shown - t0);
        readyTimes[which].push_back(ready - t0);
        if (idle) idleTimes[which].push_back(std::max(idle, ready) - t0);
        workingSets[which].push_back(static_cast<double>(bench::WorkingSetOf(pi.dwProcessId)) / (1024.0 * 1024.0));
      } else {
        ++failures;
      }
      if (main) bench::AskToEnd(main);
      if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 5000);
      }
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
      Sleep(200);
    }
  }
  std::vector<Stats> st;
  for (std::size_t k = 0; k < targets.size(); ++k) {
    st.push_back(Summarise(times[k]));
    PrintStats("startup", targets[k].name, st.back(), times[k].size());
    PrintStats("listening", targets[k].name, Summarise(listenTimes[k]), listenTimes[k].size());
    PrintStats("window", targets[k].name, Summarise(windowTimes[k]), windowTimes[k].size());
    PrintStats("ready", targets[k].name, Summarise(readyTimes[k]), readyTimes[k].size());
    PrintStats("idle", targets[k].name, Summarise(idleTimes[k]), idleTimes[k].size());
    PrintStats("MiB ready", targets[k].name, Summarise(workingSets[k]), workingSets[k].size());
  }
  if (targets.size() == 2) {
    std::printf("ratio startup %s/%s: median %.2f  p90 %.2f  max %.2f\n", targets[0].name.c_str(),
                targets[1].name.c_str(), st[0].median / st[1].median, st[0].p90 / st[1].p90, st[0].max / st[1].max);
    Stats i0 = Summarise(idleTimes[0]), i1 = Summarise(idleTimes[1]);
    std::printf("ratio idle    %s/%s: median %.2f  p90 %.2f\n", targets[0].name.c_str(), targets[1].name.c_str(),
                i0.median / i1.median, i0.p90 / i1.p90);
  }
  std::printf("failures %d\n", failures);
  return failures ? 1 : 0;
}

// Starts each program in turn and watches it for `seconds` from the moment
// its main window is visible: the window pinged every 20 ms, the working
// set sampled every 100 ms; then ends it as its user would, and starts the
// next. In turn, not at once: a second copy of Vello only points to the
// first. For work a program does by itself after its start (messages kept
// from before tried again, for instance).
int Watch(double seconds, std::vector<Target> targets) {
  const double MiB = 1024.0 * 1024.0;
  int status = 0;
  for (const Target& t : targets) {
    std::wstring dir = t.exe.substr(0, t.exe.find_last_of(L"\\/"));
    std::wstring cmd = L"\"" + t.exe + L"\"";
    if (!t.vello) cmd += L" " + std::to_wstring(t.port);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const double t0 = Now();
    if (!CreateProcessW(t.exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi)) {
      std::printf("cannot start %ls\n", t.exe.c_str());
      return 1;
    }
    HWND main = nullptr;
    while (Now() - t0 < 20000 && !((main = MainWindowOf(t, pi.dwProcessId)) && IsWindowVisible(main))) SleepMicro(500);
    if (!main || !IsWindowVisible(main)) {
      std::printf("%s: no main window\n", t.name.c_str());
      TerminateProcess(pi.hProcess, 1);
      return 1;
    }
    const double shown = Now();
    Pinger pinger({main});
    std::printf("watch      %-6s window shown %.0f ms after its start\n", t.name.c_str(), shown - t0);
    std::vector<double> memory;  // MiB, every 100 ms
    while (Now() - shown < seconds * 1000.0) {
      memory.push_back(static_cast<double>(bench::WorkingSetOf(pi.dwProcessId)) / MiB);
      Sleep(100);
    }
    pinger.Stop();
    const std::vector<double>& pings = pinger.samples(0);
    Stats p = Summarise(pings);
    std::printf("watch      %-6s ping n=%zu median %.2f p99 %.2f max %.2f ms, over 100 ms: %zu\n", t.name.c_str(),
                pings.size(), p.median, p.p99, p.max,
                static_cast<std::size_t>(std::count_if(pings.begin(), pings.end(), [](double x) { return x > 100; })));
    // The worst answer of each 10 s since the window was shown.
    std::vector<double> worst(static_cast<std::size_t>(seconds / 10.0 + 1), 0.0);
    for (std::size_t i = 0; i < pings.size(); ++i) {
      std::size_t slot = std::min(worst.size() - 1, static_cast<std::size_t>((pinger.sentAt(0)[i] - shown) / 10000.0));
      worst[slot] = std::max(worst[slot], pings[i]);
    }
    std::string worstEach;
    for (double w : worst) worstEach += " " + std::to_string(static_cast<int>(w + 0.5));
    std::printf("watch      %-6s worst ping of each 10 s (ms):%s\n", t.name.c_str(), worstEach.c_str());
    double peak = 0;
    for (double m : memory) peak = std::max(peak, m);
    std::size_t systemPeak = 0;
    bench::WorkingSetOf(pi.dwProcessId, &systemPeak);
    std::printf("watch      %-6s working set: at the window %.1f MiB, peak sampled %.1f MiB, at the end %.1f MiB, "
                "peak by the system %.1f MiB\n",
                t.name.c_str(), memory.empty() ? 0 : memory.front(), peak, memory.empty() ? 0 : memory.back(),
                static_cast<double>(systemPeak) / MiB);
    const double asked = Now();
    bench::AskToEnd(main);
    if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
      std::printf("%s did not end in 30 s; terminated\n", t.name.c_str());
      TerminateProcess(pi.hProcess, 1);
      status = 1;
    } else {
      std::printf("exit       %-6s %.0f ms\n", t.name.c_str(), Now() - asked);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  return status;
}

// What the receiver's process holds, as the system reports it.
struct Footprint {
  std::size_t privateBytes = 0, workingSet = 0, peakWorkingSet = 0;
  DWORD handles = 0, gdi = 0, user = 0;
  std::size_t windows = 0;  // top-level windows of the process and their descendants
};
Footprint FootprintOf(DWORD pid) {
  Footprint f;
  HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (p) {
    PROCESS_MEMORY_COUNTERS_EX m{};
    m.cb = sizeof m;
    if (GetProcessMemoryInfo(p, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m)) {
      f.privateBytes = m.PrivateUsage;
      f.workingSet = m.WorkingSetSize;
      f.peakWorkingSet = m.PeakWorkingSetSize;
    }
    GetProcessHandleCount(p, &f.handles);
    f.gdi = GetGuiResources(p, GR_GDIOBJECTS);
    f.user = GetGuiResources(p, GR_USEROBJECTS);
    CloseHandle(p);
  }
  struct Ctx { DWORD pid; std::size_t count; } ctx{pid, 0};
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(lp);
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner != c->pid) return TRUE;
        ++c->count;
        EnumChildWindows(h, [](HWND, LPARAM lp2) -> BOOL { ++*reinterpret_cast<std::size_t*>(lp2); return TRUE; },
                         reinterpret_cast<LPARAM>(&c->count));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  f.windows = ctx.count;
  return f;
}

std::size_t CountPopups(const wchar_t* cls) {
  std::size_t n = 0;
  HWND h = nullptr;
  while ((h = FindWindowExW(nullptr, h, cls, nullptr))) ++n;
  return n;
}

// N connections as fast as one blocking sender can make them, to each
// receiver at once; meanwhile the main window is pinged every 20 ms.
int Burst(int n, std::vector<Target> targets) {
  struct Run {
    Target t;
    HWND main = nullptr;
    DWORD pid = 0;
    Footprint before, after;
    std::size_t popupsBefore = 0, popupsAfter = 0;
    std::atomic<int> sent{0}, failed{0};
    double sendDone = 0, allShown = 0;
    std::vector<double> pings;
    int pingTimeouts = 0;
    std::atomic<bool> stop{false};
  };
  std::vector<std::unique_ptr<Run>> runs;
  for (auto& t : targets) {
    auto r = std::make_unique<Run>();
    r->t = t;
    r->main = MainWindowOf(t, 0);
    if (!r->main) {
      std::printf("no main window for %s\n", t.name.c_str());
      return 1;
    }
    GetWindowThreadProcessId(r->main, &r->pid);
    r->popupsBefore = CountPopups(t.popupClass);
    r->before = FootprintOf(r->pid);
    runs.push_back(std::move(r));
  }
  double t0 = Now();
  std::vector<std::thread> threads;
  for (auto& rp : runs) {
    Run* r = rp.get();
    threads.emplace_back([r, n, t0] {
      for (int i = 0; i < n; ++i) {
        std::wstring text = MessageText(100000 + i);
        if (SendLine(r->t.port, Cp932(MessageLine(text)), FromFor(i))) ++r->sent;
        else ++r->failed;
      }
      r->sendDone = Now() - t0;
    });
    threads.emplace_back([r] {
      while (!r->stop) {
        DWORD_PTR res;
        double a = Now();
        if (!SendMessageTimeoutW(r->main, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &res)) ++r->pingTimeouts;
        r->pings.push_back(Now() - a);
        Sleep(20);
      }
    });
  }
  // Wait for every popup, or for no progress in 20 s.
  std::size_t lastCount = 0;
  double lastProgress = Now();
  for (;;) {
    bool all = true;
    std::size_t total = 0;
    for (auto& r : runs) {
      if (r->allShown) continue;
      std::size_t c = CountPopups(r->t.popupClass) - r->popupsBefore;
      total += c;
      if (c >= static_cast<std::size_t>(n)) r->allShown = Now() - t0;
      else all = false;
    }
    if (all) break;
    if (total != lastCount) {
      lastCount = total;
      lastProgress = Now();
    } else if (Now() - lastProgress > 20000) {
      break;
    }
    Sleep(250);
  }
  Sleep(500);  // a last ping or two after the burst
  for (auto& r : runs) r->stop = true;
  for (auto& th : threads) th.join();
  for (auto& r : runs) {
    r->popupsAfter = CountPopups(r->t.popupClass);
    r->after = FootprintOf(r->pid);
  }
  int status = 0;
  std::vector<double> maxPing;
  for (auto& r : runs) {
    std::size_t shown = r->popupsAfter - r->popupsBefore;
    Stats p = Summarise(r->pings);
    maxPing.push_back(p.max);
    double per = shown ? 1.0 / static_cast<double>(shown) : 0;
    std::printf("burst %-6s sent %d failed %d shown %zu of %d; sending took %.0f ms, all shown after %.0f ms\n",
                r->t.name.c_str(), r->sent.load(), r->failed.load(), shown, n, r->sendDone,
                r->allShown ? r->allShown : -1.0);
    std::printf("burst %-6s ping: n=%zu median %.2f p99 %.2f max %.2f ms, over 100 ms: %zu, timeouts (1 s): %d\n",
                r->t.name.c_str(), r->pings.size(), p.median, p.p99, p.max,
                static_cast<std::size_t>(std::count_if(r->pings.begin(), r->pings.end(), [](double x) { return x > 100; })),
                r->pingTimeouts);
    std::printf("burst %-6s per popup: private %.1f KiB, working set %.1f KiB, windows %.2f, handles %.2f, GDI %.2f, USER %.2f\n",
                r->t.name.c_str(), (static_cast<double>(r->after.privateBytes) - static_cast<double>(r->before.privateBytes)) * per / 1024,
                (static_cast<double>(r->after.workingSet) - static_cast<double>(r->before.workingSet)) * per / 1024,
                (static_cast<double>(r->after.windows) - static_cast<double>(r->before.windows)) * per,
                (static_cast<double>(r->after.handles) - static_cast<double>(r->before.handles)) * per,
                (static_cast<double>(r->after.gdi) - static_cast<double>(r->before.gdi)) * per,
                (static_cast<double>(r->after.user) - static_cast<double>(r->before.user)) * per);
    std::printf("burst %-6s pid %lu private %zu -> %zu bytes\n", r->t.name.c_str(), r->pid, r->before.privateBytes,
                r->after.privateBytes);
    if (shown != static_cast<std::size_t>(n) || r->failed) status = 1;
  }
  if (runs.size() == 2 && runs[0]->allShown && runs[1]->allShown)
    std::printf("ratio burst %s/%s: all shown %.2f, max ping %.2f\n", runs[0]->t.name.c_str(), runs[1]->t.name.c_str(),
                runs[0]->allShown / runs[1]->allShown, maxPing[0] / maxPing[1]);
  return status;
}

// N messages to one receiver as fast as one sender can, then waits until
// N popups are shown (or nothing changes for 20 s); prints how many.
int Fill(int n, const Target& t) {
  std::size_t before = CountPopups(t.popupClass);
  double t0 = Now();
  int failed = 0;
  for (int i = 0; i < n; ++i)
    if (!SendLine(t.port, Cp932(MessageLine(MessageText(200000 + i))), FromFor(i))) ++failed;
  std::size_t shown = 0;
  double lastChange = Now();
  while (shown < static_cast<std::size_t>(n) && Now() - lastChange < 20000) {
    Sleep(250);
    std::size_t now = CountPopups(t.popupClass) - before;
    if (now != shown) {
      shown = now;
      lastChange = Now();
    }
  }
  std::printf("fill       %-6s %zu of %d shown after %.0f ms, %d not sent\n", t.name.c_str(), shown, n, Now() - t0,
              failed);
  return failed ? 1 : 0;
}

// Watches the receiver while senders outside flood it: its memory sampled
// every 20 ms and its main window pinged, from "monitoring" until 3 s after
// STOPFILE exists and after the last new balloon.
int Monitor(const Target& t, const std::wstring& stopFile) {
  HWND main = MainWindowOf(t, 0);
  if (!main) {
    std::printf("no main window for %s\n", t.name.c_str());
    return 1;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  std::size_t popupsBefore = CountPopups(t.popupClass);
  Footprint before = FootprintOf(pid);
  std::atomic<bool> stop{false};
  std::size_t peakWs = before.workingSet;
  std::thread sampler([&] {
    while (!stop) {
      peakWs = std::max(peakWs, FootprintOf(pid).workingSet);
      Sleep(20);
    }
  });
  Pinger pinger({main});
  std::printf("monitoring\n");
  double t0 = Now();
  std::size_t last = popupsBefore;
  double quiet = Now(), stopped = 0;
  for (;;) {
    Sleep(100);
    std::size_t now = CountPopups(t.popupClass);
    if (now != last) {
      last = now;
      quiet = Now();
    }
    if (!stopped && GetFileAttributesW(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES) stopped = Now();
    if (stopped && Now() - quiet >= 3000 && Now() - stopped >= 3000) break;
  }
  std::printf("monitor    senders done after %.0f ms, last balloon after %.0f ms\n", stopped - t0, quiet - t0);
  stop = true;
  sampler.join();
  pinger.Stop();
  Footprint after = FootprintOf(pid);
  const double MiB = 1024.0 * 1024.0;
  std::printf("monitor    %.0f ms, balloons shown %zu\n", Now() - t0, CountPopups(t.popupClass) - popupsBefore);
  std::printf("monitor    working set: before %.1f MiB, peak sampled %.1f MiB, peak by the system %.1f MiB, after %.1f MiB\n",
              static_cast<double>(before.workingSet) / MiB, static_cast<double>(peakWs) / MiB,
              static_cast<double>(after.peakWorkingSet) / MiB, static_cast<double>(after.workingSet) / MiB);
  pinger.Print({t.name});
  return 0;
}

// Waits until each receiver's main window is visible.
int WaitReady(std::vector<Target> targets) {
  double end = Now() + 30000;
  for (auto& t : targets) {
    for (;;) {
      HWND h = MainWindowOf(t, 0);
      if (h && IsWindowVisible(h) && PortAccepts(t.port)) break;
      if (Now() > end) {
        std::printf("%s is not ready\n", t.name.c_str());
        return 1;
      }
      Sleep(100);
    }
  }
  return 0;
}

// Ends each receiver as its user would (bench::AskToEnd) and waits for its
// process.
int CloseAll(std::vector<Target> targets) {
  int status = 0;
  for (auto& t : targets) {
    HWND h = MainWindowOf(t, 0);
    if (!h) continue;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    HANDLE p = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    std::size_t popups = CountPopups(t.popupClass);
    double t0 = Now();
    bench::AskToEnd(h);
    if (p && WaitForSingleObject(p, 120000) != WAIT_OBJECT_0) {
      std::printf("%s did not end in 120 s; terminated\n", t.name.c_str());
      TerminateProcess(p, 1);
      status = 1;
    } else {
      std::printf("exit       %-6s with %zu popups: %.0f ms\n", t.name.c_str(), popups, Now() - t0);
    }
    if (p) CloseHandle(p);
  }
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wstring(argv[1]) == L"monitor") {
    setvbuf(stdout, nullptr, _IONBF, 0);
    return Monitor(ParseTarget(argv[2]), argv[3]);
  }
  if (argc >= 3 && (std::wstring(argv[1]) == L"wait" || std::wstring(argv[1]) == L"close")) {
    std::vector<Target> targets;
    for (int i = 2; i < argc; ++i) targets.push_back(ParseTarget(argv[i]));
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    return std::wstring(argv[1]) == L"wait" ? WaitReady(targets) : CloseAll(targets);
  }
  if (argc >= 4 && std::wstring(argv[1]) == L"watch") {
    setvbuf(stdout, nullptr, _IONBF, 0);
    std::vector<Target> targets;
    for (int i = 3; i < argc; ++i) targets.push_back(ParseTarget(argv[i]));
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    return Watch(_wtof(argv[2]), targets);
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_peer receive|startup|burst N TARGET [TARGET] [options]\n");
    return 2;
  }
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  std::wstring cmd = argv[1];
  int n = _wtoi(argv[2]);
  std::vector<Target> targets;
  int warmup = 5, gapMs = 20, pollUs = 200;
  bool ping = false;
  for (int i = 3; i < argc; ++i) {
    std::wstring a = argv[i];
    if (a == L"--warmup" && i + 1 < argc) warmup = _wtoi(argv[++i]);
    else if (a == L"--ping") ping = true;
    else if (a == L"--gap-ms" && i + 1 < argc) gapMs = _wtoi(argv[++i]);
    else if (a == L"--poll-us" && i + 1 < argc) pollUs = _wtoi(argv[++i]);
    else if (a == L"--senders" && i + 1 < argc) senders = _wtoi(argv[++i]);
    else if (a == L"--log" && i + 1 < argc) logPath = argv[++i];
    else if (a == L"--from-each" && !(i + 1 < argc && iswdigit(argv[i + 1][0]))) fromEach = true;
    else if ((a == L"--from" || a == L"--from-each") && i + 1 < argc) {
      fromEach = a == L"--from-each";
      char ip[64] = {};
      WideCharToMultiByte(CP_ACP, 0, argv[++i], -1, ip, sizeof ip - 1, nullptr, nullptr);
      fromAddress = inet_addr(ip);
    }
    else targets.push_back(ParseTarget(argv[i]));
  }
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (cmd == L"receive") return Receive(n, targets, warmup, gapMs, pollUs, ping);

  if (cmd == L"startup") return Startup(n, targets);
  if (cmd == L"burst") return Burst(n, targets);
  if (cmd == L"fill") return Fill(n, targets.at(0));
  std::fprintf(stderr, "unknown command\n");
  return 2;
}
