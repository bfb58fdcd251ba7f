// The base64 transfer encoding of attachment files in both directions. The
// encoder writes 72-character lines, each ending with CR LF; the decoder skips
// line breaks and blanks, and reports (without stopping) any foreign byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quorvel {

// Length of the encoded text of `length` bytes, line breaks included.
size_t Base64EncodedLength(size_t length);

// Writes exactly Base64EncodedLength(length) characters to `out`.
void Base64EncodeTo(const uint8_t* bytes, size_t length, char* out);

// Replaces `text` with the encoding of the bytes. Always true.
bool Base64Encode(const uint8_t* bytes, size_t length, std::string& text);

// Encodes a whole file (opened for reading, other readers allowed). False,
// with `text` untouched, when the file cannot be opened or read completely,
// is empty, or no buffer can be had for it.
bool Base64EncodeFile(const std::string& path, std::string& text);

// The same text in pieces of whole lines (the last piece ends the text),
// each handed to `write` as soon as it is encoded: memory stays bounded
// (about 130 KB) whatever the file's size. False on the same failures, in
// which case the pieces already handed over are not the whole text.
bool Base64EncodeFileInPieces(const std::string& path,
                              const std::function<void(std::string_view)>& write);

// Decodes a NUL-terminated text (or a view, which ends at its first NUL).
// Fails at once, decoding nothing, when `capacity` is below
// ((n + 3) / 4) * 3 for a text of n characters. Otherwise `length` receives
// the bytes decoded and the result is false when the text held a byte that is
// neither base64, "=", CR, LF, blank nor tab; the bytes around it are still
// decoded.
bool Base64Decode(std::string_view text, uint8_t* out, size_t capacity, size_t& length);
bool Base64Decode(const char* text, uint8_t* out, size_t capacity, size_t& length);

// The decoded bytes of a whole text in pieces of at most kDecodePieceBytes,
// each handed to `write` as soon as it is decoded: memory stays bounded
// whatever the text's size. Pieces are large so that a file written piece
// by piece takes few calls: 11.5 MB went out about 0.7 ms faster than in
// 64 KiB pieces. Unlike Base64Decode the text does not end at a
// NUL (a NUL is a foreign byte). The result is false when the text held a
// foreign byte; the bytes around it are still decoded and handed over.
inline constexpr size_t kDecodePieceBytes = 256 * 1024;
bool Base64DecodeInPieces(std::string_view text,
                          const std::function<void(std::string_view)>& write);

// Decodes the longest start of the text made of whole groups of alphabet
// characters and line ends (CR LF or LF) between them, up to the first thing
// that needs the character-by-character rules (padding, a foreign byte, a
// group across a break, a lone CR, a short group at the end). The bytes go
// to `write` in pieces as Base64DecodeInPieces hands them over; answers the
// characters taken. What follows them decodes on its own, to the bytes the
// whole text would give after these.
size_t Base64DecodeCleanStart(std::string_view text,
                              const std::function<void(std::string_view)>& write);

// Decodes the text into a file created (or truncated) at `path`. False, and
// no file at all, when the text is not clean; false when the file cannot be
// written.
bool Base64DecodeToFile(std::string_view text, const std::string& path);

}  // namespace quorvel
