// A stand-in library of tests/support/standins, loaded by the test itself so
// that it can read the calls the library under test made and script their
// results (both loads share one instance of the stand-in).
#pragma once

#include <memory>
#include <string>

#include "platform/DynamicLibrary.h"

namespace quorvel::testing {

class StandInLibrary {
 public:
  // `variant` is e.g. "mapi32-complete"; `file` the library's file name.
  StandInLibrary(const std::string& variant, const std::string& file)
      : directory_(std::string(QUORVEL_STANDIN_DIR) + "/" + variant + "/"),
        library_(platform::DynamicLibrary::Load(directory_ + file)) {
    if (library_) Reset();
  }
  bool loaded() const { return library_ != nullptr; }
  const std::string& directory() const { return directory_; }

  std::string Log() const {
    return reinterpret_cast<const char* (*)()>(library_->Symbol("StandInLog"))();
  }
  void Reset() const { reinterpret_cast<void (*)()>(library_->Symbol("StandInReset"))(); }
  // The n-th call of `name` (every call for n = 0) answers `result`.
  void Script(const std::string& name, int n, int result) const {
    reinterpret_cast<void (*)(const char*, int, int)>(library_->Symbol("StandInScript"))(
        name.c_str(), n, result);
  }

 private:
  std::string directory_;
  std::unique_ptr<platform::DynamicLibrary> library_;
};

}  // namespace quorvel::testing
