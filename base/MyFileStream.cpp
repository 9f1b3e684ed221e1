#include "base/MyFileStream.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/MyRawBuffer.h"
#include "base/MyWideStr.h"
#include "platform/core/Clock.h"
#include "platform/core/CodePages.h"
#include "platform/core/Utf8.h"

namespace {

constexpr int64_t kBufferSize = 64 * 1024;
// A file written by one thread has its blocks written behind by a thread of its own once this
// much went out: writing into the page cache costs about as much as converting, and so runs on
// another core. A smaller file is written by the caller and never starts a thread.
constexpr int64_t kWriteBehindFrom = 1024 * 1024;
// The blocks handed to that thread: large enough that it is woken seldom, small enough that all
// of them stay in a core's cache (larger ones cost the kernel's copy more than the wake-ups).
constexpr int64_t kWriteBlock = 256 * 1024;
constexpr int64_t kLineChunk = 4096;  // characters read per step while looking for a line end

struct EncodingInfo {
  const char* mark;
  int markSize;
  int clusterSize;
  const char16_t* name;
};

const EncodingInfo kEncodings[] = {
    {"", 0, 1, u"None"},
    {"", 0, 1, u"ANSI"},
    {"\xFF\xFE", 2, 2, u"Unicode"},
    {"\xFE\xFF", 2, 2, u"BigEndian"},
    {"\xEF\xBB\xBF", 3, 1, u"UTF8"},
};

// Work buffers reused from call to call, one set per thread, so that streams shared between
// threads never share them and reading a line allocates only when lines grow.
struct WorkBuffers {
  TRawBuffer line;            // raw bytes of the line being read
  std::vector<char> chunk;    // raw bytes of a block, or encoded text to write
  std::vector<char> decode;   // terminated copy for the converters
  std::vector<char16_t> wide;
};

WorkBuffers& Work() {
  thread_local WorkBuffers buffers;
  return buffers;
}

bool ValidCode(TCodeChar code) { return code >= ccAnsi && code <= ccUtf8; }

// RAII for the recursive lock; every wait here is unbounded.
class Locked {
public:
  explicit Locked(TMyCriticalSection& lock) : lock_(lock) { lock_.Enter(INFINITE); }
  ~Locked() { lock_.Leave(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

private:
  TMyCriticalSection& lock_;
};

TMyCriticalSection& FileInUseLock() {
  static TMyCriticalSection lock;
  return lock;
}

WideString Number(int64_t v) {
  std::string s = std::to_string(v);
  return WideString(s.begin(), s.end());
}

WideString Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%X", v);
  return WideString(buf, buf + std::strlen(buf));
}

const char16_t* YesNo(bool b) { return b ? u"Yes" : u"No"; }

}  // namespace

const char16_t* CodeCharName(TCodeChar code) {
  return kEncodings[ValidCode(code) ? CodeNumber(code) : CodeNumber(ccNone)].name;
}

// ---------------------------------------------------------------------------------------------
TMultiPos::TMultiPos() { Clear(); }

TMultiPos::~TMultiPos() { Clear(); }

void TMultiPos::Clear() {
  Locked lock(LockThreads);
  Items.clear();
  LastThreadId = 0xFFFFFFFF;
  LastIndex = -1;
}

int TMultiPos::IndexOfThread(uint32_t threadId) {
  auto it = std::lower_bound(Items.begin(), Items.end(), threadId,
                             [](const TThreadFileInfo& info, uint32_t id) { return info.ThreadId < id; });
  int index = static_cast<int>(it - Items.begin());
  if (it != Items.end() && it->ThreadId == threadId) return index;
  return -(index + 1);
}

TThreadFileInfo& TMultiPos::CurrentInfoLocked(int64_t initial) {
  const uint32_t id = platform::CurrentThreadId();
  if (id != LastThreadId || LastIndex < 0) {
    int index = IndexOfThread(id);
    if (index < 0) {
      index = -index - 1;
      Items.insert(Items.begin() + index, TThreadFileInfo{id, initial});
    }
    LastIndex = index;
    LastThreadId = id;
  }
  return Items[static_cast<size_t>(LastIndex)];
}

int64_t TMultiPos::ThreadPosition() {
  Locked lock(LockThreads);
  return CurrentInfoLocked().Position;
}

void TMultiPos::SetThreadPosition(int64_t value) {
  Locked lock(LockThreads);
  CurrentInfoLocked(value).Position = value;
}

int64_t TMultiPos::GetPosition() { return ThreadPosition(); }

void TMultiPos::SetPosition(int64_t value) { SetThreadPosition(value); }

// ---------------------------------------------------------------------------------------------
TMyFileStream::TMyFileStream(bool multiThreads) : FMultiThreads(multiThreads) {}

TMyFileStream::~TMyFileStream() { CloseFile(); }

std::unique_ptr<TMyFileStream> TMyFileStream::Create(const WideString& fileName, uint16_t mode, bool multiThreads) {
  std::unique_ptr<TMyFileStream> s(new TMyFileStream(multiThreads));
  if (!s->Open(fileName, mode)) return nullptr;
  return s;
}

bool TMyFileStream::Open(const WideString& fileName, uint16_t mode) {
  CloseFile();
  try {
    Stream = std::make_unique<TUniFileStream>(fileName, mode);
  } catch (const std::exception&) {
    Stream.reset();
  }
  FFileName = fileName;
  ClusterSize = 1;
  HeaderSize = 0;
  FModified = false;
  FWriteFailed = false;
  // A file opened for reading only is never written to, not even a byte-order mark.
  CanWrite = mode == fmCreate || (mode & 3) != 0;
  FPos = 0;
  FBufLen = 0;
  FBufDirty = false;
  FWrittenOut = 0;
  FSize = Stream ? Stream->GetSize() : 0;
  Clear();
  return Stream != nullptr;
}

// The blocks of one file in order, written by a thread of its own. Its few blocks are made when
// it starts and then go round, so memory stays flat however fast the caller writes; a caller
// that outruns the disk waits for a block to come back.
class TMyFileStream::TWriteBehind {
public:
  static constexpr size_t kBlocks = 4;  // the one the stream fills included

