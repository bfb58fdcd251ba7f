// Markup tags written out by hand from the tag rules, and plain texts turned into markup.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "exchange/Markup.h"

namespace quorvel::exchange {
namespace {

struct TagCase {
  const char* what;
  std::vector<std::pair<uint16_t, int32_t>> current;  // attribute, value
  std::u16string tag;
};

TEST(Markup, AttributeTagNamesEveryChangedAttributeInIndexOrder) {
  const TagCase cases[] = {
      {"nothing changed", {}, u""},
      {"one number", {{kAttributeCodePage, 1250}}, u"<Cp1250>"},
      {"a negative number", {{kAttributeHeight, -16}}, u"<H-16>"},
      {"three byte values", {{kAttributeTextColour, 0x00FF8000}}, u"<TCo255,128,0>"},
      {"three bytes of a negative value", {{kAttributeBackColour, -2}}, u"<BCo255,255,254>"},
      {"the top byte is not shown", {{kAttributeBackColour, 0x7F010203}}, u"<BCo1,2,3>"},
      {"index order, nothing between",
       {{kAttributePitch, 2}, {kAttributeBold, 1}, {kAttributeCodePage, 0}, {kAttributeItalic, -1},
        {kAttributeUnderline, 700}},
       u"<Cp0B1I-1U700P2>"},
  };
  for (const TagCase& c : cases) {
    MarkupState state;
    for (const auto& [attribute, value] : c.current) {
      SetAttribute(state, attribute, value, kSetCurrent);
    }
    EXPECT_EQ(AttributeTag(state, false).View(), c.tag) << c.what;
    EXPECT_EQ(AttributeTag(state, true).View(), c.tag) << c.what << ": with update";
    EXPECT_EQ(AttributeTag(state, true).View(), u"") << c.what << ": written values updated";
  }
}

TEST(Markup, WrittenValuesDecideWhatTheTagRepeats) {
  MarkupState state;
  SetAttribute(state, kAttributeBold, 1, kSetCurrent | kSetWritten);
  SetAttribute(state, kAttributeItalic, 1, kSetWritten);  // written 1, current unset
  SetAttribute(state, kAttributeUnderline, 5, kSetCurrent);
  SetAttribute(state, kAttributeCount, 5, kSetCurrent);  // outside the vocabulary: ignored
  EXPECT_EQ(AttributeTag(state, false).View(), u"<I2147483647U5>");
  EXPECT_EQ(state.Written(kAttributeUnderline), kAttributeUnset) << "no update asked";
}

TEST(Markup, PlainTextsBecomeTheirCodePageTagAndTheirText) {
  EXPECT_EQ(TextToMarkup("abc", 1252).View(), u"<Cp1252>abc");
  EXPECT_EQ(TextToMarkup("abc", 1252).Length(), 11u);
  EXPECT_EQ(TextToMarkup("", 1252).View(), u"<Cp1252>");
  // e-acute, the euro sign, the left double quote and y-diaeresis in code page 1252.
  EXPECT_EQ(TextToMarkup("caf\xE9 \x80 \x93q\xFF", 1252).View(),
            u"<Cp1252>caf\u00E9 \u20AC \u201Cq\u00FF");
  EXPECT_EQ(TextToMarkup("\xB9", 1250).View(), u"<Cp1250>\u0105");
}

TEST(Markup, StatesBuiltOnManyThreadsAtOnceShareOneVocabulary) {
  std::vector<std::thread> threads;
  std::vector<std::u16string> tags(8);
  for (size_t i = 0; i < tags.size(); ++i) {
    threads.emplace_back([&tags, i] { tags[i] = std::u16string(TextToMarkup("x", 1252).View()); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::u16string& tag : tags) EXPECT_EQ(tag, u"<Cp1252>x");
}

}  // namespace
}  // namespace quorvel::exchange
