#include "gif/gui/GifConvert.h"

#include <algorithm>
#include <array>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "gif/gui/GifReduce.h"
#include "platform/core/MemoryStream.h"

namespace gif {

namespace {

using htmlview::TDIBReader;

// Deletes the frames marked gone, all in one pass.
void DeleteFrames(TGifPictureBase& picture, const std::vector<bool>& gone) {
  size_t i = 0;
  picture.Images.DeleteIf([&](const TGIFSubImage&) { return gone[i++]; });
}

// Progress of the picture that owns a frame, ended on every way out.
class TProgressScope {
 public:
  TProgressScope(TGifPictureBase* picture, const char* message)
      : picture_(picture), message_(message), exceptions_(std::uncaught_exceptions()) {
    Report(psStarting, 0);
  }
  ~TProgressScope() {
    try {
      Report(psEnding, std::uncaught_exceptions() > exceptions_ ? 0 : 100);
    } catch (...) {
      // A handler failing while the progress ends must not turn into a second exception in flight.
    }
  }
  TProgressScope(const TProgressScope&) = delete;
  TProgressScope& operator=(const TProgressScope&) = delete;
  void Report(TProgressStage stage, int percent) {
    if (picture_) picture_->Progress(stage, percent, message_);
  }

 private:
  TGifPictureBase* picture_;
  const char* message_;
  int exceptions_;
};

int Disposal(const TGIFSubImage& frame) {
  const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
  return gce ? gce->Disposal() : 0;
}

// Whether the decoders agree on the frame's control block: the codec takes the first in front of
// the image, others the last (and Pillow its transparency from any). A frame with more than one is
// left as it stands, and nothing is drawn differently over it.
bool Settled(const TGIFSubImage& frame) { return frame.ControlSettled(); }

// Whether some decoder takes the frame off the screen after its time: disposal 2 and 3, and the
// ones beyond, which the codec keeps and Pillow restores like 3.
bool Disposes(int disposal) { return disposal >= 2; }

// Whether Pillow shows the frames' indices themselves, as greys: it does when the first image has
// no colour table. Indices then neither move nor stand for one another by colour.
bool IndicesShown(const TGifPictureBase* picture) {
  return picture && !picture->Empty() && picture->Images[0].ActiveColorMap().Count() == 0;
}

// Where Pillow shows indices (IndicesShown), it goes on showing them for the frames up to the
// first later one with a colour table, draws that one on a cleared screen, and shows its colours
// only for the frames after it: the first of those, or the frame count when there is none.
int FirstFrameInColours(const TGifPictureBase& picture) {
  for (int i = 1; i < picture.Images.Count(); ++i)
    if (picture.Images[i].ActiveColorMap().Count() > 0) return i + 1;
  return picture.Images.Count();
}

// The transparent index when the frame has transparency, else -1.
int TransparentIndex(const TGIFSubImage& frame) {
  const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
  return frame.HasTransparency && gce ? gce->TransparentColorIndex() : -1;
}

// The colours the frame shows for its 256 possible indices; indices beyond its colour table show
// black, as the compositor shows them.
std::array<uint32_t, 256> ShownColors(const TGIFSubImage& frame) {
  std::array<uint32_t, 256> colors;
  colors.fill(0);
  const TGIFColorMap& map = frame.ActiveColorMap();
  for (int i = 0; i < map.Count(); ++i) {
    const TGIFColor c = map.Colors()[i];
    colors[static_cast<size_t>(i)] = static_cast<uint32_t>(c.Red) << 16 | static_cast<uint32_t>(c.Green) << 8 | c.Blue;
  }
  return colors;
}

std::array<bool, 256> UsedIndices(const TGIFSubImage& frame) {
  std::array<bool, 256> used{};
  for (uint8_t p : frame.Data()) used[p] = true;
  // Some decoders read a pixel beyond the colour table as its first entry.
  for (int i = frame.ActiveColorMap().Count(); i < 256 && !used[0]; ++i) used[0] = used[static_cast<size_t>(i)];
  return used;
}

TGIFGraphicControlExtension& GraphicControl(TGIFSubImage& frame) {
  if (TGIFGraphicControlExtension* gce = frame.GraphicControlExtension()) return *gce;
  auto gce = std::make_unique<TGIFGraphicControlExtension>(&frame);
  TGIFGraphicControlExtension& result = *gce;
  frame.Extensions.Add(std::move(gce));
  return result;
}

// Some decoders give a frame without a control block the delay and disposal of the last control
// block before it, others none; a block added or taken away is the same to all only where it holds
// what the frame would inherit. Disposals other than 2 and 3 all keep the frame.
struct TInherited {
  int Delay = 0, Disposal = 0;
  bool operator==(const TInherited&) const = default;
};

TInherited ControlOf(const TGIFGraphicControlExtension& gce) {
  const int d = gce.Disposal();
  return {gce.Delay, d == 2 || d == 3 ? d : 0};
}

// What each frame inherits from the frames before it: the last block of the frame before that has
// one, as those decoders read each block over the one before.
std::vector<TInherited> Inherited(const TGifPictureBase& picture) {
  std::vector<TInherited> inherited(static_cast<size_t>(picture.Images.Count()));
  for (int i = 1; i < picture.Images.Count(); ++i) {
    const std::vector<TGIFGraphicControlExtension*> blocks = picture.Images[i - 1].GraphicControlExtensions();
    inherited[static_cast<size_t>(i)] = blocks.empty() ? inherited[static_cast<size_t>(i - 1)] : ControlOf(*blocks.back());
  }
  return inherited;
}

// The disposal of each frame for decoders that keep the last one given: a frame whose control
// block says none (0), or that has no block, disposes of itself as the last frame that said one.
std::vector<int> KeptDisposals(const TGifPictureBase& picture) {
  std::vector<int> kept(static_cast<size_t>(picture.Images.Count()));
  int last = 0;
  for (int i = 0; i < picture.Images.Count(); ++i) {
    for (const TGIFGraphicControlExtension* gce : picture.Images[i].GraphicControlExtensions())
      if (gce->Disposal() != 0) last = gce->Disposal();
    kept[static_cast<size_t>(i)] = last;
  }
  return kept;
}

int IndexOf(const TGifPictureBase& picture, const TGIFSubImage& frame) {
  for (int i = 0; i < picture.Images.Count(); ++i)
    if (&picture.Images[i] == &frame) return i;
  return -1;
}

// Whether every player takes the frame's delay as it stands: below 3 hundredths players differ
// (ours plays 0 as 10 and 1 or 2 as 3, browsers 0 and 1 as 10, others as given).
bool PlainDelay(const TGIFSubImage& frame) {
  const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
  return gce && gce->Delay >= 3;
}

// A frame that shows nothing shows the screen that the frame before it leaves, for its own time.
// That time can go to the frame before when the screen it shows is the one that frame left: when
// that frame has an image (other decoders time extensions only in front of one) and keeps what it
// drew, no frame after inherits the block that goes (TInherited), both delays are plain (a sum of delays that players stretch would play differently in
// each), and the sum stays within the 1,000 hundredths that a synchronous animation times.
// kept: the disposals of the two frames where a decoder keeps the last one named (KeptDisposals):
// the frame before must keep what it drew there too, and the disposal that the frame names must
// not be carried on to the frame after it.
bool LendTime(TGIFSubImage& before, const TGIFSubImage& frame, const TGIFSubImage* after, int keptBefore,
              int keptFrame) {
  if (before.Empty() || Disposes(Disposal(before)) || keptBefore > 1) return false;
  if (!Settled(before) || !Settled(frame) || (after && !Settled(*after))) return false;
  if (keptFrame > 1 && after && Disposal(*after) == 0) return false;
  // A frame after it without a block of its own would inherit another block.
  if (after && !after->GraphicControlExtension()) return false;
  if (!PlainDelay(before) || !PlainDelay(frame)) return false;
  TGIFGraphicControlExtension& gce = *before.GraphicControlExtension();
  const int delay = gce.Delay + frame.GraphicControlExtension()->Delay;
  if (delay > 1000) return false;
  gce.Delay = static_cast<uint16_t>(delay);
  return true;
}

bool IsLoop(const TGIFExtension& e) { return dynamic_cast<const TGIFAppExtNSLoop*>(&e) != nullptr; }

struct TBounds {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;  // right and bottom exclusive
  bool Empty() const { return Right <= Left || Bottom <= Top; }
};

// The rectangle, in frame coordinates, around the pixels that are not the transparent index.
TBounds OpaqueBounds(const TGIFSubImage& frame, uint8_t transparent) {
  TBounds b{frame.Width(), frame.Height(), 0, 0};
  const uint8_t* p = frame.Data().data();
  for (int y = 0; y < frame.Height(); ++y, p += frame.Width()) {
    int first = 0;
    while (first < frame.Width() && p[first] == transparent) ++first;
    if (first == frame.Width()) continue;
    int last = frame.Width() - 1;
    while (p[last] == transparent) --last;
    b.Left = std::min(b.Left, first);
    b.Right = std::max(b.Right, last + 1);
    b.Top = std::min(b.Top, y);
    b.Bottom = y + 1;
  }
  return b;
}

void CropTo(TGIFSubImage& frame, const TBounds& b) {
  if (b.Left == 0 && b.Top == 0 && b.Right == frame.Width() && b.Bottom == frame.Height()) return;
  const std::vector<uint8_t> old = frame.Data();
  const int oldWidth = frame.Width();
  frame.SetBounds(frame.Left() + b.Left, frame.Top() + b.Top, b.Right - b.Left, b.Bottom - b.Top);
  for (int y = b.Top; y < b.Bottom; ++y) {
    const uint8_t* from = old.data() + static_cast<size_t>(y) * oldWidth + b.Left;
    std::copy(from, from + (b.Right - b.Left), frame.Scanline(y - b.Top));
  }
}

// The area of the logical screen that a frame covers.
TBounds ScreenArea(const TGIFSubImage& frame, const TGifPictureBase& picture) {
  if (frame.Empty()) return {};
  return {std::min(frame.Left(), picture.Width()), std::min(frame.Top(), picture.Height()),
          std::min(frame.Left() + frame.Width(), picture.Width()), std::min(frame.Top() + frame.Height(), picture.Height())};
}

// Marks the frame's pixels where mask (one byte a pixel, row by row) is not 0 with a transparent
// colour, when its colour map has room for one.
void ImportMask(TGIFSubImage& frame, const std::vector<uint8_t>& mask) {
  frame.ColorMap.Optimize();
  if (frame.ColorMap.Count() == 0 || frame.ColorMap.Count() == TGIFColorMap::MaxColors) return;
  const int index = frame.ColorMap.Add(TGIFColor{});
  bool marked = false;
  std::vector<uint8_t>& raster = frame.Data();
  for (size_t i = 0; i < raster.size(); ++i)
    if (mask[i]) {
      raster[i] = static_cast<uint8_t>(index);
      marked = true;
    }
  if (!marked) {
    frame.ColorMap.Delete(index);
    return;
  }
  auto gce = std::make_unique<TGIFGraphicControlExtension>(&frame);
  gce->SetTransparent(true);
  gce->SetTransparentColorIndex(index);
  frame.Extensions.Add(std::move(gce));
}

// The transparent pixels of a source picture: those whose alpha is below 128 when it has an
// alpha channel, else, when it is Transparent, those of its transparent colour. Empty when none.
std::vector<uint8_t> SourceMask(const TBitmap& source) {
  const QImage& image = source.Image();
  const bool alpha = image.hasAlphaChannel();
  if (!alpha && !source.Transparent) return {};
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  if (argb.isNull()) throw htmlview::EOutOfMemory("Out of memory");
  const TColor key = source.TransparentColor();
  const QRgb keyRgb = qRgb(key & 0xFF, (key >> 8) & 0xFF, (key >> 16) & 0xFF) & 0xFFFFFF;
  std::vector<uint8_t> mask(static_cast<size_t>(argb.width()) * static_cast<size_t>(argb.height()));
  bool any = false;
  uint8_t* out = mask.data();
  for (int y = 0; y < argb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < argb.width(); ++x, ++out) {
      *out = alpha ? qAlpha(line[x]) < 128 : (line[x] & 0xFFFFFF) == keyRgb;
      any = any || *out;
    }
  }
  if (!any) mask.clear();
  return mask;
}

void ReportRow(TProgressScope& progress, int row, int height) {
  if (row % 32 == 0) progress.Report(psRunning, static_cast<int>(int64_t{row} * 100 / height));
}

void ImportColorTable(TGIFSubImage& frame, const QImage& image, int entries) {
  const QList<QRgb> table = image.colorTable();
  for (int i = 0; i < std::min<int>(entries, static_cast<int>(table.size())); ++i) {
    const QRgb c = table[i];
    frame.ColorMap.Add({static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)), static_cast<uint8_t>(qBlue(c))});
  }
}

