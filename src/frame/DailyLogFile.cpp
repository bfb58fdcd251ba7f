// An open can fail while another writer holds the file: it is retried ten
// times, 200 ms apart, then tried once in the executable's directory; after
// that the line is dropped. Lines end with CR LF on every system, as the
// Windows text mode wrote them.
#include "frame/DailyLogFile.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

constexpr int kOpenTries = 10;
constexpr uint32_t kPauseBetweenTries = 200;
constexpr size_t kDateLength = 6;

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Fold(x) == Fold(y); });
}

std::optional<platform::File> OpenForAppend(const std::string& path) {
  return platform::File::TryOpen(path, platform::FileAccess::Append, platform::FileShare::DenyNone,
                                 platform::FileDisposition::OpenAlways);
}

}  // namespace

std::string DailyLogFileName(std::string_view prefix, const platform::LocalDateTime& day) {
  char date[32];
  std::snprintf(date, sizeof date, "%02d%02d%02d.log", day.year - 2000, day.month, day.day);
  return std::string(prefix) + date;
}

void WriteLogLine(const ThreadLogObject& object, std::string_view text) {
  if (object.keepCount == 0) return;
  const std::string fileName = DailyLogFileName(object.filePrefix, platform::LocalNow());
  const std::string path = object.logDirectory + fileName;
  std::string line = std::to_string(static_cast<int32_t>(platform::UtcSecondsNow()));
  line += ' ';
  line += text;
  line += "\r\n";

  const bool existed = platform::IsExistingFile(path);
  std::optional<platform::File> file;
  for (int attempt = 0; attempt < kOpenTries && !file; ++attempt) {
    if (attempt > 0) platform::SleepMilliseconds(kPauseBetweenTries);
    file = OpenForAppend(path);
  }
  const std::string executableDirectory = platform::ExecutableDirectory();
  if (!file) file = OpenForAppend(executableDirectory + fileName);
  if (!file) return;
  try {
    file->Write(line.data(), line.size());
  } catch (const platform::FileError&) {
    return;  // logging never fails an operation
  }
  file->Close();

  if (!existed) {  // the first line of a new day
    PurgeDailyLogs(object, object.logDirectory);
    if (!EqualNoCase(executableDirectory, object.logDirectory)) {
      PurgeDailyLogs(object, executableDirectory);
    }
  }
}

void PurgeDailyLogs(const ThreadLogObject& object, const std::string& directory) {
  const std::string& prefix = object.filePrefix;
  std::vector<std::string> dailyFiles;
  for (const platform::DirectoryEntry& entry :
       platform::ListDirectory(directory, prefix + "*.log")) {
    if (entry.isDirectory) continue;
    const size_t dot = entry.name.rfind('.');
    const std::string_view title = std::string_view(entry.name).substr(0, dot);
    if (title.size() != prefix.size() + kDateLength) continue;
    if (!EqualNoCase(title.substr(0, prefix.size()), prefix)) continue;
    dailyFiles.push_back(directory + entry.name);
  }
  std::sort(dailyFiles.begin(), dailyFiles.end(), std::greater<>());
  for (size_t i = object.keepCount; i < dailyFiles.size(); ++i) {
    platform::RemoveFile(dailyFiles[i]);
  }
}

}  // namespace quorvel
