// Libraries loaded at run time and the addresses of their functions.
#pragma once

#include <memory>
#include <string>

namespace quorvel::platform {

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
