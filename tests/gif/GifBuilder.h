#pragma once
// GIF files built block by block, so that tests can cut, bend and mis-order them, and LZW code
// streams written code by code, independently of the codec's encoders.
#include <cstdint>
#include <string>
#include <vector>

#include "gif/GifItems.h"
#include "platform/core/MemoryStream.h"
#include "tests/support/LzwCodes.h"

class GifBuilder {
 public:
  std::vector<uint8_t> Bytes;

  size_t Size() const { return Bytes.size(); }
  GifBuilder& Raw(std::initializer_list<int> bytes) {
    for (int b : bytes) Bytes.push_back(static_cast<uint8_t>(b));
    return *this;
  }
  GifBuilder& Text(const std::string& s) {
    Bytes.insert(Bytes.end(), s.begin(), s.end());
    return *this;
  }
  GifBuilder& Word(int v) { return Raw({v & 0xFF, v >> 8 & 0xFF}); }
  // Colour i of a table: (i, 255 - i, 7 i).
  GifBuilder& Table(int bits) {
    for (int i = 0; i < 1 << bits; ++i) Raw({i, 255 - i, 7 * i & 0xFF});
    return *this;
  }
  // Signature, screen descriptor and, for bits > 0, a global table of 2^bits colours.
  GifBuilder& Header(int width, int height, int bits, int background = 0, const char* signature = "GIF89a") {
    Text(signature).Word(width).Word(height).Raw({bits ? 0xF0 | (bits - 1) : 0x70, background, 0});
    return bits ? Table(bits) : *this;
  }
  GifBuilder& Gce(int disposal, int delay, int transparent = -1) {
    return Raw({'!', 0xF9, 4, disposal << 2 | (transparent >= 0 ? 1 : 0)}).Word(delay).Raw({transparent & 0xFF, 0});
  }
  GifBuilder& Loop(int loops, const char* identifier = "NETSCAPE2.0") {
    return Raw({'!', 0xFF, 11}).Text(std::string(identifier, 11)).Raw({3, 1}).Word(loops).Raw({0});
  }
  GifBuilder& Image(int left, int top, int width, int height, int localBits = 0, bool interlaced = false) {
    Raw({','}).Word(left).Word(top).Word(width).Word(height);
    Raw({(localBits ? 0x80 | (localBits - 1) : 0) | (interlaced ? 0x40 : 0)});
    return localBits ? Table(localBits) : *this;
  }
  // Codes packed as a standard decoder reads them (PackLzwCodes), in sub-blocks of blockSize bytes.
  GifBuilder& Lzw(int minCodeSize, const std::vector<int>& codes, int blockSize = 255) {
    const std::vector<uint8_t> data = PackLzwCodes(minCodeSize, codes);
    Raw({minCodeSize});
    for (size_t i = 0; i < data.size(); i += static_cast<size_t>(blockSize)) {
      const size_t n = std::min(data.size() - i, static_cast<size_t>(blockSize));
      Bytes.push_back(static_cast<uint8_t>(n));
      Bytes.insert(Bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    return Raw({0});
  }
  // Every pixel as a literal code, with a clear code often enough that the width never grows.
  static std::vector<int> LiteralCodes(int minCodeSize, const std::vector<uint8_t>& pixels, bool end = true) {
    const int clear = 1 << minCodeSize;
    std::vector<int> codes;
    for (size_t i = 0; i < pixels.size(); ++i) {
      if (i % static_cast<size_t>(clear - 2) == 0) codes.push_back(clear);
      codes.push_back(pixels[i]);
    }
    if (end) codes.push_back(clear + 1);
    return codes;
  }
  GifBuilder& Pixels(int minCodeSize, const std::vector<uint8_t>& pixels, int blockSize = 255) {
    return Lzw(minCodeSize, LiteralCodes(minCodeSize, pixels), blockSize);
  }
  GifBuilder& Trailer() { return Raw({';'}); }
};

// Loads bytes into a picture, collecting its warnings.
struct LoadedGif {
  gif::TGifPictureBase Image;
  std::vector<std::string> Warnings;
  explicit LoadedGif(const std::vector<uint8_t>& bytes) {
    Image.OnWarning = [this](gif::TGIFSeverity, const std::string& m) { Warnings.push_back(m); };
    TMemoryStream stream(bytes);
    Image.LoadFromStream(stream);
  }
};

inline std::vector<uint8_t> Saved(gif::TGifPictureBase& image) {
  TMemoryStream stream;
  image.SaveToStream(stream);
  return stream.Bytes();
}

// Through the picture's own loading (a TGifPicture's grows its screen and stops its animations).
inline void Load(gif::TGifPictureBase& image, const std::vector<uint8_t>& bytes) {
  TMemoryStream stream(bytes);
  image.LoadFromStream(stream);
}
