// Daily log files: one file per local day named prefix + "YYMMDD.log", lines
// appended one open at a time so that threads and the host can share it, and
// the oldest files purged when a new day's file starts.
#pragma once

#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "quorvel/ThreadLog.h"

namespace quorvel {

// prefix + "%02d%02d%02d.log" of (year - 2000, month, day).
std::string DailyLogFileName(std::string_view prefix, const platform::LocalDateTime& day);

// Appends "<UTC seconds> <text>" and CR LF to the object's file of today.
// Does nothing when the object's keepCount is 0; never fails the caller.
void WriteLogLine(const ThreadLogObject& object, std::string_view text);

// Deletes all but the keepCount newest daily files of the object in `directory`.
void PurgeDailyLogs(const ThreadLogObject& object, const std::string& directory);

}  // namespace quorvel
