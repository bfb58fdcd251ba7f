// A directory is made before its lock file, and only a process that holds
// the lock file uses or removes the directory: a process sweeping ended
// owners' directories that takes a lock file before its maker could (the
// maker then tries the next number) removes a directory nobody uses, and a
// directory without a lock file is never removed.
#include "frame/WorkingDirectory.h"

#include <map>
#include <new>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/Environment.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

constexpr const char* kPrefix = "quorvel-run-";
constexpr const char* kOwnerFile = ".owner";
constexpr uint32_t kNumbersTried = 64;

struct Held {
  std::string directory;  // with the separator
  platform::File owner;   // the lock, held while the directory is in use
};

struct Registry {
  std::mutex mutex;
  uint32_t process = 0;  // the process whose directories these are
  std::map<std::string, Held> byTemporaryDirectory;
};

// Built in place and never destroyed: the library's unload releases the
// directories itself, and nothing stays on the heap when a host unloads the
// library and loads it again.
Registry& Directories() {
  alignas(Registry) static unsigned char storage[sizeof(Registry)];
  static Registry* const registry = new (storage) Registry;
  return *registry;
}

// Removes a working directory whose lock the caller holds, and the lock.
void Remove(const std::string& directory, platform::File owner) {
  for (const platform::DirectoryEntry& entry : platform::ListDirectory(directory, "*")) {
    if (entry.isDirectory || entry.name == kOwnerFile) continue;
    const std::string path = directory + entry.name;
    platform::SetReadOnly(path, false);
    platform::RemoveFile(path);
  }
  owner.Close();
  platform::RemoveFile(directory + kOwnerFile);
  platform::RemoveEmptyDirectory(directory);
}

// Removes the working directories in `temporary` whose owners have ended.
void SweepEnded(const std::string& temporary) {
  for (const platform::DirectoryEntry& entry :
       platform::ListDirectory(temporary, std::string(kPrefix) + "*")) {
    const std::string directory = temporary + entry.name + platform::kPathSeparator;
    if (!entry.isDirectory || !platform::IsOwnPrivateDirectory(directory)) continue;
    std::optional<platform::File> owner = platform::File::TryLock(directory + kOwnerFile, false);
    if (owner) Remove(directory, std::move(*owner));
  }
}

std::optional<Held> Make(const std::string& temporary, uint32_t process) {
  const std::string stem = temporary + kPrefix + std::to_string(process) + "-";
  for (uint32_t n = 0; n < kNumbersTried; ++n) {
    const std::string directory = stem + std::to_string(n);
    if (!platform::MakePrivateDirectory(directory)) {
      if (platform::IsExistingDirectory(directory) || platform::IsExistingFile(directory)) continue;
      return std::nullopt;
    }
    const std::string withSeparator = directory + platform::kPathSeparator;
    std::optional<platform::File> owner = platform::File::TryLock(withSeparator + kOwnerFile, true);
    if (owner) return Held{withSeparator, std::move(*owner)};
    platform::RemoveEmptyDirectory(directory);
  }
  return std::nullopt;
}

}  // namespace

std::string WorkingDirectory() {
  const std::string temporary = platform::TemporaryDirectory();
  Registry& registry = Directories();
  std::lock_guard<std::mutex> lock(registry.mutex);
  const uint32_t process = platform::CurrentProcessId();
  if (registry.process != process) {
    // Inherited from the process this one was forked from: its directories
    // stay its own.
    for (auto& [base, held] : registry.byTemporaryDirectory) held.owner.Close();
    registry.byTemporaryDirectory.clear();
    registry.process = process;
  }
  const auto found = registry.byTemporaryDirectory.find(temporary);
  if (found != registry.byTemporaryDirectory.end()) {
    if (platform::IsExistingDirectory(found->second.directory)) return found->second.directory;
    registry.byTemporaryDirectory.erase(found);  // removed by someone else
  }
  SweepEnded(temporary);
  std::optional<Held> made = Make(temporary, process);
  if (!made) return std::string();
  const std::string directory = made->directory;
  registry.byTemporaryDirectory.emplace(temporary, std::move(*made));
  return directory;
}

void ReleaseWorkingDirectories() {
  Registry& registry = Directories();
  std::lock_guard<std::mutex> lock(registry.mutex);
  if (registry.process == platform::CurrentProcessId()) {
    for (auto& [base, held] : registry.byTemporaryDirectory) {
      Remove(held.directory, std::move(held.owner));
    }
  }
  registry.byTemporaryDirectory.clear();
}

}  // namespace quorvel
