// Messages kept for their receiver, measured with the real outbox.
//
//   waiting_bench deliver EXE PORT DIR [--senders N] [--each K] [--first IP] [--one-address]
//                 [--processes P | --senders-started] [--seen-after-ms D] [--timeout-s T]
//     N senders (30), each a process of its own (this program again, as
//     `sender`; --processes P shares them out over P processes;
//     --senders-started: the caller has started them, in a Wine prefix of
//     their own), each with an Outbox and a waiting file of its own in a
//     folder of its own under DIR, connecting from a loopback address of
//     its own (--first, 127.0.0.11, and the addresses after it: a receiver
//     keeps a share per sender address), send K messages (3) each to
//     127.0.0.1:PORT while nothing listens there: each is refused and kept,
//     as the user's OK in the box keeps it. Then EXE (vello.exe, its
//     vello.ini beside it) is started, and D ms (0) after its main window
//     is shown every sender is told the receiver is seen, as discovery
//     tells the program when the receiver announces itself. Each message's
//     delivery (the moment its sender's outbox hears the receiver took it)
//     is timed from the window shown; every attempt that fails after that
//     is counted by its reason, and per message the longest run of
//     attempts in a row that the receiver refused (connected, line not
//     taken); the main window is pinged every 20 ms throughout, and for 2 s
//     afterwards, idle. Then the receiver's balloons and its log (Log=1 in
//     its vello.ini) are read: each message must be shown and logged once.
//     --one-address sends from 127.0.0.1 for all: one sender to the
//     receiver.
//
//   waiting_bench sender FIRST COUNT PORT DIR [--from IP] [--each K] [--timeout-s T]
//     The senders FIRST to FIRST + COUNT - 1 of a `deliver` run, the first
//     from IP.
//
//     A process per sender, as each sender is a computer of its own: in
//     one process the senders' own work (each try claims and settles its
//     message in its waiting file) queued on one thread, busy 90% of the
//     time, and held their connections back. In a Wine prefix of their
//     own, so that their calls to the Wine server do not queue with the
//     receiver's, as on a network they would not.
//
//   waiting_bench file PATH N RECEIVERS [--due-in-ms D]
//     Writes a waiting file (vello.wait) of N messages for RECEIVERS
//     receivers with the program's own encoder, as a copy that kept them
//     over a while would leave it: messages taken in turn for each
//     receiver, written a minute apart, every one due D ms (0) from now.
//     The receivers are addresses of 198.18.0.0/15, the range set aside
//     for benchmarks: inside the benchmark's namespace no route leads
//     there, so every try fails at once (a loopback address would reach
//     the program's own listener, which takes every address).
//
//   waiting_bench time PATH ROUNDS
//     Times what the outbox does with the waiting file PATH: reading it,
//     a change that writes nothing, a change written back.
//
// Times in milliseconds, on QueryPerformanceCounter's clock, which every
// process of the machine shares.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "messaging/outbox.h"
#include "messaging/waiting_file.h"
#include "messaging/waiting_message.h"
#include "platform/error_display.h"
#include "platform/socket_error.h"

using namespace vello;
using bench::Now;
using bench::Stats;
using bench::Summarise;

namespace {

// How long this thread spent handling messages, and its longest single
// handler: while it is busy, the sender waits for itself, not for the
// receiver.
double busyMs = 0, longestHandlerMs = 0;

bool PumpUntil(const std::function<bool()>& done, double timeoutMs, HANDLE wakeOn = nullptr) {
  const double end = Now() + timeoutMs;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      const double start = Now();
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      const double took = Now() - start;
      busyMs += took;
      longestHandlerMs = std::max(longestHandlerMs, took);
    }
    if (done()) return true;
    if (Now() > end) return false;
    // What `done` looks at changes only in a handler or with `wakeOn`: no
    // need to wake up for it otherwise (each wait is a request to the Wine
    // server, which thirty senders waking every millisecond would flood).
    MsgWaitForMultipleObjects(wakeOn ? 1 : 0, wakeOn ? &wakeOn : nullptr, FALSE, 100, QS_ALLINPUT);
  }
}

std::wstring Wide(const std::string& s, UINT codePage = CP_ACP) {
  int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}