void Import1Bit(TGIFSubImage& frame, TBitmap& bitmap, TProgressScope& progress) {
  TDIBReader reader(bitmap, htmlview::pf1bit);
  ImportColorTable(frame, bitmap.Image(), 2);
  const int width = frame.Width(), height = frame.Height();
  for (int y = 0; y < height; ++y) {
    ReportRow(progress, y, height);
    const uint8_t* from = reader.GetScanline(y);
    uint8_t* to = frame.Scanline(y);
    for (int x = 0; x < width; ++x) to[x] = (from[x >> 3] >> (7 - (x & 7))) & 1;
  }
}

void Import8Bit(TGIFSubImage& frame, TBitmap& bitmap, TProgressScope& progress) {
  TDIBReader reader(bitmap, htmlview::pf8bit);
  ImportColorTable(frame, bitmap.Image(), TGIFColorMap::MaxColors);
  const int width = frame.Width(), height = frame.Height();
  for (int y = 0; y < height; ++y) {
    ReportRow(progress, y, height);
    const uint8_t* from = reader.GetScanline(y);
    std::copy(from, from + width, frame.Scanline(y));
  }
  // Pixels beyond a short colour table show black; with black entries the frame can be saved.
  const uint8_t highest = *std::max_element(frame.Data().begin(), frame.Data().end());
  while (frame.ColorMap.Count() <= highest) frame.ColorMap.Add(TGIFColor{});
}

