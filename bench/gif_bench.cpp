// One timed run of the GIF codec or of giflib, for bench/gif.sh (built there, against giflib):
//
//   gif_bench decode-ours|decode-giflib|encode-ours|encode-giflib FILE
//
// The file is read into memory first. decode-*: the whole file into frames (our loader; giflib's
// DGifSlurp). encode-*: the file's frames, decoded untimed by our loader, written again as a whole
// file with LZW (our saver; giflib's EGifPutLine per row, with the same screen, colour table and
// graphic control blocks). Prints "seconds S pixels P bytes B" (B: the bytes written, or read).
#include <gif_lib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gif/GifItems.h"
#include "platform/core/MemoryStream.h"
#include "platform/core/Utf8.h"

namespace {

struct Memory {
  const std::vector<uint8_t>* in = nullptr;
  size_t position = 0;
  std::vector<uint8_t> out;
};

int ReadMemory(GifFileType* file, GifByteType* buffer, int count) {
  auto* m = static_cast<Memory*>(file->UserData);
  const size_t n = std::min(static_cast<size_t>(count), m->in->size() - m->position);
  std::memcpy(buffer, m->in->data() + m->position, n);
  m->position += n;
  return static_cast<int>(n);
}

int WriteMemory(GifFileType* file, const GifByteType* buffer, int count) {
  auto* m = static_cast<Memory*>(file->UserData);
  m->out.insert(m->out.end(), buffer, buffer + count);
  return count;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int64_t Pixels(const gif::TGifPictureBase& image) {
  int64_t pixels = 0;
  for (int i = 0; i < image.Images.Count(); ++i) pixels += static_cast<int64_t>(image.Images[i].Data().size());
  return pixels;
}

void Fail(const char* what, int error) {
  std::fprintf(stderr, "gif_bench: %s: %s\n", what, GifErrorString(error));
  std::exit(1);
}

// The same file as our saver writes, through giflib.
size_t EncodeGiflib(const gif::TGifPictureBase& image) {
  Memory m;
  int error = 0;
  GifFileType* file = EGifOpen(&m, WriteMemory, &error);
  if (!file) Fail("EGifOpen", error);
  EGifSetGifVersion(file, true);
  const gif::TGIFColorMap& global = image.Header.ColorMap;
  std::vector<GifColorType> colors(static_cast<size_t>(1) << global.BitsPerPixel(), GifColorType{0, 0, 0});
  for (int i = 0; i < global.Count(); ++i)
    colors[i] = {global.Colors()[i].Red, global.Colors()[i].Green, global.Colors()[i].Blue};
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
  if (EGifPutScreenDesc(file, image.Width(), image.Height(), 8, image.Header.BackgroundColorIndex, map) == GIF_ERROR)
    Fail("EGifPutScreenDesc", file->Error);
  for (int i = 0; i < image.Images.Count(); ++i) {
    const gif::TGIFSubImage& frame = image.Images[i];
    if (const gif::TGIFGraphicControlExtension* gce = frame.GraphicControlExtension()) {
      const GifByteType block[4] = {gce->Packed, static_cast<GifByteType>(gce->Delay),
                                    static_cast<GifByteType>(gce->Delay >> 8), gce->TransparentColorIndex()};
      EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, 4, block);
    }
    if (EGifPutImageDesc(file, frame.Left(), frame.Top(), frame.Width(), frame.Height(), false, nullptr) == GIF_ERROR)
      Fail("EGifPutImageDesc", file->Error);
    for (int y = 0; y < frame.Height(); ++y)
      if (EGifPutLine(file, const_cast<GifPixelType*>(frame.Data().data()) + static_cast<size_t>(y) * frame.Width(),
                      frame.Width()) == GIF_ERROR)
        Fail("EGifPutLine", file->Error);
  }
  if (EGifCloseFile(file, &error) == GIF_ERROR) Fail("EGifCloseFile", error);
  GifFreeMapObject(map);
  return m.out.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: gif_bench decode-ours|decode-giflib|encode-ours|encode-giflib FILE\n");
    return 2;
  }
  const std::string mode = argv[1];
  TMemoryStream file;
  if (!file.LoadFromFile(platform::Utf8ToUtf16(argv[2]))) {
    std::fprintf(stderr, "gif_bench: cannot read %s\n", argv[2]);
    return 1;
  }
  try {
    double seconds = 0;
    int64_t pixels = 0;
    size_t bytes = file.Bytes().size();
    if (mode == "decode-ours") {
      const auto start = std::chrono::steady_clock::now();
      gif::TGifPictureBase image;
      image.LoadFromStream(file);
      seconds = Seconds(start);
      pixels = Pixels(image);
    } else if (mode == "decode-giflib") {
      const auto start = std::chrono::steady_clock::now();
      Memory m;
      m.in = &file.Bytes();
      int error = 0;
      GifFileType* gif = DGifOpen(&m, ReadMemory, &error);
      if (!gif) Fail("DGifOpen", error);
      if (DGifSlurp(gif) == GIF_ERROR) Fail("DGifSlurp", gif->Error);
      seconds = Seconds(start);
      for (int i = 0; i < gif->ImageCount; ++i)
        pixels += static_cast<int64_t>(gif->SavedImages[i].ImageDesc.Width) * gif->SavedImages[i].ImageDesc.Height;
      DGifCloseFile(gif, &error);
    } else if (mode == "encode-ours" || mode == "encode-giflib") {
      gif::TGifPictureBase image;
      image.LoadFromStream(file);
      pixels = Pixels(image);
      const auto start = std::chrono::steady_clock::now();
      if (mode == "encode-ours") {
        TMemoryStream out;
        image.SaveToStream(out);
        bytes = out.Bytes().size();
      } else {
        bytes = EncodeGiflib(image);
      }
      seconds = Seconds(start);
    } else {
      std::fprintf(stderr, "gif_bench: unknown mode %s\n", mode.c_str());
      return 2;
    }
    std::printf("seconds %.6f pixels %lld bytes %zu\n", seconds, static_cast<long long>(pixels), bytes);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gif_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
