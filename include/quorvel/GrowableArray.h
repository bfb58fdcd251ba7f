// GrowableArray: an array of plain elements (data, size, capacity, grow-by)
// that every growable array of the exchange layer shares, with one growth
// rule. OwningArray holds pointers to elements it deletes.
//
// Growing to n elements beyond the capacity adds the grow-by when it is not
// zero, else size / 8 clamped to 4..1024; the new capacity is the larger of n
// and the old capacity plus that increment. New elements are zero. Shrinking
// only changes the size; a size of 0 frees the memory.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

template <typename T>
class GrowableArray {
  static_assert(std::is_trivially_copyable_v<T>, "elements are copied as raw bytes");

 public:
  GrowableArray() = default;
  explicit GrowableArray(uint32_t growBy) : growBy_(growBy) {}
  GrowableArray(const GrowableArray& other) : growBy_(other.growBy_) { CopyFrom(other); }
  GrowableArray& operator=(const GrowableArray& other) {
    if (this != &other) {
      growBy_ = other.growBy_;
      CopyFrom(other);
    }
    return *this;
  }
  GrowableArray(GrowableArray&& other) noexcept { Take(other); }
  GrowableArray& operator=(GrowableArray&& other) noexcept {
    if (this != &other) {
      delete[] data_;
      Take(other);
    }
    return *this;
  }
  ~GrowableArray() { delete[] data_; }

  uint32_t Size() const { return size_; }
  uint32_t Capacity() const { return capacity_; }
  uint32_t GrowBy() const { return growBy_; }
  void SetGrowBy(uint32_t growBy) { growBy_ = growBy; }
  bool IsEmpty() const { return size_ == 0; }

  T* Data() { return data_; }
  const T* Data() const { return data_; }
  // An index outside the array stops a debug build at once, before the
  // stray access can pass unnoticed.
  T& operator[](uint32_t i) {
    assert(i < size_);
    return data_[i];
  }
  const T& operator[](uint32_t i) const {
    assert(i < size_);
    return data_[i];
  }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }

  void SetSize(uint32_t n) {
    if (n == 0) {
      delete[] data_;
      data_ = nullptr;
      size_ = capacity_ = 0;
      return;
    }
    if (n > capacity_) {
      const uint32_t increment = growBy_ != 0 ? growBy_ : std::clamp<uint32_t>(size_ / 8, 4, 1024);
      const uint64_t grown = uint64_t{capacity_} + increment;
      const uint32_t capacity = static_cast<uint32_t>(std::max<uint64_t>(n, std::min<uint64_t>(grown, UINT32_MAX)));
      T* fresh = new T[capacity]();
      if (size_ != 0) std::memcpy(static_cast<void*>(fresh), data_, size_ * sizeof(T));
      delete[] data_;
      data_ = fresh;
      capacity_ = capacity;
    } else if (n > size_) {
      std::memset(static_cast<void*>(data_ + size_), 0, (n - size_) * sizeof(T));
    }
    size_ = n;
  }

  // Room for `n` elements; the size stays.
  void Reserve(uint32_t n) {
    if (n <= capacity_) return;
    T* fresh = new T[n]();
    if (size_ != 0) std::memcpy(static_cast<void*>(fresh), data_, size_ * sizeof(T));
    delete[] data_;
    data_ = fresh;
    capacity_ = n;
  }

  void Add(const T& value) {
    const T copy = value;  // `value` may live in the memory that growing frees
    SetSize(size_ + 1);
    data_[size_ - 1] = copy;
  }
  void InsertAt(uint32_t i, const T& value) {
    const T copy = value;
    SetSize(size_ + 1);
    std::memmove(static_cast<void*>(data_ + i + 1), data_ + i, (size_ - 1 - i) * sizeof(T));
    data_[i] = copy;
  }
  void RemoveAt(uint32_t i) {
    std::memmove(static_cast<void*>(data_ + i), data_ + i + 1, (size_ - 1 - i) * sizeof(T));
    --size_;
  }
  void RemoveAll() { SetSize(0); }

 private:
  void CopyFrom(const GrowableArray& other) {
    SetSize(0);
    if (other.size_ == 0) return;
    SetSize(other.size_);
    std::memcpy(static_cast<void*>(data_), other.data_, size_ * sizeof(T));
  }
  void Take(GrowableArray& other) {
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    growBy_ = other.growBy_;
  }

  T* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t capacity_ = 0;
  uint32_t growBy_ = 0;  // 0: automatic
};

using U32Array = GrowableArray<uint32_t>;
using U8Array = GrowableArray<uint8_t>;

// An array of pointers that owns its elements: removing one deletes it.
template <typename T>
class OwningArray {
 public:
  OwningArray() = default;
  explicit OwningArray(uint32_t growBy) : pointers_(growBy) {}
  OwningArray(const OwningArray& other) : pointers_(other.pointers_.GrowBy()) { CopyFrom(other); }
  OwningArray& operator=(const OwningArray& other) {
    if (this != &other) CopyFrom(other);
    return *this;
  }
  OwningArray(OwningArray&& other) noexcept = default;
  OwningArray& operator=(OwningArray&& other) noexcept {
    if (this != &other) {
      RemoveAll();
      pointers_ = std::move(other.pointers_);
    }
    return *this;
  }
  virtual ~OwningArray() { RemoveAll(); }

  uint32_t Size() const { return pointers_.Size(); }
  bool IsEmpty() const { return pointers_.IsEmpty(); }
  T& operator[](uint32_t i) { return *pointers_[i]; }
  const T& operator[](uint32_t i) const { return *pointers_[i]; }
  T* At(uint32_t i) { return pointers_[i]; }

  // Takes ownership; answers the element.
  T& Adopt(std::unique_ptr<T> element) {
    pointers_.Add(element.get());
    return *element.release();
  }
  // Takes ownership and places the element at position `i` (at most Size()).
  T& AdoptAt(uint32_t i, std::unique_ptr<T> element) {
    pointers_.InsertAt(i, element.get());
    return *element.release();
  }
  T& Add(const T& element) { return Adopt(std::make_unique<T>(element)); }
  // Makes room for `n` elements at once (the size stays), so that adopting
  // them one by one does not grow the array by its increment each time.
  void Reserve(uint32_t n) { pointers_.Reserve(n); }
  void RemoveAt(uint32_t i) {
    delete pointers_[i];
    pointers_.RemoveAt(i);
  }
  void RemoveAll() {
    for (T* element : pointers_) delete element;
    pointers_.RemoveAll();
  }

 private:
  void CopyFrom(const OwningArray& other) {
    RemoveAll();
    for (const T* element : other.pointers_) Add(*element);
  }

  GrowableArray<T*> pointers_;
};