// Every distinct colour gets an entry; pictures run in stretches of one colour, so the last few
// colours found answer most pixels without a search of the map.
void Import24Bit(TGIFSubImage& frame, TBitmap& bitmap, TProgressScope& progress) {
  TDIBReader reader(bitmap, htmlview::pf24bit);
  struct Slot {
    uint32_t Color;
    uint8_t Index;
  };
  std::array<Slot, 8> cache{};
  int filled = 0, next = 0;
  const int width = frame.Width(), height = frame.Height();
  for (int y = 0; y < height; ++y) {
    ReportRow(progress, y, height);
    const uint8_t* p = reader.GetScanline(y);
    uint8_t* to = frame.Scanline(y);
    for (int x = 0; x < width; ++x, p += 3) {
      const uint32_t color = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
      int found = -1;
      for (int k = 0, slot = next - 1; k < filled; ++k, --slot) {
        const Slot& s = cache[static_cast<size_t>((slot + 8) % 8)];
        if (s.Color == color) {
          found = s.Index;
          break;
        }
      }
      if (found < 0) {
        found = frame.ColorMap.AddUnique({p[2], p[1], p[0]});
        cache[static_cast<size_t>(next)] = {color, static_cast<uint8_t>(found)};
        next = (next + 1) % 8;
        filled = std::min(filled + 1, 8);
      }
      to[x] = static_cast<uint8_t>(found);
    }
  }
}

}  // namespace

