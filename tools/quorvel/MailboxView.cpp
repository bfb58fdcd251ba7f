#include "MailboxView.h"

#include <unordered_map>

#include "exchange/DumpText.h"
#include "mailbox/EntryText.h"

namespace quorvel::tool {

std::vector<const IndexEntry*> MailboxEntries() {
  std::vector<const IndexEntry*> entries;
  while (const IndexEntry* entry = TessalyGetItemAtIndex(static_cast<uint32_t>(entries.size()))) {
    entries.push_back(entry);
  }
  return entries;
}

std::vector<uint32_t> MailboxIds(const std::vector<const IndexEntry*>& entries) {
  std::unordered_map<const IndexEntry*, size_t> positions;
  for (size_t i = 0; i < entries.size(); ++i) positions[entries[i]] = i;
  std::vector<uint32_t> ids(entries.size(), 0);
  constexpr uint32_t kLargestGap = 65536;
  size_t found = 0;
  for (uint32_t id = 1, sinceLastHit = 0; found < entries.size() && sinceLastHit <= kLargestGap;
       ++id, ++sinceLastHit) {
    const auto position = positions.find(TessalyGetItemAtId(id));
    if (position == positions.end()) continue;
    ids[position->second] = id;
    ++found;
    sinceLastHit = 0;
  }
  return ids;
}

void PrintMailboxTree(const std::string& title, FILE* out) {
  const std::vector<const IndexEntry*> entries = MailboxEntries();
  const std::vector<uint32_t> ids = MailboxIds(entries);
  size_t unsent = 0;
  for (const IndexEntry* entry : entries) unsent += (entry->attributes & kItemNotSent) != 0;
  std::fprintf(out, "%s: %zu items, %zu waiting to be sent\n", title.c_str(), entries.size(),
               unsent);
  for (size_t i = 0; i < entries.size(); ++i) {
    const IndexEntry& entry = *entries[i];
    const std::string id = ids[i] == 0 ? "?" : std::to_string(ids[i]);
    std::fprintf(out, "%5zu  %*s#%s %s [%s] %s %s %s\n", i, 2 * entry.depth, "", id.c_str(),
                 MessageTypeName(entry.messageType).c_str(),
                 AttributeWords(entry.attributes).c_str(),
                 entry.date == 0 ? "-" : exchange::Date(entry.date).c_str(),
                 exchange::Quoted(entry.correspondent.text.View()).c_str(), entry.fileName.c_str());
  }
}

}  // namespace quorvel::tool
