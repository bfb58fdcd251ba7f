#include "mailbox/IndexDump.h"

#include <cstdio>

#include "exchange/DumpText.h"
#include "frame/WholeFile.h"
#include "text/WideText.h"
#include "mailbox/EntryText.h"
#include "mailbox/IndexFormat.h"
#include "platform/CodePages.h"

namespace quorvel {

namespace {

using exchange::Date;
using exchange::Quoted;

std::string QuotedAnsi(const std::string& text) {
  return Quoted(exchange::WideFromMultiByte(text, platform::kCodePageAnsi).View());
}

std::string Coded(const CodedText& coded) {
  return "[code page " + std::to_string(coded.codePage) + "] " + Quoted(coded.text.View());
}

void DumpEntry(std::ostream& out, uint32_t position, uint32_t id, size_t offset,
               const IndexEntry& entry) {
  char attributes[8];
  std::snprintf(attributes, sizeof attributes, "0x%04X", entry.attributes);
  out << "entry " << position << " (offset " << offset << "): id " << id << ", depth "
      << unsigned(entry.depth) << "\n"
      << "  file name " << QuotedAnsi(entry.fileName)
      << "\n  correspondent " << Coded(entry.correspondent) << "\n"
      << "  written " << entry.writtenTime << ", date " << entry.date;
  if (entry.date != 0) out << " (" << Date(entry.date) << ")";
  out << ", source id " << entry.sourceId << "\n"
      << "  attributes " << attributes << " (" << AttributeWords(entry.attributes) << ")"
      << ", flags A " << unsigned(entry.messageFlagA) << " B " << unsigned(entry.messageFlagB)
      << ", message type " << entry.messageType << " (" << MessageTypeName(entry.messageType)
      << ")\n";
  for (uint32_t i = 0; i < entry.nameList.Size(); ++i) {
    out << "  name " << i << ": " << Coded(entry.nameList[i]) << "\n";
  }
  for (size_t i = 0; i < entry.outRoutes.size(); ++i) {
    out << "  route " << i << ": " << QuotedAnsi(entry.outRoutes[i]) << "\n";
  }
}

}  // namespace

bool IsIndexFile(const std::string& path) {
  const std::optional<std::string> bytes = ReadWholeFile(path);
  return bytes && bytes->compare(0, 4, "INV ") == 0;
}

bool DumpIndexFile(const std::string& path, std::ostream& out) {
  const std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) {
    out << path << ": cannot be read\n";
    return false;
  }
  out << path << ": index of " << bytes->size() << " bytes\n";
  exchange::ArchiveReader archive(*bytes);
  try {
    const IndexHead head = ReadIndexHead(archive);
    out << "next id " << head.nextId << ", saved " << Date(head.lastSaveTime) << ", "
        << head.count << " entries, sorted flag " << unsigned(head.sorted) << "\n";
    if (head.count != 0) {
      const U32Array ids = ReadIdArray(archive, head.count);
      out << "ids (grow-by " << ids.GrowBy() << "):";
      for (const uint32_t id : ids) out << " " << id;
      out << "\n";
      for (uint32_t i = 0; i < head.count; ++i) {
        const size_t offset = archive.Position();
        DumpEntry(out, i, ids[i], offset, *ReadIndexEntry(archive));
      }
    }
    const std::vector<uint32_t> queue = ReadOutboxQueue(archive);
    out << "outbox queue (" << queue.size() << "):";
    for (const uint32_t id : queue) out << " " << id;
    out << "\n";
  } catch (const exchange::ArchiveError& error) {
    out << "damage at offset " << archive.Position() << ": " << error.what() << "\n";
    return false;
  }
  if (archive.Remaining() != 0) {
    out << "note: " << archive.Remaining() << " bytes after the outbox queue are not read\n";
  }
  return true;
}

}  // namespace quorvel
