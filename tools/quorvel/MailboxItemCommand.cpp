// quorvel mailbox BASE USER show INDEX | extract INDEX DIR | remove LIST:
// one item of a mailbox, read, unpacked or removed through the exported
// functions as a host does it.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "ItemOptions.h"
#include "SafeFileNames.h"
#include "TerminalText.h"
#include "exchange/DumpText.h"
#include "mailbox/EntryText.h"
#include "platform/CodePages.h"

namespace quorvel::tool {

namespace {

namespace fs = std::filesystem;

std::string Utf8(std::u16string_view text) {
  return platform::WideToMultiByte(platform::kCodePageUtf8, text).value_or("");
}

// A text of the item as printed: its control characters escaped.
std::string Shown(std::u16string_view text) { return TerminalText(Utf8(text)); }

// Markup shown as plain text: tags dropped, escaped characters kept.
std::string PlainText(std::u16string_view markup) {
  std::u16string plain;
  bool inTag = false;
  for (size_t i = 0; i < markup.size(); ++i) {
    const char16_t unit = markup[i];
    if (unit == u'\\' && i + 1 < markup.size()) {
      if (!inTag) plain += markup[++i];
      else ++i;
    } else if (unit == u'<') {
      inTag = true;
    } else if (unit == u'>' && inTag) {
      inTag = false;
    } else if (!inTag) {
      plain += unit;
    }
  }
  return Utf8(plain);
}

// One stored file of an item: its list, its name, and how to extract it.
struct StoredFile {
  const char* list;
  CodedText name;
  std::function<bool(const char* target)> extract;
};

std::vector<StoredFile> StoredFiles(uint32_t index) {
  std::vector<StoredFile> files;
  const int32_t attachments = TessalyGetNbAttachments(index);
  for (int32_t i = 0; i < attachments; ++i) {
    StoredFile file{"attachment", {}, [=](const char* target) {
                      return TessalyGetAttachment(index, i, nullptr, target);
                    }};
    if (TessalyGetAttachment(index, i, &file.name, nullptr)) files.push_back(std::move(file));
  }
  uint16_t tracking = 0, diagnostic = 0, ini = 0, learningPath = 0, upd = 0;
  if (!TessalyGetNbUserData(index, &tracking, &diagnostic, &ini, &learningPath, &upd)) return files;
  using ListGetter = bool (*)(uint32_t, int32_t, CodedText*, const char*);
  const auto addList = [&](const char* list, uint16_t count, ListGetter get) {
    for (int32_t i = 0; i < count; ++i) {
      StoredFile file{list, {}, [=](const char* target) { return get(index, i, nullptr, target); }};
      if (get(index, i, &file.name, nullptr)) files.push_back(std::move(file));
    }
  };
  using OptionsGetter = bool (*)(uint32_t, CodedText*, const char*);
  const auto addOptions = [&](uint16_t present, OptionsGetter get) {
    StoredFile file{"options", {}, [=](const char* target) { return get(index, nullptr, target); }};
    if (present != 0 && get(index, &file.name, nullptr)) files.push_back(std::move(file));
  };
  addList("tracking", tracking, TessalyGetUserTrackingFile);
  addList("diagnostic", diagnostic, TessalyGetUserDiagFile);
  addOptions(ini, TessalyGetUserOptionsIniFile);
  addList("learning path", learningPath, TessalyGetUserLearningPathFile);
  addOptions(upd, TessalyGetUserOptionsUpdFile);
  return files;
}

// The size of a stored file, found by extracting it into a scratch file.
std::string SizeOf(const StoredFile& file) {
  std::error_code error;
  const std::optional<std::string> scratch =
      ReserveSafeName(fs::temp_directory_path(error).string(), "quorvel-size.tmp");
  if (!scratch) return "size unknown";
  const bool extracted = file.extract(scratch->c_str());
  const uintmax_t size = fs::file_size(*scratch, error);
  fs::remove(*scratch, error);
  return extracted ? std::to_string(size) + " bytes" : "unreadable";
}

// Hosts learn an item's id from its entry: items filed here carry their own
// id as source id; the id is confirmed by looking it up.
std::optional<uint32_t> IdOf(const IndexEntry* entry) {
  if (entry->sourceId == 0 || TessalyGetItemAtId(entry->sourceId) != entry) return std::nullopt;
  return entry->sourceId;
}

int Show(uint32_t index) {
  const IndexEntry* entry = TessalyGetItemAtIndex(index);
  if (entry == nullptr) {
    std::fprintf(stderr, "quorvel mailbox: no item at index %u\n", index);
    return 1;
  }
  const std::optional<uint32_t> id = IdOf(entry);
  std::printf("index:         %u\n", index);
  std::printf("id:            %s\n", id ? std::to_string(*id).c_str() : "unknown");
  std::printf("file:          %s\n", TerminalText(entry->fileName).c_str());
  if (!id || TessalyGetParentIndex(*id) < 0) {
    std::printf("parent:        none (thread root)\n");
  } else {
    std::printf("parent:        index %d, id %d\n", TessalyGetParentIndex(*id),
                TessalyGetParentId(*id));
  }
  std::printf("depth:         %u\n", entry->depth);
  const int32_t kind = TessalyGetMessageType(index);
  std::printf("kind:          %d %s\n", kind, MessageTypeName(static_cast<uint32_t>(kind)).c_str());
  std::printf("attributes:    0x%04X %s\n", entry->attributes,
              AttributeWords(entry->attributes).c_str());
  const uint32_t date = TessalyGetDate(index).GetTime();
  std::printf("date:          %s\n", date == 0 ? "none" : exchange::Date(date).c_str());
  std::printf("correspondent: %s\n", Shown(entry->correspondent.text.View()).c_str());
  const WideString text = TessalyGetItemMessageText(index).Owned();
  std::printf("text:\n%s\n", TerminalText(PlainText(text.View()), true).c_str());
  const std::vector<StoredFile> files = StoredFiles(index);
  std::printf("files:         %zu\n", files.size());
  for (const StoredFile& file : files) {
    std::printf("  %-13s %s (%s)\n", file.list, Shown(file.name.text.View()).c_str(),
                SizeOf(file).c_str());
  }
  return 0;
}

int Extract(uint32_t index, const std::string& directory) {
  if (TessalyGetItemAtIndex(index) == nullptr) {
    std::fprintf(stderr, "quorvel mailbox: no item at index %u\n", index);
    return 1;
  }
  std::error_code error;
  fs::create_directories(directory, error);
  int status = 0;
  for (const StoredFile& file : StoredFiles(index)) {
    const std::optional<std::string> target =
        ReserveSafeName(directory, Utf8(file.name.text.View()));
    if (!target || !file.extract(target->c_str())) {
      if (target) fs::remove(*target, error);
      std::fprintf(stderr, "quorvel mailbox: cannot extract %s\n",
                   Shown(file.name.text.View()).c_str());
      status = 1;
      continue;
    }
    std::printf("%s\n", target->c_str());
  }
  return status;
}

int Remove(const std::string& list) {
  uint32_t single = 0;
  const bool removed = ParseIndex(list, single) ? TessalyRemoveMailAtIndex(single)
                                                : TessalyRemoveMailsAtIndexes(list);
  if (!removed) {
    std::fprintf(stderr, "quorvel mailbox: not every item of \"%s\" was removed\n", list.c_str());
    return 1;
  }
  std::printf("removed %s\n", list.c_str());
  return 0;
}

int Usage() {
  return UsageError(kMailboxCommand, "expects show INDEX, extract INDEX DIR or remove INDEX[,INDEX...]");
}

}  // namespace

bool IsMailboxItemCommand(const std::string& word) {
  return word == "show" || word == "extract" || word == "remove";
}

int RunMailboxItem(const Arguments& arguments) {
  if (arguments.size() < 4 || !IsMailboxItemCommand(arguments[2])) return Usage();
  const std::string& command = arguments[2];
  const size_t expected = command == "extract" ? 5 : 4;
  uint32_t index = 0;
  if (arguments.size() != expected || (command != "remove" && !ParseIndex(arguments[3], index))) {
    return Usage();
  }
  // The library creates the levels of an absolute path only.
  const std::string base = fs::absolute(arguments[0]).string();
  OpenMailbox mailbox(base, arguments[1]);
  if (!mailbox.IsOpen()) {
    std::fprintf(stderr, "quorvel mailbox: cannot open the mailbox of %s in %s\n",
                 arguments[1].c_str(), arguments[0].c_str());
    return 1;
  }
  if (command == "show") return Show(index);
  if (command == "extract") return Extract(index, arguments[4]);
  return Remove(arguments[3]);
}

}  // namespace quorvel::tool
