// Writes the GIF fuzz targets' seeds for what a file may name that a decoder must not take at its
// word (tests/fuzz/corpus/gif_decoder and viewer_gif):
//
//   gen_gif_seeds DIR
//
// transparent-beyond-table  a transparent index past the colour table (no pixel is transparent)
// damage-after-extension    a byte that is no block after a control block, before the image
// frame-beyond-screen       frames reaching past the screen, one wholly outside it
// trailing-extensions       a control block and a comment after the last image
// wide-frames               frames 65,535 pixels wide on a screen 1 pixel wide, in long strings
// budget                    40 empty-coded frames of 8,192 x 8,192 (2.6 G pixels) in 506 bytes
// trailing-control-block    two frames of 500 ms and a control block of 100 ms before the trailer
// every-disposal            looping frames with each disposal 0 to 7, transparency, an index
//                           beyond the table, and a comment before the trailer
// huge-frame-small-screen   a frame of 65,535 x 65,535 on a screen of 2 x 1
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& b, std::initializer_list<int> bytes) {
  for (int v : bytes) b.push_back(static_cast<uint8_t>(v));
}
void Word(Bytes& b, int v) { Put(b, {v & 0xFF, v >> 8 & 0xFF}); }

// A screen with a global table of 4 colours.
Bytes Header(int width, int height) {
  Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
  Word(b, width);
  Word(b, height);
  Put(b, {0xF1, 0, 0, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0, 0});
  return b;
}

void Image(Bytes& b, int left, int top, int width, int height) {
  Put(b, {','});
  Word(b, left);
  Word(b, top);
  Word(b, width);
  Word(b, height);
  Put(b, {0});
}

void Gce(Bytes& b, int disposal, int delay, int transparent = -1) {
  Put(b, {'!', 0xF9, 4, disposal << 2 | (transparent >= 0 ? 1 : 0)});
  Word(b, delay);
  Put(b, {transparent & 0xFF, 0});
}

// Codes of minimum size 2 packed as a decoder reads them, in sub-blocks.
void Codes(Bytes& b, const std::vector<int>& codes) {
  Bytes data;
  int width = 3, next = 6;
  bool first = true;
  uint32_t bucket = 0;
  int bits = 0;
  for (int code : codes) {
    bucket |= static_cast<uint32_t>(code) << bits;
    for (bits += width; bits >= 8; bits -= 8, bucket >>= 8) data.push_back(static_cast<uint8_t>(bucket));
    if (code == 4) {
      width = 3, next = 6, first = true;
    } else if (first) {
      first = false;
    } else if (next < 4096 && ++next >= 1 << width && width < 12) {
      ++width;
    }
  }
  if (bits) data.push_back(static_cast<uint8_t>(bucket));
  Put(b, {2});
  for (size_t i = 0; i < data.size(); i += 255) {
    const size_t n = std::min<size_t>(255, data.size() - i);
    b.push_back(static_cast<uint8_t>(n));
    b.insert(b.end(), data.begin() + static_cast<std::ptrdiff_t>(i), data.begin() + static_cast<std::ptrdiff_t>(i + n));
  }
  Put(b, {0});
}

// count pixels of colour 0 in the longest strings there are: each code one pixel longer than
// the last, then the longest again and again.
std::vector<int> Run(int64_t count) {
  std::vector<int> codes = {4, 0};
  int64_t n = 1;
  for (int code = 6; n < count && code < 4096; ++code) codes.push_back(code), n += code - 4;
  for (; n < count; n += 4091) codes.push_back(4095);
  codes.push_back(5);
  return codes;
}

bool Write(const std::string& path, const Bytes& b) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_gif_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<std::pair<std::string, Bytes>> seeds;

  Bytes b = Header(4, 1);
  Gce(b, 0, 0, 200);
  Image(b, 0, 0, 4, 1);
  Codes(b, {4, 1, 1, 1, 0, 5});
  seeds.emplace_back("transparent-beyond-table", b);

  b = Header(2, 1);
  Gce(b, 0, 7);
  Put(b, {0x40});
  Image(b, 0, 0, 2, 1);
  Codes(b, {4, 1, 2, 5});
  seeds.emplace_back("damage-after-extension", b);

  b = Header(3, 2);
  Image(b, 1, 1, 3, 2);
  Codes(b, {4, 0, 1, 2, 3, 0, 1, 5});
  Gce(b, 2, 3);
  Image(b, 5, 0, 2, 1);
  Codes(b, {4, 1, 1, 5});
  seeds.emplace_back("frame-beyond-screen", b);

  b = Header(2, 2);
  Gce(b, 2, 4);
  Image(b, 0, 0, 2, 2);
  Codes(b, {4, 1, 2, 3, 1, 5});
  Gce(b, 0, 0);
  Put(b, {'!', 0xFE, 3, 'e', 'n', 'd', 0});
  seeds.emplace_back("trailing-extensions", b);

  b = Header(1, 16);
  for (int i = 0; i < 2; ++i) {
    Image(b, 0, 0, 65535, 16);
    Codes(b, Run(65535 * 16));
  }
  seeds.emplace_back("wide-frames", b);

  b = Header(8192, 8192);
  for (int i = 0; i < 40; ++i) {
    Image(b, 0, 0, 8192, 8192);
    Put(b, {2, 0});
  }
  seeds.emplace_back("budget", b);

  b = Header(2, 1);
  Gce(b, 1, 50);
  Image(b, 0, 0, 2, 1);
  Codes(b, {4, 1, 2, 5});
  Gce(b, 1, 50);
  Image(b, 0, 0, 2, 1);
  Codes(b, {4, 2, 1, 5});
  Gce(b, 0, 10);
  seeds.emplace_back("trailing-control-block", b);

  b = Header(3, 2);
  Put(b, {'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0});
  for (int disposal = 0; disposal < 8; ++disposal) {
    Gce(b, disposal, disposal, disposal % 2 ? disposal % 4 : (disposal == 4 ? 9 : -1));
    Image(b, disposal % 3, disposal % 2, 3 - disposal % 3, 2 - disposal % 2);
    std::vector<int> codes = {4};
    for (int i = 0; i < (3 - disposal % 3) * (2 - disposal % 2); ++i) codes.push_back((i + disposal) % 4);
    codes.push_back(5);
    Codes(b, codes);
  }
  Put(b, {'!', 0xFE, 3, 'e', 'n', 'd', 0});
  seeds.emplace_back("every-disposal", b);

  b = Header(2, 1);
  Image(b, 0, 0, 65535, 65535);
  Codes(b, {4, 1, 0, 5});
  seeds.emplace_back("huge-frame-small-screen", b);

  for (auto& [name, bytes] : seeds) {
    bytes.push_back(';');
    if (!Write(dir + "/" + name, bytes)) {
      std::fprintf(stderr, "gen_gif_seeds: cannot write %s/%s\n", dir.c_str(), name.c_str());
      return 1;
    }
  }
  return 0;
}
