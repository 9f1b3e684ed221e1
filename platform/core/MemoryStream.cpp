#include "platform/core/MemoryStream.h"

#include <algorithm>
#include <cstring>

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = GetSize();
  if (count <= 0 || position_ >= size) return 0;
  const int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (position_ + count > GetSize()) data_.resize(static_cast<size_t>(position_ + count));
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, int origin) {
  const int64_t base = origin == platform::SeekCurrent ? position_ : origin == platform::SeekEnd ? GetSize() : 0;
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

void TMemoryStream::SetSize(int64_t size) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(0, size)));
  position_ = std::min(position_, GetSize());
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

bool TMemoryStream::LoadFromFile(const std::u16string& fileName) {
  Clear();
  const platform::FileHandle h =
      platform::OpenFile(fileName, platform::AccessRead, platform::ShareRead, platform::Disposition::OpenExisting);
  if (h == platform::InvalidFileHandle) return false;
  const int64_t size = platform::FileSizeOf(h);
  bool ok = size >= 0;
  if (ok) {
    data_.resize(static_cast<size_t>(size));
    ok = size == 0 || platform::ReadFile(h, data_.data(), size) == size;
  }
  const int code = platform::LastErrorCode();
  platform::CloseFile(h);
  if (!ok) {
    Clear();
    platform::SetLastErrorCode(code);
  }
  return ok;
}
