// Exclusive creation is the test and the taking in one system call; a name
// that exists in any form is passed over, any other failure ends the search.
#include "frame/UniqueNames.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "frame/WorkingDirectory.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

// Names tried one by one before the directory is listed instead.
constexpr uint32_t kProbesBeforeListing = 4;

// The number in `name` when it is exactly prefix + decimal n (no leading
// zero) + "." + extension, in that case; else nothing.
std::optional<uint32_t> NumberOf(std::string_view name, std::string_view prefix,
                                 std::string_view extension) {
  if (!name.starts_with(prefix) || name.size() <= prefix.size() + extension.size() + 1) return {};
  name.remove_prefix(prefix.size());
  if (!name.ends_with(extension) || name[name.size() - extension.size() - 1] != '.') return {};
  const std::string_view digits = name.substr(0, name.size() - extension.size() - 1);
  if (digits.size() > 1 && digits[0] == '0') return {};
  uint32_t number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc() || end != digits.data() + digits.size()) return {};
  return number;
}

// The smallest number from `from` whose exact name the directory does not
// list. Only names spelled exactly are passed over: they surely exist, so
// the search that follows finds the same first free name it would have
// found by trying every number, with one listing instead of a failed
// creation per name.
uint32_t FirstUnlisted(const std::string& directory, const std::string& prefix,
                       const std::string& extension, uint32_t from) {
  std::vector<uint32_t> listed;
  for (const platform::DirectoryEntry& entry :
       platform::ListDirectory(directory, prefix + "*." + extension)) {
    if (const auto number = NumberOf(entry.name, prefix, extension); number && *number >= from) {
      listed.push_back(*number);
    }
  }
  std::sort(listed.begin(), listed.end());
  uint32_t first = from;
  for (const uint32_t number : listed) {
    if (number == first) ++first;
    if (number > first) break;
  }
  return first;
}

// Takes one candidate name; false when it could not be taken.
using NameTaker = std::function<bool(const std::string& candidate)>;

bool CreateEmpty(const std::string& candidate) {
  return platform::File::TryOpen(candidate, platform::FileAccess::Write,
                                 platform::FileShare::DenyNone,
                                 platform::FileDisposition::CreateNew)
      .has_value();
}

std::string TakeNameFrom(uint32_t& number, const std::string& extension,
                         const std::string& directory, const std::string& prefix, uint32_t most,
                         const NameTaker& take) {
  const std::string where = directory.empty() ? WorkingDirectory() : directory;
  if (where.empty()) return std::string();
  const std::string base = where + prefix;
  // A name that could not be taken but that is gone when looked at was held
  // by another thread or process that has just let it go: it is tried again.
  // Only a name that is neither takeable nor there, time after time, means
  // the directory itself refuses.
  constexpr int kTriesOfOneName = 8;
  const uint32_t last = most >= UINT32_MAX - number ? UINT32_MAX : number + most;
  for (uint32_t n = number; n < last; ++n) {
    const std::string candidate = base + std::to_string(n) + "." + extension;
    bool taken = false;
    for (int attempt = 0; attempt < kTriesOfOneName && !taken; ++attempt) {
      if (take(candidate)) {
        number = n;
        return candidate;
      }
      taken = platform::IsExistingFile(candidate) || platform::IsExistingDirectory(candidate);
    }
    if (!taken) return std::string();
    number = n + 1;
  }
  return std::string();
}

// Most directories hold few such names: trying the first numbers costs less
// than listing. A directory that keeps many (a sent directory) is listed
// once rather than tried name by name. Numbers below `number` are taken
// already: from 4 on, the search starts there without listing. `number`
// gets the one taken.
std::string TakeFirstFreeName(uint32_t& number, const std::string& extension,
                              const std::string& directory, const std::string& prefix,
                              const NameTaker& take) {
  if (number < kProbesBeforeListing) {
    const std::string found =
        TakeNameFrom(number, extension, directory, prefix, kProbesBeforeListing - number, take);
    if (!found.empty() || number < kProbesBeforeListing) return found;
    number = FirstUnlisted(directory.empty() ? WorkingDirectory() : directory, prefix, extension,
                           kProbesBeforeListing);
  }
  return TakeNameFrom(number, extension, directory, prefix, UINT32_MAX, take);
}

// TakeFirstFreeName for a caller that takes one name after another in the
// same directory: `known` ends just past the number taken, where the next
// search starts.
std::string TakeNextFreeName(uint32_t& known, const std::string& extension,
                             const std::string& directory, const std::string& prefix,
                             const NameTaker& take) {
  const std::string taken = TakeFirstFreeName(known, extension, directory, prefix, take);
  if (!taken.empty()) ++known;
  return taken;
}

// Creates the file and keeps it open, shared with no one. A file made but
// not locked (someone opened it in between) is removed again, so that its
// name is tried anew rather than left behind empty.
NameTaker CreateOpen(std::optional<platform::File>& file) {
  return [&file](const std::string& candidate) {
    platform::FileError::Cause why = platform::FileError::Cause::Generic;
    file = platform::File::TryOpen(candidate, platform::FileAccess::Write,
                                   platform::FileShare::Exclusive,
                                   platform::FileDisposition::CreateNew, &why);
    if (!file && why == platform::FileError::Cause::SharingViolation) {
      platform::RemoveFile(candidate);
    }
    return file.has_value();
  };
}

}  // namespace

std::string UniqueTempName(const std::string& extension, const std::string& directory,
                           const std::string& prefix) {
  uint32_t number = 0;
  return TakeFirstFreeName(number, extension, directory, prefix, CreateEmpty);
}

std::string UniqueNameMovedFrom(const std::string& from, uint32_t& known,
                                const std::string& extension, const std::string& directory,
                                const std::string& prefix) {
  return TakeNextFreeName(
      known, extension, directory, prefix,
      [&](const std::string& candidate) { return platform::RenameFile(from, candidate); });
}

std::string UniqueNameFrom(uint32_t& known, const std::string& extension,
                           const std::string& directory, const std::string& prefix) {
  return TakeNextFreeName(known, extension, directory, prefix, CreateEmpty);
}

std::optional<platform::File> CreateUniqueFile(uint32_t& known, const std::string& extension,
                                               const std::string& directory,
                                               const std::string& prefix) {
  std::optional<platform::File> file;
  if (TakeNextFreeName(known, extension, directory, prefix, CreateOpen(file)).empty()) {
    return std::nullopt;
  }
  return file;
}

}  // namespace quorvel