std::string Narrow(const std::wstring& w, UINT codePage) {
  int n = WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}
// The program's texts are code page 932; the terminal reads UTF-8.
std::string Printable(const std::string& cp932) { return Narrow(Wide(cp932, 932), CP_UTF8); }

std::size_t Occurrences(const std::string& haystack, const std::string& needle) {
  std::size_t n = 0;
  for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The look of a composer of 315 x 179, as bench_peer's messages have.
MessageLook ComposerLook() { return MessageLook{315, 179, 0xFFFFFF, 0, 10, "MS ゴシック", 0}; }

std::filesystem::path SenderFolder(const std::filesystem::path& dir, int index) {
  return dir / ("sender-" + std::to_string(index + 1));
}
// The senders and the measuring process speak through files in DIR: each
// sender's folder gets "kept" once its messages are kept and "result.txt"
// at its end; DIR gets "seen" when the receiver is to be seen. Files, not
// named events, so that the senders may run in a Wine prefix of their own
// (another Wine server), and a change notification, so that waiting for
// them asks the Wine server nothing.
const char kSeenFile[] = "seen";

void Touch(const std::filesystem::path& file) { std::ofstream(file, std::ios::binary | std::ios::trunc).put('\n'); }

// ---- One sender (its own process) ----------------------------------------

// What happened to one kept message after the receiver was seen.
struct Tracked {
  std::string token;  // "[s07-m2]": in its text, its balloon's caption and its log entry
  int kept = 0;       // its place among its sender's messages
  uint32_t attempts = 0;
  double triedAt = -1;      // the first attempt after the receiver was seen began
  double deliveredAt = -1;  // its outbox heard the receiver took it
  int failures = 0;
  int refused = 0;
  int refusedInARow = 0, mostRefusedInARow = 0;
};

// Looked for from the blank before it: in code page 932 text a "[" can be
// the second byte of a character, a blank never.
std::string TokenIn(const std::string& text) {
  std::size_t open = text.find(" [s"), close = open == std::string::npos ? open : text.find(']', open);
  return close == std::string::npos ? "" : text.substr(open + 1, close - open);
}

class Sender : public OutboxHost {
 public:
  explicit Sender(const std::filesystem::path& waitingFile) : outbox_(*this, waitingFile) {}
  HWND BoxOwner() const override { return nullptr; }
  void Delivered() override {}
  void WaitingChanged() override { Observe(); }
  bool KnowsDestination(const std::string&) const override { return true; }
  bool ListedRunning(const std::string&) const override { return true; }
  void ScheduledDelivered(const std::string&) override {}

  Outbox& outbox() { return outbox_; }
  // Failures after the receiver was seen count; the ones that kept the
  // messages do not.
  bool measuring = false;
  std::map<std::string, Tracked> tracked;  // by waiting id
  std::vector<std::string> keptOrder, deliveredOrder;
  std::map<std::string, int> failureReasons;

 private:
  void Observe() {
    const WaitingList& list = outbox_.waiting();
    std::set<std::string> present;
    for (const WaitingMessage& m : list.messages()) {
      present.insert(m.id);
      auto found = tracked.find(m.id);
      if (found == tracked.end()) {
        Tracked t;
        t.attempts = m.attempts;
        t.token = TokenIn(m.text);
        t.kept = static_cast<int>(keptOrder.size());
        tracked.emplace(m.id, t);
        keptOrder.push_back(m.id);
        continue;
      }
      Tracked& t = found->second;
      if (!measuring) {
        t.attempts = m.attempts;
        continue;
      }
      if (list.trying(m.id) && t.triedAt < 0) t.triedAt = Now();
      if (m.state != WaitState::kSending && !list.trying(m.id) && m.attempts != t.attempts) {
        // An attempt ended without delivering it.
        t.attempts = m.attempts;
        ++t.failures;
        ++failureReasons[m.state == WaitState::kUnknown ? "(unknown) " + m.lastReason : m.lastReason];
        if (m.lastReason == "受け取られませんでした") {
          ++t.refused;
          t.mostRefusedInARow = std::max(t.mostRefusedInARow, ++t.refusedInARow);
        } else {
          t.refusedInARow = 0;
        }
      }
    }
    for (auto& [id, t] : tracked) {
      if (t.deliveredAt >= 0 || present.count(id)) continue;
      t.deliveredAt = Now();
      deliveredOrder.push_back(id);
    }
  }

  Outbox outbox_;
};

struct SenderOptions {
  int first = 0;  // the senders of this process: first, first + 1, ...
  int count = 1;
  int port = 0;
  std::filesystem::path dir;
  int each = 3;
  std::string from;  // the first sender's address; empty: the system's choice (127.0.0.1) for all
  double timeoutS = 60;
};

// Each sender of the group keeps its messages and says so; then they wait
// to be told the receiver is seen, and work until all are delivered. Each
// writes what it saw into result.txt in its folder, one fact a line.
int RunSenders(const SenderOptions& o) {
  std::map<std::string, int> boxes;
  SetMessageBoxFunction([&](HWND, const std::string& text, const std::string&, UINT) {
    ++boxes[text.substr(0, text.find("\r\n"))];
    return IDOK;
  });
  std::vector<std::unique_ptr<Sender>> senders;
  for (int i = 0; i < o.count; ++i) {
    const std::filesystem::path folder = SenderFolder(o.dir, o.first + i);
    std::filesystem::create_directories(folder);
    auto sender = std::make_unique<Sender>(folder / "vello.wait");
    sender->outbox().SetPort(o.port);
    if (!o.from.empty()) {
      in_addr from{};
      from.s_addr = htonl(ntohl(inet_addr(o.from.c_str())) + static_cast<ULONG>(i));
      sender->outbox().attempts().SetSourceAddress(from);
    }
    sender->outbox().StartWaiting();
    senders.push_back(std::move(sender));
  }
  // Each message sent while nothing listens, refused, and kept, one round
  // at a time, so that each sender keeps its messages in their order.
  for (int k = 0; k < o.each; ++k) {
    for (int i = 0; i < o.count; ++i) {
      char text[128];
      std::snprintf(text, sizeof text, "送信待ちのメッセージ [s%02d-m%d]\r\n起動したら読んでください\r\n", o.first + i + 1,
                    k + 1);
      OutgoingMessage message{.look = ComposerLook(), .text = text, .importance = "N"};
      SendRequest request;
      request.host = request.destination = "127.0.0.1";
      request.compose = [message] { return std::optional<OutgoingMessage>(message); };
      request.keep = request.compose;
      senders[static_cast<std::size_t>(i)]->outbox().Send(std::move(request));
    }
    auto allKept = [&] {
      return std::all_of(senders.begin(), senders.end(),
                         [&](auto& s) { return s->keptOrder.size() == static_cast<std::size_t>(k + 1); });
    };
    if (!PumpUntil(allKept, 30000)) {
      std::fprintf(stderr, "senders from %d: message %d was not kept\n", o.first + 1, k + 1);
      return 1;
    }
  }
  HANDLE change = FindFirstChangeNotificationW(o.dir.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
  if (change == INVALID_HANDLE_VALUE) return 1;
  for (int i = 0; i < o.count; ++i) Touch(SenderFolder(o.dir, o.first + i) / "kept");
  auto seenFileThere = [&] {
    if (WaitForSingleObject(change, 0) == WAIT_OBJECT_0) FindNextChangeNotification(change);
    return std::filesystem::exists(o.dir / kSeenFile);
  };
  if (!PumpUntil(seenFileThere, 120000, change)) return 1;
  const double seen = Now();
  FindCloseChangeNotification(change);
  busyMs = longestHandlerMs = 0;
  for (auto& sender : senders) {
    sender->measuring = true;
    sender->outbox().ReceiversSeen({"127.0.0.1"});
  }
  PumpUntil(
      [&] {
        return std::all_of(senders.begin(), senders.end(),
                           [](auto& s) { return s->deliveredOrder.size() == s->keptOrder.size(); });
      },
      o.timeoutS * 1000.0);
  const double last = Now();

  for (int i = 0; i < o.count; ++i) {
    Sender& sender = *senders[static_cast<std::size_t>(i)];
    const std::filesystem::path folder = SenderFolder(o.dir, o.first + i);
    std::ofstream out(folder / "result.part", std::ios::binary | std::ios::trunc);
    char line[256];
    // The boxes and the busy time are the process's, told once.
    if (i == 0)
      for (auto& [text, count] : boxes) out << "box " << count << " " << Printable(text) << "\n";
    std::snprintf(line, sizeof line, "seen %.3f\nbusy %.3f %.3f %.3f\n", seen, i == 0 ? busyMs : 0.0,
                  longestHandlerMs, last - seen);
    out << line;
    for (const std::string& id : sender.keptOrder) {
      const Tracked& t = sender.tracked.at(id);
      std::snprintf(line, sizeof line, "message %s %d %.3f %.3f %d %d %d\n", t.token.c_str(), t.kept, t.triedAt,
                    t.deliveredAt, t.failures, t.refused, t.mostRefusedInARow);
      out << line;
    }
    for (auto& [reason, count] : sender.failureReasons) out << "reason " << count << " " << Printable(reason) << "\n";
    const std::vector<std::string> keptFirst(sender.keptOrder.begin(),
                                             sender.keptOrder.begin() + static_cast<long>(sender.deliveredOrder.size()));
    out << "order " << (sender.deliveredOrder == keptFirst ? "kept" : "changed") << "\n";
    out.close();
    std::filesystem::rename(folder / "result.part", folder / "result.txt");
  }
  return 0;
}

// ---- The measuring process ---------------------------------------------------

HWND VisibleMainWindowOf(DWORD pid) {
  HWND h = nullptr;
  while ((h = FindWindowExW(nullptr, h, L"TMainForm", nullptr))) {
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == pid && IsWindowVisible(h)) return h;
  }
  return nullptr;
}

// The captions of the receiver's balloons (class "TForm"), as CP932 text.
std::vector<std::string> BalloonCaptions(DWORD pid) {
  std::vector<std::string> captions;
  HWND h = nullptr;
  while ((h = FindWindowExW(nullptr, h, L"TForm", nullptr))) {
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner != pid || !IsWindowVisible(h)) continue;
    wchar_t text[1024] = {};
    GetWindowTextW(h, text, 1024);
    captions.push_back(Narrow(text, 932));
  }
  return captions;
}