  TWriteBehind(platform::FileHandle handle, size_t blockSize) : handle_(handle) {
    for (size_t i = 1; i < kBlocks; ++i) free_.emplace_back(blockSize);
    thread_ = std::thread([this] { Run(); });
  }

  // Every queued block is written before the thread ends: nothing handed over is lost.
  ~TWriteBehind() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    work_.notify_one();
    thread_.join();
  }

  TWriteBehind(const TWriteBehind&) = delete;
  TWriteBehind& operator=(const TWriteBehind&) = delete;

  // Queues the first len bytes of block for the offset at, and gives back a free block.
  void Submit(std::vector<char>& block, int64_t len, int64_t at) {
    std::unique_lock<std::mutex> lock(mutex_);
    returned_.wait(lock, [&] { return !free_.empty(); });
    queue_[(head_ + queued_) % kBlocks] = Block{std::move(block), len, at};
    ++queued_;
    block = std::move(free_.back());
    free_.pop_back();
    lock.unlock();
    work_.notify_one();
  }

  // Returns once every queued block is in the file (or failed).
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    returned_.wait(lock, [&] { return queued_ == 0 && !busy_; });
  }

  // A failure not taken yet, with the reason of the last one.
  bool TakeFailure(int& code) {
    if (!failed_.load(std::memory_order_acquire)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failed_.load(std::memory_order_relaxed)) return false;
    failed_.store(false, std::memory_order_relaxed);
    code = code_;
    return true;
  }

private:
  struct Block {
    std::vector<char> data;
    int64_t len = 0;
    int64_t at = 0;
  };

  void Run() {
    for (;;) {
      Block block;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_.wait(lock, [&] { return stop_ || queued_ > 0; });
        if (queued_ == 0) return;
        block = std::move(queue_[head_]);
        head_ = (head_ + 1) % kBlocks;
        --queued_;
        busy_ = true;
      }
      // Blocks after a failed one are still written, as a caller writing them itself would.
      const int64_t n = platform::WriteFileAt(handle_, block.data.data(), block.len, block.at);
      const int code = n != block.len ? platform::LastErrorCode() : 0;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (n != block.len) {
          code_ = code;
          failed_.store(true, std::memory_order_release);
        }
        free_.push_back(std::move(block.data));  // room reserved: kBlocks blocks at most
        busy_ = false;
      }
      returned_.notify_all();
    }
  }

  const platform::FileHandle handle_;
  std::mutex mutex_;
  std::condition_variable work_;      // a block queued, or the end
  std::condition_variable returned_;  // a block written
  Block queue_[kBlocks];
  size_t head_ = 0, queued_ = 0;
  std::vector<std::vector<char>> free_;
  bool busy_ = false;
  bool stop_ = false;
  std::atomic<bool> failed_{false};
  int code_ = 0;
  std::thread thread_;
};

void TMyFileStream::TakeWriterFailure() const {
  int code = 0;
  if (FWriter && FWriter->TakeFailure(code)) {
    FWriteFailed = true;
    platform::SetLastErrorCode(code);
  }
}

bool TMyFileStream::WriteFailed() const {
  TakeWriterFailure();
  return FWriteFailed;
}

void TMyFileStream::SetWriteBehind(bool value) {
  if (value == FWriteBehind) return;
  Flush();
  FWriter.reset();
  FWriteBehind = value;
}

void TMyFileStream::WriteBuffer() {
  if (FBufDirty) {
    FBufDirty = false;
    if (!FWriter && FWriteBehind && FWrittenOut >= kWriteBehindFrom) {
      try {
        // Every block of the writer has one size, so that none is ever made again.
        FBuf.resize(static_cast<size_t>(kWriteBlock));
        FWriter = std::make_unique<TWriteBehind>(Stream->Handle(), static_cast<size_t>(kWriteBlock));
      } catch (const std::exception&) {
        // Without a thread the caller writes, as for a small file.
      }
    }
    if (FWriter) {
      FWriter->Submit(FBuf, FBufLen, FBufStart);
    } else {
      const int64_t n = platform::WriteFileAt(Stream->Handle(), FBuf.data(), FBufLen, FBufStart);
      if (n != FBufLen) FWriteFailed = true;
      FWrittenOut += FBufLen;
    }
  }
  FBufLen = 0;
}

