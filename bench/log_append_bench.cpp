// The cost of one log append (AppendLogEntry) to an empty log and to a
// 100 MB log, measured interleaved in one run so that the machine's load
// weighs on both alike. Built natively and for Windows (run under Wine).
//
//   log_append_bench [DIR] [APPENDS] [BIG_MB]
//
// DIR (default: the system's temporary folder) receives two files, removed
// at the end. Times are in microseconds.
#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "messaging/log_entry.h"

namespace {

// A monotonic clock in microseconds (<chrono> does not build with the
// CP932 execution character set on MinGW).
double NowMicros() {
#ifdef _WIN32
  static const double perUs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1e6;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / perUs;
#else
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
#endif
}

struct Stats { double median, p90, p99, max; };
Stats Summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  auto at = [&](double q) { return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5))]; };
  return {at(0.5), at(0.9), at(0.99), v.back()};
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
  int appends = argc > 2 ? std::atoi(argv[2]) : 2000;
  long long bigBytes = (argc > 3 ? std::atoll(argv[3]) : 100) * 1000 * 1000;
  fs::path small = dir / "log_append_bench_empty.log";
  fs::path big = dir / "log_append_bench_100mb.log";

  std::string entry = vello::ReceivedLogEntry("2026/12/08 9:04:02", "localhost",
                                              "benchmark message, one line of ordinary length\r\n");
  {
    std::ofstream out(big, std::ios::binary | std::ios::trunc);
    std::string block;
    while (block.size() < (1 << 20)) block += entry;
    for (long long written = 0; written < bigBytes; written += static_cast<long long>(block.size()))
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", big.string().c_str());
      return 1;
    }
  }
  std::printf("big log: %.1f MB\n", static_cast<double>(fs::file_size(big)) / 1e6);

  std::vector<double> emptyTimes, bigTimes;
  for (int i = 0; i < appends; ++i) {
    // The empty log is emptied (not timed) before each of its appends.
    { std::ofstream truncate(small, std::ios::binary | std::ios::trunc); }
    for (int side = 0; side < 2; ++side) {
      // Alternate the order, so that neither always runs second.
      bool toBig = (side == 0) == (i % 2 == 0);
      double start = NowMicros();
      vello::AppendLogEntry(toBig ? big : small, entry);
      double us = NowMicros() - start;
      (toBig ? bigTimes : emptyTimes).push_back(us);
    }
  }
  if (fs::file_size(small) != entry.size()) {
    std::fprintf(stderr, "the empty log holds %llu bytes, expected %zu\n",
                 static_cast<unsigned long long>(fs::file_size(small)), entry.size());
    return 1;
  }
  Stats e = Summarise(emptyTimes), b = Summarise(bigTimes);
  std::printf("append empty  n=%d median %8.2f  p90 %8.2f  p99 %8.2f  max %9.2f us\n", appends, e.median, e.p90,
              e.p99, e.max);
  std::printf("append 100MB  n=%d median %8.2f  p90 %8.2f  p99 %8.2f  max %9.2f us\n", appends, b.median, b.p90,
              b.p99, b.max);
  std::printf("ratio append 100MB/empty: median %.2f  p90 %.2f\n", b.median / e.median, b.p90 / e.p90);
  fs::remove(small);
  fs::remove(big);
  return 0;
}
