#pragma once
// Shared by the fuzz targets: a check that stops the run with a message, in
// the libFuzzer builds and in the corpus replay alike, and the per-process
// scratch file for loaders that read from disk.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#define FUZZ_CHECK(cond)                                                                 \
  do {                                                                                   \
    if (!(cond)) {                                                                       \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);      \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

namespace vello::fuzz {

// One fixed file per process in the temporary folder, removed at exit (with
// the ".tmp" a replacing write may leave). The name is ASCII, so it reads
// the same as code page 932 text.
inline const std::string& ScratchPath(const char* stem) {
  static const std::string path = [stem] {
    std::string p = (std::filesystem::temp_directory_path() /
                     (std::string("vello-fuzz-") + stem + "-" + std::to_string(::getpid())))
                        .string();
    static std::string forExit;
    forExit = p;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove(forExit, ignored);
      std::filesystem::remove(forExit + ".tmp", ignored);
    });
    return p;
  }();
  return path;
}

inline void WriteScratch(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  FUZZ_CHECK(static_cast<bool>(out.flush()));
}

}  // namespace vello::fuzz