void TMyFileStream::WaitWriter() {
  if (!FWriter) return;
  FWriter->Wait();
  TakeWriterFailure();
}

bool TMyFileStream::Flush() {
  if (!Stream) return !FWriteFailed;
  WriteBuffer();
  WaitWriter();
  return !FWriteFailed;
}

bool TMyFileStream::CloseFile() {
  bool ok = Flush();
  FWriter.reset();
  Stream.reset();
  FModified = false;
  return ok;
}

int64_t TMyFileStream::BytePosition() { return FMultiThreads ? ThreadPosition() : FPos; }

void TMyFileStream::SetBytePosition(int64_t value) {
  if (value < 0) value = 0;
  if (FMultiThreads)
    SetThreadPosition(value);
  else
    FPos = value;
}

int64_t TMyFileStream::ByteSize() {
  if (!Stream) return 0;
  if (FMultiThreads) {
    Locked lock(LockRW);
    return Stream->GetSize();
  }
  return FSize;
}

int64_t TMyFileStream::GetPosition() { return BytePosition(); }
void TMyFileStream::SetPosition(int64_t value) { SetBytePosition(value); }
int64_t TMyFileStream::GetSize() { return ByteSize(); }

void TMyFileStream::SetSize(int64_t value) {
  if (!Stream || value < 0 || value == ByteSize()) return;
  {
    Locked lock(LockRW);
    Flush();
    if (!platform::SetFileSizeOf(Stream->Handle(), value)) FWriteFailed = true;
    FSize = Stream->GetSize();
  }
  SetModified(true);
}

int64_t TMyFileStream::Seek(int64_t offset, int origin) {
  int64_t base = 0;
  if (origin == platform::SeekCurrent)
    base = BytePosition();
  else if (origin == platform::SeekEnd)
    base = ByteSize();
  else if (origin != platform::SeekBegin)
    offset = 0;
  // From the end, as from anywhere, the offset is added: a negative one moves back.
  SetBytePosition(base + offset);
  return BytePosition();
}

int64_t TMyFileStream::TransferRead(void* buffer, int64_t count, int64_t at) {
  if (!Stream || count <= 0) return 0;
  if (FMultiThreads) {
    Locked lock(LockRW);
    int64_t n = platform::ReadFileAt(Stream->Handle(), buffer, count, at);
    return n < 0 ? 0 : n;
  }
  // What is read may still be on its way to the file.
  if (FBufDirty) WriteBuffer();
  WaitWriter();
  auto* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t pos = at + done;
    if (pos >= FBufStart && pos < FBufStart + FBufLen) {
      int64_t n = std::min(count - done, FBufStart + FBufLen - pos);
      std::memcpy(out + done, FBuf.data() + (pos - FBufStart), static_cast<size_t>(n));
      done += n;
      continue;
    }
    // A request of a buffer's size or more takes what the buffer lacks straight from the file:
    // copying it through the buffer would cost a copy of every block.
    if (count >= kBufferSize) {
      int64_t n = platform::ReadFileAt(Stream->Handle(), out + done, count - done, pos);
      if (n > 0) done += n;
      break;
    }
    if (FBuf.size() < static_cast<size_t>(kBufferSize)) FBuf.resize(static_cast<size_t>(kBufferSize));
    int64_t n = platform::ReadFileAt(Stream->Handle(), FBuf.data(), kBufferSize, pos);
    FBufStart = pos;
    FBufLen = n < 0 ? 0 : n;
    if (FBufLen == 0) break;
  }
  return done;
}

std::string_view TMyFileStream::BufferedFrom(int64_t at) const {
  if (FMultiThreads || FBufDirty || at < FBufStart || at >= FBufStart + FBufLen) return {};
  return std::string_view(FBuf.data() + (at - FBufStart), static_cast<size_t>(FBufStart + FBufLen - at));
}

