// Reading a big fixed phrase file for the Insert menu and the phrase page:
// 2,000 categories of 50 phrases (about 1.8 MiB). PhraseStore::Load reads
// and parses the file once; the category-by-category reading (Categories(),
// then Phrases() for each) reads it again for every category and is timed
// once for comparison. Built natively and for Windows (run under Wine).
//
//   phrase_load_bench [DIR] [RUNS] [--one-by-one]
//
// DIR (default: the system's temporary folder) receives the file, removed at
// the end. Times are in milliseconds.
#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings/phrase_store.h"

namespace {

// A monotonic clock in milliseconds (<chrono> does not build with the CP932
// execution character set).
double NowMillis() {
#ifdef _WIN32
  static const double perMs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1e3;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / perMs;
#else
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
#endif
}

std::string Number(int n, int digits) {
  std::string s = std::to_string(n);
  return std::string(static_cast<std::size_t>(std::max(0, digits - static_cast<int>(s.size()))), '0') + s;
}

// 2,000 categories, 50 phrases each, Japanese text as users write it.
std::string BigPhraseFile() {
  std::string bytes;
  for (int c = 0; c < 2000; ++c) {
    bytes += "[分類" + Number(c, 4) + "]\r\n";
    for (int p = 0; p < 50; ++p) bytes += "定型文の" + Number(c, 4) + "番" + Number(p, 2) + "=\r\n";
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
  int runs = argc > 2 ? std::atoi(argv[2]) : 20;
  bool oneByOne = argc > 3 && std::strcmp(argv[3], "--one-by-one") == 0;
  fs::path file = dir / "phrase_load_benchFixed.dat";
  {
    std::string bytes = BigPhraseFile();
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", file.string().c_str());
      return 1;
    }
  }
  std::printf("phrase file: %.2f MiB, 2000 categories of 50 phrases\n",
              static_cast<double>(fs::file_size(file)) / (1024.0 * 1024.0));

  // The path is ASCII, so its bytes are the same in CP932.
  vello::PhraseStore store(file);
  std::vector<double> times;
  std::size_t categories = 0, phrases = 0;
  for (int i = 0; i < runs; ++i) {
    double start = NowMillis();
    std::vector<vello::PhraseCategory> all = store.Load();
    times.push_back(NowMillis() - start);
    categories = all.size();
    phrases = 0;
    for (const auto& c : all) phrases += c.phrases.size();
  }
  std::sort(times.begin(), times.end());
  std::printf("Load(): %zu categories listed (the rest lie beyond the 16 KiB list), %zu phrases\n", categories,
              phrases);
  std::printf("Load() n=%d  min %.1f  median %.1f  max %.1f ms\n", runs, times.front(), times[times.size() / 2],
              times.back());

  if (oneByOne) {
    double start = NowMillis();
    std::size_t n = 0;
    for (const std::string& category : store.Categories()) n += store.Phrases(category).size();
    std::printf("one by one (Categories, then Phrases for each): %.1f ms, %zu phrases\n", NowMillis() - start, n);
  }
  fs::remove(file);
  return 0;
}
