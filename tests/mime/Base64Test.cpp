// Base64 layout and decode rules, written out from the encoding's description,
// and round trips checked against Python's base64 module. The layout and
// decode cases run on every path the processor has (portable, SSSE3, AVX2),
// and the wide paths are compared with the portable one on random input.
#include "text/Base64.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "ExternalTools.h"
#include "MisalignedStack.h"
#include "text/Base64Paths.h"
#include "TempDirectory.h"
#include "TextCases.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

std::string Encoded(const std::string& bytes) {
  std::string text = "untouched";
  EXPECT_TRUE(Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), text));
  EXPECT_EQ(text.size(), Base64EncodedLength(bytes.size()));
  return text;
}

struct Decoded {
  bool clean;
  std::string bytes;
};

// Decodes into a buffer of exactly the capacity asked for, followed by one
// guard byte that must stay untouched.
Decoded Decode(const std::string& text) {
  std::vector<uint8_t> buffer((text.size() + 3) / 4 * 3 + 1, 0xAA);
  size_t length = 12345;
  const bool clean = Base64Decode(text.c_str(), buffer.data(), buffer.size() - 1, length);
  EXPECT_EQ(buffer.back(), 0xAA) << "written past the capacity";
  return {clean, std::string(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(length))};
}

std::string RandomBytes(std::mt19937& random, size_t length) {
  std::string bytes(length, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// Runs each case on one path, then goes back to the path chosen at start.
class OnEveryPath : public ::testing::TestWithParam<Base64Path> {
 protected:
  void SetUp() override { ASSERT_TRUE(UseBase64Path(GetParam())); }
  void TearDown() override { UseBase64Path(initial_); }

 private:
  Base64Path initial_ = CurrentBase64Path();
};

std::string PathName(const ::testing::TestParamInfo<Base64Path>& info) {
  switch (info.param) {
    case Base64Path::Portable: return "Portable";
    case Base64Path::Ssse3: return "Ssse3";
    case Base64Path::Avx2: return "Avx2";
  }
  return "Unknown";
}

using Base64Encoding = OnEveryPath;
using Base64Decoding = OnEveryPath;
INSTANTIATE_TEST_SUITE_P(Paths, Base64Encoding, ::testing::ValuesIn(AvailableBase64Paths()), PathName);
INSTANTIATE_TEST_SUITE_P(Paths, Base64Decoding, ::testing::ValuesIn(AvailableBase64Paths()), PathName);

// Skipped and foreign characters, and padding that ends the text.
TEST_P(Base64Decoding, TheCasesOfTheDataFile) {
  for (const TextCase& c : TextCases("base64/decoding")) {
    const Decoded decoded = Decode(c.inputs.at(0).at(0));
    EXPECT_EQ(decoded.bytes, c.text) << c.name;
    EXPECT_TRUE(c.Get("clean").empty() || decoded.clean == (c.Get("clean") == "yes")) << c.name;
  }
}

TEST_P(Base64Decoding, TooSmallABufferDecodesNothing) {
  // n characters need ((n + 3) / 4) * 3 bytes, rounded up for a short group:
  // six bytes for each of these.
  for (const std::string text : {"TWFuTWFu", "TWFuTWE", "TWFuT"}) {
    uint8_t buffer[7] = {};  // one spare byte
    size_t length = 99;
    EXPECT_FALSE(Base64Decode(text.c_str(), buffer, 5, length)) << text;
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_TRUE(Base64Decode(text.c_str(), buffer, 6, length)) << text;
  }
}

// The wide loops take whole lines of the shape the text starts with and stop
// at the first line that ends otherwise; what follows there is left to the
// rules (a wide path's blocks still take the 64 characters before the odd
// break, the portable path has no blocks).
TEST_P(Base64Decoding, TheLoopsTakeWholeLinesOfTheFirstLinesShape) {
  std::string line;
  for (int i = 0; i < 19; ++i) line += "QUJD";  // 76 characters
  const size_t blocks = GetParam() == Base64Path::Portable ? 0 : 64;
  const struct {
    std::string text;
    size_t consumed;
  } cases[] = {
      {line + "\n" + line + "\n" + line + "\n", 3 * 77},
      {line + "\r\n" + line + "\r\n", 2 * 78},
      {line + "\r\n" + line + "\r*" + line + "\r\n", 78 + blocks},
      {line + "\n" + line + "*" + line + "\n", 77 + blocks},
      {line + "\n" + line + "\r\n", 77 + blocks},
      {line.substr(0, 74) + "\n" + line + "\n", blocks},
  };
  std::vector<uint8_t> out(1000);
  for (const auto& c : cases) {
    size_t written = 0;
    const size_t consumed = CurrentBase64Kernels().decodeBlocks(
        reinterpret_cast<const uint8_t*>(c.text.data()), c.text.size(), out.data(), out.size(),
        written);
    EXPECT_EQ(consumed, c.consumed) << c.text;
  }
}

// Random lengths at random offsets (so loads and stores fall on every
// alignment), encoded and decoded on the path under test and on the portable
// one; the decoded texts also come with other line lengths and stray bytes.
TEST_P(Base64Decoding, AgreesWithThePortablePathOnRandomInput) {
  std::mt19937 random(12);
  const std::string pool = RandomBytes(random, 5000);
  for (int round = 0; round < 400; ++round) {
    const size_t start = random() % 64;
    const size_t length = round < 200 ? static_cast<size_t>(round) : random() % (pool.size() - 64);
    const std::string bytes = pool.substr(start, length);
    const std::string text = Encoded(bytes);
    ASSERT_TRUE(UseBase64Path(Base64Path::Portable));
    const std::string portableText = Encoded(bytes);
    ASSERT_TRUE(UseBase64Path(GetParam()));
    ASSERT_EQ(text, portableText) << "length " << length;

    std::string altered = text;
    switch (round % 4) {
      case 0: break;
      case 1: {  // other line widths, ending with LF alone or CR LF
        const size_t width = std::array<size_t, 6>{76, 64, 60, 20, 16, 998}[round / 4 % 6];
        const std::string lineBreak = round % 8 == 1 ? "\n" : "\r\n";
        altered.erase(std::remove(altered.begin(), altered.end(), '\r'), altered.end());
        altered.erase(std::remove(altered.begin(), altered.end(), '\n'), altered.end());
        for (size_t at = width; at < altered.size(); at += width + lineBreak.size()) {
          altered.insert(at, lineBreak);
        }
        // Now and then a foreign byte in place of a character, the shape kept.
        if (round / 24 % 2 == 1 && !altered.empty()) {
          const size_t at = random() % altered.size();
          if (altered[at] != '\r' && altered[at] != '\n') altered[at] = '*';
        }
        break;
      }
      default:  // a stray byte anywhere: foreign, blank, pad or high
        if (!altered.empty()) {
          altered.insert(random() % altered.size(), 1, "* =\x80\t"[random() % 5]);
        }
        break;
    }
    const Decoded decoded = Decode(altered);
    ASSERT_TRUE(UseBase64Path(Base64Path::Portable));
    const Decoded portable = Decode(altered);
    ASSERT_TRUE(UseBase64Path(GetParam()));
    ASSERT_EQ(decoded.clean, portable.clean) << altered;
    ASSERT_EQ(decoded.bytes, portable.bytes) << altered;
    if (round % 4 == 0 || (round % 4 == 1 && portable.clean)) {
      ASSERT_EQ(decoded.bytes, bytes);
    }
  }
}

// Decoding in pieces gives the bytes of decoding at once, also when groups
// are split by line breaks and piece ends (lines of 75 characters) and when
// a foreign byte sits in the text; no piece is larger than promised.
TEST_P(Base64Decoding, PiecesJoinIntoTheWholeDecoding) {
  std::mt19937 random(7);
  const std::string bytes = RandomBytes(random, 3 * kDecodePieceBytes + 1000);
  std::string text = Encoded(bytes);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
  for (size_t at = 75; at < text.size(); at += 77) text.insert(at, "\r\n");
  for (const std::string& input : {text, "*" + text, std::string("TQ==TWFu"), std::string()}) {
    std::string joined;
    size_t largest = 0;
    const bool clean = Base64DecodeInPieces(input, [&](std::string_view piece) {
      joined.append(piece);
      largest = std::max(largest, piece.size());
    });
    const Decoded whole = Decode(input);
    EXPECT_EQ(clean, whole.clean);
    EXPECT_EQ(joined, whole.bytes);
    EXPECT_LE(largest, kDecodePieceBytes);
  }
  EXPECT_EQ(Decode(text).bytes, bytes);
}

std::string Repeated(std::string_view text, size_t times) {
  std::string result;
  for (size_t i = 0; i < times; ++i) result += text;
  return result;
}

// The clean start ends where the character-by-character rules begin (or a
// delimiter "--"), also after pieces of wide lines; the rest then decodes on
// its own to the bytes that follow.
TEST_P(Base64Decoding, TheCleanStartEndsWhereTheRulesAreNeeded) {
  const std::string line = Repeated("QUJD", 19) + "\r\n";  // "ABC" 19 times
  std::vector<TextCase> cases = TextCases("base64/clean-start");
  TextCase& wide = cases.emplace_back();  // whole lines of the wide paths, then padding
  wide.inputs = {{Repeated(line, 6000) + "QUI=\r\n--b\r\n"}};
  wide.text = Repeated("ABC", 19 * 6000);
  wide.settings["taken"] = std::to_string(6000 * 78);
  for (const TextCase& c : cases) {
    const std::string& text = c.inputs.at(0).at(0);
    SCOPED_TRACE(text.substr(0, 40));
    std::string bytes;
    const size_t taken =
        Base64DecodeCleanStart(text, [&](std::string_view piece) { bytes.append(piece); });
    EXPECT_EQ(taken, c.Number("taken"));
    EXPECT_EQ(bytes, c.text);
    Base64DecodeInPieces(std::string_view(text).substr(taken),
                         [&](std::string_view piece) { bytes.append(piece); });
    EXPECT_EQ(bytes, Decode(text).bytes);
  }
}

// A host or a system thread may call with the stack aligned to 4 bytes only.
TEST_P(Base64Decoding, RunsOnAStackAlignedToFourBytesOnly) {
  std::mt19937 random(5);
  const std::string bytes = RandomBytes(random, 3000);
  std::string text;
  Decoded decoded;
  RunOnAStackAlignedToFourBytes([&] {
    text = Encoded(bytes);
    decoded = Decode(text);
  });
  EXPECT_EQ(text, Encoded(bytes));
  EXPECT_TRUE(decoded.clean);
  EXPECT_EQ(decoded.bytes, bytes);
}

TEST(Base64Paths, ThePortablePathIsAlwaysThereAndUnknownOnesAreRefused) {
  const std::vector<Base64Path> paths = AvailableBase64Paths();
  ASSERT_FALSE(paths.empty());
  EXPECT_EQ(paths.front(), Base64Path::Portable);
  EXPECT_EQ(CurrentBase64Path(), paths.back()) << "the widest path is chosen";
  EXPECT_FALSE(UseBase64Path(static_cast<Base64Path>(99)));
  EXPECT_EQ(CurrentBase64Path(), paths.back());
}

TEST(Base64Files, EncodeAFileAndDecodeIntoOne) {
  TempDirectory directory;
  const std::string original = directory / "data.bin";
  WriteFile(original, std::string("\x00\x01\x02Man", 6));
  std::string text = "untouched";
  ASSERT_TRUE(Base64EncodeFile(original, text));
  EXPECT_EQ(text, "AAECTWFu\r\n");

  WriteFile(directory / "empty.bin", "");
  text = "untouched";
  EXPECT_FALSE(Base64EncodeFile(directory / "empty.bin", text));
  EXPECT_FALSE(Base64EncodeFile(directory / "missing.bin", text));
  EXPECT_FALSE(Base64EncodeFile(directory.path(), text)) << "a directory is no file";
  EXPECT_EQ(text, "untouched");

  ASSERT_TRUE(Base64DecodeToFile("AAECTWFu\r\n", directory / "out.bin"));
  EXPECT_EQ(ReadFile(directory / "out.bin"), std::string("\x00\x01\x02Man", 6));
  EXPECT_FALSE(Base64DecodeToFile("AAEC*TWFu", directory / "dirty.bin"));
  EXPECT_FALSE(std::filesystem::exists(directory / "dirty.bin")) << "no file for a dirty text";
  EXPECT_FALSE(Base64DecodeToFile("TWFu", directory / "no/such/dir.bin"));
}

// Every length from 0 to 300 and one of many lines, on every path: we write
// what Python's base64 gives in lines of 72 characters ending with CR LF, and
// decode what Python encodes (76-character lines ending with LF alone).
TEST_P(Base64Encoding, AgreesWithPythonForEveryLengthUpTo300) {
  TempDirectory directory;
  std::mt19937 random(300);
  std::vector<std::string> originals;
  for (size_t length = 0; length <= 301; ++length) {
    originals.push_back(RandomBytes(random, length <= 300 ? length : 100000 + 17));
    WriteFile(directory / ("raw" + std::to_string(length)), originals.back());
  }
  const std::string program =
      "import base64, sys\n"
      "for n in range(302):\n"
      "    raw = open(f'{sys.argv[1]}/raw{n}', 'rb').read()\n"
      "    t = base64.b64encode(raw)\n"
      "    open(f'{sys.argv[1]}/ours{n}', 'wb').write(b''.join(\n"
      "        t[i:i + 72] + b'\\r\\n' for i in range(0, len(t), 72)))\n"
      "    open(f'{sys.argv[1]}/theirs{n}', 'wb').write(base64.encodebytes(raw))\n";
  ASSERT_TRUE(RunPython(directory, program, directory.path()));
  for (size_t length = 0; length < originals.size(); ++length) {
    const std::string n = std::to_string(length);
    EXPECT_EQ(Encoded(originals[length]), ReadFile(directory / ("ours" + n))) << length;
    const Decoded decoded = Decode(ReadFile(directory / ("theirs" + n)));
    EXPECT_TRUE(decoded.clean) << length;
    EXPECT_EQ(decoded.bytes, originals[length]) << length;
  }
}

}  // namespace
}  // namespace quorvel