struct DeliverOptions {
  std::wstring exe;
  int port = 0;
  std::filesystem::path dir;
  int senders = 30;
  int each = 3;
  std::string first = "127.0.0.11";
  bool oneAddress = false;
  int processes = 0;  // 0: one per sender
  bool sendersStarted = false;  // started by the caller (in a Wine prefix of their own)
  double seenAfterMs = 0;
  double timeoutS = 60;
};

// One sender's result.txt, read back.
struct SenderResult {
  std::map<std::string, int> boxes;
  double seen = 0, busy = 0, longestHandler = 0, span = 0;
  std::vector<Tracked> messages;
  std::map<std::string, int> reasons;
  bool orderKept = false;
};

SenderResult ReadResult(const std::filesystem::path& file) {
  SenderResult r;
  std::istringstream in(ReadFileBytes(file));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string what;
    fields >> what;
    auto rest = [&] {
      std::string s;
      std::getline(fields, s);
      return s.empty() ? s : s.substr(1);
    };
    if (what == "box" || what == "reason") {
      int count = 0;
      fields >> count;
      (what == "box" ? r.boxes : r.reasons)[rest()] += count;
    } else if (what == "seen") {
      fields >> r.seen;
    } else if (what == "busy") {
      fields >> r.busy >> r.longestHandler >> r.span;
    } else if (what == "message") {
      Tracked t;
      fields >> t.token >> t.kept >> t.triedAt >> t.deliveredAt >> t.failures >> t.refused >> t.mostRefusedInARow;
      r.messages.push_back(t);
    } else if (what == "order") {
      r.orderKept = rest() == "kept";
    }
  }
  return r;
}

