#include "gif/GifLZW.h"

#include <algorithm>
#include <cstring>

namespace gif {

std::vector<int> RowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(static_cast<size_t>(std::max(height, 0)));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  static constexpr int passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
  for (const auto& pass : passes)
    for (int y = pass[0]; y < height; y += pass[1]) rows.push_back(y);
  return rows;
}

namespace {

constexpr int MaxCodes = 4096;
constexpr int MaxBits = 12;

class TGIFDecoder {
 public:
  TGIFDecoder(TStream& stream, const TGIFWarningHandler& warning) : stream_(stream), warning_(warning) {}

  // Reads the minimum code size; false when the stream has none.
  bool Start() {
    uint8_t size;
    if (stream_.Read(&size, 1) != 1) return false;
    initCodeSize_ = std::min<int>(size, 8);
    clearCode_ = 1 << initCodeSize_;
    endCode_ = clearCode_ + 1;
    for (int i = 0; i < clearCode_; ++i) {
      prefix_[i] = 0;
      suffix_[i] = first_[i] = static_cast<uint8_t>(i);
      length_[i] = 1;
    }
    ResetTable();
    return true;
  }

  // Fills count pixels; false when the data ends (end code, no more data) before.
  bool Row(uint8_t* p, int count) {
    uint8_t* const end = p + count;
    while (p < end) {
      if (sp_ == 0) {
        const int code = NextString();
        if (code < 0) return false;
        if (length_[code] == 1) {
          *p++ = suffix_[code];
          continue;
        }
        Expand(code);
      }
      const int n = std::min<int>(sp_, static_cast<int>(end - p));
      for (int i = 0; i < n; ++i) *p++ = stack_[--sp_];
    }
    return true;
  }

  // Passes over count pixels; a string that lies wholly among them is never spelt out, so that
  // pixels nobody keeps cost a table update per code. False when the data ends before.
  bool Skip(int64_t count) {
    while (count > 0) {
      if (sp_ > 0) {
        const int n = static_cast<int>(std::min<int64_t>(sp_, count));
        sp_ -= n;
        count -= n;
        continue;
      }
      const int code = NextString();
      if (code < 0) return false;
      if (length_[code] <= count)
        count -= length_[code];
      else
        Expand(code);
    }
    return true;
  }

  // One more string reads the end code; whatever follows it in the frame is passed over, so that
  // a writer's surplus codes cannot be taken for the next block.
  void Finish() {
    if (sp_ == 0) NextString();
    if (!dataDone_) SkipBlocks();
  }

 private:
  void ResetTable() {
    codeSize_ = initCodeSize_ + 1;
    maxCode_ = 2 * clearCode_;
    freeCode_ = clearCode_ + 2;
    oldCode_ = -1;
    sp_ = 0;
  }

  // The code of the next string, its table entry made; below 0 at the end of the data.
  int NextString() {
    int code = ReadCode();
    if (code < 0) return code;
    if (code == clearCode_) {
      ResetTable();
      do code = ReadCode();
      while (code == clearCode_);
      if (code < 0) return code;
    }
    if (code == endCode_) return End();
    if (oldCode_ < 0) {
      // After a clear there is no string to extend: only a single pixel can follow.
      if (code > clearCode_) throw GIFException(sInvalidData);
      return oldCode_ = code;
    }
    if (code > freeCode_) throw GIFException(sInvalidData);
    if (freeCode_ < MaxCodes) {
      // The new entry is the previous string and the first pixel of this one; a code that names
      // the entry being made (the string repeated) starts with the previous string's first pixel.
      prefix_[freeCode_] = static_cast<uint16_t>(oldCode_);
      suffix_[freeCode_] = code == freeCode_ ? first_[oldCode_] : first_[code];
      first_[freeCode_] = first_[oldCode_];
      length_[freeCode_] = static_cast<uint16_t>(length_[oldCode_] + 1);
      if (++freeCode_ >= maxCode_ && maxCode_ < MaxCodes) {
        maxCode_ *= 2;
        ++codeSize_;
      }
    }
    return oldCode_ = code;
  }

