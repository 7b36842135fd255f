// vello-send: send one message line to a Vello instance from a shell.
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "vello_send/vello_send.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#include <sstream>
#include <string_view>

#include "vello_send/text_convert.h"

namespace {

std::string ToUtf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring FromCodePage(UINT codePage, const std::string& bytes, DWORD flags) {
  if (bytes.empty()) return {};
  int n = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) throw std::runtime_error("it is not text in code page " + std::to_string(codePage));
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  return out;
}

// Every byte of standard input. A stream reader would take a failed read
// for the end of the input and send what it had as the whole message.
std::string ReadAllInput() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (in == nullptr || in == INVALID_HANDLE_VALUE) throw std::runtime_error("there is none");
  std::string bytes;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in, buffer, sizeof buffer, &got, nullptr)) {
      DWORD error = GetLastError();
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) break;  // the writer has finished
      throw std::runtime_error("system error " + std::to_string(error));
    }
    if (got == 0) break;
    bytes.append(buffer, got);
  }
  return bytes;
}

// Under Wine the program runs among Linux programs: this is Wine's own call.
using WineUnixToDos = WCHAR* (*)(const char* unixPath);
WineUnixToDos WineUnixToDosCall() {
  return reinterpret_cast<WineUnixToDos>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
}

// Wine hands a program its command line converted from the Unix locale's
// character set. In a locale without one (LANG=C, as under cron, or a
// locale that is not installed) every byte above 0x7F loses its top bit on
// the way, so "こんにちは" arrives as other, ASCII characters, control
// characters among them, and nothing here could tell. Wine converts a file
// name the same way: one with a known character shows whether text survives.
// Returns why the command line's text cannot be trusted, or "".
std::string CommandLineTextLoss() {
  WineUnixToDos unixToDos = WineUnixToDosCall();
  if (!unixToDos) return {};  // Windows: the command line is the system's own UTF-16
  WCHAR* dos = unixToDos("/\xE3\x81\x93");  // "/こ" in UTF-8
  const bool kept = dos && std::wstring_view(dos).ends_with(L"\u3053");
  if (dos) HeapFree(GetProcessHeap(), 0, dos);
  if (kept) return {};
  return "Wine reads this command line in a locale that loses every character outside ASCII "
         "(LANG is not a UTF-8 locale, or that locale is not installed); set LANG to one such as C.UTF-8, "
         "or give the text on standard input";
}

// Standard input holds bytes in the console's input code page. Under Wine it
// comes from the Linux side, which writes UTF-8: bytes that are UTF-8 are
// taken as such (what is not goes the Windows way, through the code page).
std::string ReadInput() {
  std::string bytes = ReadAllInput();
  if (WineUnixToDosCall()) {
    try {
      vello::send::CheckUtf8(bytes);
      return bytes;
    } catch (const vello::send::TextError&) {
    }
  }
  UINT codePage = GetConsoleCP();
  if (codePage == 0) codePage = GetACP();
  if (codePage == CP_UTF8) return bytes;
  return ToUtf8(FromCodePage(codePage, bytes, MB_ERR_INVALID_CHARS));
}

// A console gets the text as UTF-16; a file or pipe gets the console's
// output code page.
void WriteText(DWORD which, const std::string& utf8) {
  if (utf8.empty()) return;
  HANDLE h = GetStdHandle(which);
  std::wstring wide = FromCodePage(CP_UTF8, utf8, 0);
  DWORD mode, written;
  if (GetConsoleMode(h, &mode)) {
    WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  UINT codePage = GetConsoleOutputCP();
  if (codePage == 0) codePage = GetACP();
  // No best fit: a character the code page lacks shows as "?", not as a
  // look-alike that would misreport what was refused.
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int n = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), bytes.data(), n, nullptr, nullptr);
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(ToUtf8(argv[i]));
  std::ostringstream out, err;
  int status = vello::send::RunVelloSend(args, ReadInput, out, err, CommandLineTextLoss());
  WriteText(STD_OUTPUT_HANDLE, out.str());
  WriteText(STD_ERROR_HANDLE, err.str());
  return status;
}

#else

#include <unistd.h>

#include <cerrno>
#include <cstring>

// Every byte of standard input. A stream reader would take a failed read
// for the end of the input and send what it had as the whole message.
std::string ReadInput() {
  std::string bytes;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error(std::strerror(errno));
    if (n == 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return vello::send::RunVelloSend(args, ReadInput, std::cout, std::cerr);
}

#endif
