// The host's log table as the library sees it: one process-wide pointer, set
// by MailsInitializexLogFile, and the lookup that finds (or adds) the calling
// thread's log object.
#pragma once

#include <cstdint>

#include "quorvel/ThreadLog.h"

namespace quorvel {

// Remembers the host's table and gives the calling thread its object, with
// the settings of the table's first object (the host's template).
void InitializeLogTable(CxThreadObjects* table);

// The host's table, or null before InitializeLogTable.
CxThreadObjects* LogTable();

// The calling thread's object, added to the table when absent (with logging
// disabled); null while there is no table.
ThreadLogObject* CallingThreadLog();

// The object of `threadId` in `table`, added when absent.
ThreadLogObject* FindOrAddThreadLog(CxThreadObjects& table, uint32_t threadId);

}  // namespace quorvel
