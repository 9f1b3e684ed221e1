#pragma once
// The class library's byte streams: an abstract stream and the stream over a file handle.
#include <cstdint>

#include "platform/core/Files.h"

class TStream {
public:
  virtual ~TStream() = default;
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, int origin) = 0;  // origin: platform::SeekBegin/Current/End
  virtual int64_t GetSize();
  virtual void SetSize(int64_t size) = 0;
  int64_t GetPosition() { return Seek(0, platform::SeekCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, platform::SeekBegin); }
};

// A stream over a file handle; it does not close the handle (owners derived from it do).
class THandleStream : public TStream {
public:
  explicit THandleStream(platform::FileHandle handle) : handle_(handle) {}
  platform::FileHandle Handle() const { return handle_; }
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t GetSize() override;
  void SetSize(int64_t size) override;

protected:
  platform::FileHandle handle_;
};
