// Finding copies on the network, measured with real owners (TDiscovery) in
// one process, all on one interface (the loopback one by default, inside a
// network namespace of the benchmark's own: see run_discovery_bench.sh).
//
//   discovery_bench listed N ROUNDS [--interface IP]
//     N-1 copies settle; then a newcomer starts, ROUNDS times: the time
//     until every other copy lists it, and, after its orderly exit, until
//     every other copy has dropped it.
//   discovery_bench idle N WARMUP_S MEASURE_S [--interface IP]
//     N copies start together; the packets each sends in its first minute,
//     and per minute over MEASURE_S seconds after WARMUP_S seconds.
//
// Times in milliseconds, from QueryPerformanceCounter; a copy "lists" the
// newcomer when its change callback shows it.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "discovery/discovery.h"
#include "platform/socket_error.h"

using namespace vello;

namespace {

double NowMs() {
  static const double perMs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / perMs;
}

bool PumpUntil(const std::function<bool()>& done, double timeoutMs) {
  const double end = NowMs() + timeoutMs;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (done()) return true;
    if (NowMs() > end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
}

struct Copy {
  std::string name;
  std::unique_ptr<TDiscovery> discovery;
  double sawNewcomer = -1, lostNewcomer = -1;
  bool Lists(const std::string& other) const {
    for (const FoundCopy& c : discovery->Copies())
      if (c.computerName == other) return true;
    return false;
  }
};

DiscoveryOptions Options(const char* interfaceIp) {
  DiscoveryOptions o;
  in_addr a{};
  a.s_addr = inet_addr(interfaceIp);
  o.interfaces = {{a, (ntohl(a.s_addr) >> 24) == 127 ? 8 : 24}};
  return o;
}

std::vector<std::unique_ptr<Copy>> MakeCopies(int n, const char* interfaceIp, const std::string& newcomer) {
  std::vector<std::unique_ptr<Copy>> copies;
  for (int i = 0; i < n; ++i) {
    auto c = std::make_unique<Copy>();
    c->name = "bench-" + std::to_string(i + 1);
    Copy* raw = c.get();
    c->discovery = std::make_unique<TDiscovery>(
        [raw, newcomer] {
          const bool lists = raw->Lists(newcomer);
          if (lists && raw->sawNewcomer < 0) raw->sawNewcomer = NowMs();
          if (!lists && raw->sawNewcomer >= 0 && raw->lostNewcomer < 0) raw->lostNewcomer = NowMs();
        },
        Options(interfaceIp));
    copies.push_back(std::move(c));
  }
  return copies;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : (v[(v.size() - 1) / 2] + v[v.size() / 2]) / 2;
}
double Max(const std::vector<double>& v) { return v.empty() ? -1 : *std::max_element(v.begin(), v.end()); }

int Listed(int n, int rounds, const char* iface) {
  const std::string newcomer = "newcomer";
  auto others = MakeCopies(n - 1, iface, newcomer);
  for (std::size_t i = 0; i < others.size(); ++i) others[i]->discovery->Start(others[i]->name, 30000 + static_cast<int>(i));
  const bool settled = PumpUntil(
      [&] {
        return std::all_of(others.begin(), others.end(), [&](auto& c) {
          return c->discovery->Copies().size() >= others.size() - 1;  // extra announcers may be listed too
        });
      },
      30000);
  std::printf("%d copies settled: %s\n", n - 1, settled ? "yes" : "NO");
  PumpUntil([] { return false; }, 3000);

  TDiscovery joining([] {}, Options(iface));
  std::vector<double> listedByAll, droppedByAll, listedEach;
  for (int r = 0; r < rounds; ++r) {
    for (auto& c : others) c->sawNewcomer = c->lostNewcomer = -1;
    const double t0 = NowMs();
    joining.Start(newcomer, 29999);
    PumpUntil([&] { return std::all_of(others.begin(), others.end(), [](auto& c) { return c->sawNewcomer >= 0; }); },
              30000);
    std::vector<double> each;
    for (auto& c : others) each.push_back(c->sawNewcomer < 0 ? 1e9 : c->sawNewcomer - t0);
    listedByAll.push_back(Max(each));
    listedEach.insert(listedEach.end(), each.begin(), each.end());
    PumpUntil([] { return false; }, 2000);
    const double t1 = NowMs();
    joining.Stop();
    PumpUntil([&] { return std::all_of(others.begin(), others.end(), [](auto& c) { return c->lostNewcomer >= 0; }); },
              30000);
    std::vector<double> gone;
    for (auto& c : others) gone.push_back(c->lostNewcomer < 0 ? 1e9 : c->lostNewcomer - t1);
    droppedByAll.push_back(Max(gone));
    std::printf("round %d: listed by all after %.0f ms (median copy %.0f ms), dropped by all %.0f ms after its exit\n",
                r + 1, listedByAll.back(), Median(each), droppedByAll.back());
    std::fflush(stdout);
    PumpUntil([] { return false; }, 2000);
  }
  std::printf("SUMMARY listed n=%d rounds=%d: listed by all median %.0f ms max %.0f ms (per copy median %.0f ms); "
              "dropped by all median %.0f ms max %.0f ms\n",
              n, rounds, Median(listedByAll), Max(listedByAll), Median(listedEach), Median(droppedByAll),
              Max(droppedByAll));
  return 0;
}

int Idle(int n, int warmupS, int measureS, const char* iface) {
  auto copies = MakeCopies(n, iface, "-");
  const double t0 = NowMs();
  for (std::size_t i = 0; i < copies.size(); ++i) copies[i]->discovery->Start(copies[i]->name, 30000 + static_cast<int>(i));
  auto sent = [&] {
    std::uint64_t s = 0;
    for (auto& c : copies) s += c->discovery->counters().sent;
    return s;
  };
  auto received = [&] {
    std::uint64_t s = 0;
    for (auto& c : copies) s += c->discovery->counters().received;
    return s;
  };
  const bool found = PumpUntil(
      [&] {
        return std::all_of(copies.begin(), copies.end(),
                           [&](auto& c) { return c->discovery->Copies().size() >= copies.size() - 1; });
      },
      30000);
  std::printf("%d copies all listed each other after %.0f ms: %s\n", n, NowMs() - t0, found ? "yes" : "NO");
  PumpUntil([] { return false; }, 60000 - (NowMs() - t0));
  const std::uint64_t firstMinute = sent();
  PumpUntil([] { return false; }, warmupS * 1000.0 - (NowMs() - t0));
  const std::uint64_t s0 = sent(), r0 = received();
  PumpUntil([] { return false; }, measureS * 1000.0);
  const std::uint64_t s1 = sent(), r1 = received();
  const double minutes = measureS / 60.0;
  std::size_t fewest = SIZE_MAX, most = 0;
  for (auto& c : copies) {
    fewest = std::min(fewest, c->discovery->Copies().size());
    most = std::max(most, c->discovery->Copies().size());
  }
  std::printf("SUMMARY idle n=%d: first minute %.1f packets per copy; after %d s, over %d s: %.2f packets sent per "
              "copy per minute, %.1f received per copy per minute; each copy lists %zu to %zu others at the end\n",
              n, static_cast<double>(firstMinute) / n, warmupS, measureS, static_cast<double>(s1 - s0) / n / minutes,
              static_cast<double>(r1 - r0) / n / minutes, fewest, most);
  for (auto& c : copies) c->discovery->Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  EnsureWinsock();
  const char* iface = "127.0.0.1";
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--interface") == 0 && i + 1 < argc) iface = argv[++i];
    else args.emplace_back(argv[i]);
  }
  if (args.size() == 3 && args[0] == "listed") return Listed(std::atoi(args[1].c_str()), std::atoi(args[2].c_str()), iface);
  if (args.size() == 4 && args[0] == "idle")
    return Idle(std::atoi(args[1].c_str()), std::atoi(args[2].c_str()), std::atoi(args[3].c_str()), iface);
  std::fprintf(stderr, "usage: discovery_bench listed N ROUNDS | idle N WARMUP_S MEASURE_S [--interface IP]\n");
  return 2;
}
