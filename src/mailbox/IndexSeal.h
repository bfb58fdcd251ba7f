// The seal beside an index: "Mailbox.inv.sum", which the library writes
// whenever "Mailbox.inv" is complete on disk and no journal leads past it
// (when a mailbox closes, when an open completes a save). It holds the
// index's length and CRC-32, so that an index whose bytes changed behind
// the library's back, well-formed or not, is told from the one it wrote; and
// the names of removed items whose files could not be deleted, so that an
// open never files them again.
//
// Form (u32 little-endian): the magic "INVS", the index's length and CRC-32
// (Crc32.h), the count of names, each name as its length and its bytes, and
// the CRC-32 of everything before it. The file is replaced in one step (a
// temporary file, synced, renamed over it, the directory synced), so a
// reader finds the old seal or the new one. A seal that is missing or does
// not read vouches for nothing: the index is taken as it is, as one written
// by another program.
//
// Before its first save a writer replaces the seal by an open one (length
// and CRC-32 both 0xFFFFFFFF, the names kept): while the index changes under
// the journal, a kill may leave it at any of its saves, and the journal may
// be starting anew, so that no seal could vouch for it. An open seal vouches
// for any index; closing seals the index again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

inline constexpr const char* kSealFileName = "Mailbox.inv.sum";
inline constexpr uint32_t kSealMagic = 0x53564E49;  // "INVS"

struct IndexSeal {
  uint32_t indexLength = 0;
  uint32_t indexCrc = 0;
  std::vector<std::string> removedNames;

  // The seal of index bytes (with no names).
  static IndexSeal Of(std::string_view index);
  bool Vouches(std::string_view index) const;
  // The open seal of a mailbox being written, and whether this is one.
  void Open() { indexLength = indexCrc = kOpenSeal; }
  bool IsOpen() const { return indexLength == kOpenSeal && indexCrc == kOpenSeal; }

  static constexpr uint32_t kOpenSeal = 0xFFFFFFFF;
};

std::string EncodeSeal(const IndexSeal& seal);
// Nothing when the bytes are not a whole seal.
std::optional<IndexSeal> DecodeSeal(std::string_view bytes);

// The seal in `directory` (ending with the separator), if one reads.
std::optional<IndexSeal> ReadSeal(const std::string& directory);
// Replaces the seal in `directory` in one step; false when any step fails
// (the old seal then stays).
bool WriteSeal(const std::string& directory, const IndexSeal& seal);

}  // namespace quorvel
