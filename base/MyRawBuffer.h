#pragma once
// A byte buffer that grows without clearing what it gains: blocks and lines are read or encoded
// straight into it, so filling its room with zeros first would be paid on every block.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

class TRawBuffer {
public:
  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void clear() { size_ = 0; }
  std::string_view view() const { return {data_.get(), size_}; }
  // Makes room for n more bytes after size() and returns where they go; added() then counts
  // those that were written.
  char* grow(size_t n) {
    if (size_ + n > capacity_) {
      const size_t capacity = std::max(size_ + n, capacity_ * 2);
      std::unique_ptr<char[]> bigger(new char[capacity]);
      if (size_) std::memcpy(bigger.get(), data_.get(), size_);
      data_ = std::move(bigger);
      capacity_ = capacity;
    }
    return data_.get() + size_;
  }
  void added(size_t n) { size_ += n; }
  void push_back(char c) {
    *grow(1) = c;
    ++size_;
  }
  // Keeps the first n bytes (n at most size()).
  void resize(size_t n) { size_ = std::min(n, size_); }
  void append(std::string_view bytes) {
    if (bytes.empty()) return;
    std::memcpy(grow(bytes.size()), bytes.data(), bytes.size());
    size_ += bytes.size();
  }

private:
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};
