#include "platform/core/Streams.h"

int64_t TStream::GetSize() {
  int64_t pos = Seek(0, platform::SeekCurrent);
  int64_t size = Seek(0, platform::SeekEnd);
  Seek(pos, platform::SeekBegin);
  return size;
}

int64_t THandleStream::Read(void* buffer, int64_t count) {
  int64_t n = platform::ReadFile(handle_, buffer, count);
  return n < 0 ? 0 : n;
}

int64_t THandleStream::Write(const void* buffer, int64_t count) {
  int64_t n = platform::WriteFile(handle_, buffer, count);
  return n < 0 ? 0 : n;
}

int64_t THandleStream::Seek(int64_t offset, int origin) { return platform::SeekFile(handle_, offset, origin); }

int64_t THandleStream::GetSize() { return platform::FileSizeOf(handle_); }

void THandleStream::SetSize(int64_t size) { platform::SetFileSizeOf(handle_, size); }
