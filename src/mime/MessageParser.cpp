// The message is walked as a tree: multiparts and forwarded messages are
// descended into, every leaf is either the body text (the first text/plain
// leaf not marked as attachment) or a saved part. The first text/html leaf
// that is not an attachment is marked as the HTML body.
#include "mime/MessageParser.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>

#include "frame/Directories.h"
#include "frame/UniqueNames.h"
#include "mime/ArrivingText.h"
#include "mime/Base64.h"
#include "mime/MimeHeaders.h"
#include "mime/MimeText.h"
#include "mime/MultipartDelimiters.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

struct Walk {
  MailMessage& message;
  std::string directory;
  bool split;
  // Where a body text that needs no decoding and no conversion goes, left
  // where it lies; null: into message.body like every other.
  std::optional<std::string_view>* bodyInText;
  bool bodyFound = false;
  size_t parts = 0;
};

// The text being walked as far as it is known: a whole text, or what has
// arrived so far of a message that is still arriving.
struct KnownText {
  ArrivingText* arriving = nullptr;  // null: the whole text is there
  std::string_view text;
  bool complete = true;

  // At least `wanted` bytes, or all there will be; throws ArrivalAbandoned.
  void WaitFor(size_t wanted) {
    if (complete) return;
    const ArrivingText::Known known = arriving->WaitFor(wanted);
    text = known.text;
    complete = known.complete;
  }
  void WaitForMore() { WaitFor(text.size() + arriving->batch()); }
  // What is known up to its last line end: every line in it is final.
  std::string_view WholeLines() const {
    return complete ? text : text.substr(0, text.rfind('\n') + 1);
  }
  // The same from `start` on.
  std::string_view WholeLinesFrom(size_t start) const {
    const std::string_view lines = WholeLines();
    return lines.substr(std::min(start, lines.size()));
  }
};

// FindDelimiterLine in the body starting at `bodyStart` of the known text,
// once enough of it is known to decide. A delimiter without a line end
// (one with it can only come from an encoded boundary) starts nowhere in
// whole lines without being found there.
DelimiterLine FindKnownDelimiterLine(KnownText& known, size_t bodyStart,
                                     std::string_view delimiter, size_t from) {
  if (delimiter.find('\n') != std::string_view::npos) known.WaitFor(SIZE_MAX);
  for (;;) {
    const std::string_view body = known.WholeLinesFrom(bodyStart);
    const DelimiterLine line = FindDelimiterLine(body, delimiter, from);
    if (line.at != std::string_view::npos || known.complete) return line;
    from = std::max(from, body.size());
    known.WaitForMore();
  }
}

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

std::string TransferEncoding(const MimeHeaders& headers) {
  return StructuredValue(HeaderText(headers, "Content-Transfer-Encoding")).type();
}

// The body's bytes without their transfer encoding: `body` itself when it
// has none, else the decoded bytes, kept in `decoded`.
std::string_view DecodedBody(const MimeHeaders& headers, std::string_view body,
                             std::string& decoded) {
  const std::string encoding = TransferEncoding(headers);
  if (encoding == "base64") {
    decoded.reserve((body.size() + 3) / 4 * 3);
    Base64DecodeInPieces(body, [&](std::string_view piece) { decoded.append(piece); });
    return decoded;
  }
  if (encoding == "quoted-printable") return decoded = DecodeQuotedPrintable(body);
  return body;
}

// The same bytes into a file; base64 goes in piece by piece as it is
// decoded, so that no decoded copy of a large attachment is ever held.
void WriteDecodedBody(platform::File& file, const MimeHeaders& headers, std::string_view body) {
  const auto write = [&](std::string_view bytes) { file.Write(bytes.data(), bytes.size()); };
  if (TransferEncoding(headers) == "base64") {
    Base64DecodeInPieces(body, write);
    return;
  }
  std::string decoded;
  write(DecodedBody(headers, body, decoded));
}

