// Conversions between code pages and UTF-16 as Windows makes them (tests/data/code-pages).
#include "platform/CodePages.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "ByteCases.h"
#include "platform/Paths.h"

namespace quorvel::platform {
namespace {

const bool kOnWindows = kPathSeparator == '\\';

TEST(CodePages, ConvertAsWindowsDoes) {
  for (const std::vector<std::string>& row : testing::CaseTable("code-pages/cases.txt")) {
    std::istringstream head(row[0]);
    std::string way, systems;
    uint32_t page = 0;
    head >> way >> page >> systems;
    if (kOnWindows && systems == "posix") continue;
    SCOPED_TRACE(row[0] + " | " + row[1]);
    const std::string bytes = testing::ParseBytes(row[1]), units = testing::ParseBytes(row[2]);
    std::u16string text;
    for (size_t i = 0; i + 1 < units.size(); i += 2) {
      text += static_cast<char16_t>(static_cast<uint8_t>(units[i]) |
                                    static_cast<uint8_t>(units[i + 1]) << 8);
    }
    const bool refused = way == "refused";
    if (way != "bytes") {
      EXPECT_EQ(MultiByteToWide(page, bytes), refused ? std::nullopt : std::optional(text));
    }
    if (way != "wide") {
      EXPECT_EQ(WideToMultiByte(page, text), refused ? std::nullopt : std::optional(bytes));
    }
  }
  std::string all;  // every byte of Windows-1252 comes back
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(WideToMultiByte(1252, MultiByteToWide(1252, all).value_or(u"")), all);
  if (!kOnWindows) {
    EXPECT_EQ(AnsiCodePage(), kCodePageUtf8);
  }
}

}  // namespace
}  // namespace quorvel::platform