int64_t TMyFileStream::TransferWrite(const void* buffer, int64_t count, int64_t at) {
  if (!Stream || count <= 0) return 0;
  if (FMultiThreads) {
    Locked lock(LockRW);
    int64_t n = platform::WriteFileAt(Stream->Handle(), buffer, count, at);
    if (n != count) FWriteFailed = true;
    return n < 0 ? 0 : n;
  }
  if (!FBufDirty) FBufLen = 0;  // what was read ahead may be overwritten now
  // The buffer is a block of the writer thread once that runs.
  const int64_t capacity = FWriter ? kWriteBlock : kBufferSize;
  if (FBufDirty && (at != FBufStart + FBufLen || FBufLen + count > capacity)) WriteBuffer();
  const bool behind = FWriter || (FWriteBehind && FWrittenOut >= kWriteBehindFrom);
  if (count >= kBufferSize && !behind) {
    int64_t n = platform::WriteFileAt(Stream->Handle(), buffer, count, at);
    if (n != count) FWriteFailed = true;
    FWrittenOut += count;
    n = std::max<int64_t>(n, 0);
    FSize = std::max(FSize, at + n);
    return n;
  }
  // Written behind, a large write goes out block by block like the small ones.
  const auto* from = static_cast<const char*>(buffer);
  for (int64_t done = 0; done < count;) {
    const int64_t room = FWriter ? kWriteBlock : kBufferSize;
    if (FBuf.size() < static_cast<size_t>(room)) FBuf.resize(static_cast<size_t>(room));
    if (FBufLen == 0) FBufStart = at + done;
    const int64_t n = std::min(count - done, room - FBufLen);
    std::memcpy(FBuf.data() + FBufLen, from + done, static_cast<size_t>(n));
    FBufLen += n;
    FBufDirty = true;
    done += n;
    if (done < count) WriteBuffer();
  }
  FSize = std::max(FSize, at + count);
  return count;
}

int64_t TMyFileStream::Read(void* buffer, int64_t count) {
  const int64_t at = BytePosition();
  const int64_t n = TransferRead(buffer, count, at);
  SetBytePosition(at + n);
  return n;
}

int64_t TMyFileStream::Write(const void* buffer, int64_t count) {
  if (!CanWrite) count = 0;
  const int64_t at = BytePosition();
  const int64_t n = TransferWrite(buffer, count, at);
  SetBytePosition(at + n);
  SetModified(n > 0);
  return n;
}

int64_t TMyFileStream::ReadAt(void* buffer, int64_t count, int64_t position) {
  SetBytePosition(position);
  return Read(buffer, count);
}

int64_t TMyFileStream::WriteAt(const void* buffer, int64_t count, int64_t position) {
  SetBytePosition(position);
  return Write(buffer, count);
}

bool TMyFileStream::Eof() { return BytePosition() >= ByteSize(); }

void TMyFileStream::SetModified(bool value) {
  if (!value || FModified) return;
  if (OnModified) {
    try {
      OnModified(true);
    } catch (...) {
      // A handler's failure must not stop the write it reports.
    }
  }
  FModified = true;
}

void TMyFileStream::DebugInfo(std::vector<WideString>& lines) {
  lines.push_back(u"FileName: " + FFileName);
  lines.push_back(u"ClusterSize: " + Number(ClusterSize));
  lines.push_back(WideString(u"CanWrite: ") + YesNo(CanWrite));
  lines.push_back(WideString(u"Modified: ") + YesNo(FModified));
  lines.push_back(WideString(u"MultiThreads: ") + YesNo(FMultiThreads));
  if (FMultiThreads) {
    lines.push_back(u"LockThreads.LockCount: " + Number(LockThreads.GetLockCount()));
    lines.push_back(u"LockThreads.OwnThread: " + Number(LockThreads.GetOwnThread()));
    lines.push_back(u"LockRW.LockCount: " + Number(LockRW.GetLockCount()));
    lines.push_back(u"LockRW.OwnThread: " + Hex(LockRW.GetOwnThread()));
  }
}

// ---------------------------------------------------------------------------------------------
std::unique_ptr<TTextFileStream> TTextFileStream::Create(const WideString& fileName, TCodeChar codeChar,
                                                         bool multiThreads, uint16_t mode) {
  std::unique_ptr<TTextFileStream> s(new TTextFileStream(multiThreads));
  if (!s->Open(fileName, mode)) return nullptr;
  s->FCodeChar = ValidCode(codeChar) ? codeChar : ccAnsi;
  s->InitEncoding(mode);
  return s;
}

void TTextFileStream::InitEncoding(uint16_t /*mode*/) {
  const int64_t size = TMyFileStream::GetSize();
  FNbChRtn = 2;
  if (size == 0) {
    // Only a new, empty file opened for writing receives the mark of the encoding asked for.
    if (CanWrite) {
      const EncodingInfo& e = kEncodings[CodeNumber(FCodeChar)];
      if (e.markSize) TMyFileStream::WriteAt(e.mark, e.markSize, 0);
      HeaderSize = e.markSize;
    } else {
      HeaderSize = 0;
    }
  } else {
    unsigned char head[3] = {0, 0, 0};
    int64_t n = TMyFileStream::ReadAt(head, 3, 0);
    if (n >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF)
      FCodeChar = ccUtf8;
    else if (n >= 2 && head[0] == 0xFF && head[1] == 0xFE)
      FCodeChar = ccUnicode;
    else if (n >= 2 && head[0] == 0xFE && head[1] == 0xFF)
      FCodeChar = ccBigEndian;
    else
      FCodeChar = ccAnsi;
    HeaderSize = FCodeChar == ccAnsi ? 0 : kEncodings[CodeNumber(FCodeChar)].markSize;
  }
  ClusterSize = kEncodings[CodeNumber(FCodeChar)].clusterSize;
  DecalMult = static_cast<uint8_t>(ClusterSize - 1);
  FModified = false;
  SetPosition(0);
}

