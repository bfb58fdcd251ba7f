// CodedText: a text together with the Windows code page in which it was
// written or must be shown. Hosts pass it by pointer, for example as the
// sender name of MailsUseSMTP_POP.
#pragma once

#include <cstdint>

#include "quorvel/WideString.h"

class CodedText {
 public:
  CodedText() = default;  // code page 0, empty text
  CodedText(uint16_t codePageOfText, WideString textInPage)
      : codePage(codePageOfText), text(std::move(textInPage)) {}
  CodedText(const CodedText&) = default;
  CodedText& operator=(const CodedText&) = default;
  virtual ~CodedText() = default;

  // The process-wide default instance: code page 1252 and an empty text.
  static const CodedText& Default() {
    static const CodedText instance(1252, WideString());
    return instance;
  }

  friend bool operator==(const CodedText& a, const CodedText& b) {
    return a.codePage == b.codePage && a.text == b.text;
  }

  uint16_t codePage = 0;
  WideString text;
};
