#include "ItemOptions.h"

#include <cstdio>
#include <filesystem>
#include <cstdlib>

#include "platform/CodePages.h"
#include "platform/WholeFile.h"
#include "quorvel/quorvel.h"

namespace quorvel::tool {

namespace {

// UTF-8 as the exports take text; empty when it does not convert.
WideString Utf8ToWide(const std::string& bytes) {
  if (bytes.empty()) return WideString();
  return WideString(platform::MultiByteToWide(platform::kCodePageUtf8, bytes).value_or(u""));
}

}  // namespace

bool ParseIndex(const std::string& text, uint32_t& index) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (*end != '\0' || value > UINT32_MAX) return false;
  index = static_cast<uint32_t>(value);
  return true;
}

bool ParseItemOptions(const Arguments& arguments, size_t positionalCount, bool answerAllowed,
                      ItemOptions& options) {
  if (arguments.size() < positionalCount) return false;
  options.positional.assign(arguments.begin(), arguments.begin() + positionalCount);
  for (size_t i = positionalCount; i < arguments.size(); i += 2) {
    if (i + 1 >= arguments.size()) return false;
    const std::string& name = arguments[i];
    const std::string& value = arguments[i + 1];
    if (name == "--route") {
      options.route = value;
    } else if (name == "--text") {
      options.textFile = value;
    } else if (name == "--attach") {
      options.attachments.push_back(value);
    } else if (name == "--number") {
      if (!ParseIndex(value, options.number)) return false;
    } else if (name == "--answer" && answerAllowed) {
      uint32_t index = 0;
      if (!ParseIndex(value, index)) return false;
      options.answer = index;
    } else {
      return false;
    }
  }
  return !options.route.empty();
}

int RunItemCommand(const char* command, const char* usage, const Arguments& arguments,
                   size_t positionalCount, bool answerAllowed,
                   const std::function<bool(const ItemInput&)>& file) {
  ItemInput input;
  if (!ParseItemOptions(arguments, positionalCount, answerAllowed, input.options)) {
    std::fprintf(stderr, "usage: quorvel %s %s\n", command, usage);
    return 2;
  }
  const ItemOptions& options = input.options;
  if (!options.textFile.empty()) {
    const std::optional<std::string> bytes = platform::ReadWholeFile(options.textFile);
    if (!bytes) {
      std::fprintf(stderr, "quorvel %s: cannot read %s\n", command, options.textFile.c_str());
      return 1;
    }
    input.text = Utf8ToWide(*bytes);
  }
  const std::string& user = options.positional[1];
  input.writer = CodedText(platform::kCodePageUtf8, Utf8ToWide(user));
  // The library creates the levels of an absolute path only.
  const std::string base = std::filesystem::absolute(options.positional[0]).string();
  OpenMailbox mailbox(base, user);
  if (!mailbox.IsOpen()) {
    std::fprintf(stderr, "quorvel %s: cannot open the mailbox of %s in %s\n", command, user.c_str(),
                 options.positional[0].c_str());
    return 1;
  }
  if (!file(input)) {
    std::fprintf(stderr, "quorvel %s: the item was not filed\n", command);
    return 1;
  }
  return 0;
}

}  // namespace quorvel::tool
