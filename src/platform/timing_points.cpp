#include "platform/timing_points.h"

#if VELLO_TIMING
// The precise system clock is Windows 8's; Wine has it too.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#include <windows.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vello::timing {

namespace {

struct Totals {
  long long count = 0;
  double sum = 0, max = 0;
};

struct Record {
  std::mutex mutex;
  std::vector<std::pair<std::string, double>> marks;
  std::map<std::string, Totals> steps;
};

Record& record() {
  static Record* r = new Record;  // never destroyed: the process may end without its destructors
  return *r;
}

// The process's creation as a precise system time, in 100 ns units.
long long CreatedAt() {
  static const long long created = [] {
    FILETIME creation, exit, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user);
    return static_cast<long long>((static_cast<unsigned long long>(creation.dwHighDateTime) << 32) |
                                  creation.dwLowDateTime);
  }();
  return created;
}

std::wstring FilePath() {
  wchar_t buffer[32768];
  DWORD n = GetEnvironmentVariableW(L"VELLO_TIMING_FILE", buffer, 32768);
  if (n > 0 && n < 32768) return buffer;
  n = GetModuleFileNameW(nullptr, buffer, 32768);
  return std::wstring(buffer, n) + L".timing.txt";
}

}  // namespace

double Now() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  long long t = static_cast<long long>((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  return static_cast<double>(t - CreatedAt()) / 10000.0;
}

void Mark(const char* name) {
  double t = Now();
  std::lock_guard lock(record().mutex);
  record().marks.emplace_back(name, t);
}

void Add(const char* step, double ms) {
  std::lock_guard lock(record().mutex);
  Totals& t = record().steps[step];
  ++t.count;
  t.sum += ms;
  if (ms > t.max) t.max = ms;
}

Stopwatch::Stopwatch(const char* span) : Stopwatch(span, Now()) {}
Stopwatch::Stopwatch(const char* span, double startedAt) : span_(span), start_(startedAt), last_(startedAt) {}

Stopwatch::~Stopwatch() { Add((std::string(span_) + ".total").c_str(), Now() - start_); }

void Stopwatch::Step(const char* step) {
  double t = Now();
  Add((std::string(span_) + "." + step).c_str(), t - last_);
  last_ = t;
}

void Write() {
  std::lock_guard lock(record().mutex);
  FILE* f = _wfopen(FilePath().c_str(), L"ab");
  if (!f) return;
  std::fprintf(f, "run %lu\n", GetCurrentProcessId());
  for (const auto& [name, t] : record().marks) std::fprintf(f, "mark  %-34s %9.3f\n", name.c_str(), t);
  for (const auto& [name, t] : record().steps)
    std::fprintf(f, "step  %-34s %7lld %9.3f %9.3f\n", name.c_str(), t.count, t.sum / static_cast<double>(t.count),
                 t.max);
  std::fclose(f);
  record().marks.clear();
  record().steps.clear();
}

}  // namespace vello::timing
#endif