void AssignFrame(TGIFSubImage& frame, const TGIFSubImage& source) {
  if (&frame == &source) return;
  frame.Clear();
  if (source.Empty()) return;
  // A copied frame grows the screen without the warnings of a frame placed beyond it.
  if (TGifPictureBase* picture = frame.Image()) {
    picture->Header.Width = std::max(picture->Header.Width, source.Left() + source.Width());
    picture->Header.Height = std::max(picture->Header.Height, source.Top() + source.Height());
  }
  frame.SetBounds(source.Left(), source.Top(), source.Width(), source.Height());
  frame.SetInterlaced(source.Interlaced());
  frame.Data() = source.Data();
  frame.ColorMap.Assign(source.ColorMap);
  if (source.Extensions.Count() > 0) {
    // Each extension saves and loads itself, so that the copies are whole and belong to this frame.
    TMemoryStream stream;
    for (int i = 0; i < source.Extensions.Count(); ++i) source.Extensions[i].SaveToStream(stream);
    stream.SetPosition(0);
    frame.Extensions.LoadFromStream(stream);
  }
  frame.HasTransparency = source.HasTransparency;
}

void AssignBitmap(TGIFSubImage& frame, const TBitmap& source, const TGifConvertSettings& settings) {
  frame.Clear();
  if (source.Empty() || source.Width() == 0 || source.Height() == 0) return;
  TProgressScope progress(frame.Image(), sConverting);
  // The readers convert the pictures they read in place; the source is only ever copied.
  TBitmap bitmap;
  htmlview::TPixelFormat format = htmlview::GetPixelFormat(source);
  if (format == htmlview::pf1bit || format == htmlview::pf8bit) {
    bitmap.Image() = source.Image();
  } else {
    std::unique_ptr<TBitmap> reduced =
        ReduceColors(source, settings.ColorReduction, settings.DitherMode, settings.ReductionBits, nullptr);
    if (!reduced || reduced->Empty()) throw GIFException(sInvalidReduction);
    bitmap.Image() = std::move(reduced->Image());
    format = htmlview::GetPixelFormat(bitmap);
  }
  frame.SetBounds(0, 0, source.Width(), source.Height());
  switch (format) {
    case htmlview::pf1bit: Import1Bit(frame, bitmap, progress); break;
    case htmlview::pf8bit: Import8Bit(frame, bitmap, progress); break;
    default: Import24Bit(frame, bitmap, progress); break;
  }
  const std::vector<uint8_t> mask = SourceMask(source);
  if (!mask.empty()) ImportMask(frame, mask);
}

void AssignImage(TGIFSubImage& frame, const QImage& source, const TGifConvertSettings& settings) {
  TBitmap bitmap;
  bitmap.Image() = source;
  AssignBitmap(frame, bitmap, settings);
}