int Deliver(const DeliverOptions& o) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::vector<HANDLE> processes;
  const ULONG first = ntohl(inet_addr(o.first.c_str()));
  const double keepingStarted = Now();
  std::filesystem::remove(o.dir / kSeenFile);
  // The senders, spread evenly over the processes (unless the caller has
  // started them).
  const int groups = o.sendersStarted ? 0 : o.processes > 0 ? std::min(o.processes, o.senders) : o.senders;
  for (int g = 0, firstOfGroup = 0; g < groups; ++g) {
    const int count = o.senders / groups + (g < o.senders % groups ? 1 : 0);
    std::wstring cmd = L"\"" + std::wstring(self) + L"\" sender " +
                       std::to_wstring(firstOfGroup) + L" " + std::to_wstring(count) + L" " + std::to_wstring(o.port) +
                       L" \"" + o.dir.wstring() + L"\" --each " + std::to_wstring(o.each) + L" --timeout-s " +
                       std::to_wstring(static_cast<int>(o.timeoutS));
    if (!o.oneAddress) {
      in_addr from{};
      from.s_addr = htonl(first + static_cast<ULONG>(firstOfGroup));
      cmd += L" --from " + Wide(inet_ntoa(from));
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(self, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      std::printf("cannot start the senders from %d\n", firstOfGroup + 1);
      return 1;
    }
    CloseHandle(pi.hThread);
    processes.push_back(pi.hProcess);
    firstOfGroup += count;
  }
  // Looked at ten times a second: what this costs the Wine server comes
  // before the receiver starts.
  auto allHave = [&](const char* file) {
    for (int i = 0; i < o.senders; ++i)
      if (!std::filesystem::exists(SenderFolder(o.dir, i) / file)) return false;
    return true;
  };
  for (const double end = Now() + 120000; !allHave("kept"); Sleep(100)) {
    if (Now() > end) {
      std::printf("the senders did not all keep their messages\n");
      for (HANDLE p : processes) TerminateProcess(p, 1);
      return 1;
    }
  }
  const std::size_t total = static_cast<std::size_t>(o.senders) * static_cast<std::size_t>(o.each);
  int64_t soonest = INT64_MAX, lastKept = 0;
  std::size_t inFiles = 0;
  for (int i = 0; i < o.senders; ++i)
    for (const WaitingMessage& m : LoadWaitingFile(SenderFolder(o.dir, i) / "vello.wait")) {
      ++inFiles;
      soonest = std::min(soonest, m.nextAttemptAt);
      lastKept = std::max(lastKept, m.writtenAt);
    }
  std::printf("kept: %zu messages in %d senders' waiting files (%s; %s), %.1f s for the senders to start "
              "and keep them; the soonest try by the back-off %.1f s after the last was kept\n",
              inFiles, o.senders, o.oneAddress ? "all from 127.0.0.1" : ("from " + o.first + " on").c_str(),
              o.sendersStarted ? "started apart" : (std::to_string(processes.size()) + " processes").c_str(),
              (Now() - keepingStarted) / 1000.0, static_cast<double>(soonest - lastKept) / 1000.0);

  // The receiver starts.
  std::wstring dir = o.exe.substr(0, o.exe.find_last_of(L"\\/"));
  std::wstring cmd = L"\"" + o.exe + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const double started = Now();
  if (!CreateProcessW(o.exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi)) {
    std::printf("cannot start %ls\n", o.exe.c_str());
    return 1;
  }
  HWND main = nullptr;
  while (!(main = VisibleMainWindowOf(pi.dwProcessId)) && Now() - started < 30000) bench::SleepMicro(500);
  if (!main) {
    std::printf("the receiver's main window was not shown\n");
    TerminateProcess(pi.hProcess, 1);
    return 1;
  }
  const double shown = Now();
  bench::Pinger pinger({main});
  while (Now() - shown < o.seenAfterMs) Sleep(1);
  Touch(o.dir / kSeenFile);
  // Until every sender has told its result (its process may be another
  // Wine server's): a look every 100 ms.
  bool ended = false;
  for (const double end = Now() + o.timeoutS * 1000.0 + 30000; !(ended = allHave("result.txt")) && Now() < end;)
    Sleep(100);
  const double sendersEnded = Now();
  Sleep(2000);  // the receiver idle with its balloons: the machine's own pace, for comparison
  pinger.Stop();
  for (HANDLE p : processes)
    if (WaitForSingleObject(p, ended ? 10000 : 0) != WAIT_OBJECT_0) TerminateProcess(p, 1);

  // What the receiver shows, then its log once it has ended.
  std::vector<std::string> captions = BalloonCaptions(pi.dwProcessId);
  bench::AskToEnd(main);
  if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
    std::printf("the receiver did not end in 30 s; terminated\n");
    TerminateProcess(pi.hProcess, 1);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  const std::string log = ReadFileBytes(std::filesystem::path(dir) / "vello.log");

  std::vector<double> fromWindow, fromSeen, firstTries, waitedForTurn, deliveryTook;
  std::map<std::string, int> boxes, reasons;
  int failures = 0, refusedOnce = 0, mostRefusedInARow = 0, outOfOrder = 0, shownOnce = 0, loggedOnce = 0,
      deliveredUnseen = 0;
  std::size_t delivered = 0, balloonsOfThese = 0;
  double mostBusy = 0, longestHandler = 0;
  std::vector<std::string> notDelivered;
  for (const std::string& c : captions) balloonsOfThese += c.find("[s") != std::string::npos;
  for (int i = 0; i < o.senders; ++i) {
    SenderResult r = ReadResult(SenderFolder(o.dir, i) / "result.txt");
    for (auto& [text, count] : r.boxes) boxes[text] += count;
    for (auto& [text, count] : r.reasons) reasons[text] += count;
    if (!r.orderKept) ++outOfOrder;
    if (r.span > 0) mostBusy = std::max(mostBusy, r.busy / r.span);  // the process's busy time, with its first sender
    longestHandler = std::max(longestHandler, r.longestHandler);
    if (r.messages.size() != static_cast<std::size_t>(o.each))
      notDelivered.push_back("sender " + std::to_string(i + 1) + ": no result");
    for (const Tracked& t : r.messages) {
      failures += t.failures;
      refusedOnce += t.refused > 0;
      mostRefusedInARow = std::max(mostRefusedInARow, t.mostRefusedInARow);
      std::size_t onScreen = 0;
      for (const std::string& c : captions) onScreen += c.find(t.token) != std::string::npos;
      shownOnce += onScreen == 1;
      deliveredUnseen += t.deliveredAt >= 0 && onScreen == 0;
      loggedOnce += Occurrences(log, t.token) == 1;
      if (t.kept == 0 && t.triedAt >= 0) firstTries.push_back(t.triedAt - r.seen);
      if (t.deliveredAt < 0) {
        notDelivered.push_back(t.token);
        continue;
      }
      ++delivered;
      fromWindow.push_back(t.deliveredAt - shown);
      fromSeen.push_back(t.deliveredAt - r.seen);
      if (t.triedAt >= 0) {
        waitedForTurn.push_back(t.triedAt - r.seen);
        deliveryTook.push_back(t.deliveredAt - t.triedAt);
      }
    }
  }
  Stats w = Summarise(fromWindow), sn = Summarise(fromSeen), turn = Summarise(waitedForTurn),
        took = Summarise(deliveryTook), firstTry = Summarise(firstTries);
  std::printf("boxes in the senders:");
  for (auto& [text, count] : boxes) std::printf(" %d x \"%s\"", count, text.c_str());
  std::printf("\nreceiver:  window shown %.0f ms after its start; the senders told it is seen %.0f ms after the window\n",
              shown - started, o.seenAfterMs);
  std::printf("delivered: %zu of %zu, the last %.0f ms after the window\n", delivered, total, w.max);
  std::printf("from the window shown: median %.0f  p90 %.0f  max %.0f ms\n", w.median, w.p90, w.max);
  std::printf("from seen: median %.0f  p90 %.0f  max %.0f ms\n", sn.median, sn.p90, sn.max);
  std::printf("each sender's first try after seen: median %.0f  max %.0f ms (the spread: %lld ms); a message's first "
              "try after seen: median %.0f max %.0f ms, from there to delivered: median %.0f max %.0f ms\n",
              firstTry.median, firstTry.max, static_cast<long long>(RetryPolicy{}.seenAgainSpreadMs), turn.median,
              turn.max, took.median, took.max);
  std::printf("the senders' own work: the busiest process %.0f%% of its time from seen to its last delivery, the "
              "longest handler %.0f ms\n",
              mostBusy * 100, longestHandler);
  std::string perSecond;
  for (int second = 1; second <= 60; ++second) {
    std::size_t by = static_cast<std::size_t>(
        std::count_if(fromWindow.begin(), fromWindow.end(), [&](double x) { return x <= second * 1000.0; }));
    perSecond += " " + std::to_string(by);
    if (by == delivered) break;
  }
  std::printf("delivered by each second after the window:%s\n", perSecond.c_str());
  std::printf("failed attempts after seen: %d", failures);
  for (auto& [reason, count] : reasons) std::printf(", %d x \"%s\"", count, reason.c_str());
  std::printf("; messages refused at least once: %d; most refused in a row: %d\n", refusedOnce, mostRefusedInARow);
  std::printf("order: %d of %d senders' messages delivered out of the order kept\n", outOfOrder, o.senders);
  std::printf("receiver shows %zu balloons of these messages, each message on exactly one: %d of %zu; "
              "logged exactly once: %d of %zu\n",
              balloonsOfThese, shownOnce, total, loggedOnce, total);
  // A line the receiver did not take is reset; Wine may tell the sender
  // that reset as an orderly close, the sign of a line taken.
  std::printf("delivered by their senders' account but not shown by the receiver: %d\n", deliveredUnseen);
  for (const std::string& missing : notDelivered) std::printf("not delivered: %s\n", missing.c_str());
  // The answers while the senders worked, and after (the receiver idle):
  // what the machine's load alone costs the window.
  std::vector<double> working, idle;
  for (std::size_t k = 0; k < pinger.samples(0).size(); ++k)
    (pinger.sentAt(0)[k] < sendersEnded ? working : idle).push_back(pinger.samples(0)[k]);
  const Stats pings = Summarise(working), idlePings = Summarise(idle);
  auto over100 = [](const std::vector<double>& v) {
    return static_cast<int>(std::count_if(v.begin(), v.end(), [](double x) { return x > 100; }));
  };
  std::printf("ping while the senders worked: n=%zu median %.1f  p99 %.1f  max %.1f ms, over 100 ms: %d; "
              "the receiver idle afterwards: n=%zu median %.1f  max %.1f ms, over 100 ms: %d\n",
              working.size(), pings.median, pings.p99, pings.max, over100(working), idle.size(), idlePings.median,
              idlePings.max, over100(idle));
  const bool met = delivered == total && w.max <= 10000 && mostRefusedInARow < 2 && pings.max <= 100 &&
                   shownOnce == static_cast<int>(total) && loggedOnce == static_cast<int>(total);
  std::printf("goal (all within 10 s of the window, none refused twice in a row, each shown and logged once, every "
              "ping answered within 100 ms): %s\n",
              met ? "met" : "NOT met");
  return met ? 0 : 1;
}

