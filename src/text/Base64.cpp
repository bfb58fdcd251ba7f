// Both directions work on whole buffers. Whole lines and runs of alphabet
// characters go through the kernels of the path in use (Base64Paths.h); the
// portable encoder turns 12 input bits into two characters with one table
// look-up and writes whole 72-character lines with 8-byte stores; the
// decoder takes whole lines of the shape mail programs write (any width that
// is a multiple of 4, CR LF or LF) and otherwise 8 characters at a time
// through four tables that place each character's bits and flag foreign
// characters, and falls back to the character-by-character rules only
// around odd line breaks, padding and foreign bytes.
#include "text/Base64.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "text/Base64Paths.h"
#include "platform/File.h"

namespace quorvel {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineCharacters = 72;
constexpr size_t kLineBytes = kLineCharacters / 4 * 3;  // 54
constexpr size_t kFilePieceBytes = kLineBytes * 1024;  // a file is encoded this much at a time
constexpr uint8_t kNotInAlphabet = 0xFF;
constexpr uint8_t kPadValue = 0xFE;  // "=" in a group, never a 6-bit value
constexpr uint32_t kForeign = 0x01000000;  // set by any non-alphabet character

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big);

// Two characters for each 12-bit value, in memory order.
constexpr std::array<uint16_t, 4096> MakePairs() {
  std::array<uint16_t, 4096> pairs{};
  for (unsigned value = 0; value < 4096; ++value) {
    const auto first = static_cast<uint8_t>(kAlphabet[value >> 6]);
    const auto second = static_cast<uint8_t>(kAlphabet[value & 63]);
    pairs[value] = std::endian::native == std::endian::little
                       ? static_cast<uint16_t>(first | (second << 8))
                       : static_cast<uint16_t>((first << 8) | second);
  }
  return pairs;
}
constexpr auto kPairs = MakePairs();

// The decoding table of the alphabet: 128 entries, all bits set for the rest.
constexpr std::array<uint8_t, 128> MakeValues() {
  std::array<uint8_t, 128> values{};
  for (auto& value : values) value = kNotInAlphabet;
  for (uint8_t i = 0; i < 64; ++i) values[static_cast<uint8_t>(kAlphabet[i])] = i;
  return values;
}
constexpr auto kValues = MakeValues();

// Tables of the fast decoder: the bits one character contributes to the three
// output bytes (byte 0 in the lowest bits), or kForeign.
constexpr std::array<uint32_t, 256> MakePlacement(int position) {
  std::array<uint32_t, 256> table{};
  for (unsigned c = 0; c < 256; ++c) {
    const uint32_t v = c < 128 ? kValues[c] : kNotInAlphabet;
    if (v == kNotInAlphabet) {
      table[c] = kForeign;
      continue;
    }
    switch (position) {
      case 0: table[c] = v << 2; break;
      case 1: table[c] = (v >> 4) | ((v & 15) << 12); break;
      case 2: table[c] = ((v >> 2) << 8) | ((v & 3) << 22); break;
      default: table[c] = v << 16; break;
    }
  }
  return table;
}
constexpr auto kPlace0 = MakePlacement(0);
constexpr auto kPlace1 = MakePlacement(1);
constexpr auto kPlace2 = MakePlacement(2);
constexpr auto kPlace3 = MakePlacement(3);

uint64_t LoadBigEndian64(const uint8_t* p) {
  uint64_t value;
  std::memcpy(&value, p, 8);
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  return value;
}

// Six input bytes (read as eight) to eight characters.
void EncodeSix(const uint8_t* in, char* out) {
  const uint64_t v = LoadBigEndian64(in);
  const uint64_t first = kPairs[(v >> 52) & 0xFFF];
  const uint64_t second = kPairs[(v >> 40) & 0xFFF];
  const uint64_t third = kPairs[(v >> 28) & 0xFFF];
  const uint64_t fourth = kPairs[(v >> 16) & 0xFFF];
  const uint64_t chars = std::endian::native == std::endian::little
                             ? first | (second << 16) | (third << 32) | (fourth << 48)
                             : (first << 48) | (second << 32) | (third << 16) | fourth;
  std::memcpy(out, &chars, 8);
}

char* EncodeThree(const uint8_t* in, char* out) {
  const uint32_t v = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
  std::memcpy(out, &kPairs[v >> 12], 2);
  std::memcpy(out + 2, &kPairs[v & 0xFFF], 2);
  return out + 4;
}

