// Libraries loaded at run time and the addresses of their functions.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace quorvel::platform {

// The file name under which this system keeps the library that Windows
// calls `windowsName` ("MAPI32.DLL" is "libmapi32.so" on POSIX).
std::string SharedLibraryFileName(std::string_view windowsName);

class DynamicLibrary {
 public:
  // Empty when the library cannot be loaded.
  static std::unique_ptr<DynamicLibrary> Load(const std::string& path);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Null when the library has no such symbol.
  void* Symbol(const std::string& name) const;

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace quorvel::platform