void Crop(TGIFSubImage& frame) {
  const int transparent = TransparentIndex(frame);
  if (frame.Empty() || transparent < 0) return;
  const TBounds b = OpaqueBounds(frame, static_cast<uint8_t>(transparent));
  if (b.Empty())
    frame.Clear();
  else
    CropTo(frame, b);
}

namespace {

// The transparent indices of the frames on the global table, each once, in the order of the frames.
std::vector<int> GlobalTransparentIndices(const TGifPictureBase* picture) {
  std::vector<int> indices;
  if (!picture) return indices;
  std::array<bool, 256> seen{};
  for (int i = 0; i < picture->Images.Count(); ++i) {
    const TGIFSubImage& other = picture->Images[i];
    const int index = TransparentIndex(other);
    if (other.ColorMap.Count() == 0 && index >= 0 && !seen[static_cast<size_t>(index)]) {
      seen[static_cast<size_t>(index)] = true;
      indices.push_back(index);
    }
  }
  return indices;
}

// Merge, with the transparent indices of the frames on the global table (GlobalTransparentIndices)
// kept by the caller: the optimiser merges every frame, and must not look through all the others
// for each one.
// inherited: what the frame and previous would inherit (TInherited). The transparency a frame
// without a control block gets comes in a new one; a previous frame without one may be cleared
// away elsewhere.
// keptDisposal, keptPrevious: the two frames' (KeptDisposals). Some decoders restore the area of a
// frame that is disposed of to the background to its transparent colour when it has one, else to
// the background colour: such a frame gets no transparency. Nor does a frame over one that those
// decoders dispose of.
void MergeWith(TGIFSubImage& frame, const TGIFSubImage* previous, std::vector<int>& globalTransparent,
               const TInherited& inherited, const TInherited& previousInherited, int keptDisposal,
               int keptPrevious) {
  if (!previous || previous == &frame || frame.Empty() || previous->Empty()) return;
  if (!Settled(frame) || !Settled(*previous)) return;
  if (!frame.GraphicControlExtension() && inherited != TInherited{}) return;
  const int previousDisposal =
      previous->GraphicControlExtension() ? Disposal(*previous) : previousInherited.Disposal;
  if (Disposes(previousDisposal) || Disposes(keptPrevious)) return;
  const int left = std::max(frame.Left(), previous->Left()), top = std::max(frame.Top(), previous->Top());
  const int right = std::min(frame.Left() + frame.Width(), previous->Left() + previous->Width());
  const int bottom = std::min(frame.Top() + frame.Height(), previous->Top() + previous->Height());
  if (left >= right || top >= bottom) return;

  TGifPictureBase* picture = frame.Image();
  const bool usesGlobal = frame.ColorMap.Count() == 0 && picture;
  const TGIFColorMap& active = frame.ActiveColorMap();
  int transparent = TransparentIndex(frame);
  // A transparent index beyond the table that no pixel has cannot be given to pixels (a file holds
  // none beyond the table): such a frame needs an index as one without transparency does. Pixels
  // that have it are transparent in some decoders and show the table's first entry in others.
  if (transparent >= active.Count()) {
    if (UsedIndices(frame)[static_cast<size_t>(transparent)]) return;
    transparent = -1;
  }
  const bool hadTransparency = transparent >= 0;
  if (!hadTransparency && (active.Count() == 0 || active.Count() >= TGIFColorMap::MaxColors || keptDisposal == 2))
    return;

  const std::array<uint32_t, 256> mine = ShownColors(frame), theirs = ShownColors(*previous);
  const bool sameIndex = IndicesShown(picture);
  // A pixel stands for the one below only where Pillow shows both in colours.
  if (sameIndex && IndexOf(*picture, *previous) < FirstFrameInColours(*picture)) return;
  const int previousTransparent = TransparentIndex(*previous);
  std::array<bool, 256> used{};
  if (!hadTransparency) used = UsedIndices(frame);

  // The transparent index a frame without transparency gets, chosen when a pixel first needs it:
  // one that no pixel of this frame has, lest its visible pixels of that index vanish.
  const auto chooseIndex = [&]() -> int {
    if (usesGlobal)
      for (int index : globalTransparent)
        if (index < active.Count() && !used[static_cast<size_t>(index)]) return index;
    // An entry appended behind the table takes the index that pixels beyond the table already
    // have, which then would vanish: then there is no room after all.
    if (used[static_cast<size_t>(active.Count())]) return -1;
    if (usesGlobal && picture->Header.ColorMap.SizeShown()) return -1;
    if (active.PixelsBeyond()) return -1;
    if (usesGlobal) {
      const int index = picture->Header.ColorMap.Add(TGIFColor{});
      globalTransparent.push_back(index);
      return index;
    }
    return frame.ColorMap.Add(TGIFColor{});
  };

  bool introduced = false;
  for (int y = top; y < bottom; ++y) {
    uint8_t* p = frame.Scanline(y - frame.Top());
    const uint8_t* q = previous->Data().data() + static_cast<size_t>(y - previous->Top()) * previous->Width();
    for (int x = left; x < right; ++x) {
      uint8_t& pixel = p[x - frame.Left()];
      const uint8_t below = q[x - previous->Left()];
      // A pixel beyond its table shows as no entry does, and differently in each decoder.
      if (pixel == transparent || below == previousTransparent || pixel >= active.Count() ||
          below >= previous->ActiveColorMap().Count() || mine[pixel] != theirs[below] || (sameIndex && pixel != below))
        continue;
      if (transparent < 0) {
        transparent = chooseIndex();
        if (transparent < 0) return;
        introduced = true;
      }
      pixel = static_cast<uint8_t>(transparent);
    }
  }
  if (introduced) {
    TGIFGraphicControlExtension& gce = GraphicControl(frame);
    gce.SetTransparent(true);
    gce.SetTransparentColorIndex(transparent);
  }
}

}  // namespace

