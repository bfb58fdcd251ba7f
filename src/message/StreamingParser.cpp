// The message is a stack of levels: the innermost is the one whose bytes
// are arriving. A multipart level looks for its delimiter lines (checked
// from the outermost in, so that an inner part never hides an outer
// delimiter); a leaf level hands its body to the body text or to its part
// file. Runs of lines that cannot be a delimiter (no line start with "-")
// go to the innermost level in one piece. The line end before a delimiter
// belongs to the delimiter, so a leaf holds back its last line end until
// it knows what follows.
#include "message/StreamingParser.h"

#include <optional>
#include <utility>

#include "frame/Directories.h"
#include "text/CharsetText.h"
#include "message/MessageParser.h"
#include "message/MimeHeaders.h"
#include "message/MimeText.h"
#include "message/PartBodyFile.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

// Of a multipart without any delimiter the body is one part; its start is
// held while a delimiter may still come, at most this much.
constexpr size_t kMaxPreambleBytes = 256 * 1024;

std::string HeaderText(const MimeHeaders& headers, std::string_view name) {
  const std::string* value = headers.Find(name);
  return value == nullptr ? std::string() : *value;
}

std::string Joined(const std::vector<std::string>& addresses) {
  std::string result;
  for (const std::string& address : addresses) {
    if (!result.empty()) result += ';';
    result += address;
  }
  return result;
}

std::string_view WithoutFinalLineEnds(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

bool IsBlankLine(std::string_view line) { return line == "\n" || line == "\r\n"; }

void AppendCapped(std::string& block, std::string_view bytes, size_t cap) {
  if (block.size() < cap) block.append(bytes.substr(0, cap - block.size()));
}

}  // namespace

struct StreamingParser::Leaf {
  std::string encoding;
  std::string charset;
  std::string name;         // decoded, made harmless; may be empty
  bool bodyText = false;    // held in `held` as the body text
  bool html = false;        // the HTML body
  bool emptyText = true;    // no header and no body byte so far
  bool inPlace = false;     // the body text is viewed where it was fed
  std::string_view fed;     // so far
  std::string held;         // the body text as it came
  std::string lineEnd;      // the last line end, held back
  std::unique_ptr<PartBodyFile> file;
  std::unique_ptr<BodyDecoder> decoder;
};

enum class LevelKind { kHeaders, kLeaf, kMultipart, kMessage, kSkipped };
enum class Stage { kPreamble, kParts, kEpilogue };

struct StreamingParser::Level {
  LevelKind kind = LevelKind::kHeaders;
  int depth = 0;
  bool inDigest = false;
  std::string headerBlock;
  std::string delimiter;  // "--" and the boundary
  bool digest = false;
  Stage stage = Stage::kPreamble;
  std::string preamble;
  std::unique_ptr<Leaf> leaf;
};

StreamingParser::StreamingParser(MailMessage& message, const std::string& directory, bool split,
                                 size_t bodyTextLimit, std::optional<std::string_view>* bodyInText)
    : message_(message),
      directory_(directory.empty() ? std::string() : NormaliseDirectory(directory)),
      split_(split),
      bodyTextLimit_(bodyTextLimit),
      bodyInText_(bodyInText) {
  if (bodyInText_ != nullptr) bodyInText_->reset();
  message_.recipient.clear();
  message_.notesSender.clear();
  message_.subject.clear();
  message_.cc.clear();
  message_.body.clear();
  message_.attachmentNames.clear();
  message_.attachmentSources.clear();
  message_.htmlBodyIndex = -1;
  levels_.reserve(kMaxMimeDepth + 2);
  Push(0, false);
}

StreamingParser::~StreamingParser() {
  if (finished_) return;
  levels_.clear();  // removes the part file being written
  for (const std::string& file : message_.attachmentSources) platform::RemoveFile(file);
  message_.attachmentNames.clear();
  message_.attachmentSources.clear();
}

