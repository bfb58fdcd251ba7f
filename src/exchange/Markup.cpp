// The vocabulary is a function-local static: the first state to be built
// registers it, once, whichever threads race for it, and it is only read
// afterwards.
#include "exchange/Markup.h"

#include <string>

#include "text/WideText.h"

namespace quorvel::exchange {

namespace {

struct Registration {
  const char16_t* name;
  AttributeForm form;
  int32_t defaultValue;
};

constexpr Registration kRegistrations[kAttributeCount] = {
    {u"Cp", AttributeForm::Number, 1252},
    {u"TCo", AttributeForm::ThreeBytes, 0},
    {u"BCo", AttributeForm::ThreeBytes, 0xFFFFFF},
    {u"H", AttributeForm::Number, -16},
    {u"B", AttributeForm::Number, 0},
    {u"I", AttributeForm::Number, 0},
    {u"U", AttributeForm::Number, 0},
    {u"P", AttributeForm::Number, 0},
};

const std::vector<AttributeDefinition>& RegisteredVocabulary() {
  static const std::vector<AttributeDefinition> vocabulary = [] {
    std::vector<AttributeDefinition> definitions;
    for (uint16_t i = 0; i < kAttributeCount; ++i) {
      AttributeDefinition definition;
      definition.name = WideString(kRegistrations[i].name);
      definition.form = kRegistrations[i].form;
      definition.index = i;
      definitions.push_back(std::move(definition));
    }
    return definitions;
  }();
  return vocabulary;
}

std::u16string Decimal(int32_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string ValueText(AttributeForm form, int32_t value) {
  if (form != AttributeForm::ThreeBytes) return Decimal(value);
  const auto bits = static_cast<uint32_t>(value);
  return Decimal(static_cast<int32_t>((bits >> 16) & 0xFF)) + u"," +
         Decimal(static_cast<int32_t>((bits >> 8) & 0xFF)) + u"," +
         Decimal(static_cast<int32_t>(bits & 0xFF));
}

}  // namespace

const AttributeDefinition& LookupAttribute(std::u16string_view name) {
  for (const AttributeDefinition& definition : RegisteredVocabulary()) {
    if (definition.name.View() == name) return definition;
  }
  static const AttributeDefinition invalid{WideString(u"*Invalid*"), WideString(),
                                           AttributeForm::Invalid, kInvalidAttributeIndex, 0};
  return invalid;
}

MarkupState::MarkupState()
    : current_(RegisteredVocabulary().size(), kAttributeUnset),
      written_(RegisteredVocabulary().size(), kAttributeUnset) {}

const std::vector<AttributeDefinition>& MarkupState::Vocabulary() const {
  return RegisteredVocabulary();
}

const MarkupState& MarkupState::Default() {
  static const MarkupState defaults = [] {
    MarkupState state;
    for (uint16_t i = 0; i < kAttributeCount; ++i) {
      SetAttribute(state, i, kRegistrations[i].defaultValue, kSetCurrent);
    }
    return state;
  }();
  return defaults;
}

void SetAttribute(MarkupState& state, uint16_t index, int32_t value, uint32_t which) {
  if (index >= state.current_.size()) return;
  if ((which & kSetCurrent) != 0) state.current_[index] = value;
  if ((which & kSetWritten) != 0) state.written_[index] = value;
}

WideString AttributeTag(MarkupState& state, bool update) {
  const std::vector<AttributeDefinition>& vocabulary = state.Vocabulary();
  std::u16string changed;
  for (size_t i = 0; i < state.current_.size() && i < vocabulary.size(); ++i) {
    const int32_t value = state.current_[i];
    if (value == state.written_[i]) continue;
    if (update) state.written_[i] = value;
    changed += vocabulary[i].name.View();
    changed += ValueText(vocabulary[i].form, value);
  }
  if (changed.empty()) return WideString();
  return WideString(std::u16string(1, state.Opener()) + changed + state.Closer());
}

WideString TextToMarkup(std::string_view text, uint16_t codePage) {
  MarkupState state;
  SetAttribute(state, kAttributeCodePage, codePage, kSetCurrent);
  const WideString converted = WideFromMultiByte(text, codePage);
  WideString markup = AttributeTag(state, true);
  markup.Append(converted.View());
  SetAttribute(state, kAttributeCodePage, codePage, kSetWritten);
  return markup;
}

}  // namespace quorvel::exchange