char* LineBreak(char* out) {
  out[0] = '\r';
  out[1] = '\n';
  return out + 2;
}

uint32_t PlaceFour(const uint8_t* p) {
  return kPlace0[p[0]] | kPlace1[p[1]] | kPlace2[p[2]] | kPlace3[p[3]];
}

// Stores the three bytes of a placed group; `room` says whether a fourth byte
// may be overwritten.
void StoreThree(uint32_t placed, uint8_t* out, bool room) {
  if (std::endian::native == std::endian::little && room) {
    std::memcpy(out, &placed, 4);
    return;
  }
  out[0] = static_cast<uint8_t>(placed);
  out[1] = static_cast<uint8_t>(placed >> 8);
  out[2] = static_cast<uint8_t>(placed >> 16);
}

bool IsSkipped(uint8_t c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

struct DecodeState {
  const uint8_t* in;
  const uint8_t* end;
  uint8_t* out;
  uint8_t* outEnd;
  bool foreign = false;
  // Stops, as at the end, where the character-by-character rules would be
  // needed (padding, a foreign byte, a group across an odd break).
  bool cleanOnly = false;
};

// One group by the character-by-character rules. Answers whether decoding
// goes on after it.
bool DecodeGroupSlowly(DecodeState& s) {
  uint8_t v[4];
  int filled = 0;
  bool endMark = false;
  while (filled < 4 && s.in < s.end) {
    const uint8_t c = *s.in++;
    if (c < 128 && kValues[c] != kNotInAlphabet) {
      v[filled++] = kValues[c];
    } else if (c == '=') {
      v[filled++] = kPadValue;
      endMark = true;
    } else if (!IsSkipped(c)) {
      s.foreign = true;
    }
  }
  if (filled < 4) return false;  // a short group at the end gives nothing
  const bool valid0 = v[0] < 64, valid1 = v[1] < 64, valid2 = v[2] < 64, valid3 = v[3] < 64;
  if (valid0 && valid1 && valid2 && valid3) {
    *s.out++ = static_cast<uint8_t>((v[0] << 2) | (v[1] >> 4));
    *s.out++ = static_cast<uint8_t>((v[1] << 4) | (v[2] >> 2));
    *s.out++ = static_cast<uint8_t>((v[2] << 6) | v[3]);
    return !endMark && s.in < s.end;
  }
  if (valid0 && valid1 && valid2 && v[3] == kPadValue) {
    *s.out++ = static_cast<uint8_t>((v[0] << 2) | (v[1] >> 4));
    *s.out++ = static_cast<uint8_t>((v[1] << 4) | (v[2] >> 2));
  } else if (valid0 && valid1 && v[2] == kPadValue && v[3] == kPadValue) {
    *s.out++ = static_cast<uint8_t>((v[0] << 2) | (v[1] >> 4));
  }
  return false;
}

// Whole lines; the 8-byte loads read two bytes past the line's 54.
size_t EncodeLinesPortably(const uint8_t* in, size_t length, char* out) {
  size_t consumed = 0;
  while (length - consumed >= kLineBytes + 2) {
    const uint8_t* line = in + consumed;
    EncodeSix(line, out);
    EncodeSix(line + 6, out + 8);
    EncodeSix(line + 12, out + 16);
    EncodeSix(line + 18, out + 24);
    EncodeSix(line + 24, out + 32);
    EncodeSix(line + 30, out + 40);
    EncodeSix(line + 36, out + 48);
    EncodeSix(line + 42, out + 56);
    EncodeSix(line + 48, out + 64);
    out = LineBreak(out + kLineCharacters);
    consumed += kLineBytes;
  }
  return consumed;
}

// Whole lines of the text's first line shape, checked once per line.
size_t DecodeLinesPortably(const uint8_t* in, size_t length, uint8_t* out, size_t room,
                           size_t& written) {
  size_t consumed = 0;
  written = 0;
  const LineShape shape = LineShapeAt(in, length, 4);
  const size_t stride = shape.characters + shape.breakLength;
  const size_t lineBytes = shape.characters / 4 * 3;
  while (shape.characters > 0 && length - consumed >= stride &&
         room - written >= lineBytes + 1 && HasLineBreak(in + consumed + shape.characters, shape)) {
    uint32_t seen = 0;
    for (size_t k = 0; k < shape.characters / 4; ++k) {
      const uint32_t placed = PlaceFour(in + consumed + 4 * k);
      seen |= placed;
      StoreThree(placed, out + written + 3 * k, true);
    }
    if (seen & kForeign) break;
    consumed += stride;
    written += lineBytes;
  }
  return consumed;
}

constexpr Base64Kernels kPortable{EncodeLinesPortably, DecodeLinesPortably};

}  // namespace