void StreamingParser::Feed(std::string_view bytes) {
  while (!bytes.empty()) {
    if (midLine_) {
      const size_t end = bytes.find('\n');
      const size_t take = end == std::string_view::npos ? bytes.size() : end + 1;
      Content(bytes.substr(0, take));
      midLine_ = end == std::string_view::npos;
      bytes.remove_prefix(take);
      continue;
    }
    if (line_.empty()) {
      const size_t run = BodyRun(bytes);
      if (run > 0) {
        Content(bytes.substr(0, run));
        bytes.remove_prefix(run);
        continue;
      }
    }
    const size_t end = bytes.find('\n');
    const size_t take = end == std::string_view::npos ? bytes.size() : end + 1;
    if (line_.size() + take > kMaxHeldLineBytes) {
      const size_t room = kMaxHeldLineBytes - line_.size();
      line_.append(bytes.substr(0, room));
      bytes.remove_prefix(room);
      Content(line_);
      line_.clear();
      midLine_ = true;
      continue;
    }
    line_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (end == std::string_view::npos) return;
    Line(line_);
    line_.clear();
  }
}

void StreamingParser::Finish() {
  if (!line_.empty() && !midLine_) Line(line_);
  line_.clear();
  EndAbove(0, false);
  finished_ = true;
}

// Whole lines at the start of `bytes` that go to the innermost level as
// they are: none can be a delimiter line.
size_t StreamingParser::BodyRun(std::string_view bytes) const {
  if (levels_.back().kind == LevelKind::kHeaders) return 0;
  bool delimited = false;
  for (const Level& level : levels_) {
    delimited = delimited || (level.kind == LevelKind::kMultipart && level.stage != Stage::kEpilogue);
  }
  size_t end = std::string_view::npos;
  if (delimited) {
    if (bytes.front() == '-') return 0;
    end = bytes.find("\n-");
  }
  if (end == std::string_view::npos) end = bytes.rfind('\n');
  return end == std::string_view::npos ? 0 : end + 1;
}

void StreamingParser::Line(std::string_view line) {
  if (Delimiter(line)) return;
  Level& level = levels_.back();
  if (level.kind == LevelKind::kHeaders) {
    if (IsBlankLine(line)) {
      Decide(levels_.size() - 1);
    } else {
      AppendCapped(level.headerBlock, line, kMaxHeaderBlockBytes);
    }
    return;
  }
  Content(line);
}

// Bytes of the innermost level that are no delimiter line.
void StreamingParser::Content(std::string_view bytes) {
  Level& level = levels_.back();
  switch (level.kind) {
    case LevelKind::kHeaders:
      AppendCapped(level.headerBlock, bytes, kMaxHeaderBlockBytes);
      return;
    case LevelKind::kLeaf:
      LeafBytes(*level.leaf, bytes);
      return;
    case LevelKind::kMultipart:
      if (level.stage != Stage::kPreamble) return;
      level.preamble.append(bytes);
      if (level.preamble.size() > kMaxPreambleBytes) TurnIntoLeaf(level);
      return;
    case LevelKind::kMessage:
    case LevelKind::kSkipped:
      return;
  }
}

bool StreamingParser::Delimiter(std::string_view line) {
  for (size_t at = 0; at < levels_.size(); ++at) {
    Level& level = levels_[at];
    if (level.kind != LevelKind::kMultipart || level.stage == Stage::kEpilogue) continue;
    const std::string_view delimiter = level.delimiter;
    if (line.substr(0, delimiter.size()) != delimiter) continue;
    const std::string_view rest = line.substr(delimiter.size());
    const bool closing = rest.substr(0, 2) == "--";
    if (!closing && rest.find_first_not_of(" \t\r\n") != std::string_view::npos) continue;
    EndAbove(at + 1, true);
    Level& found = levels_[at];
    if (found.stage == Stage::kPreamble && closing) {
      // Only a closing delimiter: the body is kept whole, as one part.
      TurnIntoLeaf(found);
      Content(line);
      return true;
    }
    found.preamble = std::string();
    found.headerBlock = std::string();
    if (closing) {
      found.stage = Stage::kEpilogue;
    } else {
      found.stage = Stage::kParts;
      Push(found.depth + 1, found.digest);
    }
    return true;
  }
  return false;
}

