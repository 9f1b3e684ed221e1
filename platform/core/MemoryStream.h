#pragma once
// The class library's memory stream: a growable block of bytes with a position.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/Streams.h"

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // A position past the end is kept; reading there gives nothing, writing there fills the gap with zeros.
  int64_t Seek(int64_t offset, int origin) override;
  int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t size) override;
  void Clear();
  const uint8_t* Memory() const { return data_.data(); }
  const std::vector<uint8_t>& Bytes() const { return data_; }
  // Reads the whole file; false (the stream emptied) when it cannot be read.
  bool LoadFromFile(const std::u16string& fileName);

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};
