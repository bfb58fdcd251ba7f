// WideString: a zero-terminated UTF-16 string with its capacity, the text type
// that hosts and the library exchange by pointer.
//
// Public classes are header-only: a host links the library's exported
// functions and nothing else, so no member of a class here may live in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

class WideString {
 public:
  WideString() noexcept : buffer_(SharedEmpty()), capacity_(kSharedCapacity) {}
  WideString(const char16_t* text) : WideString() {
    if (text != nullptr) Assign(std::u16string_view(text));
  }
  WideString(std::u16string_view text) : WideString() { Assign(text); }
  WideString(const WideString& other) : WideString() { Assign(other.View()); }
  WideString(WideString&& other) noexcept : buffer_(other.buffer_), capacity_(other.capacity_) {
    other.buffer_ = SharedEmpty();
    other.capacity_ = kSharedCapacity;
  }
  WideString& operator=(const WideString& other) {
    if (this != &other) Assign(other.View());
    return *this;
  }
  WideString& operator=(WideString&& other) noexcept {
    if (this != &other) {
      Release();
      buffer_ = other.buffer_;
      capacity_ = other.capacity_;
      other.buffer_ = SharedEmpty();
      other.capacity_ = kSharedCapacity;
    }
    return *this;
  }
  virtual ~WideString() { Release(); }

  // Resizing to 0 frees the buffer and points at the shared empty string;
  // resizing to n > 0 allocates n + 1 code units whenever n is not below the
  // capacity (the old contents are not kept) and writes the terminator at n.
  void Resize(int32_t n) {
    if (n <= 0) {
      Release();
      return;
    }
    if (n >= capacity_) {
      char16_t* fresh = new char16_t[static_cast<size_t>(n) + 1];
      Release();
      buffer_ = fresh;
      capacity_ = n + 1;
    }
    buffer_[n] = u'\0';
  }

  void Assign(std::u16string_view text) {
    if (text.empty()) {
      Release();
      return;
    }
    if (text.data() >= buffer_ && text.data() < buffer_ + Length()) {
      std::u16string copy(text);  // a part of ourselves: Resize may free it
      Assign(std::u16string_view(copy));
      return;
    }
    Resize(static_cast<int32_t>(text.size()));
    std::memcpy(buffer_, text.data(), text.size() * sizeof(char16_t));
  }

  void Append(std::u16string_view more) {
    std::u16string joined(View());
    joined.append(more);
    Assign(joined);
  }

  // Parts of the text: `count` code units from `position` (clamped to the
  // text), the first `count`, the last `count`.
  WideString Mid(size_t position, size_t count = SIZE_MAX) const {
    const std::u16string_view view = View();
    if (position >= view.size()) return WideString();
    return WideString(view.substr(position, count));
  }
  WideString Left(size_t count) const { return Mid(0, count); }
  WideString Right(size_t count) const {
    const size_t length = Length();
    return count >= length ? *this : Mid(length - count);
  }

  // The length is the position of the terminator.
  size_t Length() const { return std::char_traits<char16_t>::length(buffer_); }
  bool IsEmpty() const { return buffer_[0] == u'\0'; }
  const char16_t* Data() const { return buffer_; }
  int32_t Capacity() const { return capacity_; }
  std::u16string_view View() const { return std::u16string_view(buffer_, Length()); }

  friend bool operator==(const WideString& a, const WideString& b) { return a.View() == b.View(); }

  static constexpr int32_t kSharedCapacity = -1;

 protected:
  void Release() noexcept {
    if (capacity_ != kSharedCapacity) delete[] buffer_;
    buffer_ = SharedEmpty();
    capacity_ = kSharedCapacity;
  }

  static char16_t* SharedEmpty() noexcept {
    static const char16_t empty[1] = {u'\0'};
    return const_cast<char16_t*>(empty);  // never written: capacity -1 guards it
  }

  char16_t* buffer_;
  int32_t capacity_;  // in code units; -1: the shared empty string
};