  // The string of code onto the stack, its first pixel on top. Entries only ever extend older
  // ones by a pixel, so no string is longer than the stack.
  void Expand(int code) {
    const int n = length_[code];
    for (int i = 0; i < n; ++i, code = prefix_[code]) stack_[i] = suffix_[code];
    sp_ = n;
  }

  int End() {
    if (!dataDone_) SkipBlocks();
    return -2;
  }

  // The first code is always taken as a clear code, so that the table starts fresh.
  int ReadCode() {
    if (returnClear_) {
      returnClear_ = false;
      return clearCode_;
    }
    while (bits_ < codeSize_) {
      if (pos_ == len_ && !NextBlock()) {
        if (!underRun_) Warn(sOutOfMemDIB);
        underRun_ = true;
        return -1;
      }
      bucket_ |= static_cast<uint32_t>(block_[pos_++]) << bits_;
      bits_ += 8;
    }
    const int code = static_cast<int>(bucket_ & ((1u << codeSize_) - 1));
    bucket_ >>= codeSize_;
    bits_ -= codeSize_;
    return code;
  }

  // The next data sub-block; false at the zero-length block or the end of the stream.
  bool NextBlock() {
    if (dataDone_) return false;
    uint8_t length = 0;
    if (stream_.Read(&length, 1) != 1 || length == 0) {
      dataDone_ = true;
      return false;
    }
    len_ = static_cast<int>(stream_.Read(block_, length));
    pos_ = 0;
    if (len_ < length) {
      Warn(sOutOfData);
      if (len_ == 0) dataDone_ = true;
    }
    return len_ > 0;
  }

  void Warn(const char* message) {
    if (warning_) warning_(gsWarning, message);
  }

  void SkipBlocks() {
    dataDone_ = true;
    uint8_t length;
    while (stream_.Read(&length, 1) == 1 && length != 0) {
      const int64_t at = stream_.GetPosition();
      if (stream_.Seek(length, platform::SeekCurrent) != at + length) break;
    }
  }

  TStream& stream_;
  const TGIFWarningHandler& warning_;
  uint16_t prefix_[MaxCodes];
  uint8_t suffix_[MaxCodes];
  uint8_t first_[MaxCodes];    // the first pixel of each entry's string
  uint16_t length_[MaxCodes];  // and its length
  uint8_t stack_[MaxCodes];
  int sp_ = 0;
  int initCodeSize_ = 0, codeSize_ = 0, clearCode_ = 0, endCode_ = 0, maxCode_ = 0, freeCode_ = 0;
  int oldCode_ = -1;
  uint8_t block_[255];
  int pos_ = 0, len_ = 0;
  uint32_t bucket_ = 0;
  int bits_ = 0;
  bool returnClear_ = true, dataDone_ = false, underRun_ = false;
};

}  // namespace

bool DecodeRaster(TStream& stream, uint8_t* raster, int width, int height, bool interlaced,
                  const TGIFWarningHandler& warning) {
  return DecodeRaster(stream, raster, width, height, interlaced, TGIFArea{0, 0, width, height}, warning);
}

namespace {

// Whether the bytes from..to of the stream hold one that starts a block; the stream is left at to.
bool HoldsBlockStart(TStream& stream, int64_t from, int64_t to) {
  if (to <= from || stream.Seek(from, platform::SeekBegin) != from) return false;
  bool found = false;
  uint8_t bytes[256];
  for (int64_t left = to - from; left > 0 && !found;) {
    const int64_t n = stream.Read(bytes, std::min<int64_t>(left, sizeof bytes));
    if (n <= 0) break;
    for (int64_t i = 0; i < n && !found; ++i)
      found = bytes[i] == '!' || bytes[i] == ',' || bytes[i] == ';';  // extension, image, trailer
    left -= n;
  }
  stream.Seek(to, platform::SeekBegin);
  return found;
}

}  // namespace

