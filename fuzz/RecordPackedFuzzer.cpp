// The packed exchange file as every open meets it: the bzip2 stream is
// unpacked into a working copy, which the record file then reads; the dump
// reads the same input its own way.
#include <sstream>

#include "FuzzScratch.h"
#include "RecordWalk.h"
#include "exchange/ExchangeFile.h"
#include "exchange/ExchangeFileDump.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::WriteScratch("packed.qv6", data, size);
  {
    exchange::ExchangeFile file;
    if (file.Open(path, true, false)) fuzz::WalkRecord(file);
    file.Close();
  }
  std::ostringstream dump;
  exchange::DumpExchangeFile(path, dump, dump);
  return 0;
}
