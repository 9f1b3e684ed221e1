#pragma once
// A frame's raster as the file stores it: a minimum code size byte, then variable-width LZW codes
// (up to 12 bits, least significant bit first) in data sub-blocks ended by a zero length.
#include <cstdint>
#include <vector>

#include "gif/GifErrors.h"
#include "platform/core/Streams.h"

namespace gif {

enum TGIFCompression : uint8_t { gcLZW = 0, gcRLE = 1 };

// The rows of a frame in the order the file stores them: top to bottom, or interlaced in four
// passes (0, 8, 16 ...; 4, 12 ...; 2, 6 ...; 1, 3 ...).
std::vector<int> RowOrder(int height, bool interlaced);

// A rectangle of a frame, in the frame's own pixels.
struct TGIFArea {
  int Left = 0, Top = 0, Width = 0, Height = 0;
};

// Decodes a raster of width x height pixels from the stream into raster, which the caller has
// filled with the value that pixels the data does not reach keep. Data that ends early is a warning;
// a code that no table can hold raises "Invalid GIF data". The stream is left after the frame's
// zero-length sub-block.
// True when the bytes after the sub-block where the decoding stopped (the last pixel, or the last
// kept row) hold one that starts a block (an extension, an image or the trailer): decoders that
// stop reading a frame at its last pixel take those bytes for blocks of the file.
bool DecodeRaster(TStream& stream, uint8_t* raster, int width, int height, bool interlaced,
                  const TGIFWarningHandler& warning);
// The same for the kept area of the frame only (inside it): raster holds kept.Width x kept.Height
// pixels. The pixels around it are passed over at the cost of their codes, not of their number.
bool DecodeRaster(TStream& stream, uint8_t* raster, int width, int height, bool interlaced, const TGIFArea& kept,
                  const TGIFWarningHandler& warning);

// Writes a raster coded with the given encoder. Pixels of colors or above raise
// "Color not in color table"; bitsPerPixel below 2 is taken as 2.
void EncodeRaster(TStream& stream, const uint8_t* raster, int width, int height, bool interlaced, int bitsPerPixel,
                  int colors, TGIFCompression compression);

// A stream that only writes: the base raises on every other use.
class TGIFStream : public TStream {
 public:
  explicit TGIFStream(TStream& stream) : stream_(stream) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  void SetSize(int64_t size) override;

 protected:
  TStream& stream_;
  uint8_t buffer_[256];
  int used_ = 1;
};

// Packs what is written into data sub-blocks of up to 255 bytes; the last one is written when the
// writer ends.
class TGIFWriter : public TGIFStream {
 public:
  using TGIFStream::TGIFStream;
  ~TGIFWriter() override { Flush(); }
  int64_t Write(const void* buffer, int64_t count) override;
  // A full block is written when the next byte comes, so that the tail can still move on.
  void Put(uint8_t b) {
    if (used_ == 256) FlushFull();
    buffer_[used_++] = b;
  }
  void Flush();
  // The bytes from here on (the last one put too when lastPut) end the data: they go in one
  // sub-block. Some decoders stop reading a frame's sub-blocks once they have its last pixel and
  // take whatever follows for blocks of the file: an end code alone in a sub-block of its own
  // (0x21 for 5-bit pixels) would read as an extension and hide the frames after it.
  void StartTail(bool lastPut) { tail_ = lastPut ? used_ - 1 : used_; }

 private:
  void FlushFull();
  int tail_ = 0;  // where the tail starts in buffer_, 0 for none yet
};

// The encoder's string table: 8009 cells of key << 12 | code, key = prefix code x 256 + pixel.
class THashTable {
 public:
  static constexpr int Size = 8009;
  // Probes stop here: the collision walk (doubling modulo the size) circles through no more than
  // about half of the cells, so a full circle must not become an endless one.
  static constexpr int MaxProbes = 512;
  THashTable() { Clear(); }
  void Clear();
  // False when no free cell is found within MaxProbes.
  bool Insert(uint32_t key, int code);
  // The key's code, or -1 when absent; then *freeCell is where the key goes (-1: nowhere).
  int Lookup(uint32_t key, int* freeCell = nullptr) const {
    int slot = Slot(key);
    for (int probe = 0; probe < MaxProbes; ++probe, slot = NextSlot(slot)) {
      const uint32_t cell = cells_[slot];
      if (cell == UINT32_MAX) {
        if (freeCell) *freeCell = slot;
        return -1;
      }
      if (cell >> 12 == key) return static_cast<int>(cell & 0xFFF);
    }
    if (freeCell) *freeCell = -1;
    return -1;
  }
  void Store(int cell, uint32_t key, int code) { cells_[cell] = key << 12 | static_cast<uint32_t>(code); }
  // ((key >> 4) xor key) mod Size; keys are below 2^20, where a multiply by the reciprocal is exact
  // and shortens the lookup's chain from one pixel to the next.
  static int Slot(uint32_t key) {
    const uint64_t x = (key >> 4) ^ key;
    return static_cast<int>(x - (x * 562317346407u >> 52) * Size);
  }
  static int NextSlot(int slot) { return slot == 0 ? Size - 1 : 2 * slot < Size ? 2 * slot : 2 * slot - Size; }

 private:
  uint32_t cells_[Size];
};

class TGIFEncoder {
 public:
  TGIFEncoder(TStream& stream, const uint8_t* data, int width, int height, bool interlace, int bitsPerPixel,
              int colors);
  virtual ~TGIFEncoder() = default;
  void Encode();

 protected:
  virtual void Compress() = 0;
  void Output(int code);
  // Calls f(pixel) for every pixel in the file's order, checking it against the colour count.
  template <class F>
  void ForEachPixel(F&& f);

  const uint8_t* data_;
  int width_, height_;
  bool interlace_;
  int bitsPerPixel_, colors_;
  int initialBitsPerCode_, bitsPerCode_, maxCode_, clearCode_, eofCode_, baseCode_;
  TGIFWriter* writer_ = nullptr;

 private:
  TStream& stream_;
  uint32_t bucket_ = 0;
  int bitCount_ = 0;
};

class TLZWEncoder : public TGIFEncoder {
 public:
  using TGIFEncoder::TGIFEncoder;

 protected:
  void Compress() override;

 private:
  void OutputCode(int code);
  void Clear();
  int freeEntry_ = 0;
  bool clear_ = false;
  THashTable hash_;
};

// Writes only codes that a standard decoder's table growth turns into runs of one colour.
class TRLEEncoder : public TGIFEncoder {
 public:
  using TGIFEncoder::TGIFEncoder;

 protected:
  void Compress() override;

 private:
  void Clear();
  void OutputPlain(int code);
  void Flush(int count);
  void FlushFromClear(int count);
  void FlushClearOrRepeat(int count);
  void FlushWithTable(int count);
  void ResetOutClear();
  int TriangleCount(int count) const;

  int outBumpInit_ = 0, outClearInit_ = 0, maxOutCodes_ = 0;
  int outBump_ = 0, outClear_ = 0, outCount_ = 0;
  int runPixel_ = -1, runCount_ = 0, runTableMax_ = 0, runTablePixel_ = -1;
  bool justCleared_ = false;
};

}  // namespace gif