void Merge(TGIFSubImage& frame, const TGIFSubImage* previous) {
  std::vector<int> globalTransparent = GlobalTransparentIndices(frame.Image());
  const TGifPictureBase* picture = frame.Image();
  const std::vector<TInherited> inherited = picture ? Inherited(*picture) : std::vector<TInherited>{};
  const auto of = [&](const TGIFSubImage* f) {
    const int index = f && picture ? IndexOf(*picture, *f) : -1;
    return index > 0 ? inherited[static_cast<size_t>(index)] : TInherited{};
  };
  const std::vector<int> kept = picture ? KeptDisposals(*picture) : std::vector<int>{};
  const auto keptOf = [&](const TGIFSubImage* f) {
    const int index = f && picture ? IndexOf(*picture, *f) : -1;
    return index >= 0 ? kept[static_cast<size_t>(index)] : f ? Disposal(*f) : 0;
  };
  MergeWith(frame, previous, globalTransparent, of(&frame), of(previous), keptOf(&frame), keptOf(previous));
}

void GrowScreen(TGifPictureBase& picture) {
  for (int i = 0; i < picture.Images.Count(); ++i) {
    const TGIFSubImage& frame = picture.Images[i];
    picture.Header.Width = std::max(picture.Header.Width, frame.Left() + frame.Width());
    picture.Header.Height = std::max(picture.Header.Height, frame.Top() + frame.Height());
  }
}