int64_t TTextFileStream::GetPosition() { return (BytePosition() - HeaderSize) >> DecalMult; }

void TTextFileStream::SetPosition(int64_t value) {
  if (FDecoder) FDecoder->Reset();
  SetBytePosition(HeaderSize + (value << DecalMult));
}

int64_t TTextFileStream::GetSize() { return std::max<int64_t>(0, (ByteSize() - HeaderSize) >> DecalMult); }

void TTextFileStream::SetSize(int64_t value) {
  if (CanWrite) TMyFileStream::SetSize(HeaderSize + (value << DecalMult));
}

int64_t TTextFileStream::Seek(int64_t offset, int origin) {
  if (FDecoder) FDecoder->Reset();
  int64_t bytes = origin == platform::SeekBegin ? HeaderSize + (offset << DecalMult) : offset * ClusterSize;
  int64_t r = TMyFileStream::Seek(bytes, origin);
  if (r < HeaderSize) {
    SetBytePosition(HeaderSize);
    r = HeaderSize;
  }
  return (r - HeaderSize) >> DecalMult;
}

int64_t TTextFileStream::ReadRaw(void* buffer, int64_t count) { return Read(buffer, count << DecalMult) >> DecalMult; }

int64_t TTextFileStream::WriteRaw(const void* buffer, int64_t count) {
  return Write(buffer, count << DecalMult) >> DecalMult;
}

void TTextFileStream::SetCodeChar(TCodeChar value) {
  if ((FCodeChar == ccAnsi || FCodeChar == ccUtf8) && (value == ccAnsi || value == ccUtf8)) FCodeChar = value;
}

bool TTextFileStream::SetCodePage(unsigned codePage) {
  if (FCodeChar != ccAnsi) return false;
  auto decoder = std::make_unique<platform::TCodePageDecoder>(codePage);
  if (!decoder->Ok()) return false;
  FDecoder = std::move(decoder);
  return true;
}

void TTextFileStream::SetUnmarkedCode(TCodeChar value) {
  if (HeaderSize != 0 || !ValidCode(value) || TMyFileStream::GetSize() == 0) return;
  FCodeChar = value;
  ClusterSize = kEncodings[CodeNumber(FCodeChar)].clusterSize;
  DecalMult = static_cast<uint8_t>(ClusterSize - 1);
  SetPosition(0);
}

namespace {

// Checks bytes for well-formed UTF-8 block by block; a sequence may straddle two blocks.
class TUtf8Check {
public:
  bool Valid = true;
  bool NonAscii = false;

  void Feed(const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n && Valid; ++i) {
      const unsigned char b = p[i];
      if (need_ == 0) {
        if (b < 0x80) continue;
        NonAscii = true;
        lo_ = 0x80;
        hi_ = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
          need_ = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
          need_ = 2;
          if (b == 0xE0) lo_ = 0xA0;  // no overlong forms
          if (b == 0xED) hi_ = 0x9F;  // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
          need_ = 3;
          if (b == 0xF0) lo_ = 0x90;
          if (b == 0xF4) hi_ = 0x8F;  // nothing above U+10FFFF
        } else {
          Valid = false;
        }
      } else if (b < lo_ || b > hi_) {
        Valid = false;
      } else {
        lo_ = 0x80;
        hi_ = 0xBF;
        --need_;
      }
    }
  }
  bool Complete() const { return Valid && need_ == 0; }

private:
  int need_ = 0;
  unsigned char lo_ = 0x80, hi_ = 0xBF;
};

}  // namespace

bool TTextFileStream::LooksLikeUtf8() {
  std::vector<unsigned char> block(64 * 1024);
  TUtf8Check check;
  for (int64_t at = HeaderSize;;) {
    const int64_t n = ReadAt(block.data(), static_cast<int64_t>(block.size()), at);
    if (n <= 0) break;
    at += n;
    check.Feed(block.data(), static_cast<size_t>(n));
    if (!check.Valid) break;
  }
  SetPosition(0);
  return check.NonAscii && check.Complete();
}