bool DecodeRaster(TStream& stream, uint8_t* raster, int width, int height, bool interlaced, const TGIFArea& kept,
                  const TGIFWarningHandler& warning) {
  TGIFDecoder decoder(stream, warning);
  if (!decoder.Start()) return false;
  int rowsLeft = width > 0 && kept.Width > 0 ? kept.Height : 0;
  int64_t skip = 0;  // pixels before the next one kept
  bool more = true;
  if (rowsLeft > 0)
    for (int y : RowOrder(height, interlaced)) {
      if (y < kept.Top || y >= kept.Top + kept.Height) {
        skip += width;
        continue;
      }
      more = decoder.Skip(skip + kept.Left) &&
             decoder.Row(raster + static_cast<size_t>(y - kept.Top) * static_cast<size_t>(kept.Width), kept.Width);
      skip = width - kept.Left - kept.Width;
      if (!more || --rowsLeft == 0) break;
    }
  if (!more) return false;
  const int64_t stopped = stream.GetPosition();
  decoder.Finish();
  return HoldsBlockStart(stream, stopped, stream.GetPosition());
}

// --- writing ---

int64_t TGIFStream::Read(void*, int64_t) { throw Exception(sInvalidStream); }
int64_t TGIFStream::Write(const void*, int64_t) { throw Exception(sInvalidStream); }
int64_t TGIFStream::Seek(int64_t, int) { throw Exception(sInvalidStream); }
void TGIFStream::SetSize(int64_t) { throw Exception(sInvalidStream); }

int64_t TGIFWriter::Write(const void* buffer, int64_t count) {
  const auto* p = static_cast<const uint8_t*>(buffer);
  for (int64_t i = 0; i < count; ++i) Put(p[i]);
  return count;
}

void TGIFWriter::Flush() {
  if (used_ <= 1) return;
  buffer_[0] = static_cast<uint8_t>(used_ - 1);
  stream_.Write(buffer_, used_);
  used_ = 1;
}

void TGIFWriter::FlushFull() {
  // A tail that began in this block moves on whole into the next.
  const int carried = tail_ > 1 && tail_ < used_ ? used_ - tail_ : 0;
  uint8_t tail[256];
  std::memcpy(tail, buffer_ + used_ - carried, static_cast<size_t>(carried));
  used_ -= carried;
  Flush();
  std::memcpy(buffer_ + 1, tail, static_cast<size_t>(carried));
  used_ += carried;
  tail_ = carried ? 1 : 0;
}

void THashTable::Clear() { std::memset(cells_, 0xFF, sizeof cells_); }

bool THashTable::Insert(uint32_t key, int code) {
  int cell;
  if (Lookup(key, &cell) >= 0 || cell < 0) return false;
  Store(cell, key, code);
  return true;
}

TGIFEncoder::TGIFEncoder(TStream& stream, const uint8_t* data, int width, int height, bool interlace, int bitsPerPixel,
                         int colors)
    : data_(data),
      width_(width),
      height_(height),
      interlace_(interlace),
      bitsPerPixel_(std::max(bitsPerPixel, 2)),
      colors_(colors),
      stream_(stream) {
  initialBitsPerCode_ = bitsPerPixel_ + 1;
  bitsPerCode_ = initialBitsPerCode_;
  maxCode_ = (1 << bitsPerCode_) - 1;
  clearCode_ = 1 << bitsPerPixel_;
  eofCode_ = clearCode_ + 1;
  baseCode_ = clearCode_ + 2;
}

void TGIFEncoder::Encode() {
  const uint8_t size = static_cast<uint8_t>(bitsPerPixel_);
  stream_.Write(&size, 1);
  {
    TGIFWriter writer(stream_);
    writer_ = &writer;
    if (data_ && width_ >= 1 && height_ >= 1) Compress();
    writer.StartTail(bitCount_ == 0);
    Output(eofCode_);
    writer_ = nullptr;
  }
  const uint8_t zero = 0;
  stream_.Write(&zero, 1);
}

