#include "platform/shell_link.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>

#include "common/vello_error.h"
#include "platform/com_apartment.h"

namespace vello {

namespace {
// Releases a COM interface pointer at scope exit.
template <typename T>
struct ComPtr {
  T* p = nullptr;
  ~ComPtr() {
    if (p) p->Release();
  }
  T* operator->() const { return p; }
};

[[noreturn]] void ThrowComError(const char* what, HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(hr));
  throw VelloError(std::string(what) + " (" + code + ")");
}
}  // namespace

void SaveShellLink(const std::wstring& linkPath, const ShellLinkFields& fields) {
  UseComOnThisThread();
  ComPtr<IShellLinkW> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link.p));
  if (FAILED(hr)) ThrowComError("ショートカットを作成できません", hr);
  link->SetPath(fields.target.c_str());
  link->SetWorkingDirectory(fields.workingDirectory.c_str());
  link->SetDescription(fields.description.c_str());
  ComPtr<IPersistFile> file;
  hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p));
  if (FAILED(hr)) ThrowComError("ショートカットを保存できません", hr);
  file->Save(linkPath.c_str(), TRUE);
}

bool LoadShellLink(const std::wstring& linkPath, ShellLinkFields& fields) {
  UseComOnThisThread();
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link.p))))
    return false;
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p)))) return false;
  if (FAILED(file->Load(linkPath.c_str(), STGM_READ))) return false;
  wchar_t buffer[32768];
  // The target as the system resolves it: the item list, which names every
  // folder in UTF-16. (The link's plain path may be held in the ANSI code
  // page; Wine reads it back from there, losing what that page lacks.)
  buffer[0] = L'\0';
  PIDLIST_ABSOLUTE items = nullptr;
  if (link->GetIDList(&items) == S_OK && items) {
    if (!SHGetPathFromIDListEx(items, buffer, 32768, GPFIDL_DEFAULT)) buffer[0] = L'\0';
    CoTaskMemFree(items);
  }
  if (buffer[0] == L'\0' && link->GetPath(buffer, 32768, nullptr, SLGP_RAWPATH) != S_OK) buffer[0] = L'\0';
  fields.target = buffer;
  if (FAILED(link->GetWorkingDirectory(buffer, 32768))) buffer[0] = L'\0';
  fields.workingDirectory = buffer;
  if (FAILED(link->GetDescription(buffer, 32768))) buffer[0] = L'\0';
  fields.description = buffer;
  return true;
}

}  // namespace vello