// The body text ends before its final line ends.
std::string_view WithoutFinalLineEnds(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::string BodyText(std::string text) {
  text.resize(WithoutFinalLineEnds(text).size());
  return text;
}

void WalkEntity(Walk& walk, std::string_view text, int depth, bool inDigest = false);
void WalkKnownEntity(Walk& walk, KnownText& known, int depth, bool inDigest);

// Saves a leaf part under its decoded name (or its file's), `writeBody`
// filling the file; false when the file cannot be written.
bool SavePart(MailMessage& message, const MimeHeaders& headers, const char* directory,
              const std::function<void(platform::File&)>& writeBody) {
  const StructuredValue disposition(HeaderText(headers, "Content-Disposition"));
  const StructuredValue type(HeaderText(headers, "Content-Type"));
  std::string name = SafeFileName(disposition.Param("filename"));
  if (name.empty()) name = SafeFileName(type.Param("name"));

  const std::string path = UniqueTempName("tmp", directory == nullptr ? "" : directory);
  if (path.empty()) return false;
  bool written = false;
  try {
    auto file = platform::File::TryOpen(path, platform::FileAccess::Write,
                                        platform::FileShare::Exclusive,
                                        platform::FileDisposition::CreateAlways);
    if (file) {
      writeBody(*file);
      file->Close();
      written = true;
    }
  } catch (const platform::FileError&) {
  } catch (const ArrivalAbandoned&) {
    platform::RemoveFile(path);
    throw;
  }
  if (!written) {
    platform::RemoveFile(path);
    return false;
  }
  message.attachmentNames.push_back(name.empty() ? path : name);
  message.attachmentSources.push_back(path);
  return true;
}

// The headers looked at before the end of a part is known; a part whose
// header block is longer goes the general way.
constexpr size_t kOpenHeaderBytes = 64 * 1024;

// A part of a multipart body that is saved as a file of its base64 content
// (a typed leaf other than text, a multipart or a message) is decoded while
// its end is looked for: the long run of base64 lines holds no delimiter, so
// the search starts after it and the body is read once. Answers the
// delimiter line that ends the part, or null for any other part (then
// nothing is done).
// Positions are in the multipart body, which starts at `bodyStart` of the
// known text; the clean run is decoded as it arrives.
std::optional<DelimiterLine> SaveBase64PartWhileFindingItsEnd(Walk& walk, KnownText& known,
                                                              size_t bodyStart,
                                                              std::string_view delimiter,
                                                              size_t partStart) {
  if (!walk.split || walk.parts >= kMaxMimeParts) return std::nullopt;
  // The header block must end before anything that may be a delimiter; so
  // both searches stop at the end of a short part. Any start of the window
  // that holds the header block's end reads the same.
  const size_t partAt = bodyStart + partStart;
  while (!known.complete && known.text.size() < partAt + kOpenHeaderBytes) {
    const std::string_view lines = known.WholeLinesFrom(partAt);
    if (SplitEntity(lines).headers.size() < lines.size()) break;
    known.WaitForMore();
  }
  const std::string_view rest = known.text.substr(partAt);
  const std::string_view window = rest.substr(0, kOpenHeaderBytes);
  const Entity head = SplitEntity(window.substr(0, window.find(delimiter)));
  if (head.body.empty()) return std::nullopt;
  const MimeHeaders headers(head.headers);
  const std::string* typeField = headers.Find("Content-Type");
  if (typeField == nullptr || TransferEncoding(headers) != "base64") return std::nullopt;
  const std::string type = StructuredValue(*typeField).type();
  if (type.find('/') == std::string::npos || type.rfind("text/", 0) == 0 ||
      type.rfind("multipart/", 0) == 0 || type.rfind("message/", 0) == 0) {
    return std::nullopt;
  }
  ++walk.parts;
  const size_t partBodyStart = partStart + static_cast<size_t>(head.body.data() - rest.data());
  std::optional<DelimiterLine> end;
  SavePart(walk.message, headers, walk.directory.c_str(), [&](platform::File& file) {
    const auto write = [&](std::string_view bytes) { file.Write(bytes.data(), bytes.size()); };
    // The run goes on where it stopped as long as it stops only because
    // nothing more has arrived.
    size_t clean = partBodyStart;
    for (;;) {
      const std::string_view lines = known.WholeLinesFrom(bodyStart);
      clean += Base64DecodeCleanStart(lines.substr(clean), write);
      if (known.complete || clean < lines.size()) break;
      known.WaitForMore();
    }
    end = FindKnownDelimiterLine(known, bodyStart, delimiter, clean);
    const std::string_view body = known.text.substr(bodyStart);
    // The clean run may have taken the line end that belongs to the
    // delimiter; it decodes to nothing.
    const size_t partEnd = partStart + PartBefore(body, partStart, end->at).size();
    if (clean < partEnd) Base64DecodeInPieces(body.substr(clean, partEnd - clean), write);
  });
  if (!end) end = FindKnownDelimiterLine(known, bodyStart, delimiter, partStart);
  return end;
}

void WalkLeaf(Walk& walk, std::string_view text, const MimeHeaders& headers,
              const StructuredValue& type, std::string_view body) {
  const StructuredValue disposition(HeaderText(headers, "Content-Disposition"));
  const bool attachment = disposition.type() == "attachment";
  if (type.type() == "text/plain" && !attachment && !walk.bodyFound) {
    walk.bodyFound = true;
    std::string decoded;
    const std::string_view bytes = DecodedBody(headers, body, decoded);
    const std::string charset = type.Param("charset");
    if (walk.bodyInText != nullptr && bytes.data() == body.data() && IsLibraryText(bytes, charset)) {
      *walk.bodyInText = WithoutFinalLineEnds(bytes);
      return;
    }
    walk.message.body = BodyText(ToLibraryText(bytes, charset));
    return;
  }
  if (!walk.split) return;
  const bool htmlBody = type.type() == "text/html" && !attachment && walk.message.htmlBodyIndex < 0;
  if (ProcessAttachedPart(walk.message, text, walk.directory.c_str()) && htmlBody) {
    walk.message.htmlBodyIndex = static_cast<int32_t>(walk.message.attachmentNames.size()) - 1;
  }
}

void WalkEntity(Walk& walk, std::string_view text, int depth, bool inDigest) {
  KnownText whole{nullptr, text};
  WalkKnownEntity(walk, whole, depth, inDigest);
}

// Inside multipart/digest a part without a type is a message. The header
// block is known; of a multipart body, each part is walked once it is
// known; anything else waits for the whole text.
void WalkKnownEntity(Walk& walk, KnownText& known, int depth, bool inDigest) {
  if (++walk.parts > kMaxMimeParts) return;
  const std::string_view lines = known.WholeLines();
  const Entity entity = SplitEntity(lines);
  const MimeHeaders headers(entity.headers);
  const std::string* typeField = headers.Find("Content-Type");
  StructuredValue type(typeField != nullptr ? *typeField
                       : inDigest           ? "message/rfc822"
                                            : "text/plain");
  // A type without a subtype is read as plain text (RFC 2045, 5.2).
  if (type.type().find('/') == std::string::npos) type = StructuredValue("text/plain");
  const bool nestable = depth < kMaxMimeDepth;
  if (nestable && type.type().rfind("multipart/", 0) == 0 && !type.Param("boundary").empty()) {
    const std::string delimiter = "--" + type.Param("boundary");
    const bool digest = type.type() == "multipart/digest";
    const size_t bodyStart =
        entity.body.data() == nullptr ? lines.size()
                                      : static_cast<size_t>(entity.body.data() - lines.data());
    DelimiterLine line = FindKnownDelimiterLine(known, bodyStart, delimiter, 0);
    // Without any part (no delimiter, or only a closing one) the body is
    // kept whole, as one part.
    if (line.at != std::string_view::npos && !line.closing) {
      do {
        const size_t partStart = line.next;
        const auto end =
            SaveBase64PartWhileFindingItsEnd(walk, known, bodyStart, delimiter, partStart);
        if (end) {
          line = *end;
          continue;
        }
        line = FindKnownDelimiterLine(known, bodyStart, delimiter, partStart);
        WalkEntity(walk, PartBefore(known.text.substr(bodyStart), partStart, line.at), depth + 1,
                   digest);
      } while (line.at != std::string_view::npos && !line.closing);
      return;
    }
  }
  known.WaitFor(SIZE_MAX);
  const std::string_view body = SplitEntity(known.text).body;
  if (nestable && type.type() == "message/rfc822") {
    WalkEntity(walk, body, depth + 1);
    return;
  }
  WalkLeaf(walk, known.text, headers, type, body);
}

}  // namespace