void TTextFileStream::Decode(const char* bytes, size_t count, WideString& out) {
  // An empty line's view may have no data at all: nothing is copied from it.
  if (count == 0) return;
  const size_t start = out.size();
  if (FCodeChar == ccUnicode || FCodeChar == ccBigEndian) {
    const size_t units = count / 2;
    out.resize(start + units);
    std::memcpy(out.data() + start, bytes, units * 2);
    if (FCodeChar == ccBigEndian)
      for (size_t i = start; i < out.size(); ++i) out[i] = static_cast<char16_t>((out[i] >> 8) | (out[i] << 8));
    return;
  }
  if (FCodeChar == ccUtf8) {
    // #0 bytes included: the decoder takes the length, not a terminated copy.
    AppendUtf8(std::string_view(bytes, count), out);
    return;
  }
  if (FDecoder) {  // whole lines: nothing stays pending
    FDecoder->Decode(std::string_view(bytes, count), out, true);
    return;
  }
  // The converters work on terminated text: copy with a #0 and convert into the work buffer.
  // A #0 byte of the file would end that text early and lose the rest of the block, so the
  // text is converted piece by piece between them, each #0 kept as U+0000 (as UTF-16 keeps it).
  WorkBuffers& work = Work();
  if (work.wide.size() < count + 1) work.wide.resize(count + 1);
  for (size_t i = 0;;) {
    const void* nul = std::memchr(bytes + i, 0, count - i);
    const size_t end = nul ? static_cast<size_t>(static_cast<const char*>(nul) - bytes) : count;
    work.decode.assign(bytes + i, bytes + end);
    work.decode.push_back(0);
    const int n = ConvertText(CodeNumber(FCodeChar), CodeNumber(ccUnicode), work.wide.data(), work.decode.data());
    out.append(work.wide.data(), static_cast<size_t>(std::max(n, 0)));
    if (!nul) break;
    out.push_back(u'\0');
    i = end + 1;
  }
}

int64_t TTextFileStream::ReadLine(WideString& line) {
  line.clear();
  std::string_view bytes;
  const int64_t position = ReadLineBytes(bytes);
  if (!bytes.empty()) Decode(bytes.data(), bytes.size(), line);
  return position;
}

int64_t TTextFileStream::ReadLineBytes(std::string_view& bytes) {
  bytes = {};
  const int64_t startByte = BytePosition();
  const int unit = ClusterSize;
  if (unit == 1) {
    // A line that the read buffer holds whole, its line end included, is taken from there: a
    // copy through the line buffer would cost more than the rest of the line's work.
    const std::string_view held = BufferedFrom(startByte);
    const void* lf = held.empty() ? nullptr : std::memchr(held.data(), '\n', held.size());
    const size_t limit = lf ? static_cast<size_t>(static_cast<const char*>(lf) - held.data()) : held.size();
    const void* cr = held.empty() ? nullptr : std::memchr(held.data(), '\r', limit);
    const size_t end = cr ? static_cast<size_t>(static_cast<const char*>(cr) - held.data()) : limit;
    // A CR at the buffer's end may have its LF in the next block: the general path settles it.
    if (end < held.size() && !(held[end] == '\r' && end + 1 >= held.size())) {
      const size_t consumed = end + 1 + (held[end] == '\r' && held[end + 1] == '\n' ? 1 : 0);
      SetBytePosition(startByte + static_cast<int64_t>(consumed));
      FLastLineEnd = ((startByte - HeaderSize) >> DecalMult) + static_cast<int64_t>(end);
      if (end > 0) bytes = held.substr(0, end);
      return GetPosition();
    }
  }
  const bool bigEndian = FCodeChar == ccBigEndian;
  TRawBuffer& raw = Work().line;
  raw.clear();
  size_t scanned = 0;  // units already searched
  int64_t lineUnits = -1, consumed = 0;
  bool eof = false;
  auto unitAt = [&](size_t i) -> unsigned {
    const char* r = raw.data();
    if (unit == 1) return static_cast<unsigned char>(r[i]);
    const auto b0 = static_cast<unsigned char>(r[2 * i]), b1 = static_cast<unsigned char>(r[2 * i + 1]);
    return bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0);
  };
  auto readMore = [&]() {
    const size_t want = static_cast<size_t>(kLineChunk * unit);
    char* to = raw.grow(want);
    const int64_t n = TransferRead(to, static_cast<int64_t>(want), startByte + static_cast<int64_t>(raw.size()));
    raw.added(static_cast<size_t>(std::max<int64_t>(n, 0)));
    if (n < static_cast<int64_t>(want)) eof = true;
  };
  // The first CR or LF among the units from `from` to `units`, or `units`.
  auto findEnd = [&](size_t from, size_t units) -> size_t {
    if (unit == 1) {
      const char* r = raw.data();
      const void* lf = std::memchr(r + from, '\n', units - from);
      const size_t limit = lf ? static_cast<size_t>(static_cast<const char*>(lf) - r) : units;
      const void* cr = std::memchr(r + from, '\r', limit - from);
      return cr ? static_cast<size_t>(static_cast<const char*>(cr) - r) : limit;
    }
    for (size_t i = from; i < units; ++i) {
      const unsigned c = unitAt(i);
      if (c == 13 || c == 10) return i;
    }
    return units;
  };
  while (lineUnits < 0) {
    if (scanned >= raw.size() / unit) {
      if (eof) break;
      readMore();
      continue;
    }
    const size_t units = raw.size() / unit;
    scanned = findEnd(scanned, units);
    if (scanned == units) continue;
    const unsigned c = unitAt(scanned);
    lineUnits = static_cast<int64_t>(scanned);
    consumed = lineUnits + 1;
    if (c == 13) {
      if (scanned + 1 >= raw.size() / unit && !eof) readMore();
      if (scanned + 1 < raw.size() / unit && unitAt(scanned + 1) == 10) ++consumed;
    }
  }
  int64_t consumedBytes;
  if (lineUnits < 0) {
    lineUnits = static_cast<int64_t>(raw.size() / unit);
    consumed = lineUnits;
    // A UTF-16 file of odd length ends with a byte that is no character: the last line takes
    // it, so that the end of the file is reached and a loop until Eof ends.
    consumedBytes = static_cast<int64_t>(raw.size());
  } else {
    consumedBytes = consumed * unit;
  }
  SetBytePosition(startByte + consumedBytes);
  FLastLineEnd = ((startByte - HeaderSize) >> DecalMult) + lineUnits;
  if (lineUnits > 0) bytes = std::string_view(raw.data(), static_cast<size_t>(lineUnits * unit));
  return GetPosition();
}

