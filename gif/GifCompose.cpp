#include "gif/GifCompose.h"

#include <algorithm>

namespace gif {

TGIFComposer::TGIFComposer(const TGifPictureBase& image) : width_(image.Width()), height_(image.Height()) {
  CheckFrameSize(width_, height_);
  screen_.assign(static_cast<size_t>(width_) * height_, 0);
}

TGIFComposer::Area TGIFComposer::Clip(const TGIFSubImage& frame) const {
  return {std::min(frame.Left(), width_), std::min(frame.Top(), height_),
          std::min(frame.Left() + frame.Width(), width_), std::min(frame.Top() + frame.Height(), height_)};
}

const std::vector<uint32_t>& TGIFComposer::Draw(const TGIFSubImage& frame) {
  const auto row = [this](int y) { return screen_.data() + static_cast<size_t>(y) * width_; };
  const Area& last = area_;
  if (disposal_ == 2) {
    for (int y = last.Top; y < last.Bottom; ++y) std::fill(row(y) + last.Left, row(y) + last.Right, 0u);
  } else if (disposal_ == 3) {
    const uint32_t* from = saved_.data();
    for (int y = last.Top; y < last.Bottom; ++y, from += last.Right - last.Left)
      std::copy(from, from + (last.Right - last.Left), row(y) + last.Left);
  }

  const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
  disposal_ = gce ? gce->Disposal() : 0;
  area_ = Clip(frame);
  if (frame.Empty()) return screen_;
  if (disposal_ == 3) {
    saved_.clear();
    for (int y = area_.Top; y < area_.Bottom; ++y)
      saved_.insert(saved_.end(), row(y) + area_.Left, row(y) + area_.Right);
  }
  // Indices beyond the colour table show black, as most decoders show them.
  uint32_t colors[256];
  std::fill(std::begin(colors), std::end(colors), 0xFF000000u);
  const TGIFColorMap& map = frame.ActiveColorMap();
  for (int i = 0; i < map.Count(); ++i) {
    const TGIFColor c = map.Colors()[i];
    colors[i] = 0xFF000000u | static_cast<uint32_t>(c.Red) << 16 | static_cast<uint32_t>(c.Green) << 8 | c.Blue;
  }
  const int transparent = frame.HasTransparency && gce ? gce->TransparentColorIndex() : -1;
  for (int y = area_.Top; y < area_.Bottom; ++y) {
    const uint8_t* p = frame.Data().data() + static_cast<size_t>(y - frame.Top()) * frame.Width();
    uint32_t* out = row(y);
    for (int x = area_.Left; x < area_.Right; ++x) {
      const uint8_t index = p[x - frame.Left()];
      if (index != transparent) out[x] = colors[index];
    }
  }
  return screen_;
}

}  // namespace gif