const Base64Kernels& PortableBase64Kernels() { return kPortable; }

size_t Base64EncodedLength(size_t length) {
  const size_t groups = (length + 2) / 3;
  const size_t lines = (groups + kLineCharacters / 4 - 1) / (kLineCharacters / 4);
  return groups * 4 + lines * 2;
}

void Base64EncodeTo(const uint8_t* bytes, size_t length, char* out) {
  const size_t whole = CurrentBase64Kernels().encodeLines(bytes, length, out);
  const uint8_t* in = bytes + whole;
  const uint8_t* end = bytes + length;
  out += whole / kLineBytes * (kLineCharacters + 2);
  size_t lineCount = 0;
  while (end - in >= 3) {
    out = EncodeThree(in, out);
    in += 3;
    lineCount += 4;
    if (lineCount + 4 > kLineCharacters) {
      out = LineBreak(out);
      lineCount = 0;
    }
  }
  const size_t tail = static_cast<size_t>(end - in);
  if (tail > 0) {
    const uint8_t padded[3] = {in[0], tail == 2 ? in[1] : uint8_t{0}, 0};
    EncodeThree(padded, out);
    out[3] = '=';
    if (tail == 1) out[2] = '=';
    out = LineBreak(out + 4);
  } else if (lineCount > 0) {
    out = LineBreak(out);
  }
}

bool Base64Encode(const uint8_t* bytes, size_t length, std::string& text) {
  text.resize(Base64EncodedLength(length));
  Base64EncodeTo(bytes, length, text.data());
  return true;
}

namespace {

// Reads up to `size` bytes, fewer only at the end of the file.
size_t ReadFully(platform::File& file, uint8_t* buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    const size_t read = file.Read(buffer + got, size - got);
    if (read == 0) break;
    got += read;
  }
  return got;
}

}  // namespace

// Failures of the file and of memory answer false; whatever `write` throws
// goes to the caller, whose output failed, not the file.
bool Base64EncodeFileInPieces(const std::string& path,
                              const std::function<void(std::string_view)>& write) {
  std::optional<platform::File> file;
  uint64_t left = 0;
  std::vector<uint8_t> bytes;
  std::string text;
  try {
    file = platform::File::TryOpen(path, platform::FileAccess::Read,
                                   platform::FileShare::DenyWrite,
                                   platform::FileDisposition::OpenExisting);
    if (!file) return false;
    left = file->Length();
    if (left == 0) return false;
    // Whole lines per piece, so that the pieces join into the text of the
    // whole file.
    bytes.resize(static_cast<size_t>(std::min<uint64_t>(left, kFilePieceBytes)));
    text.reserve(Base64EncodedLength(bytes.size()));
  } catch (const platform::FileError&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  while (left > 0) {
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(left, bytes.size()));
    try {
      if (ReadFully(*file, bytes.data(), wanted) != wanted) return false;
    } catch (const platform::FileError&) {
      return false;
    }
    left -= wanted;
    text.resize(Base64EncodedLength(wanted));
    Base64EncodeTo(bytes.data(), wanted, text.data());
    write(text);
  }
  return true;
}

