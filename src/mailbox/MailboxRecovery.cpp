#include "mailbox/MailboxRecovery.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "exchange/ExchangeFile.h"
#include "exchange/ItemStamp.h"
#include "exchange/RecordKinds.h"
#include "frame/LogEvents.h"
#include "frame/UniqueNames.h"
#include "mailbox/IndexFormat.h"
#include "mailbox/ItemRecord.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

constexpr uint32_t kLocationUnreadableItems = 512;
constexpr uint32_t kKeyUnreadableCount = 9;
constexpr uint8_t kDeepest = 255;

// Item files carry these extensions (the older two arrive from elsewhere).
bool IsItemFileName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string extension = name.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == "qv6" || extension == "qv5" || extension == "qvs";
}

struct FoundItem {
  std::unique_ptr<IndexEntry> entry;
  exchange::ItemStamp stamp;
  bool stamped = false;
};

// An item file as an entry, or nothing when it does not read as an item.
std::optional<FoundItem> ReadItemFile(const std::string& directory, const std::string& name) {
  exchange::ExchangeFile file;
  if (!file.Open(directory + name, true, false)) return std::nullopt;
  FoundItem item{std::make_unique<IndexEntry>(), {}, false};
  const uint8_t kind = file.Kind();
  bool readable = true;
  if (kind == exchange::kKindPlainTextMessage) {
    // A plain received mail: its entry keeps no kind, date or attributes.
  } else if (DescribeMessage(file, *item.entry)) {
    item.entry->attributes = ContentAttributes(file);
  } else {
    readable = false;
  }
  item.stamped = item.stamp.Read(file);
  file.Close();
  if (!readable) return std::nullopt;
  item.entry->fileName = name;
  if (kind != exchange::kKindPlainTextMessage) item.entry->date = item.stamp.created;
  return item;
}

