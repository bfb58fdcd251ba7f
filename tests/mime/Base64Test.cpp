// Base64 layout and decode rules from the encoding's description and against Python's base64
// module, on every path the processor has (portable, SSSE3, AVX2), compared on random input.
#include "text/Base64.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "ExternalTools.h"
#include "MisalignedStack.h"
#include "RandomBytes.h"
#include "text/Base64Paths.h"
#include "TempDirectory.h"
#include "KeyedCases.h"

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

// Decodes into a buffer of exactly the capacity n characters need, (n + 3) / 4 * 3 bytes, and a
// guard byte that must stay untouched; one byte less decodes nothing.
Decoded Decode(const std::string& text) {
  std::vector<uint8_t> buffer((text.size() + 3) / 4 * 3 + 1, 0xAA);
  size_t length = 12345;
  if (buffer.size() > 1) {
    EXPECT_FALSE(Base64Decode(text.c_str(), buffer.data(), buffer.size() - 2, length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[0], 0xAA) << "written into a buffer too small";
  }
  const bool clean = Base64Decode(text.c_str(), buffer.data(), buffer.size() - 1, length);
  EXPECT_EQ(buffer.back(), 0xAA) << "written past the capacity";
  return {clean, std::string(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(length))};
}

// Lines of `width` characters ending with `lineBreak`.
std::string Relined(std::string text, size_t width, const std::string& lineBreak) {
  std::erase(text, '\r');
  std::erase(text, '\n');
  for (size_t at = width; at < text.size(); at += width + lineBreak.size()) {
    text.insert(at, lineBreak);
  }
  return text;
}

// Runs each case on one path, then goes back to the path chosen at start.
class Base64OnEveryPath : public ::testing::TestWithParam<Base64Path> {
 protected:
  void SetUp() override { ASSERT_TRUE(UseBase64Path(GetParam())); }
  void TearDown() override { UseBase64Path(initial_); }

 private:
  Base64Path initial_ = CurrentBase64Path();
};
INSTANTIATE_TEST_SUITE_P(Paths, Base64OnEveryPath, ::testing::ValuesIn(AvailableBase64Paths()),
                         [](const auto& info) {
                           return std::string(std::array{"Portable", "Ssse3", "Avx2"}.at(
                               static_cast<size_t>(info.param)));
                         });

// The cases of tests/data/base64 (the keys: its README), and on every text: the clean start
// followed by the rest decoded on its own gives the whole decoding.
TEST_P(Base64OnEveryPath, TheCasesOfTheDataFiles) {
  const size_t blocks = GetParam() == Base64Path::Portable ? 0 : 64;
  std::vector<uint8_t> out(1000);
  for (const KeyedCase& c : KeyedCases("base64")) {
    SCOPED_TRACE(c.name);
    const std::string text = c.Get("<");
    const Decoded decoded = Decode(text);
    c.Check("=", decoded.bytes);
    c.Check("clean", decoded.clean ? "yes" : "no");
    if (c.Has("lines")) {
      size_t written = 0;
      EXPECT_EQ(CurrentBase64Kernels().decodeBlocks(reinterpret_cast<const uint8_t*>(text.data()),
                                                    text.size(), out.data(), out.size(), written),
                c.Number("lines") + (c.Get("blocks") == "yes" ? blocks : 0));
    }
    std::string bytes;
    const size_t taken =
        Base64DecodeCleanStart(text, [&](std::string_view piece) { bytes.append(piece); });
    c.Check("taken", std::to_string(taken));
    c.Check("start", bytes);
    Base64DecodeInPieces(std::string_view(text).substr(taken),
                         [&](std::string_view piece) { bytes.append(piece); });
    EXPECT_EQ(bytes, decoded.bytes);
  }
}

// Random lengths at random offsets (every alignment), also relined, with a foreign byte in place
// of a character or a stray byte anywhere: the same on this path as on the portable one.
TEST_P(Base64OnEveryPath, AgreesWithThePortablePathOnRandomInput) {
  std::mt19937 random(12);
  const std::string pool = RandomBytes(5000, 12);
  const auto portably = [](const auto& run) {
    EXPECT_TRUE(UseBase64Path(Base64Path::Portable));
    const auto result = run();
    EXPECT_TRUE(UseBase64Path(GetParam()));
    return result;
  };
  for (int round = 0; round < 400; ++round) {
    const size_t length = round < 200 ? static_cast<size_t>(round) : random() % (pool.size() - 64);
    const std::string bytes = pool.substr(random() % 64, length);
    std::string text = Encoded(bytes);
    ASSERT_EQ(text, portably([&] { return Encoded(bytes); })) << "length " << length;
    if (round % 4 == 1) {
      const size_t widths[] = {76, 64, 60, 20, 16, 998};
      text = Relined(text, widths[round / 4 % 6], round % 8 == 1 ? "\n" : "\r\n");
      const size_t at = text.empty() ? 0 : random() % text.size();
      if (round / 24 % 2 == 1 && !text.empty() && text[at] != '\r' && text[at] != '\n') {
        text[at] = '*';
      }
    } else if (round % 4 > 1 && !text.empty()) {
      text.insert(random() % text.size(), 1, "* =\x80\t"[random() % 5]);
    }
    const Decoded decoded = Decode(text);
    const Decoded portable = portably([&] { return Decode(text); });
    ASSERT_EQ(decoded.clean, portable.clean) << text;
    ASSERT_EQ(decoded.bytes, portable.bytes) << text;
    if (round % 4 == 0 || (round % 4 == 1 && portable.clean)) {
      ASSERT_EQ(decoded.bytes, bytes);
    }
  }
}

// Pieces join into the whole decoding (groups split by line breaks and piece ends, a foreign
// byte), none larger than promised; then on a stack aligned to 4 bytes only, as a host's may be.
TEST_P(Base64OnEveryPath, PiecesJoinIntoTheWholeDecoding) {
  const std::string bytes = RandomBytes(3 * kDecodePieceBytes + 1000, 7);
  const std::string text = Relined(Encoded(bytes), 75, "\r\n");
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
  std::string encoded;
  Decoded decoded;
  RunOnAStackAlignedToFourBytes([&] {
    encoded = Encoded(bytes);
    decoded = Decode(text);
  });
  EXPECT_EQ(encoded, Encoded(bytes));
  EXPECT_TRUE(decoded.clean);
  EXPECT_EQ(decoded.bytes, bytes);
}

// Every length up to 300 and one of many lines: we write Python's base64 in lines of 72 ending
// with CR LF, and decode what Python encodes (lines of 76 ending with LF).
TEST_P(Base64OnEveryPath, AgreesWithPythonForEveryLengthUpTo300) {
  TempDirectory directory;
  std::vector<std::string> originals;
  for (size_t length = 0; length <= 301; ++length) {
    originals.push_back(RandomBytes(length <= 300 ? length : 100000 + 17, 300 + length));
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

TEST(Base64Paths, ThePortablePathIsAlwaysThereUnknownOnesAreRefusedAndFilesAreCoded) {
  const std::vector<Base64Path> paths = AvailableBase64Paths();
  ASSERT_FALSE(paths.empty());
  EXPECT_EQ(paths.front(), Base64Path::Portable);
  EXPECT_EQ(CurrentBase64Path(), paths.back()) << "the widest path is chosen";
  EXPECT_FALSE(UseBase64Path(static_cast<Base64Path>(99)));
  EXPECT_EQ(CurrentBase64Path(), paths.back());
  TempDirectory directory;  // and a file encoded, a text decoded into one
  const std::string bytes("\x00\x01\x02Man", 6);
  WriteFile(directory / "data.bin", bytes);
  WriteFile(directory / "empty.bin", "");
  std::string text = "untouched";
  for (const std::string& refused : {directory / "empty.bin", directory / "missing.bin",
                                     directory.path()}) {  // a directory is no file
    EXPECT_FALSE(Base64EncodeFile(refused, text)) << refused;
  }
  EXPECT_EQ(text, "untouched");
  ASSERT_TRUE(Base64EncodeFile(directory / "data.bin", text));
  EXPECT_EQ(text, "AAECTWFu\r\n");
  ASSERT_TRUE(Base64DecodeToFile("AAECTWFu\r\n", directory / "out.bin"));
  EXPECT_EQ(ReadFile(directory / "out.bin"), bytes);
  EXPECT_FALSE(Base64DecodeToFile("AAEC*TWFu", directory / "dirty.bin"));
  EXPECT_FALSE(std::filesystem::exists(directory / "dirty.bin")) << "no file for a dirty text";
  EXPECT_FALSE(Base64DecodeToFile("TWFu", directory / "no/such/dir.bin"));
}

}  // namespace
}  // namespace quorvel