void StreamingParser::Push(int depth, bool inDigest) {
  Level level;
  level.depth = depth;
  level.inDigest = inDigest;
  if (++parts_ > kMaxMimeParts) level.kind = LevelKind::kSkipped;
  levels_.push_back(std::move(level));
}

// The header block of the level at `at` is complete: what the entity is.
void StreamingParser::Decide(size_t at) {
  Level& level = levels_[at];
  const MimeHeaders headers(level.headerBlock);
  if (at == 0) {
    message_.recipient = Joined(AddressList(HeaderText(headers, "To")));
    const std::vector<std::string> senders = AddressList(HeaderText(headers, "From"));
    if (!senders.empty()) message_.notesSender = senders.front();
    message_.cc = Joined(AddressList(HeaderText(headers, "Cc")));
    const std::string subject = DecodeEncodedWords(HeaderText(headers, "Subject"));
    const size_t first = subject.find_first_not_of(" \t");
    message_.subject = first == std::string::npos ? std::string() : subject.substr(first);
  }
  const std::string* typeField = headers.Find("Content-Type");
  StructuredValue type(typeField != nullptr ? *typeField
                       : level.inDigest     ? "message/rfc822"
                                            : "text/plain");
  const bool nestable = level.depth < kMaxMimeDepth;
  if (nestable && type.type().rfind("multipart/", 0) == 0 && !type.Param("boundary").empty()) {
    level.kind = LevelKind::kMultipart;
    level.delimiter = "--" + type.Param("boundary");
    level.digest = type.type() == "multipart/digest";
    return;
  }
  if (nestable && type.type() == "message/rfc822") {
    level.kind = LevelKind::kMessage;
    level.headerBlock = std::string();
    Push(level.depth + 1, false);
    return;
  }
  MakeLeaf(level, level.headerBlock);
}

void StreamingParser::MakeLeaf(Level& level, std::string_view headerBlock) {
  const MimeHeaders headers(headerBlock);
  StructuredValue type(HeaderText(headers, "Content-Type"));
  if (headers.Find("Content-Type") == nullptr) {
    type = StructuredValue(level.inDigest ? "message/rfc822" : "text/plain");
  }
  // A type without a subtype is read as plain text (RFC 2045, 5.2).
  if (type.type().find('/') == std::string::npos) type = StructuredValue("text/plain");
  const StructuredValue disposition(HeaderText(headers, "Content-Disposition"));
  const bool attachment = disposition.type() == "attachment";
  auto leaf = std::make_unique<Leaf>();
  leaf->encoding = StructuredValue(HeaderText(headers, "Content-Transfer-Encoding")).type();
  leaf->name = SafeFileName(disposition.Param("filename"));
  if (leaf->name.empty()) leaf->name = SafeFileName(type.Param("name"));
  leaf->emptyText = headerBlock.empty();
  if (type.type() == "text/plain" && !attachment && !bodyFound_) {
    bodyFound_ = true;
    leaf->bodyText = true;
    leaf->charset = type.Param("charset");
    leaf->inPlace = bodyInText_ != nullptr && leaf->encoding != "base64" &&
                    leaf->encoding != "quoted-printable";
  } else if (split_) {
    leaf->html = type.type() == "text/html" && !attachment && message_.htmlBodyIndex < 0;
    OpenPart(*leaf);
  }
  level.kind = LevelKind::kLeaf;
  level.headerBlock = std::string();
  level.leaf = std::move(leaf);
}

void StreamingParser::OpenPart(Leaf& leaf) {
  leaf.file = std::make_unique<PartBodyFile>(directory_);
  leaf.decoder = std::make_unique<BodyDecoder>(leaf.encoding);
}

// A multipart that turned out to have no part: its body is one leaf.
void StreamingParser::TurnIntoLeaf(Level& level) {
  const std::string headerBlock = std::move(level.headerBlock);
  const std::string preamble = std::move(level.preamble);
  MakeLeaf(level, headerBlock);
  LeafBytes(*level.leaf, preamble);
}

