// Run-time loaded libraries through LoadLibraryA and GetProcAddress.
#include <windows.h>

#include "platform/DynamicLibrary.h"

namespace quorvel::platform {

std::string SharedLibraryFileName(std::string_view windowsName) { return std::string(windowsName); }

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::string& path) {
  if (path.empty()) return nullptr;
  // No "cannot find the DLL" dialog: a missing library is an ordinary answer.
  const UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryA(path.c_str());
  ::SetErrorMode(previous);
  if (module == nullptr) return nullptr;
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(module));
}

DynamicLibrary::~DynamicLibrary() { ::FreeLibrary(static_cast<HMODULE>(handle_)); }

void* DynamicLibrary::Symbol(const std::string& name) const {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name.c_str()));
}

}  // namespace quorvel::platform
