#pragma once
// What the GIF codec's tests share: frames and their control extensions made by hand, the text
// of a codec error, and a GUI application for the tests that need one.
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Exception.h"
#include "gif/GifItems.h"

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

// The message of the Exception that action raises; empty when it raises none.
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

inline void EnsureApplication() {
  if (QCoreApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "test_gif";
  static char* argv[] = {name, nullptr};
  new QGuiApplication(argc, argv);  // never destroyed: Qt must not go among the static destructors
}

}  // namespace gif::test