int WriteWaitingFile(const std::filesystem::path& path, int n, int receivers, int64_t dueInMs) {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER ticks{{ft.dwLowDateTime, ft.dwHighDateTime}};
  const int64_t now = static_cast<int64_t>((ticks.QuadPart - 116444736000000000ull) / 10000ull);
  std::vector<WaitingMessage> messages;
  for (int i = 0; i < n; ++i) {
    const int r = i % receivers;
    WaitingMessage m;
    m.writtenAt = now - static_cast<int64_t>(n - i) * 60'000;
    m.id = NewWaitingId(m.writtenAt, 0x9e3779b97f4a7c15ull * static_cast<uint64_t>(i + 1));
    m.host = "198.18." + std::to_string(r / 254) + "." + std::to_string(r % 254 + 1);
    m.destination = m.host;
    m.look = ComposerLook();
    char text[256];
    std::snprintf(text, sizeof text,
                  "送信待ちのメッセージ %d 番目\r\n明日の会議は十時からです。資料は共有フォルダーに置きました。\r\n"
                  "よろしくお願いします。\r\n",
                  i + 1);
    m.text = text;
    m.importance = i % 7 == 0 ? "P" : "N";
    m.expiresAt = m.writtenAt + RetryPolicy{}.lifetimeMs;
    m.attempts = 1 + static_cast<uint32_t>(i % 5);
    m.failuresSinceSeen = 3;
    m.nextAttemptAt = now + dueInMs;
    m.lastReason = "Vello が起動していません";
    messages.push_back(std::move(m));
  }
  const std::string bytes = EncodeWaitingFile(messages);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::printf("cannot write %s\n", path.string().c_str());
    return 1;
  }
  std::printf("waiting file: %d messages for %d receivers, %zu bytes, due in %lld ms\n", n, receivers, bytes.size(),
              static_cast<long long>(dueInMs));
  return 0;
}