void TGIFEncoder::Output(int code) {
  bucket_ = (bucket_ & ((1u << bitCount_) - 1)) | static_cast<uint32_t>(code) << bitCount_;
  bitCount_ += bitsPerCode_;
  while (bitCount_ >= 8) {
    writer_->Put(static_cast<uint8_t>(bucket_));
    bucket_ >>= 8;
    bitCount_ -= 8;
  }
  if (code == eofCode_ && bitCount_ > 0) {
    writer_->Put(static_cast<uint8_t>(bucket_));
    bucket_ = 0;
    bitCount_ = 0;
  }
}

template <class F>
void TGIFEncoder::ForEachPixel(F&& f) {
  for (int y : RowOrder(height_, interlace_)) {
    const uint8_t* p = data_ + static_cast<size_t>(y) * width_;
    for (const uint8_t* end = p + width_; p < end; ++p) {
      if (*p >= colors_) throw GIFException(sColorNotInTable);
      f(*p);
    }
  }
}

void TLZWEncoder::OutputCode(int code) {
  Output(code);
  if (clear_) {
    bitsPerCode_ = initialBitsPerCode_;
    maxCode_ = (1 << bitsPerCode_) - 1;
    clear_ = false;
  } else if (freeEntry_ > maxCode_) {
    ++bitsPerCode_;
    maxCode_ = bitsPerCode_ == MaxBits ? MaxCodes : (1 << bitsPerCode_) - 1;
  }
}

void TLZWEncoder::Clear() {
  clear_ = true;
  OutputCode(clearCode_);
  hash_.Clear();
  freeEntry_ = clearCode_ + 2;
}

void TLZWEncoder::Compress() {
  Clear();
  int stringCode = -1;
  for (int y : RowOrder(height_, interlace_)) {
    const uint8_t* p = data_ + static_cast<size_t>(y) * width_;
    const uint8_t* const end = p + width_;
    if (stringCode < 0) {
      if (*p >= colors_) throw GIFException(sColorNotInTable);
      stringCode = *p++;
    }
    for (; p < end; ++p) {
      const int c = *p;
      if (c >= colors_) throw GIFException(sColorNotInTable);
      const uint32_t key = static_cast<uint32_t>(stringCode) << 8 | static_cast<uint32_t>(c);
      int cell;
      const int code = hash_.Lookup(key, &cell);
      if (code >= 0) {
        stringCode = code;
        continue;
      }
      OutputCode(stringCode);
      stringCode = c;
      // A table that is full, or has no cell left on the key's walk, starts again.
      if (freeEntry_ >= MaxCodes - 1 || cell < 0)
        Clear();
      else
        hash_.Store(cell, key, freeEntry_++);
    }
  }
  OutputCode(stringCode);
}

// --- run lengths ---

void TRLEEncoder::Clear() {
  outBump_ = outBumpInit_;
  outClear_ = outClearInit_;
  outCount_ = 0;
  runTableMax_ = 0;
  justCleared_ = true;
  Output(clearCode_);
  bitsPerCode_ = initialBitsPerCode_;
}

void TRLEEncoder::OutputPlain(int code) {
  justCleared_ = false;
  Output(code);
  if (++outCount_ >= outBump_) {
    ++bitsPerCode_;
    outBump_ += 1 << (bitsPerCode_ - 1);
  }
  if (outCount_ >= outClear_) Clear();
}

void TRLEEncoder::ResetOutClear() {
  outClear_ = outClearInit_;
  if (outCount_ >= outClear_) Clear();
}