void OptimizeFrames(TGifPictureBase& picture, unsigned options, const TGifConvertSettings& settings) {
  if (picture.Empty()) return;
  // The frames are optimised on the screen that holds them all. The picture keeps the screen it
  // names, which some decoders cut the frames to, and every frame keeps its reach beyond it, to
  // which others grow their screen.
  struct TNamedScreen {
    TGIFHeader& Header;
    const int Width = Header.Width, Height = Header.Height;
    ~TNamedScreen() {
      Header.Width = Width;
      Header.Height = Height;
    }
  } named{picture.Header};
  GrowScreen(picture);
  TProgressScope progress(&picture, sOptimizing);
  const int64_t total = int64_t{picture.Images.Count()} * 6;
  int64_t done = 0;
  const auto step = [&] {
    done += picture.Images.Count();
    progress.Report(psRunning, static_cast<int>(std::min<int64_t>(done * 100 / total, 100)));
  };
  const auto frames = [&] { return picture.Images.Count(); };

  if ((options & ooColorMap) && !IndicesShown(&picture)) {
    if (picture.Header.ColorMap.Count() > 0) picture.Header.ColorMap.Optimize();
    for (int i = 0; i < frames(); ++i)
      if (picture.Images[i].ColorMap.Count() > 0) picture.Images[i].ColorMap.Optimize();
  }
  step();

  if (options & ooCleanup) {
    // An unused transparent index still counts where decoders read it: the first frame's makes
    // the screen it leaves uncovered transparent, and a frame disposed of to the background is
    // restored to its transparent colour by some. A frame off the screen has no pixels here but
    // has them in other decoders.
    const std::vector<int> kept = KeptDisposals(picture);
    for (int i = 1; i < frames(); ++i) {
      TGIFSubImage& frame = picture.Images[i];
      const int transparent = TransparentIndex(frame);
      if (transparent >= 0 && kept[static_cast<size_t>(i)] != 2 && Settled(frame) && !frame.Empty() &&
          !UsedIndices(frame)[static_cast<size_t>(transparent)])
        frame.GraphicControlExtension()->SetTransparent(false);
    }
    // Restoring a frame's area is needless only where the next frame, opaque and not restoring
    // what was there before itself, paints over all of that area. A frame off the screen keeps
    // its disposal, which Pillow applies where it grows its screen. Pillow goes on with the last
    // disposal named (carried) for a frame whose block names none: where that clears, the frame
    // keeps its own, lest Pillow clear its area to a background that it fails to look up.
    int carried = 0;
    for (int i = 0; i + 1 < frames(); ++i) {
      TGIFSubImage& frame = picture.Images[i];
      const TGIFSubImage& next = picture.Images[i + 1];
      TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
      const int before = carried;
      for (const TGIFGraphicControlExtension* block : frame.GraphicControlExtensions())
        if (block->Disposal() != 0) carried = block->Disposal();
      if (!gce || (gce->Disposal() != 2 && gce->Disposal() != 3) || frame.Empty() || !Settled(frame) || !Settled(next))
        continue;
      // The next frame must have a block of its own that names a disposal: one without, or one
      // that says none, goes on with this disposal in some decoders; nor may it restore what was
      // there before it in any.
      if (next.Empty() || next.HasTransparency || Disposal(next) >= 3 || Disposal(next) == 0 || Disposes(before)) continue;
      const TBounds area = ScreenArea(frame, picture), cover = ScreenArea(next, picture);
      if (area.Empty() || (cover.Left <= area.Left && cover.Top <= area.Top && cover.Right >= area.Right &&
                           cover.Bottom >= area.Bottom)) {
        gce->SetDisposal(0);
        carried = before;
      }
    }
  }
  step();

  if (options & ooMerge) {
    std::vector<int> globalTransparent = GlobalTransparentIndices(&picture);
    // below[i]: the frame that frame i is drawn over, the one before it; -1 past a frame that
    // restores what was there before it, whose area the codec and others restore while the
    // viewer's decoder clears it, as it clears one disposed of to the background.
    std::vector<int> below(static_cast<size_t>(frames()), 0);
    for (int i = 2; i < frames(); ++i) {
      const TGIFSubImage& before = picture.Images[i - 1];
      below[static_cast<size_t>(i)] = Disposal(before) != 3 ? i - 1 : -1;
    }
    const std::vector<TInherited> inherited = Inherited(picture);
    const std::vector<int> kept = KeptDisposals(picture);
    for (int i = frames() - 1; i >= 1; --i) {
      if (below[static_cast<size_t>(i)] < 0) continue;
      const auto b = static_cast<size_t>(below[static_cast<size_t>(i)]);
      MergeWith(picture.Images[i], &picture.Images[b], globalTransparent, inherited[static_cast<size_t>(i)],
                inherited[b], kept[static_cast<size_t>(i)], kept[b]);
    }
  }
  step();

  if (options & ooCrop) {
    std::vector<bool> gone(static_cast<size_t>(frames()), false);
    const std::vector<int> kept = KeptDisposals(picture);
    for (int i = frames() - 1; i >= 0; --i) {
      TGIFSubImage& frame = picture.Images[i];
      const int transparent = TransparentIndex(frame);
      // Cropping a frame that is cleared afterwards would shrink the area cleared (also where a
      // decoder keeps an earlier frame's disposal for it); and the first frame's area is what
      // every pass clears before it begins (goClearOnLoop).
      // Nor is a frame cropped that Pillow restores what was before it for, where it shows indices:
      // it shows the whole screen anew for a frame of a colour table, and restores only the area.
      // A transparent index beyond the table is transparent in some decoders, and shows the table's
      // first entry in others.
      // The viewer's decoder clears a restoring frame's area as it clears one disposed of.
      if (i == 0 || frame.Empty() || transparent < 0 || transparent >= frame.ActiveColorMap().Count() ||
          Disposal(frame) == 2 || Disposal(frame) == 3 || kept[static_cast<size_t>(i)] == 2 ||
          !Settled(frame) || (IndicesShown(&picture) && kept[static_cast<size_t>(i)] >= 3))
        continue;
      TBounds b = OpaqueBounds(frame, static_cast<uint8_t>(transparent));
      const bool right = frame.Left() + frame.Width() > named.Width, below = frame.Top() + frame.Height() > named.Height;
      if (!b.Empty() || right || below) {
        if (b.Empty()) b = TBounds{frame.Width() - 1, frame.Height() - 1, frame.Width(), frame.Height()};
        if (right) b.Right = frame.Width();
        if (below) b.Bottom = frame.Height();
        // A frame partly on the screen stays so: ImageMagick refuses to compose one wholly beyond
        // it before further frames. A side the screen names no size for holds every frame.
        if ((named.Width == 0 || frame.Left() < named.Width) && (named.Height == 0 || frame.Top() < named.Height)) {
          if (named.Width > 0) b.Left = std::min(b.Left, named.Width - 1 - frame.Left());
          if (named.Height > 0) b.Top = std::min(b.Top, named.Height - 1 - frame.Top());
        }
        CropTo(frame, b);
        continue;
      }
      // A frame that shows nothing can go when its time can (LendTime); one that carries the loop
      // count stays.
      bool carriesLoop = false;
      for (int e = 0; e < frame.Extensions.Count(); ++e) carriesLoop = carriesLoop || IsLoop(frame.Extensions[e]);
      const TGIFSubImage* after = i + 1 < frames() ? &picture.Images[i + 1] : nullptr;
      if (!carriesLoop && LendTime(picture.Images[i - 1], frame, after, kept[static_cast<size_t>(i - 1)],
                                   kept[static_cast<size_t>(i)])) {
        gone[static_cast<size_t>(i)] = true;
        continue;
      }
      // It must stay for its time: one transparent pixel keeps it.
      CropTo(frame, TBounds{0, 0, 1, 1});
    }
    DeleteFrames(picture, gone);
  }
  step();

  if (options & ooCleanup) {
    // The frames before each one keep their blocks until it is done with: what it inherits stays.
    const std::vector<TInherited> inherited = Inherited(picture);
    // Every frame stays (one without an image too): a single frame stays single.
    const bool single = frames() == 1;
    for (int i = frames() - 1; i >= 0; --i) {
      TGIFSubImage& frame = picture.Images[i];
      // A frame without an image is an item our player times (showing the screen before it)
      // while other decoders let extensions without an image apply to nothing: it stays where it
      // stands with its control block, so that each shows what it showed before. Its time lent
      // to the frame before would lengthen that frame for the others.
      const bool holdsTime = frame.Empty();
      // The codec takes the first control block, other decoders the last: with more than one,
      // every one stays.
      TGIFGraphicControlExtension* governing = frame.GraphicControlExtension();
      const bool settled = Settled(frame);
      if (settled && governing && frame.HasTransparency) governing->SetTransparent(true);
      // A loop block counts where it stands, on a still picture too: the codec takes the first
      // anywhere, Pillow only one in front of the first image, ImageMagick one for its image and
      // those after, and each reports it.
      frame.Extensions.DeleteIf([&](const TGIFExtension& ext) {
        const TGIFExtension* e = &ext;
        if (IsLoop(*e)) return false;
        // A block that names any disposal stays: some decoders keep the last one named for the
        // frames after.
        if (const auto* gce = dynamic_cast<const TGIFGraphicControlExtension*>(e))
          return settled &&
                 (!holdsTime && !gce->UserInput() && !frame.HasTransparency &&
                  (single || ((gce->Delay == 0 && gce->Disposal() == 0) &&
                              ControlOf(*gce) == inherited[static_cast<size_t>(i)])));
        // Without a control block the frame stands as it is: a new block would replace what some
        // decoders let it inherit.
        if (holdsTime && !governing) return false;
        return dynamic_cast<const TGIFCommentExtension*>(e) || dynamic_cast<const TGIFTextExtension*>(e) ||
               dynamic_cast<const TGIFUnknownAppExtension*>(e);
      });
      // A frame without an image saves before another as a pixel outside the screen, the last
      // one only as its extensions: without any it would be lost. One whose image lay off the
      // screen is written as an image again, without a block that would replace the one it
      // inherits.
      if (holdsTime && !frame.OutsideScreen && frame.Extensions.Count() == 0 && i + 1 == frames())
        GraphicControl(frame);
    }
  } else if ((options & ooReduceColors) && settings.ColorReduction == 9) {
    throw GIFException(sInvalidReduction);
  }
  step();
  step();
}

std::vector<uint8_t> OptimizeFile(TGifPictureBase& picture, const std::vector<uint8_t>& bytes, unsigned options,
                                  const TGifConvertSettings& settings) {
  // The picture keeps the screen the file names: OptimizeFrames works on the screen that holds
  // every frame and gives it back.
  const auto load = [&] {
    TMemoryStream in(bytes);
    picture.LoadFromStream(in);
  };
  load();
  // What other decoders read otherwise than the codec holds it, no copy written from that could
  // show as they show it: the file stays as it stands.
  if (picture.ReadOtherwise()) return bytes;
  OptimizeFrames(picture, options, settings);
  TMemoryStream out;
  try {
    picture.SaveToStream(out);
    if (out.Bytes().size() < bytes.size()) return out.Bytes();
  } catch (const GIFException&) {
    // Frames the codec reads but cannot write as they are are left as the file holds them.
  }
  // Its warnings were given the first time.
  const TGIFWarningHandler warn = std::exchange(picture.OnWarning, nullptr);
  load();
  picture.OnWarning = warn;
  return bytes;
}

}  // namespace gif
