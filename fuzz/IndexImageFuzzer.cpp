// The index decoder on any image, and the journal of the side file on any
// base and change records. The input is read as pieces, each a u16 length
// and that many bytes: the base image, then change records; the journal
// around them is made whole (head, lengths and links), so that the fuzzer
// reaches the records' application rather than stopping at a checksum.
// Whatever decodes must encode to an image that decodes to the same encoding.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzScratch.h"
#include "mailbox/IndexFiles.h"
#include "mailbox/IndexFormat.h"

using namespace quorvel;

namespace {

void Decode(std::string_view image) {
  MailboxIndex index;
  try {
    const IndexHead head = DecodeIndexImage(image, index);
    const std::string encoded = EncodeIndexImage(head.nextId, head.lastSaveTime, index);
    MailboxIndex again;
    DecodeIndexImage(encoded, again);
    fuzz::Require(EncodeIndexImage(head.nextId, head.lastSaveTime, again) == encoded,
                  "an encoded index decodes to itself");
  } catch (const exchange::ArchiveError&) {
    fuzz::Require(index.Count() == 0 && index.outboxQueue.empty(), "damage leaves the index empty");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  Decode(input);
  const auto nextPiece = [&] {
    const size_t length = input.size() < 2 ? 0
                                            : static_cast<uint8_t>(input[0]) |
                                                  static_cast<uint8_t>(input[1]) << 8;
    input.remove_prefix(std::min<size_t>(2, input.size()));
    const std::string_view piece = input.substr(0, std::min(length, input.size()));
    input.remove_prefix(piece.size());
    return piece;
  };
  const std::string_view base = nextPiece();
  uint32_t link = 0;
  std::string side = JournalHead(base, link);
  side.append(base);
  while (!input.empty()) side += JournalEntry(nextPiece(), link);
  const std::optional<std::string> image = ImageInSideFile(side);
  fuzz::Require(image.has_value(), "a journal with a whole base leads to an image");
  Decode(*image);
  return 0;
}