std::string SafeFileName(std::string_view name) {
  const size_t separator = name.find_last_of("/\\");
  if (separator != std::string_view::npos) name = name.substr(separator + 1);
  std::string safe;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f && c != ':') safe += c;
  }
  const size_t first = safe.find_first_not_of(' ');
  safe = first == std::string::npos ? std::string() : safe.substr(first, safe.find_last_not_of(' ') - first + 1);
  if (safe.size() > 200) safe.resize(200);
  if (safe.find_first_not_of('.') == std::string::npos) return {};
  return safe;
}

namespace {

// Until the header block is known, or the whole text. Each look starts
// from the beginning, so what is known at least doubles between them.
void WaitForHeaderBlock(KnownText& known) {
  while (!known.complete) {
    const std::string_view lines = known.WholeLines();
    if (SplitEntity(lines).headers.size() < lines.size()) return;
    known.WaitFor(2 * known.text.size() + known.arriving->batch());
  }
}

bool Parse(MailMessage& message, KnownText& known, const char* directory, bool split,
           std::optional<std::string_view>* bodyInText) {
  message.recipient.clear();
  message.notesSender.clear();
  message.subject.clear();
  message.cc.clear();
  message.body.clear();
  message.attachmentNames.clear();
  message.attachmentSources.clear();
  message.htmlBodyIndex = -1;

  WaitForHeaderBlock(known);
  const MimeHeaders headers(SplitEntity(known.WholeLines()).headers);
  message.recipient = Joined(AddressList(HeaderText(headers, "To")));
  const std::vector<std::string> senders = AddressList(HeaderText(headers, "From"));
  if (!senders.empty()) message.notesSender = senders.front();
  message.cc = Joined(AddressList(HeaderText(headers, "Cc")));
  std::string subject = DecodeEncodedWords(HeaderText(headers, "Subject"));
  const size_t first = subject.find_first_not_of(" \t");
  message.subject = first == std::string::npos ? std::string() : subject.substr(first);

  if (bodyInText != nullptr) bodyInText->reset();
  Walk walk{message, directory == nullptr ? std::string() : NormaliseDirectory(directory), split,
            bodyInText};
  WalkKnownEntity(walk, known, 0, false);
  return true;
}

}  // namespace

bool ParseMessage(MailMessage& message, std::string_view text, const char* directory, bool split) {
  KnownText whole{nullptr, text};
  return Parse(message, whole, directory, split, nullptr);
}

bool ParseMessageInPlace(MailMessage& message, std::string_view text, const char* directory,
                         bool split, std::optional<std::string_view>& bodyInText) {
  KnownText whole{nullptr, text};
  return Parse(message, whole, directory, split, &bodyInText);
}

bool ParseArrivingMessage(MailMessage& message, ArrivingText& arriving, const char* directory,
                          bool split) {
  KnownText known{&arriving, {}, false};
  return Parse(message, known, directory, split, nullptr);
}

bool ProcessAttachedPart(MailMessage& message, std::string_view part, const char* directory) {
  const Entity entity = SplitEntity(part);
  if (entity.headers.empty() && entity.body.empty()) return false;
  const MimeHeaders headers(entity.headers);
  return SavePart(message, headers, directory, [&](platform::File& file) {
    WriteDecodedBody(file, headers, entity.body);
  });
}

}  // namespace quorvel
