#pragma once
// The logical screen as the frames leave it, frame by frame: each frame is drawn over what the
// frames before it left, after the previous frame's disposal. Pixels are 0xAARRGGBB; nothing drawn
// is transparent (0).
#include <cstdint>
#include <vector>

#include "gif/GifItems.h"

namespace gif {

class TGIFComposer {
 public:
  // A screen beyond the codec's frame size limit raises.
  explicit TGIFComposer(const TGifPictureBase& image);
  // Applies the disposal of the frame drawn before, then draws this one, clipped to the screen:
  // its transparent pixels leave what is below. Disposal 2 clears the frame's area afterwards,
  // 3 restores what was there before it, anything else keeps the frame.
  const std::vector<uint32_t>& Draw(const TGIFSubImage& frame);
  const std::vector<uint32_t>& Screen() const { return screen_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  struct Area {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
  };
  Area Clip(const TGIFSubImage& frame) const;

  int width_, height_;
  std::vector<uint32_t> screen_, saved_;
  int disposal_ = 0;
  Area area_;
};

}  // namespace gif