std::vector<std::string> ItemFileNames(const std::string& directory,
                                       const std::unordered_set<std::string>& removed) {
  std::vector<std::string> names;
  for (const platform::DirectoryEntry& entry : platform::ListDirectory(directory, "*")) {
    if (!entry.isDirectory && IsItemFileName(entry.name) && removed.count(entry.name) == 0) {
      names.push_back(entry.name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

void LogUnreadable(const std::string& directory, uint32_t count) {
  if (count == 0) return;
  SetLogNumber(kKeyLocation, kLocationUnreadableItems);
  SetLogNumber(kKeyUnreadableCount, static_cast<int32_t>(count));
  SetLogValue(kKeySourcePath, directory);
  WriteLogEvent(kEventCaughtError);
}

// Places an entry as the last reply of `parentId` when that is listed and
// not too deep, else as a root at the end.
void Place(MailboxIndex& index, uint32_t id, uint32_t parentId, std::unique_ptr<IndexEntry> entry) {
  uint32_t position = index.Count();
  entry->depth = 0;
  if (parentId != 0 && parentId != id) {
    if (const std::optional<uint32_t> parent = index.Find(parentId)) {
      const uint8_t depth = std::as_const(index).EntryAt(*parent).depth;
      if (depth < kDeepest) {
        entry->depth = static_cast<uint8_t>(depth + 1);
        position = index.SubtreeEnd(*parent);
      }
    }
  }
  index.Insert(position, id, std::move(entry));
}

}  // namespace

uint32_t RebuildIndex(const std::string& directory, uint32_t nextIdFloor, MailboxIndex& index,
                      const std::unordered_set<std::string>& removed) {
  index.Reset();
  index.outboxQueue.clear();
  std::vector<FoundItem> items;
  uint32_t unreadable = 0;
  for (const std::string& name : ItemFileNames(directory, removed)) {
    if (std::optional<FoundItem> item = ReadItemFile(directory, name)) {
      items.push_back(std::move(*item));
    } else {
      ++unreadable;
    }
  }
  LogUnreadable(directory, unreadable);
  // Filing order: stamps in the order they were made.
  std::stable_sort(items.begin(), items.end(), [](const FoundItem& a, const FoundItem& b) {
    return a.stamp.created < b.stamp.created;
  });
  // Each item keeps the id of its stamp unless an earlier one holds it.
  uint32_t highest = nextIdFloor == 0 ? 0 : nextIdFloor - 1;
  for (const FoundItem& item : items) {
    highest = std::max({highest, item.stamp.itemId, item.stamp.parentId});
  }
  std::unordered_set<uint32_t> taken;
  std::vector<uint32_t> ids;
  for (const FoundItem& item : items) {
    uint32_t id = item.stamped ? item.stamp.itemId : 0;
    if (id == 0 || !taken.insert(id).second) id = ++highest;
    taken.insert(id);
    ids.push_back(id);
  }
  // Parents go in before their replies: walk the tree of stamps from its
  // roots; items caught in a cycle of stamps become roots.
  std::map<uint32_t, std::vector<size_t>> replies;
  std::vector<bool> isReply(items.size(), false);
  for (size_t i = 0; i < items.size(); ++i) {
    const uint32_t parent = items[i].stamped ? items[i].stamp.parentId : 0;
    if (parent != 0 && parent != ids[i] && taken.count(parent) != 0) {
      replies[parent].push_back(i);
      isReply[i] = true;
    }
  }
  std::vector<bool> placed(items.size(), false);
  const auto placeTree = [&](size_t root) {
    std::vector<size_t> pending{root};
    while (!pending.empty()) {
      const size_t i = pending.back();
      pending.pop_back();
      if (placed[i]) continue;
      placed[i] = true;
      Place(index, ids[i], isReply[i] ? items[i].stamp.parentId : 0, std::move(items[i].entry));
      const auto children = replies.find(ids[i]);
      if (children == replies.end()) continue;
      for (auto child = children->second.rbegin(); child != children->second.rend(); ++child) {
        pending.push_back(*child);
      }
    }
  };
  for (size_t i = 0; i < items.size(); ++i) {
    if (!isReply[i]) placeTree(i);
  }
  for (size_t i = 0; i < items.size(); ++i) {
    if (!placed[i]) {
      isReply[i] = false;
      placeTree(i);
    }
  }
  for (uint32_t i = 0; i < index.Count(); ++i) index.EntryAt(i).sourceId = index.IdAt(i);
  return highest + 1;
}

uint32_t AdoptUnlistedItems(const std::string& directory, MailboxIndex& index, uint32_t& nextId,
                            const std::unordered_set<std::string>& removed,
                            std::unordered_set<uint32_t>* adopted) {
  std::unordered_set<std::string> listed;
  listed.reserve(index.Count());
  for (uint32_t i = 0; i < index.Count(); ++i) listed.insert(std::as_const(index).EntryAt(i).fileName);
  uint32_t count = 0;
  uint32_t unreadable = 0;
  for (const std::string& name : ItemFileNames(directory, removed)) {
    if (listed.count(name) != 0) continue;
    std::optional<FoundItem> item = ReadItemFile(directory, name);
    if (!item) {
      ++unreadable;
      continue;
    }
    // An item filed by a run that ended before it saved keeps the id its
    // stamp gave it; any other takes the next one.
    uint32_t id = nextId;
    if (item->stamped && item->stamp.itemId > nextId && item->stamp.itemId <= kHighestUsableId) {
      id = item->stamp.itemId;
    }
    nextId = id + 1;
    item->entry->sourceId = id;
    Place(index, id, item->stamped ? item->stamp.parentId : 0, std::move(item->entry));
    if (adopted != nullptr) adopted->insert(id);
    ++count;
  }
  LogUnreadable(directory, unreadable);
  return count;
}

std::unordered_set<uint32_t> KeepStatesOfDamagedIndex(const std::string& damaged,
                                                      MailboxIndex& rebuilt) {
  std::unordered_set<uint32_t> kept;
  MailboxIndex old;
  try {
    DecodeIndexImage(damaged, old);
  } catch (const exchange::ArchiveError&) {
    return kept;
  }
  std::unordered_map<std::string, uint32_t> byName;  // file name -> old position
  for (uint32_t i = 0; i < old.Count(); ++i) byName.emplace(std::as_const(old).EntryAt(i).fileName, i);
  std::unordered_map<uint32_t, uint32_t> newIds;  // old id -> rebuilt id
  for (uint32_t i = 0; i < rebuilt.Count(); ++i) {
    IndexEntry& entry = rebuilt.EntryAt(i);
    const auto found = byName.find(entry.fileName);
    if (found == byName.end()) continue;
    const IndexEntry& was = std::as_const(old).EntryAt(found->second);
    entry.attributes = was.attributes;
    entry.nameList = was.nameList;
    entry.outRoutes = was.outRoutes;
    newIds.emplace(old.IdAt(found->second), rebuilt.IdAt(i));
    kept.insert(rebuilt.IdAt(i));
  }
  for (const uint32_t id : old.outboxQueue) {
    const auto found = newIds.find(id);
    if (found != newIds.end()) rebuilt.outboxQueue.push_back(found->second);
  }
  return kept;
}

void KeepDamagedIndex(const std::string& directory, const std::string& bytes) {
  const std::string aside = UniqueTempName("inv", directory, "Mailbox-damaged-");
  platform::File copy = platform::File::Open(aside, platform::FileAccess::Write,
                                             platform::FileShare::Exclusive,
                                             platform::FileDisposition::CreateAlways);
  copy.Write(bytes.data(), bytes.size());
  copy.Sync();
}

uint32_t ReadableNextId(const std::string& image) {
  try {
    exchange::ArchiveReader archive(image);
    if (archive.ReadU32() != kIndexMagic || archive.ReadU32() != kIndexVersion) return 1;
    const uint32_t nextId = archive.ReadU32();
    // A count that damage blew up would leave no ids to give out.
    return nextId < kHighestUsableId ? nextId : 1;
  } catch (const exchange::ArchiveError&) {
    return 1;
  }
}

}  // namespace quorvel
