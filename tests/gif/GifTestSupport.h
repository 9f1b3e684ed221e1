#pragma once
// What the GIF codec's tests share: frames and their control extensions made by hand, whole
// pictures of a few frames, screens as rows of colour indices, the text of a codec error, and a GUI
// application for the tests that need one.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gif/GifItems.h"
#include "platform/core/Exception.h"
#include "tests/support/QtApp.h"

namespace gif::test {

inline TGIFSubImage& NewFrame(TGifPictureBase& image) {
  auto frame = std::make_unique<TGIFSubImage>(&image);
  TGIFSubImage& f = *frame;
  image.Images.Add(std::move(frame));
  return f;
}

inline TGIFSubImage& AddFrame(TGifPictureBase& image, int left, int top, int width, int height,
                              const std::vector<uint8_t>& pixels) {
  TGIFSubImage& f = NewFrame(image);
  f.SetBounds(left, top, width, height);
  f.Data() = pixels;
  return f;
}

// transparent < 0: no transparent colour.
inline TGIFGraphicControlExtension& Gce(TGIFSubImage& frame, int disposal, int transparent = -1, int delay = 0) {
  auto gce = std::make_unique<TGIFGraphicControlExtension>(&frame);
  TGIFGraphicControlExtension& g = *gce;
  frame.Extensions.Add(std::move(gce));
  g.SetDisposal(disposal);
  g.Delay = static_cast<uint16_t>(delay);
  if (transparent >= 0) {
    g.SetTransparent(true);
    g.SetTransparentColorIndex(transparent);
  }
  return g;
}

inline void AddLoop(TGIFSubImage& frame, int loops) {
  auto loop = std::make_unique<TGIFAppExtNSLoop>(&frame);
  loop->Loops = static_cast<uint16_t>(loops);
  frame.Extensions.Add(std::move(loop));
}

// Colour i of the tests' tables, GifBuilder's too: (i, 255 - i, 7 i).
inline TGIFColor ColorOf(int i) {
  return {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(7 * i)};
}
inline QRgb RgbOf(int i) { return qRgb(i, 255 - i, 7 * i & 0xFF); }

struct TFrameSpec {
  int Left, Top, Width, Height;
  std::vector<uint8_t> Pixels;  // empty: every pixel the frame's number
  int Disposal = 0;             // < 0: no control extension
  int Delay = 0;
  int Transparent = -1;
};

// A screen of width x height with a global table of `colors` colours and the frames; the first
// carries a loop extension when loops >= 0.
inline void Build(TGifPictureBase& image, int width, int height, int colors, const std::vector<TFrameSpec>& frames,
                  int loops = -1) {
  image.Header.Width = width;
  image.Header.Height = height;
  for (int i = 0; i < colors; ++i) image.Header.ColorMap.Add(ColorOf(i));
  for (size_t n = 0; n < frames.size(); ++n) {
    const TFrameSpec& f = frames[n];
    TGIFSubImage& frame = NewFrame(image);
    frame.SetBounds(f.Left, f.Top, f.Width, f.Height);
    if (f.Pixels.empty())
      std::fill(frame.Data().begin(), frame.Data().end(), static_cast<uint8_t>(n));
    else
      frame.Data() = f.Pixels;
    if (n == 0 && loops >= 0) AddLoop(frame, loops);
    if (f.Disposal >= 0) Gce(frame, f.Disposal, f.Transparent, f.Delay);
  }
}

// An image as rows of the tests' colour indices, each row ending in '|': '.' transparent or
// `blank`, 'k' black, '?' any other colour.
inline std::string Rows(const QImage& image, QRgb blank = 0) {
  std::string s;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      char c = p == blank || qAlpha(p) == 0 ? '.' : p == 0xFF000000 ? 'k' : '?';
      for (int i = 0; i < 10 && c == '?'; ++i)
        if (p == RgbOf(i)) c = static_cast<char>('0' + i);
      s += c;
    }
    s += '|';
  }
  return s;
}

// The message of the Exception that action raises; empty when it raises none.
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

}  // namespace gif::test
