// The unpacked record file: the reader behind every open (header, CRC,
// directory, values) and the dump, which goes on past damage. The input's
// CRC is made to match so that the fuzzer reaches the directory and values
// rather than stopping at the checksum.
#include <sstream>
#include <string>

#include "FuzzScratch.h"
#include "RecordWalk.h"
#include "exchange/Crc32.h"
#include "exchange/ExchangeFileDump.h"
#include "exchange/RecordFile.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.size() >= exchange::kHeaderSize) {
    const uint32_t crc = exchange::Crc32::Of(bytes.data() + exchange::kHeaderSize,
                                             bytes.size() - exchange::kHeaderSize);
    for (int i = 0; i < 4; ++i) bytes[18 + i] = static_cast<char>(crc >> (8 * i));
  }
  const std::string path =
      fuzz::WriteScratch("record", reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  for (const bool alternativeMagic : {false, true}) {
    exchange::RecordFile file;
    if (file.Open(path, true, false, alternativeMagic)) fuzz::WalkRecord(file);
    file.Close();
  }
  std::ostringstream dump;
  exchange::DumpExchangeFile(path, dump, dump);
  return 0;
}
