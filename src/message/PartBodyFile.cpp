#include "message/PartBodyFile.h"

#include "frame/UniqueNames.h"
#include "text/Base64.h"
#include "message/MimeText.h"
#include "platform/FileSystem.h"

#include <utility>

namespace quorvel {

namespace {

constexpr size_t kBlockBytes = 256 * 1024;
// A base64 or quoted-printable text that holds more than this without
// decoding cleanly (foreign bytes, a line without end) is decoded up to a
// safe point rather than held.
constexpr size_t kPendingBytes = 64 * 1024;

bool IsBase64Letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

// Where the last group of four letters that is not whole starts.
size_t AfterWholeGroups(std::string_view text) {
  size_t letters = 0;
  for (char c : text) letters += IsBase64Letter(c) ? 1 : 0;
  size_t open = letters % 4;
  size_t at = text.size();
  while (open > 0 && at > 0) {
    if (IsBase64Letter(text[--at])) --open;
  }
  return at;
}

}  // namespace

BodyDecoder::BodyDecoder(std::string_view encoding)
    : kind_(encoding == "base64"             ? Kind::kBase64
            : encoding == "quoted-printable" ? Kind::kQuotedPrintable
                                             : Kind::kAsIs) {}

void BodyDecoder::Decode(std::string_view bytes, const Sink& write) {
  switch (kind_) {
    case Kind::kAsIs:
      write(bytes);
      return;
    case Kind::kBase64: {
      std::string_view text = bytes;
      if (!pending_.empty()) {
        pending_.append(bytes);
        text = pending_;
      }
      const size_t taken = Base64DecodeCleanStart(text, write);
      std::string rest(text.substr(taken));
      if (rest.size() > kPendingBytes) {
        const size_t whole = AfterWholeGroups(rest);
        Base64DecodeInPieces(std::string_view(rest).substr(0, whole), write);
        rest.erase(0, whole);
      }
      pending_ = std::move(rest);
      return;
    }
    case Kind::kQuotedPrintable: {
      pending_.append(bytes);
      // Whole lines decode as in the whole text; a line too long to hold is
      // cut before an escape that may be incomplete.
      size_t cut = pending_.rfind('\n');
      cut = cut == std::string::npos ? 0 : cut + 1;
      if (cut == 0 && pending_.size() > kPendingBytes) {
        const size_t escape = pending_.rfind('=');
        cut = escape != std::string::npos && escape + 3 > pending_.size() ? escape : pending_.size();
      }
      if (cut == 0) return;
      write(DecodeQuotedPrintable(std::string_view(pending_).substr(0, cut)));
      pending_.erase(0, cut);
      return;
    }
  }
}

void BodyDecoder::Finish(const Sink& write) {
  if (pending_.empty()) return;
  if (kind_ == Kind::kBase64) {
    Base64DecodeInPieces(pending_, write);
  } else {
    write(DecodeQuotedPrintable(pending_));
  }
  pending_.clear();
}

PartBodyFile::PartBodyFile(const std::string& directory) {
  uint32_t fromTheFirst = 0;
  file_ = CreateUniqueFile(fromTheFirst, "tmp", directory);
  if (file_) path_ = file_->Path();
}

PartBodyFile::~PartBodyFile() {
  if (path_.empty()) return;
  file_.reset();
  platform::RemoveFile(path_);
}

void PartBodyFile::Write(std::string_view bytes) {
  if (!file_) return;
  if (buffer_.empty() && bytes.size() >= kBlockBytes) {
    try {
      file_->Write(bytes.data(), bytes.size());
    } catch (const platform::FileError&) {
      file_.reset();
    }
    return;
  }
  buffer_.append(bytes);
  if (buffer_.size() >= kBlockBytes) Flush();
}

void PartBodyFile::Flush() {
  try {
    file_->Write(buffer_.data(), buffer_.size());
  } catch (const platform::FileError&) {
    file_.reset();
  }
  buffer_.clear();
}

std::string PartBodyFile::Keep() {
  if (file_ && !buffer_.empty()) Flush();
  if (file_) {
    try {
      file_->Close();
    } catch (const platform::FileError&) {
      file_.reset();
    }
  }
  if (!file_) return {};
  file_.reset();
  return std::exchange(path_, std::string());
}

}  // namespace quorvel
