// A host log table for the calling thread while the object lives, as a host
// installs one: the thread's daily files go into `directory` under `prefix`,
// `keep` of them kept. The table is taken down again at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "frame/LogTable.h"
#include "platform/Threads.h"

namespace quorvel::testing {

class HostLogTable {
 public:
  HostLogTable(const std::string& directory, const std::string& prefix, uint8_t keep) {
    auto host = std::make_unique<ThreadLogObject>();
    host->logDirectory = directory;
    host->filePrefix = prefix;
    host->keepCount = keep;
    table_.Add(platform::CurrentThreadId(), std::move(host));
    InitializeLogTable(&table_);
  }
  HostLogTable(const HostLogTable&) = delete;
  HostLogTable& operator=(const HostLogTable&) = delete;
  ~HostLogTable() { InitializeLogTable(nullptr); }

 private:
  CxThreadObjects table_;
};

}  // namespace quorvel::testing
