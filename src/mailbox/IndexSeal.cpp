#include "mailbox/IndexSeal.h"

#include "exchange/Archive.h"
#include "exchange/Crc32.h"
#include "frame/WholeFile.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace quorvel {

IndexSeal IndexSeal::Of(std::string_view index) {
  IndexSeal seal;
  seal.indexLength = static_cast<uint32_t>(index.size());
  seal.indexCrc = exchange::Crc32::Of(index.data(), index.size());
  return seal;
}

bool IndexSeal::Vouches(std::string_view index) const {
  if (IsOpen()) return true;
  const IndexSeal actual = Of(index);
  return actual.indexLength == indexLength && actual.indexCrc == indexCrc;
}

std::string EncodeSeal(const IndexSeal& seal) {
  exchange::ArchiveWriter bytes;
  bytes.WriteU32(kSealMagic);
  bytes.WriteU32(seal.indexLength);
  bytes.WriteU32(seal.indexCrc);
  bytes.WriteU32(static_cast<uint32_t>(seal.removedNames.size()));
  for (const std::string& name : seal.removedNames) {
    bytes.WriteU32(static_cast<uint32_t>(name.size()));
    bytes.WriteBytes(name.data(), name.size());
  }
  const uint32_t crc = exchange::Crc32::Of(bytes.Bytes().data(), bytes.Bytes().size());
  bytes.WriteU32(crc);
  return bytes.TakeBytes();
}

std::optional<IndexSeal> DecodeSeal(std::string_view bytes) {
  if (bytes.size() < 4) return std::nullopt;
  const std::string_view body = bytes.substr(0, bytes.size() - 4);
  try {
    exchange::ArchiveReader crc(bytes.substr(body.size()));
    if (crc.ReadU32() != exchange::Crc32::Of(body.data(), body.size())) return std::nullopt;
    exchange::ArchiveReader reader(body);
    if (reader.ReadU32() != kSealMagic) return std::nullopt;
    IndexSeal seal;
    seal.indexLength = reader.ReadU32();
    seal.indexCrc = reader.ReadU32();
    const uint32_t count = reader.ReadU32();
    reader.RequireRoomFor(count, 4);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t length = reader.ReadU32();
      seal.removedNames.emplace_back(reader.ReadBytes(length));
    }
    if (reader.Remaining() != 0) return std::nullopt;
    return seal;
  } catch (const exchange::ArchiveError&) {
    return std::nullopt;
  }
}

std::optional<IndexSeal> ReadSeal(const std::string& directory) {
  const std::optional<std::string> bytes = ReadWholeFile(directory + kSealFileName);
  return bytes ? DecodeSeal(*bytes) : std::nullopt;
}

bool WriteSeal(const std::string& directory, const IndexSeal& seal) {
  const std::string path = directory + kSealFileName;
  const std::string temporary = path + ".new";
  const std::string bytes = EncodeSeal(seal);
  try {
    platform::File file = platform::File::Open(temporary, platform::FileAccess::Write,
                                               platform::FileShare::Exclusive,
                                               platform::FileDisposition::CreateAlways);
    file.Write(bytes.data(), bytes.size());
    file.Sync();
    file.Close();
  } catch (const platform::FileError&) {
    platform::RemoveFile(temporary);
    return false;
  }
  if (!platform::ReplaceFile(temporary, path)) {
    platform::RemoveFile(temporary);
    return false;
  }
  return platform::SyncDirectory(directory);
}

}  // namespace quorvel