int64_t TTextFileStream::ReadLineAt(WideString& line, int64_t position) {
  if (position != -1) SetPosition(position);
  return ReadLine(line);
}

int64_t TTextFileStream::ReadChars(WideString& text, int64_t count) {
  const size_t start = text.size();
  if (FCodeChar == ccUtf8) count = std::max<int64_t>(count, 4);  // room for one whole sequence
  // In a double-byte code page a block can end between a lead byte and its trail byte.
  // (A file in a code page of its own has a decoder that keeps such a byte itself.)
  const bool* leadBytes = FCodeChar == ccAnsi && !FDecoder ? platform::CodePageLeadBytes(platform::AnsiCodePage()) : nullptr;
  if (leadBytes) count = std::max<int64_t>(count, 2);
  std::vector<char>& raw = Work().chunk;
  for (;;) {
    const int64_t want = count << DecalMult;
    raw.resize(static_cast<size_t>(want));
    int64_t n = Read(raw.data(), want);
    if (FDecoder && FCodeChar == ccAnsi) {
      // The decoder keeps a character that the block's end cut until its other bytes come; at
      // the end of the file what is left of one is given as such.
      FDecoder->Decode(std::string_view(raw.data(), static_cast<size_t>(std::max<int64_t>(n, 0))), text, n <= 0);
      if (text.size() > start || n <= 0) return static_cast<int64_t>(text.size() - start);
      continue;
    }
    if (n <= 0) return 0;
    if (FCodeChar == ccUtf8 && n == want) {
      // Hold back a sequence that the block's end cut, so that it is read whole next time.
      int64_t j = n - 1, k = 0;
      while (j >= 0 && k < 3 && (static_cast<unsigned char>(raw[j]) & 0xC0) == 0x80) --j, ++k;
      if (j >= 0) {
        const auto lead = static_cast<unsigned char>(raw[j]);
        const int64_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        const int64_t have = n - j;
        if (lead >= 0xC0 && have < need) {
          Seek(-have, platform::SeekCurrent);
          n -= have;
        }
      }
    }
    if (leadBytes && n == want) {
      // A trail byte may look like a lead byte, so the block is walked from its start, which
      // always begins a character: a lead byte in the last place has lost its trail byte.
      int64_t i = 0;
      while (i < n - 1) i += leadBytes[static_cast<unsigned char>(raw[i])] ? 2 : 1;
      if (i == n - 1 && leadBytes[static_cast<unsigned char>(raw[i])]) {
        Seek(-1, platform::SeekCurrent);
        --n;
      }
    }
    Decode(raw.data(), static_cast<size_t>(n), text);
    // Bytes that decode to nothing are consumed; read on so that 0 means the end of the file.
    if (text.size() > start) return static_cast<int64_t>(text.size() - start);
  }
}

namespace {
// Units of text encoded per step when a text is written or measured: a line of any length then
// needs a work buffer of a few hundred kilobytes, not four bytes for each of its characters.
constexpr size_t kEncodePiece = 64 * 1024;

// Whether text holds a surrogate at all (a pair or a lone one): most text has none.
bool HasSurrogate(std::u16string_view text) {
  for (const char16_t c : text)
    if ((c & 0xF800) == 0xD800) return true;
  return false;
}

// Where the piece of text that starts at from ends: after kEncodePiece units or at the end, never
// between the halves of a pair, and in ANSI only before an ASCII character (composing a letter
// with the accent after it must see both).
size_t PieceEnd(TCodeChar code, std::u16string_view text, size_t from) {
  if (text.size() - from <= kEncodePiece) return text.size();
  size_t end = from + kEncodePiece;
  if (code != ccAnsi) return (text[end - 1] & 0xFC00) == 0xD800 ? end - 1 : end;
  size_t e = end;
  while (e > from && text[e] >= 0x80) --e;
  if (e > from) return e;
  while (end < text.size() && text[end] >= 0x80) ++end;
  return end;
}

// One piece of text in the file's encoding (not UTF-16LE), in encoded; returns its length in
// bytes. With replaced, what is written: a lone surrogate, which no well-formed file holds,
// becomes U+FFFD (of the same length in every encoding; the code page's "?" in ANSI), and
// *replaced counts them. Without, only measured.
size_t EncodePiece(TCodeChar code, std::u16string_view piece, std::vector<char>& encoded, size_t* replaced) {
  if (code == ccUtf8) {
    if (encoded.size() < piece.size() * 3) encoded.resize(piece.size() * 3);
    return static_cast<size_t>(
        platform::EncodeUtf8(piece, encoded.data(), platform::LoneSurrogate::Replace, replaced) - encoded.data());
  }
  if (code == ccBigEndian) {
    if (encoded.size() < piece.size() * 2) encoded.resize(piece.size() * 2);
    auto* units = reinterpret_cast<char16_t*>(encoded.data());
    std::copy(piece.begin(), piece.end(), units);
    if (replaced) *replaced += platform::ReplaceLoneSurrogates(units, piece.size());
    for (size_t i = 0; i < piece.size(); ++i) units[i] = static_cast<char16_t>((units[i] >> 8) | (units[i] << 8));
    return piece.size() * 2;
  }
  const std::string ansi = platform::Utf16ToCodePageComposed(platform::AnsiCodePage(), piece);
  if (encoded.size() < ansi.size()) encoded.resize(ansi.size());
  std::memcpy(encoded.data(), ansi.data(), ansi.size());
  if (replaced && HasSurrogate(piece)) {
    // The converter wrote its "?" for each lone one already: they are only counted.
    std::vector<char16_t>& copy = Work().wide;
    copy.assign(piece.begin(), piece.end());
    *replaced += platform::ReplaceLoneSurrogates(copy.data(), copy.size());
  }
  return ansi.size();
}

}  // namespace

