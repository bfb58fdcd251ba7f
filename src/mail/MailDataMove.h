// Moving a mail's files to another directory, for a caller that moves one
// mail after another into the same directory, the reading that lets a
// later move skip reading the file again, and writing a record whose
// message text lies elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "quorvel/MailData.h"

namespace quorvel {

// The stamp of a mail-data file when it was read, given only when the file
// held exactly what the writer writes for the record read from it.
using WrittenAsRead = std::optional<platform::FileStamp>;

// What a reading left out: the attachments refused (name and reason), or
// why the file was not read at all.
struct RefusedAttachment {
  std::string name;
  std::string reason;
};
struct MailFileReading {
  std::vector<RefusedAttachment> refused;
  std::string problem;
};

// MailData::ReadFile; `writtenAs` (when given) receives the file's stamp
// when the file holds exactly the writer's bytes of the record read, and
// `reading` (when given) what was left out. A file over kMaxMailFileBytes
// is not read.
bool ReadMailFile(MailData& mail, const std::string& path, WrittenAsRead* writtenAs,
                  MailFileReading* reading);
// MailDataList::LoadDirectory; `writtenAs` (when given) gets one element per
// record appended, as ReadMailFile gives it.
bool LoadMailDirectory(const std::string& directory, MailDataList& list,
                       std::vector<WrittenAsRead>* writtenAs);

// MailData::MoveToDirectory; `knownNames` is what UniqueNameMovedFrom takes:
// 0 for a first move, then left as the previous move into the same
// directory left it. `writtenAs` is what ReadMailFile gave for the file,
// for a record unchanged since: while the file keeps that stamp it moves
// without being read again.
bool MoveMailData(MailData& mail, const std::string& directory, uint32_t& knownNames,
                  const WrittenAsRead& writtenAs = std::nullopt);

// MailData::WriteToDirectory with `message` written as the record's message
// (mail.message itself is not looked at); with `completeLineEnds` a CR goes
// before every LF that follows none, as MailData::SetMessage puts it. A
// writer of one record after another into the same directory passes
// `knownNames` as UniqueNameFrom takes it (0 for the first), so that each
// name is found with one creation.
bool WriteMailData(MailData& mail, const std::string& directory, bool moveAttachments,
                   std::string_view message, bool completeLineEnds,
                   uint32_t* knownNames = nullptr);

}  // namespace quorvel
