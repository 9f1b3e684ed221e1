#pragma once
// Small GIF files of the shapes that decoders read each in their own way, made byte by byte from a
// seed: one, two or no control blocks before an image, loop blocks on later frames, frames partly
// and wholly beyond the screen, screens of no width or height, files without any colour table,
// pixel indexes beyond their table, every disposal (0-7), every LZW code size (2-8), interlacing,
// frames of no width or height, frames reaching past the farthest corner a descriptor names, bytes
// after a frame's end code, and files cut short. The same seed always makes the same file; the
// shapes added last draw from a random stream of their own, so that a seed's file of the earlier
// shapes stays what it was.
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/gif/GifBuilder.h"

namespace gif::test {

enum TGifShape : unsigned {
  gsTwoControlBlocks = 1u << 0,
  gsLateLoop = 1u << 1,
  gsPartlyBeyond = 1u << 2,
  gsWhollyBeyond = 1u << 3,
  gsZeroWidthScreen = 1u << 4,
  gsZeroHeightScreen = 1u << 5,
  gsNoTable = 1u << 6,
  gsIndexBeyondTable = 1u << 7,
  gsUnknownDisposal = 1u << 8,  // 4 to 7
  gsInterlaced = 1u << 9,
  gsEmptyFrame = 1u << 10,  // an image descriptor of no width or height
  gsTruncated = 1u << 11,
  gsFarCorner = 1u << 12,  // a frame reaching past 65,535, where the codec cuts it
  gsStrayData = 1u << 13,  // a sub-block after the end code, holding a byte that starts a block
};
constexpr int gsShapeCount = 14;

inline const char* GifShapeName(int bit) {
  static const char* const names[gsShapeCount] = {
      "two control blocks", "late loop block", "partly beyond", "wholly beyond", "zero width screen",
      "zero height screen", "no table", "index beyond table", "disposal 4-7", "interlaced",
      "frame of no size", "truncated", "far corner", "bytes after the end"};
  return bit >= 0 && bit < gsShapeCount ? names[bit] : "?";
}

inline std::string GifShapeNames(unsigned shapes) {
  std::string s;
  for (int bit = 0; bit < gsShapeCount; ++bit)
    if (shapes & 1u << bit) s += (s.empty() ? "" : ", ") + std::string(GifShapeName(bit));
  return s.empty() ? "plain" : s;
}

struct TGifShapeFile {
  std::vector<uint8_t> Bytes;
  unsigned Shapes = 0;  // TGifShape bits
};

inline TGifShapeFile GifShapeFile(unsigned seed) {
  std::mt19937 random(seed * 2654435761u + 17);
  const auto pick = [&](int n) { return n <= 1 ? 0 : static_cast<int>(random() % static_cast<unsigned>(n)); };
  const auto chance = [&](int percent) { return pick(100) < percent; };
  std::mt19937 later(seed * 2246822519u + 3);
  const auto laterPick = [&](int n) { return n <= 1 ? 0 : static_cast<int>(later() % static_cast<unsigned>(n)); };
  TGifShapeFile file;
  GifBuilder b;
  int width = 1 + pick(8), height = 1 + pick(6);
  // The frames are placed on the screen that decoders take when the file names none.
  const int placeWidth = width, placeHeight = height;
  if (chance(8)) width = 0, file.Shapes |= gsZeroWidthScreen;
  if (chance(8)) height = 0, file.Shapes |= gsZeroHeightScreen;
  const int globalBits = chance(75) ? 1 + pick(chance(80) ? 3 : 8) : 0;
  const auto table = [&](int bits) {
    for (int i = 0; i < 1 << bits; ++i) b.Raw({(i * 67 + 30) & 0xFF, (255 - i * 41) & 0xFF, (i * 113) & 0xFF});
  };
  b.Text("GIF89a").Word(width).Word(height);
  b.Raw({globalBits ? 0xF0 | (globalBits - 1) : 0x70, pick(globalBits ? (1 << globalBits) + 3 : 8), 0});
  if (globalBits) table(globalBits);
  const int frames = 1 + pick(5);
  bool anyTable = globalBits > 0;
  for (int f = 0; f < frames; ++f) {
    if (chance(f == 0 ? 15 : 6)) {  // a loop block, the first before a later frame
      if (f > 0) file.Shapes |= gsLateLoop;
      b.Loop(pick(5));
    }
    const int blocks = chance(12) ? 2 : chance(80) ? 1 : 0;
    if (blocks == 2) file.Shapes |= gsTwoControlBlocks;
    for (int k = 0; k < blocks; ++k) {
      const int disposal = chance(20) ? 4 + pick(4) : pick(4);
      if (disposal >= 4) file.Shapes |= gsUnknownDisposal;
      const int transparent = chance(40) ? pick(chance(80) ? 4 : 256) : -1;
      b.Gce(disposal, pick(3) == 0 ? 0 : 5 * (1 + pick(40)), transparent);
    }
    if (chance(4)) b.Raw({'!', 0xFE, 3, 'a', 'b', 'c', 0});  // a comment
    int left = pick(placeWidth), top = pick(placeHeight);
    int w = 1 + pick(placeWidth - left), h = 1 + pick(placeHeight - top);
    const int place = pick(10);
    if (place == 0) {
      w += 1 + pick(3);
      h += pick(3);
      file.Shapes |= gsPartlyBeyond;
    } else if (place == 1 && f > 0) {
      left = placeWidth + pick(6);
      top = pick(placeHeight + 6);
      file.Shapes |= gsWhollyBeyond;
    }
    if (chance(3)) {
      (chance(50) ? w : h) = 0;
      file.Shapes |= gsEmptyFrame;
    }
    if (f > 0 && laterPick(400) == 0) {
      // Past the farthest corner along one side; other decoders grow their screen to it.
      (laterPick(2) ? left : top) = 0xFFFF - laterPick(3);
      file.Shapes |= gsFarCorner;
    }
    const int localBits = chance(25) ? 1 + pick(chance(80) ? 3 : 8) : 0;
    const bool interlaced = chance(15);
    if (interlaced) file.Shapes |= gsInterlaced;
    b.Raw({','}).Word(left).Word(top).Word(w).Word(h);
    b.Raw({(localBits ? 0x80 | (localBits - 1) : 0) | (interlaced ? 0x40 : 0)});
    if (localBits) table(localBits);
    if (localBits) anyTable = true;
    const int bits = localBits ? localBits : globalBits;
    const int colors = bits ? 1 << bits : 0;
    // The code size the table asks for, or any from 2 to 8.
    const int codeSize = chance(70) ? std::max(bits, 2) : 2 + pick(7);
    const int codes = 1 << codeSize;
    const bool beyond = colors == 0 || chance(6);
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h));
    const int used = std::max(1, std::min({colors, 1 + pick(6), codes}));
    for (uint8_t& p : pixels) {
      p = static_cast<uint8_t>(pick(used));
      if (beyond && chance(30) && codes > colors) p = static_cast<uint8_t>(colors + pick(codes - colors));
      if (p >= colors) file.Shapes |= gsIndexBeyondTable;
    }
    // Frames of no size carry a code stream all the same: that of one pixel.
    if (pixels.empty()) pixels.push_back(0);
    b.Pixels(codeSize, pixels, chance(20) ? 1 + pick(254) : 255);
    if (laterPick(50) == 0) {
      // Decoders that stop at the last pixel read this sub-block as blocks of the file.
      static constexpr int starts[] = {'!', ',', ';'};
      b.Bytes.back() = 2;
      b.Raw({starts[laterPick(3)], laterPick(256), 0});
      file.Shapes |= gsStrayData;
    }
  }
  if (!anyTable) file.Shapes |= gsNoTable;
  if (chance(92)) b.Trailer();
  if (chance(6)) {
    // Cut anywhere after the screen descriptor.
    b.Bytes.resize(13 + static_cast<size_t>(pick(static_cast<int>(b.Bytes.size()) - 13)));
    file.Shapes |= gsTruncated;
  }
  file.Bytes = std::move(b.Bytes);
  return file;
}

}  // namespace gif::test