void StreamingParser::LeafBytes(Leaf& leaf, std::string_view bytes) {
  if (bytes.empty()) return;
  if (leaf.inPlace) {
    if (leaf.fed.empty() || bytes.data() == leaf.fed.data() + leaf.fed.size()) {
      leaf.fed = std::string_view(leaf.fed.empty() ? bytes.data() : leaf.fed.data(),
                                  leaf.fed.size() + bytes.size());
      return;
    }
    // Not in one piece: copied as any other.
    leaf.inPlace = false;
    LeafBytes(leaf, std::exchange(leaf.fed, std::string_view()));
  }
  if (!leaf.lineEnd.empty()) {
    Sink(leaf, leaf.lineEnd);
    leaf.lineEnd.clear();
  }
  if (bytes.back() == '\n') {
    size_t end = bytes.size() - 1;
    if (end > 0 && bytes[end - 1] == '\r') --end;
    leaf.lineEnd.assign(bytes.substr(end));
    bytes = bytes.substr(0, end);
  }
  if (!bytes.empty()) Sink(leaf, bytes);
}

void StreamingParser::Sink(Leaf& leaf, std::string_view bytes) {
  if (!bytes.empty()) leaf.emptyText = false;
  if (leaf.bodyText) {
    leaf.held.append(bytes);
    if (leaf.held.size() <= bodyTextLimit_ || !split_) return;
    // Too long to keep in the record: the text is saved as a part.
    leaf.bodyText = false;
    OpenPart(leaf);
    bytes = leaf.held;
  }
  if (leaf.file) {
    PartBodyFile& file = *leaf.file;
    leaf.decoder->Decode(bytes, [&](std::string_view decoded) { file.Write(decoded); });
  }
  if (!leaf.held.empty() && !leaf.bodyText) leaf.held = std::string();
}

void StreamingParser::FinishLeaf(Leaf& leaf, bool byDelimiter) {
  if (!byDelimiter && !leaf.lineEnd.empty()) Sink(leaf, leaf.lineEnd);
  if (leaf.bodyText) {
    std::string decoded;
    // The body text's final line ends go whichever way it is read.
    std::string_view bytes = leaf.inPlace ? leaf.fed : std::string_view(leaf.held);
    if (leaf.inPlace && IsLibraryText(bytes, leaf.charset)) {
      *bodyInText_ = WithoutFinalLineEnds(bytes);
      return;
    }
    if (leaf.encoding == "base64" || leaf.encoding == "quoted-printable") {
      BodyDecoder decoder(leaf.encoding);
      const auto append = [&](std::string_view piece) { decoded.append(piece); };
      decoder.Decode(bytes, append);
      decoder.Finish(append);
      bytes = decoded;
    }
    std::string text = ToLibraryText(bytes, leaf.charset);
    text.resize(WithoutFinalLineEnds(text).size());
    message_.body = std::move(text);
    return;
  }
  if (!leaf.file) return;
  PartBodyFile& file = *leaf.file;
  leaf.decoder->Finish([&](std::string_view decoded) { file.Write(decoded); });
  // A part without any text is no part.
  if (leaf.emptyText) return;
  const std::string path = file.Keep();
  if (path.empty()) return;
  message_.attachmentNames.push_back(leaf.name.empty() ? path : leaf.name);
  message_.attachmentSources.push_back(path);
  if (leaf.html) message_.htmlBodyIndex = static_cast<int32_t>(message_.attachmentNames.size()) - 1;
}

// Ends the levels from `keep` on, innermost first; `byDelimiter` when a
// delimiter line ends them (which takes the line end before it).
void StreamingParser::EndAbove(size_t keep, bool byDelimiter) {
  while (levels_.size() > keep) {
    const size_t at = levels_.size() - 1;
    Level& level = levels_[at];
    if (level.kind == LevelKind::kHeaders) {
      Decide(at);  // may add a level, which ends first
      continue;
    }
    if (level.kind == LevelKind::kMultipart && level.stage == Stage::kPreamble) {
      TurnIntoLeaf(level);
    }
    if (level.kind == LevelKind::kLeaf) FinishLeaf(*level.leaf, byDelimiter);
    levels_.pop_back();
  }
}

}  // namespace quorvel