int64_t TTextFileStream::EncodedLength(PCWideChar text) {
  return text ? EncodedLength(std::u16string_view(text, WStrLen(text))) : 0;
}

int64_t TTextFileStream::EncodedLength(std::u16string_view text) {
  if (FCodeChar == ccUnicode || FCodeChar == ccBigEndian) return static_cast<int64_t>(text.size());
  if (FCodeChar == ccUtf8) return static_cast<int64_t>(platform::Utf8Length(text));
  int64_t bytes = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t end = PieceEnd(FCodeChar, text, at);
    bytes += static_cast<int64_t>(EncodePiece(FCodeChar, text.substr(at, end - at), Work().chunk, nullptr));
    at = end;
  }
  return bytes;
}

int64_t TTextFileStream::WriteText(PCWideChar text) {
  return text ? WriteText(std::u16string_view(text, WStrLen(text))) : GetPosition();
}

int64_t TTextFileStream::WriteText(std::u16string_view text) {
  if (!CanWrite || text.empty()) return GetPosition();
  if (FCodeChar == ccUnicode && !HasSurrogate(text)) {
    Write(text.data(), static_cast<int64_t>(text.size()) * 2);
    return GetPosition();
  }
  size_t replaced = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t end = PieceEnd(FCodeChar, text, at);
    const std::u16string_view piece = text.substr(at, end - at);
    if (FCodeChar == ccUnicode) {
      std::vector<char16_t>& copy = Work().wide;
      copy.assign(piece.begin(), piece.end());
      replaced += platform::ReplaceLoneSurrogates(copy.data(), copy.size());
      Write(copy.data(), static_cast<int64_t>(copy.size()) * 2);
    } else {
      std::vector<char>& encoded = Work().chunk;
      // Encoding may grow the buffer: its data pointer is taken only afterwards.
      const size_t bytes = EncodePiece(FCodeChar, piece, encoded, &replaced);
      Write(encoded.data(), static_cast<int64_t>(bytes));
    }
    at = end;
  }
  FLoneSurrogates += static_cast<int64_t>(replaced);
  return GetPosition();
}

int64_t TTextFileStream::WriteLine(PCWideChar text) {
  return WriteLine(text ? std::u16string_view(text, WStrLen(text)) : std::u16string_view());
}

int64_t TTextFileStream::WriteLine(std::u16string_view text) {
  if (!CanWrite) return GetPosition();
  WriteText(text);
  static const char kLE[] = {13, 0, 10, 0};
  static const char kBE[] = {0, 13, 0, 10};
  if (FCodeChar == ccUnicode)
    Write(kLE, 4);
  else if (FCodeChar == ccBigEndian)
    Write(kBE, 4);
  else
    Write("\r\n", 2);
  return GetPosition();
}

void TTextFileStream::DebugInfo(std::vector<WideString>& lines) {
  TMyFileStream::DebugInfo(lines);
  lines.push_back(u"NbChRtn: " + Number(FNbChRtn));
  lines.push_back(WideString(u"CodeChar: ") + CodeCharName(FCodeChar));
  lines.push_back(u"DecalMult: " + Number(DecalMult));
}

// ---------------------------------------------------------------------------------------------
bool FileInUse(const WideString& fileName) {
  Locked lock(FileInUseLock());
  // Read access is enough to probe: a read-only input is not in use, a file a writer holds is.
  platform::FileHandle h =
      platform::OpenFile(fileName, platform::AccessRead, platform::ShareNone, platform::Disposition::OpenExisting);
  if (h == platform::InvalidFileHandle) return true;
  platform::CloseFile(h);
  return false;
}
