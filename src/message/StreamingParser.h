// The reader of received messages, fed the message's bytes as they arrive.
// It fills a MailMessage with the sender, the recipients, the Cc addresses,
// the subject, the body text and the two attachment lists; every part that
// is not the body text goes, decoded, into a file "~AT<n>.tmp" of its own as
// its bytes come. What it holds is bounded whatever the message: a header
// block, one line, the body text up to a bound (a longer body text is saved
// as a part), a few blocks of output.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "message/MailMessage.h"

namespace quorvel {

inline constexpr int kMaxMimeDepth = 20;
inline constexpr size_t kMaxMimeParts = 1000;
// A header block keeps its first bytes up to this; the rest is skipped.
inline constexpr size_t kMaxHeaderBlockBytes = 256 * 1024;
// A longer line is read in pieces (never as a multipart delimiter).
inline constexpr size_t kMaxHeldLineBytes = 64 * 1024;
// The body text that a received message keeps in its record at most; a
// longer one is saved as a part.
inline constexpr size_t kMaxReceivedBodyText = 1024 * 1024;

class StreamingParser {
 public:
  // `directory` (ending with the separator; the temporary directory when
  // empty) receives the part files; without `split` no part is saved. A
  // body text longer than `bodyTextLimit` bytes (as it arrives, encoded)
  // is saved as a part instead.
  // With `bodyInText`, a body text that needs neither decoding nor
  // conversion and that came in one piece of what was fed is not copied:
  // `bodyInText` then views it there (its final line ends cut off) and
  // message.body stays empty; the fed bytes must outlive the parser.
  StreamingParser(MailMessage& message, const std::string& directory, bool split,
                  size_t bodyTextLimit, std::optional<std::string_view>* bodyInText = nullptr);
  StreamingParser(const StreamingParser&) = delete;
  StreamingParser& operator=(const StreamingParser&) = delete;
  // Unfinished, the parse is abandoned and its part files removed.
  ~StreamingParser();

  void Feed(std::string_view bytes);
  // The end of the message: the message's fields and part files are done.
  void Finish();

 private:
  struct Leaf;
  struct Level;

  void Line(std::string_view line);
  void Content(std::string_view bytes);
  size_t BodyRun(std::string_view bytes) const;
  bool Delimiter(std::string_view line);
  void Push(int depth, bool inDigest);
  void Decide(size_t at);
  void MakeLeaf(Level& level, std::string_view headerBlock);
  void TurnIntoLeaf(Level& level);
  void LeafBytes(Leaf& leaf, std::string_view bytes);
  void Sink(Leaf& leaf, std::string_view bytes);
  void OpenPart(Leaf& leaf);
  void FinishLeaf(Leaf& leaf, bool byDelimiter);
  void EndAbove(size_t keep, bool byDelimiter);

  MailMessage& message_;
  std::string directory_;
  bool split_;
  size_t bodyTextLimit_;
  std::optional<std::string_view>* bodyInText_;
  std::vector<Level> levels_;
  std::string line_;       // the line begun, not yet ended
  bool midLine_ = false;   // within a line too long to hold
  size_t parts_ = 0;
  bool bodyFound_ = false;
  bool finished_ = false;
};

}  // namespace quorvel