// What the outbox pays for the file at each step: reading it (start-up),
// a change under its lock that writes nothing, and one that writes it back
// (every try that fails, every claim and delivery rewrites the whole file).
int TimeWaitingFile(const std::filesystem::path& path, int rounds) {
  std::vector<double> load, look, rewrite;
  std::size_t count = 0;
  for (int i = 0; i < rounds; ++i) {
    double t0 = Now();
    count = LoadWaitingFile(path).size();
    load.push_back(Now() - t0);
    t0 = Now();
    UpdateWaitingFile(path, [](std::vector<WaitingMessage>&) { return false; });
    look.push_back(Now() - t0);
    t0 = Now();
    UpdateWaitingFile(path, [](std::vector<WaitingMessage>& messages) {
      ++messages.front().attempts;  // a try of the first message failed
      return true;
    });
    rewrite.push_back(Now() - t0);
  }
  Stats l = Summarise(load), k = Summarise(look), w = Summarise(rewrite);
  std::printf("waiting file of %zu messages, %d rounds: read median %.1f max %.1f ms; change that writes nothing "
              "median %.1f max %.1f ms; change written back median %.1f max %.1f ms\n",
              count, rounds, l.median, l.max, k.median, k.max, w.median, w.max);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  EnsureWinsock();
  setvbuf(stdout, nullptr, _IONBF, 0);
  std::vector<std::string> args;
  DeliverOptions o;
  SenderOptions s;
  int64_t dueInMs = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool more = i + 1 < argc;
    if (a == "--senders" && more) o.senders = std::atoi(argv[++i]);
    else if (a == "--each" && more) o.each = s.each = std::atoi(argv[++i]);
    else if (a == "--first" && more) o.first = argv[++i];
    else if (a == "--from" && more) s.from = argv[++i];
    else if (a == "--one-address") o.oneAddress = true;
    else if (a == "--processes" && more) o.processes = std::atoi(argv[++i]);
    else if (a == "--senders-started") o.sendersStarted = true;
    else if (a == "--seen-after-ms" && more) o.seenAfterMs = std::atof(argv[++i]);
    else if (a == "--timeout-s" && more) o.timeoutS = s.timeoutS = std::atof(argv[++i]);
    else if (a == "--due-in-ms" && more) dueInMs = std::atoll(argv[++i]);
    else args.push_back(a);
  }
  if (args.size() == 4 && args[0] == "deliver") {
    o.exe = Wide(args[1]);
    o.port = std::atoi(args[2].c_str());
    o.dir = Wide(args[3]);
    return Deliver(o);
  }
  if (args.size() == 5 && args[0] == "sender") {
    s.first = std::atoi(args[1].c_str());
    s.count = std::atoi(args[2].c_str());
    s.port = std::atoi(args[3].c_str());
    s.dir = Wide(args[4]);
    return RunSenders(s);
  }
  if (args.size() == 3 && args[0] == "time") return TimeWaitingFile(Wide(args[1]), std::atoi(args[2].c_str()));
  if (args.size() == 4 && args[0] == "file")
    return WriteWaitingFile(Wide(args[1]), std::atoi(args[2].c_str()), std::atoi(args[3].c_str()), dueInMs);
  std::fprintf(stderr,
               "usage: waiting_bench deliver EXE PORT DIR [--senders N] [--each K] [--first IP] [--one-address]\n"
               "                     [--processes P | --senders-started] [--seen-after-ms D] [--timeout-s T]\n"
               "       waiting_bench sender FIRST COUNT PORT DIR [--from IP] [--each K] [--timeout-s T]\n"
               "       waiting_bench file PATH N RECEIVERS [--due-in-ms D]\n"
               "       waiting_bench time PATH ROUNDS\n");
  return 2;
}
