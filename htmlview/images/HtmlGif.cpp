#include "htmlview/images/HtmlGif.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/core/Clock.h"
#include "platform/core/Streams.h"
#include "platform/gui/Graphics.h"

namespace htmlview {

int GifLastError = 0;
std::string GifLastErrorString;

namespace {

const char* const kMessages[] = {"no error",
                                 "Invalid GIF Signature Code",
                                 "No Local or Global Color Table for Image",
                                 "Unknown Graphics Extension Type",
                                 "Unknown Graphics Operation Code",
                                 "Invalid Extension Block Size",
                                 "[special message]",
                                 "Invalid Extension Block Terminator",
                                 "Invalid Integer Size",
                                 "No GIF Terminator Found",
                                 "Extension Block Out-Of-Order With Image Data",
                                 "Invalid Image Descriptor Index",
                                 "Invalid LZW Code Size",
                                 "Invalid LZW Data Format",
                                 "LZW Code Overflow",
                                 "Value Out Of Range",
                                 "NIL Pointer assigned",
                                 "Invalid Color Table Size",
                                 "No Image Description",
                                 "Invalid Bitmap Image",
                                 "Invalid Color Table Index",
                                 "Invalid Interlace Pass",
                                 "Invalid Bitmap",
                                 "Too Many Colors In Bitmap",
                                 "Unexpected end of file",
                                 "Animated GIF too large",
                                 "Zero width or height",
                                 "next message"};

[[noreturn]] void Fail(int number, const std::string& special = {}) {
  GifLastError = number;
  GifLastErrorString = number == 6 ? special : kMessages[number];
  throw EInvalidGraphicOperation("TGif: " + GifLastErrorString);
}

}  // namespace

struct TGif::TReader {
  const std::vector<uint8_t>& data;
  size_t pos = 0;
  bool AtEnd() const { return pos >= data.size(); }
  uint8_t Byte() {
    if (pos >= data.size()) Fail(24);
    return data[pos++];
  }
  int Word() {
    const int lo = Byte();
    return lo | Byte() << 8;
  }
  void Skip(size_t n) {
    if (n > data.size() - pos) Fail(24);
    pos += n;
  }
  // Length-prefixed blocks up to a zero length; appended to out when given.
  void SubBlocks(std::vector<uint8_t>* out) {
    for (;;) {
      const size_t n = Byte();
      if (n == 0) return;
      if (n > data.size() - pos) Fail(24);
      if (out) out->insert(out->end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
                           data.begin() + static_cast<std::ptrdiff_t>(pos + n));
      pos += n;
    }
  }
};

void TGif::LoadFromStream(TStream& stream) {
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  for (;;) {
    const int64_t n = stream.Read(buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  LoadFromBytes(bytes);
}

void TGif::LoadFromBytes(const std::vector<uint8_t>& bytes) {
  TReader r{bytes};
  std::string sig;
  for (int i = 0; i < 6; ++i) {
    if (r.AtEnd()) Fail(1);
    sig += static_cast<char>(r.Byte());
  }
  signature_ = sig;
  for (char& c : sig) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (sig != "GIF87A" && sig != "GIF89A") Fail(1);
  screenWidth_ = r.Word();
  screenHeight_ = r.Word();
  const int packed = r.Byte();
  backgroundIndex_ = r.Byte();
  aspect_ = r.Byte();
  globalTable_ = packed & 0x80;
  colorResolution_ = (packed >> 4 & 7) + 1;
  if (globalTable_) globalTableIndex_ = ReadColorTable(r, packed & 7);
  while (!r.AtEnd()) {
    const int block = r.Byte();
    if (block == 0x2C) {
      ReadImage(r);
    } else if (block == 0x21) {
      ReadExtension(r);
    } else if (block == 0x3B) {
      break;
    } else {
      Fail(4);
    }
  }
  if (images_.empty()) Fail(18);
}

void TGif::ReadExtension(TReader& r) {
  const int label = r.Byte();
  switch (label) {
    case 0xF9: {
      if (r.Byte() != 4) Fail(5);
      const int packed = r.Byte();
      const int delay = r.Word();
      const int transparent = r.Byte();
      if (r.Byte() != 0) Fail(7);
      pendingControl_ = true;
      pendingDisposal_ = packed >> 2 & 7;
      pendingDelay_ = delay;
      pendingTransparent_ = packed & 1 ? transparent : -1;
      break;
    }
    case 0xFE:
      r.SubBlocks(nullptr);
      break;
    case 0x01:
      if (r.Byte() != 12) Fail(5);
      r.Skip(12);
      r.SubBlocks(nullptr);
      break;
    case 0xFF: {
      const size_t size = r.Byte();
      if (size != 11) {
        r.Skip(size);
        r.SubBlocks(nullptr);
        break;
      }
      std::string identifier;
      for (int i = 0; i < 8; ++i) identifier += static_cast<char>(r.Byte());
      r.Skip(3);
      std::vector<uint8_t> sub;
      // Only the first sub-block carries the loop count.
      const size_t first = r.Byte();
      if (first > r.data.size() - r.pos) Fail(24);
      sub.assign(r.data.begin() + static_cast<std::ptrdiff_t>(r.pos),
                 r.data.begin() + static_cast<std::ptrdiff_t>(r.pos + first));
      r.pos += first;
      if (first != 0) r.SubBlocks(nullptr);
      if (identifier == "NETSCAPE" && first == 3) loopCount_ = sub[1] | sub[2] << 8;
      break;
    }
    default: {
      char text[32];
      std::snprintf(text, sizeof text, "unknown extension: %04X", label);
      Fail(6, text);
    }
  }
}

void TGif::CheckStripSize(bool transparent) const {
  // Counted as the 24-bit bitmap file the strip once was: headers and rows padded to 4 bytes.
  const int64_t width = static_cast<int64_t>(screenWidth_) * static_cast<int64_t>(images_.size() + 1);
  const int64_t row = (width * 3 + 3) / 4 * 4;
  const int64_t size = 14 + 40 + row * screenHeight_;
  if (size > (transparent ? 100000000 : 200000000)) Fail(25);
}

int TGif::ReadColorTable(TReader& r, int bits) {
  const int count = 2 << bits;
  TGifColorTable table;
  table.Colors.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int red = r.Byte(), green = r.Byte();
    table.Colors.push_back(qRgb(red, green, r.Byte()));
  }
  tables_.push_back(std::move(table));
  return static_cast<int>(tables_.size()) - 1;
}

void TGif::ReadImage(TReader& r) {
  TGifImageDescriptor image;
  image.Left = r.Word();
  image.Top = r.Word();
  image.Width = r.Word();
  image.Height = r.Word();
  const int packed = r.Byte();
  image.Interlaced = packed & 0x40;
  image.TableIndex = packed & 0x80 ? ReadColorTable(r, packed & 7) : globalTableIndex_;
  if (image.TableIndex < 0) Fail(2);
  if (pendingControl_) {
    image.Disposal = pendingDisposal_;
    image.Delay = pendingDelay_;
    image.HasTransparency = pendingTransparent_ >= 0;
    image.TransparentIndex = std::max(0, pendingTransparent_);
    pendingControl_ = false;
  }
  if (screenWidth_ == 0 || screenHeight_ == 0) {
    screenWidth_ = image.Left + image.Width;
    screenHeight_ = image.Top + image.Height;
  }
  if (image.Height > screenHeight_) image.Height = screenHeight_;
  transparent_ = transparent_ || image.HasTransparency;
  CheckStripSize(transparent_);
  image.CodeSize = r.Byte();
  std::vector<uint8_t> data;
  r.SubBlocks(&data);
  if (static_cast<int64_t>(image.Width) * image.Height == 0) Fail(26);
  image.Stored = QRect(image.Left, image.Top, image.Width, image.Height).intersected(QRect(0, 0, screenWidth_, screenHeight_));
  if (image.Stored.isEmpty()) image.Stored = QRect(0, 0, 0, 0);
  // The frame's record here and in the picture, its pixels and its own table.
  heldBytes_ += static_cast<int64_t>(sizeof(TGifImageDescriptor) + sizeof(TgfFrame)) +
                static_cast<int64_t>(image.Stored.width()) * image.Stored.height() +
                (packed & 0x80 ? static_cast<int64_t>(sizeof(QRgb)) << ((packed & 7) + 1) : 0);
  if (heldBytes_ > MaxGifFrameBytes) Fail(25);
  DecodeLzw(image, data);
  images_.push_back(std::move(image));
}

void TGif::DecodeLzw(TGifImageDescriptor& image, const std::vector<uint8_t>& data) {
  // Above 11 the clear code would lie past the table.
  if (image.CodeSize < 0 || image.CodeSize > 11) Fail(12);
  const QRect& s = image.Stored;
  image.PixelsAt = pixels_.size();
  pixels_.resize(pixels_.size() + static_cast<size_t>(s.width()) * static_cast<size_t>(s.height()), 0);
  if (s.isEmpty()) return;
  uint8_t* const pixels = pixels_.data() + image.PixelsAt;
  const int width = image.Width, height = image.Height;
  // File row -> picture row; the passes are laid out over the frame's own height.
  std::vector<int> rows;
  rows.reserve(static_cast<size_t>(height));
  if (image.Interlaced) {
    static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = start[pass]; y < height; y += step[pass]) rows.push_back(y);
  } else {
    for (int y = 0; y < height; ++y) rows.push_back(y);
  }
  // Only the stored pixels are spelt out: strings that hold none of them are passed over by their
  // length, so that a frame far larger than the screen costs its codes, not its pixels.
  // keptRow[r]: the first file row from r on that has stored pixels (height when none).
  std::vector<int> keptRow(static_cast<size_t>(height) + 1, height);
  for (int r = height - 1; r >= 0; --r) {
    const int y = image.Top + rows[static_cast<size_t>(r)];
    keptRow[static_cast<size_t>(r)] = y >= s.top() && y <= s.bottom() ? r : keptRow[static_cast<size_t>(r) + 1];
  }
  const int keptLeft = s.left() - image.Left, keptRight = keptLeft + s.width();
  const int64_t total = static_cast<int64_t>(width) * height;
  // The file position of the first stored pixel at or after at; total when none is left.
  const auto nextKept = [&](int64_t at) -> int64_t {
    int64_t row = at / width;
    if (row < height && keptRow[static_cast<size_t>(row)] == row && at % width < keptRight)
      return row * width + std::max<int64_t>(at % width, keptLeft);
    row = row + 1 >= height ? height : keptRow[static_cast<size_t>(row) + 1];
    return row < height ? row * width + keptLeft : total;
  };

  const int clear = 1 << image.CodeSize, end = clear + 1;
  int next = clear + 2, bits = image.CodeSize + 1;
  if (lzw_.prefix.empty()) {
    lzw_.prefix.resize(4096), lzw_.length.resize(4096);
    lzw_.suffix.resize(4096), lzw_.first.resize(4096), lzw_.spelt.resize(4096);
  }
  auto &prefix = lzw_.prefix, &length = lzw_.length;
  auto &suffix = lzw_.suffix, &first = lzw_.first, &spelt = lzw_.spelt;
  // The roots; every later entry is made before it is read.
  for (int i = 0; i < clear; ++i) {
    suffix[static_cast<size_t>(i)] = first[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    length[static_cast<size_t>(i)] = 1;
  }
  int64_t out = 0, kept = nextKept(0);
  const auto put = [&](int code) {
    const int n = length[static_cast<size_t>(code)];
    if (out + n <= kept) {
      out += n;
      return;
    }
    for (int i = n - 1, c = code; i >= 0; --i, c = prefix[static_cast<size_t>(c)])
      spelt[static_cast<size_t>(i)] = suffix[static_cast<size_t>(c)];
    for (int i = 0; i < n && kept < total; ++i, ++out) {
      if (out != kept) continue;
      const int x = image.Left + static_cast<int>(out % width);
      const int y = image.Top + rows[static_cast<size_t>(out / width)];
      pixels[static_cast<size_t>(y - s.top()) * static_cast<size_t>(s.width()) + static_cast<size_t>(x - s.left())] =
          spelt[static_cast<size_t>(i)];
      kept = nextKept(out + 1);
    }
  };
  int prev = -1;
  size_t bitPos = 0;
  const size_t bitCount = data.size() * 8;
  while (kept < total && bitPos + static_cast<size_t>(bits) <= bitCount) {
    int code = 0;
    for (int i = 0; i < bits; ++i, ++bitPos) code |= (data[bitPos >> 3] >> (bitPos & 7) & 1) << i;
    if (code == clear) {
      next = clear + 2, bits = image.CodeSize + 1, prev = -1;
      continue;
    }
    if (code == end) break;
    if (prev < 0) {
      // After a clear there is no previous string to extend.
      if (code > clear) Fail(13);
    } else {
      if (code > next) Fail(13);
      if (next < 4096) {
        // The previous string and the first pixel of this one (of the previous one when this
        // code names the entry being made).
        const auto entry = static_cast<size_t>(next);
        prefix[entry] = static_cast<uint16_t>(prev);
        suffix[entry] = first[static_cast<size_t>(code == next ? prev : code)];
        first[entry] = first[static_cast<size_t>(prev)];
        length[entry] = static_cast<uint16_t>(length[static_cast<size_t>(prev)] + 1);
        ++next;
        if (next == 1 << bits && bits < 12) ++bits;
      }
    }
    put(code);
    prev = code;
  }
}

bool TGif::Transparent() const { return transparent_; }

int TGif::Delay(int i) const { return std::max(1, images_.at(i).Delay); }

int TGif::TransparentIndex(int i) const {
  const auto& image = images_.at(i);
  return image.HasTransparency ? image.TransparentIndex : -1;
}

QImage TGif::GetStripBitmap() const {
  const int count = ImageCount(), w = screenWidth_, h = screenHeight_;
  QImage strip(w * count, h, QImage::Format_ARGB32_Premultiplied);
  if (strip.isNull()) Fail(25);
  strip.fill(Qt::transparent);
  for (int i = 0; i < count; ++i) {
    const auto& image = images_[static_cast<size_t>(i)];
    // Indices past the frame's table are black.
    std::array<QRgb, 256> table{};
    const auto& colors = tables_[static_cast<size_t>(image.TableIndex)].Colors;
    std::copy(colors.begin(), colors.end(), table.begin());
    const QRect& s = image.Stored;
    for (int y = 0; y < s.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(strip.scanLine(s.top() + y)) + i * w + s.left();
      const uint8_t* src = pixels_.data() + image.PixelsAt + static_cast<size_t>(y) * static_cast<size_t>(s.width());
      for (int x = 0; x < s.width(); ++x) {
        if (image.HasTransparency && src[x] == image.TransparentIndex) continue;
        line[x] = table[src[x]] | 0xFF000000u;
      }
    }
    if (i + 1 == count) break;
    for (int y = 0; y < h; ++y) {
      auto* line = reinterpret_cast<QRgb*>(strip.scanLine(y));
      std::copy(line + i * w, line + (i + 1) * w, line + (i + 1) * w);
    }
    if (image.Disposal == 2 || image.Disposal == 3) {
      for (int y = s.top(); y < s.top() + s.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(strip.scanLine(y)) + (i + 1) * w;
        std::fill(line + s.left(), line + s.left() + s.width(), 0u);
      }
    }
  }
  return strip;
}

std::unique_ptr<TViewerGifPicture> TViewerGifPicture::CreateAGifFromStream(TStream& stream) {
  TGif gif;
  gif.LoadFromStream(stream);
  auto picture = std::make_unique<TViewerGifPicture>();
  picture->NumFrames = gif.ImageCount();
  picture->animate_ = picture->NumFrames > 1;
  picture->Width = gif.ScreenWidth();
  picture->Height = gif.ScreenHeight();
  picture->LoopCount = gif.LoopCount();
  const int loops = gif.LoopCount();
  picture->NumIterations = loops < 0 ? 1 : loops > 0 ? loops + 1 : 0;
  picture->IsTransparent = gif.Transparent();
  picture->Strip = gif.GetStripBitmap();
  auto frames = std::make_shared<std::vector<TgfFrame>>();
  frames->reserve(static_cast<size_t>(gif.ImageCount()));
  for (int i = 0; i < gif.ImageCount(); ++i) {
    TgfFrame frame;
    frame.Disposal = static_cast<uint8_t>(gif.Disposal(i));
    frame.Left = gif.Left(i);
    frame.Top = gif.Top(i);
    frame.Width = gif.Width(i);
    frame.Height = gif.Height(i);
    frame.Delay = std::max(30, gif.Delay(i) * 10);
    frames->push_back(frame);
  }
  picture->frames_ = std::move(frames);
  if (picture->animate_) picture->currentDisposal_ = 2;
  picture->LastTime = platform::ClockMilliseconds();
  picture->CurrentInterval = picture->Frame(1).Delay;
  return picture;
}

QImage TViewerGifPicture::FrameImage() const {
  return Strip.copy((currentFrame_ - 1) * Width, 0, Width, Height);
}

QImage TViewerGifPicture::Bitmap() const { return Strip.copy(0, 0, Width, Height); }

QImage TViewerGifPicture::MaskedBitmap() const {
  if (!IsTransparent || Strip.isNull()) return {};
  QImage mask(Width, Height, QImage::Format_RGB32);
  for (int y = 0; y < Height; ++y) {
    const auto* src = reinterpret_cast<const QRgb*>(Strip.constScanLine(y));
    auto* dst = reinterpret_cast<QRgb*>(mask.scanLine(y));
    for (int x = 0; x < Width; ++x) dst[x] = qAlpha(src[x]) ? 0xFF000000u : 0xFFFFFFFFu;
  }
  return mask;
}

void TViewerGifPicture::Draw(TCanvas& canvas, int x, int y, int wid, int ht) {
  StretchedRect = QRect(x, y, wid, ht);
  if (wid <= 0 || ht <= 0 || Strip.isNull()) return;
  const QImage frame = FrameImage();
  canvas.DrawImage(x, y, frame.size() == QSize(wid, ht)
                             ? frame
                             : frame.scaled(wid, ht, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

void TViewerGifPicture::CheckTime(const std::function<void(const QRect&)>& invalidate) {
  if (!animate_) return;
  const int64_t now = platform::ClockMilliseconds();
  if (now - LastTime < CurrentInterval) return;
  LastTime = now;
  if (currentFrame_ == NumFrames) {
    if (NumIterations >= 1 && CurrentIteration >= NumIterations) {
      animate_ = false;
      return;
    }
    ++CurrentIteration;
  }
  currentFrame_ = currentFrame_ % NumFrames + 1;
  currentDisposal_ = Frame(currentFrame_).Disposal;
  if (invalidate) invalidate(StretchedRect);
  CurrentInterval = std::max(1, Frame(currentFrame_).Delay);
}

void TViewerGifPicture::SetAnimate(bool value) {
  animate_ = value && NumFrames > 1;
  if (animate_) {
    LastTime = platform::ClockMilliseconds();
    CurrentInterval = std::max(1, Frame(currentFrame_).Delay);
  }
}

void TViewerGifPicture::SetCurrentFrame(int frame) {
  if (NumFrames < 1) return;
  if (frame > NumFrames) frame = 1;
  if (frame < 1) frame = NumFrames;
  currentFrame_ = frame;
}

}  // namespace htmlview