bool Base64EncodeFile(const std::string& path, std::string& text) {
  try {
    std::string encoded;
    if (!Base64EncodeFileInPieces(path, [&](std::string_view piece) { encoded.append(piece); })) {
      return false;
    }
    text = std::move(encoded);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

namespace {

// Output room that every step of DecodeRun may need at once.
constexpr ptrdiff_t kStepRoom = 8;

// Decodes until the text is done (answers true) or, when `bounded`, until
// less than kStepRoom bytes of output room are left (answers false; called
// again with fresh room it goes on where it stopped, also inside a group
// split by a line break). Unbounded, the room must hold the whole text.
bool DecodeRun(DecodeState& s, bool bounded) {
  const Base64Kernels& kernels = CurrentBase64Kernels();
  for (;;) {
    if (bounded && s.outEnd - s.out < kStepRoom) return false;
    // Lines and blocks of alphabet characters go through the wide loops; a
    // line or block with anything else is decoded below, group by group.
    size_t written = 0;
    s.in += kernels.decodeBlocks(s.in, static_cast<size_t>(s.end - s.in), s.out,
                                 static_cast<size_t>(s.outEnd - s.out), written);
    s.out += written;
    while (s.end - s.in >= 8 && s.outEnd - s.out >= 8) {
      const uint32_t first = PlaceFour(s.in);
      const uint32_t second = PlaceFour(s.in + 4);
      if ((first | second) & kForeign) break;
      StoreThree(first, s.out, true);
      StoreThree(second, s.out + 3, true);
      s.out += 6;
      s.in += 8;
    }
    if (bounded && s.outEnd - s.out < kStepRoom) continue;
    const ptrdiff_t left = s.end - s.in;
    if (left >= 2 && s.in[0] == '\r' && s.in[1] == '\n') {
      s.in += 2;
      continue;
    }
    if (left >= 4) {
      const uint32_t placed = PlaceFour(s.in);
      if (!(placed & kForeign)) {
        StoreThree(placed, s.out, s.outEnd - s.out >= 4);
        s.out += 3;
        s.in += 4;
        if (s.in == s.end) return true;
        continue;
      }
    }
    if (s.cleanOnly) {
      if (left == 0 || s.in[0] != '\n') return true;
      ++s.in;  // an LF-only line end
      continue;
    }
    if (!DecodeGroupSlowly(s)) return true;
  }
}

}  // namespace

bool Base64Decode(std::string_view text, uint8_t* out, size_t capacity, size_t& length) {
  text = text.substr(0, text.find('\0'));
  length = 0;
  if (capacity < (text.size() + 3) / 4 * 3) return false;
  DecodeState s{reinterpret_cast<const uint8_t*>(text.data()),
                reinterpret_cast<const uint8_t*>(text.data()) + text.size(), out, out + capacity};
  DecodeRun(s, false);
  length = static_cast<size_t>(s.out - out);
  return !s.foreign;
}

namespace {

// The decoding of Base64DecodeInPieces and Base64DecodeCleanStart.
DecodeState DecodeInPieces(std::string_view text, bool cleanOnly,
                           const std::function<void(std::string_view)>& write) {
  const std::unique_ptr<uint8_t[]> piece(new uint8_t[kDecodePieceBytes]);
  DecodeState s{reinterpret_cast<const uint8_t*>(text.data()),
                reinterpret_cast<const uint8_t*>(text.data()) + text.size(), nullptr, nullptr};
  s.cleanOnly = cleanOnly;
  bool done = text.empty();
  while (!done) {
    s.out = piece.get();
    s.outEnd = piece.get() + kDecodePieceBytes;
    done = DecodeRun(s, true);
    const size_t produced = static_cast<size_t>(s.out - piece.get());
    if (produced > 0) write(std::string_view(reinterpret_cast<const char*>(piece.get()), produced));
  }
  return s;
}

}  // namespace

bool Base64DecodeInPieces(std::string_view text,
                          const std::function<void(std::string_view)>& write) {
  return !DecodeInPieces(text, false, write).foreign;
}

size_t Base64DecodeCleanStart(std::string_view text,
                              const std::function<void(std::string_view)>& write) {
  const DecodeState s = DecodeInPieces(text, true, write);
  return static_cast<size_t>(s.in - reinterpret_cast<const uint8_t*>(text.data()));
}

bool Base64Decode(const char* text, uint8_t* out, size_t capacity, size_t& length) {
  return Base64Decode(std::string_view(text == nullptr ? "" : text), out, capacity, length);
}

bool Base64DecodeToFile(std::string_view text, const std::string& path) {
  text = text.substr(0, text.find('\0'));
  std::vector<uint8_t> buffer;
  try {
    buffer.resize((text.size() + 3) * 3 / 4);
  } catch (const std::bad_alloc&) {
    return false;
  }
  size_t length = 0;
  if (!Base64Decode(text, buffer.data(), buffer.size(), length)) return false;
  try {
    auto file = platform::File::Open(path, platform::FileAccess::Write,
                                     platform::FileShare::Exclusive,
                                     platform::FileDisposition::CreateAlways);
    file.Write(buffer.data(), length);
    file.Close();
    return true;
  } catch (const platform::FileError&) {
    return false;
  }
}

}  // namespace quorvel
