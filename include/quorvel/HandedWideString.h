// HandedWideString: a WideString whose buffer passes to whoever receives it.
// Destroying it does not free the buffer; the library hands message texts to
// hosts in this class.
//
// The one way for a host to release the buffer: move the text into an owning
// WideString with Owned(), whose destructor frees it, e.g.
//   WideString text = TessalyGetItemMessageText(index).Owned();
// A text that is dropped without Owned() keeps its buffer for the process's
// life.
#pragma once

#include <utility>

#include "quorvel/WideString.h"

class HandedWideString : public WideString {
 public:
  HandedWideString() noexcept = default;
  explicit HandedWideString(WideString&& text) noexcept : WideString(std::move(text)) {}
  HandedWideString(HandedWideString&& other) noexcept : WideString(std::move(other)) {}
  HandedWideString(const HandedWideString&) = delete;
  HandedWideString& operator=(const HandedWideString&) = delete;
  HandedWideString& operator=(HandedWideString&&) = delete;
  ~HandedWideString() override { Forget(); }

  // The text as an owning WideString; this one is left empty.
  WideString Owned() { return WideString(std::move(static_cast<WideString&>(*this))); }

 private:
  void Forget() noexcept {
    buffer_ = SharedEmpty();
    capacity_ = kSharedCapacity;
  }
};
