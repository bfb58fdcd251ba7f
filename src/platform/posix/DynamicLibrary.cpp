// Run-time loaded libraries through dlopen.
#include <dlfcn.h>

#include "platform/DynamicLibrary.h"

namespace quorvel::platform {

std::string SharedLibraryFileName(std::string_view windowsName) {
  std::string name(windowsName);
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (name.ends_with(".dll")) name.resize(name.size() - 4);
  return "lib" + name + ".so";
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::string& path) {
  if (path.empty()) return nullptr;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    // glibc keeps the failure's message for the thread until it has been
    // read and asked for again; a detached thread may end after the process
    // has, leaving it allocated. Read it and ask again to free it now.
    ::dlerror();
    ::dlerror();
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() { ::dlclose(handle_); }

void* DynamicLibrary::Symbol(const std::string& name) const { return ::dlsym(handle_, name.c_str()); }

}  // namespace quorvel::platform