// The fewest codes that make count pixels of one colour from a fresh table: runs of 1, 2, 3 ...
int TRLEEncoder::TriangleCount(int count) const {
  const int codes = maxOutCodes_;
  const int64_t perRepeat = static_cast<int64_t>(codes) * (codes + 1) / 2;
  int result = 0;
  int64_t left = count;
  for (; left >= perRepeat; left -= perRepeat) result += codes;
  if (left > 0) {
    // The integer square root, then the smallest s with s (s + 1) >= 2 left.
    int64_t s = left;
    if (left >= 2) {
      int64_t r = 1;
      for (int64_t v = left; v; v >>= 2) r <<= 1;
      for (;;) {
        const int64_t next = (left / r + r) / 2;
        if (next == r || next == r + 1) break;
        r = next;
      }
      s = r;
    }
    while (s * (s + 1) >= 2 * left) --s;
    while (s * (s + 1) < 2 * left) ++s;
    result += static_cast<int>(s);
  }
  return result;
}

void TRLEEncoder::FlushFromClear(int count) {
  outClear_ = maxOutCodes_;
  runTablePixel_ = runPixel_;
  int k = 1;
  while (count > 0) {
    if (k == 1) {
      runTableMax_ = 1;
      OutputPlain(runPixel_);
      --count;
    } else if (k > count) {
      break;
    } else {
      runTableMax_ = k;
      OutputPlain(baseCode_ + k - 2);
      count -= k;
    }
    k = outCount_ == 0 ? 1 : k + 1;
  }
  if (count > 0) {
    ++runTableMax_;
    OutputPlain(count == 1 ? runPixel_ : baseCode_ + count - 2);
  }
  ResetOutClear();
}

void TRLEEncoder::FlushClearOrRepeat(int count) {
  if (count > TriangleCount(count) + 1) {
    Clear();
    FlushFromClear(count);
  } else {
    for (; count > 0; --count) OutputPlain(runPixel_);
  }
}

void TRLEEncoder::FlushWithTable(int count) {
  int repeats = count / runTableMax_;
  int left = count % runTableMax_;
  int extra = left ? 1 : 0;
  if (outCount_ + repeats + extra > maxOutCodes_) {
    repeats = maxOutCodes_ - outCount_;
    left = count - repeats * runTableMax_;
    extra = TriangleCount(left) + 1;
  }
  if (TriangleCount(count) + 1 < repeats + extra) {
    Clear();
    FlushFromClear(count);
    return;
  }
  outClear_ = maxOutCodes_;
  for (; repeats > 0; --repeats) OutputPlain(baseCode_ + runTableMax_ - 2);
  if (left) {
    if (justCleared_)
      FlushFromClear(left);
    else
      OutputPlain(left == 1 ? runPixel_ : baseCode_ + left - 2);
  }
  ResetOutClear();
}

void TRLEEncoder::Flush(int count) {
  if (count == 1)
    OutputPlain(runPixel_);
  else if (justCleared_)
    FlushFromClear(count);
  else if (runTableMax_ < 2 || runTablePixel_ != runPixel_)
    FlushClearOrRepeat(count);
  else
    FlushWithTable(count);
}

void TRLEEncoder::Compress() {
  outBumpInit_ = clearCode_ - 1;
  outClearInit_ = bitsPerPixel_ > 3 ? outBumpInit_ - 1 : 9;
  maxOutCodes_ = MaxCodes - 1 - baseCode_;
  Clear();
  ForEachPixel([&](int c) {
    if (runCount_ > 0 && c != runPixel_) {
      Flush(runCount_);
      runCount_ = 0;
    }
    if (c == runPixel_ && runCount_ > 0) {
      ++runCount_;
    } else {
      runPixel_ = c;
      runCount_ = 1;
    }
  });
  if (runCount_ > 0) Flush(runCount_);
}

void EncodeRaster(TStream& stream, const uint8_t* raster, int width, int height, bool interlaced, int bitsPerPixel,
                  int colors, TGIFCompression compression) {
  if (compression == gcRLE) {
    TRLEEncoder encoder(stream, raster, width, height, interlaced, bitsPerPixel, colors);
    encoder.Encode();
  } else {
    TLZWEncoder encoder(stream, raster, width, height, interlaced, bitsPerPixel, colors);
    encoder.Encode();
  }
}

}  // namespace gif
