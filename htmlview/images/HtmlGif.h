#pragma once
// The viewer's own GIF decoder and its animated picture. Frames are kept side by side in one
// ARGB32 strip whose alpha is the mask; only what lies inside the logical screen is stored.
#include <QImage>
#include <QRect>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dither/Dither.h"

class TStream;
class TCanvas;

namespace htmlview {

// The number and text of the decoder's last failure.
extern int GifLastError;
extern std::string GifLastErrorString;

// As many entries as the file gives: a picture of many frames may carry a small table in each.
struct TGifColorTable {
  std::vector<QRgb> Colors;
};

// The most the decoder holds for a picture's frames besides the strip: their records, colour
// tables and pixels. A file of a few bytes a frame can name millions of frames; they are counted
// as they are read, before their pixels are allocated.
inline constexpr int64_t MaxGifFrameBytes = int64_t{1} << 27;

struct TGifImageDescriptor {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool Interlaced = false;
  int TableIndex = -1;
  int CodeSize = 0;
  // The part of the image inside the logical screen, and where its pixels (index per byte)
  // begin in the picture's store of pixels.
  QRect Stored;
  size_t PixelsAt = 0;
  int Disposal = 0;
  bool HasTransparency = false;
  int TransparentIndex = 0;
  int Delay = 0;  // 1/100 s as in the file
};

class TGif {
public:
  // Raises EInvalidGraphicOperation "TGif: ..." on any failure.
  void LoadFromStream(TStream& stream);
  void LoadFromBytes(const std::vector<uint8_t>& bytes);

  int ImageCount() const { return static_cast<int>(images_.size()); }
  int ScreenWidth() const { return screenWidth_; }
  int ScreenHeight() const { return screenHeight_; }
  bool Transparent() const;
  int LoopCount() const { return loopCount_; }
  const std::string& Signature() const { return signature_; }
  // Per image, counted from 0.
  int Left(int i) const { return images_.at(i).Left; }
  int Top(int i) const { return images_.at(i).Top; }
  int Width(int i) const { return images_.at(i).Width; }
  int Height(int i) const { return images_.at(i).Height; }
  bool Interlaced(int i) const { return images_.at(i).Interlaced; }
  int Delay(int i) const;
  // The delay as the file gives it, in 1/100 s; 0 without a graphic control extension.
  int FileDelay(int i) const { return images_.at(i).Delay; }
  int Disposal(int i) const { return images_.at(i).Disposal; }
  int TransparentIndex(int i) const;
  // ScreenWidth x ImageCount wide; each slot shows its frame over the picture the frames
  // before it left (disposal applied); transparent where nothing has drawn.
  QImage GetStripBitmap() const;

private:
  struct TReader;
  void ReadExtension(TReader& r);
  void ReadImage(TReader& r);
  void DecodeLzw(TGifImageDescriptor& image, const std::vector<uint8_t>& data);
  void CheckStripSize(bool transparent) const;
  // Appends the colour table that follows (2 << bits entries); answers its index.
  int ReadColorTable(TReader& r, int bits);

  std::string signature_ = "------";
  int screenWidth_ = 0, screenHeight_ = 0;
  bool globalTable_ = false;
  int colorResolution_ = 0, backgroundIndex_ = 0, aspect_ = 0, globalTableIndex_ = -1;
  std::vector<TGifImageDescriptor> images_;
  // All images' stored pixels, one after another: no allocation per frame.
  std::vector<uint8_t> pixels_;
  std::vector<TGifColorTable> tables_;
  // Whether any image read so far has a transparent colour: asked once per image while reading.
  bool transparent_ = false;
  int64_t heldBytes_ = 0;  // counted against MaxGifFrameBytes
  // The string table, made once for all frames: a picture of many tiny frames must not pay for
  // a whole table per frame.
  struct TLzwTable {
    std::vector<uint16_t> prefix, length;
    std::vector<uint8_t> suffix, first, spelt;
  } lzw_;
  int loopCount_ = -1;
  // The graphic control values waiting for the next image.
  bool pendingControl_ = false;
  int pendingDisposal_ = 0, pendingDelay_ = 0, pendingTransparent_ = -1;
};

struct TgfFrame {
  uint8_t Disposal = 0;
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int Delay = 30;  // milliseconds
};

class TViewerGifPicture {
public:
  static const char* ClassName() { return "TGifPicture"; }
  // Raises what TGif raises.
  static std::unique_ptr<TViewerGifPicture> CreateAGifFromStream(TStream& stream);

  bool Animate() const { return animate_; }
  int Width = 0, Height = 0;
  int NumFrames = 0;
  int NumIterations = 1;  // 0: forever
  bool IsTransparent = false;
  QImage Strip;
  int CurrentFrame() const { return currentFrame_; }
  int CurrentIteration = 1;
  int64_t LastTime = 0;
  int CurrentInterval = 0;
  QRect StretchedRect;
  bool Visible = false;
  int LoopCount = -1;

  const TgfFrame& Frame(int number) const { return frames_->at(static_cast<size_t>(number - 1)); }
  // The current frame alone, Width x Height.
  QImage FrameImage() const;
  // The first frame, transparent where its mask is.
  QImage Bitmap() const;
  // The first frame's mask, white where transparent and black where drawn; null when the
  // picture has no transparency.
  QImage MaskedBitmap() const;

  // Paints the current frame stretched by nearest neighbour.
  void Draw(TCanvas& canvas, int x, int y, int wid, int ht);
  // Steps the animation when the current frame's time is up; invalidate receives StretchedRect.
  void CheckTime(const std::function<void(const QRect&)>& invalidate);
  void SetAnimate(bool value);
  void SetCurrentFrame(int frame);

private:
  bool animate_ = false;
  int currentFrame_ = 1;
  int currentDisposal_ = 0;
  // Read once, never changed: the copies that each place on a page animates share them, as they
  // share the strip, so that a picture of many frames shown many times costs its frames once.
  std::shared_ptr<const std::vector<TgfFrame>> frames_ = std::make_shared<const std::vector<TgfFrame>>();
};

}  // namespace htmlview
