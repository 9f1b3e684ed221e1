#include "gif/gui/GifPicture.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/core/Clock.h"
#include "platform/core/MemoryStream.h"
#include "platform/core/MulDiv.h"

namespace gif {

bool PalettedDisplay = false;

namespace {

void RealSleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(std::max(ms, 0))); }
std::atomic<TGIFSleeper> sleeper{&RealSleep};

const QString MimeType() { return QString::fromLatin1(sGifMimeType); }

QRgb Opaque(QRgb rgb) { return 0xFF000000u | rgb; }

void Fill(QImage& image, const TRect& area, QRgb value) {
  const int left = std::max(area.Left, 0), right = std::min(area.Right, image.width());
  const int top = std::max(area.Top, 0), bottom = std::min(area.Bottom, image.height());
  if (left >= right) return;
  for (int y = top; y < bottom; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    std::fill(row + left, row + right, value);
  }
}

// The rows of a painter's own image and its saved copies: premultiplied, so that clear is 0.
QImage NewImage(int width, int height) {
  CheckFrameSize(width, height);
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) throw htmlview::EOutOfMemory(htmlview::sOutOfMemDIB);
  return image;
}

}  // namespace

TGIFSleeper SetGIFSleeper(TGIFSleeper s) { return sleeper.exchange(s ? s : &RealSleep); }

// ---- the animator ----

TGIFPainter::TGIFPainter(TGifPicture& picture, QObject* destination, const TRect& rect, uint16_t options)
    : TGIFPainter(picture, destination, rect, options, rect) {}

TGIFPainter::TGIFPainter(TGifPicture& picture, QObject* destination, const TRect& rect, uint16_t options,
                         const TRect& area)
    : picture_(&picture),
      destination_(destination),
      hadDestination_(destination != nullptr),
      rect_(rect),
      area_(Intersection(rect, area)),
      frameRect_(rect.Offset(-area_.Left, -area_.Top)),
      options_(options),
      speed_(picture.AnimationSpeed),
      background_(Opaque(picture.BackgroundColor())) {
  image_ = NewImage(area_.Width(), area_.Height());
  // Keeping the background starts clear, so that the destination shows through; nothing reads
  // the destination back.
  image_.fill(options_ & goTransparent ? 0u : background_);
  // The first loop extension counts; a count of N plays N + 1 passes, 0 for ever when asynchronous.
  for (int i = 0; i < picture.Images.Count(); ++i) {
    const TGIFExtensionList& extensions = picture.Images[i].Extensions;
    const TGIFAppExtNSLoop* loop = nullptr;
    for (int e = 0; e < extensions.Count() && !loop; ++e) loop = dynamic_cast<const TGIFAppExtNSLoop*>(&extensions[e]);
    if (!loop) continue;
    passes_ = loop->Loops == 0 ? (Asynchronous() ? -1 : 1) : loop->Loops + 1;
    break;
  }
  if (Asynchronous() && (options_ & goLoopContinuously)) passes_ = -1;
  OnStartPaint = picture.OnStartPaint;
  OnPaint = picture.OnPaint;
  OnAfterPaint = picture.OnAfterPaint;
  OnLoop = picture.OnLoop;
  OnEndPaint = picture.OnEndPaint;
}

TGIFPainter::~TGIFPainter() = default;

void TGIFPainter::Fire(const TGIFPainterEvent& event) {
  if (event && !stopped_) event(*this);
}

int TGIFPainter::Delay(int i) const {
  const TGIFGraphicControlExtension* gce = picture_->Images[i].GraphicControlExtension();
  int delay = gce && gce->Delay != 0 ? gce->Delay : DefaultDelay;
  delay = std::max(delay, MinimumDelay);
  if (!Asynchronous()) delay = std::min(delay, MaximumDelay);
  return delay;
}

int TGIFPainter::WaitTime(int i) const {
  if (speed_ <= 0) return Asynchronous() ? -1 : MaximumDelay * DelayMultiplier;
  return MulDiv(static_cast<int>(Delay(i) * DelayMultiplier - correction_), 100, speed_);
}

void TGIFPainter::RestoreBackground(int i) {
  const TGIFSubImage& frame = picture_->Images[i];
  const QRgb value = options_ & goTransparent ? 0u : background_;
  if (options_ & goTile) {
    ForEachTile(frame, frameRect_, {0, 0, image_.width(), image_.height()},
                [&](const TRect& tile) { Fill(image_, tile, value); });
  } else if (picture_->Width() > 0 && picture_->Height() > 0) {
    Fill(image_, ScaleRect(frame, frameRect_), value);
  }
}

// The frame shown last stays current, so that its disposal applies across the new pass's start.
void TGIFPainter::BeginPass() { Fire(OnLoop); }

void TGIFPainter::ShowFrame(int i) {
  const int64_t start = platform::ClockMilliseconds();
  // What the frame shown before leaves behind.
  if (frame_ >= 0 && frame_ < picture_->Images.Count()) {
    if (disposal_ == 2) RestoreBackground(frame_);
    else if (disposal_ == 3 && !saved_.isNull()) image_ = saved_;
  }
  TGIFSubImage& frame = picture_->Images[i];
  if (i == 0 && (options_ & goClearOnLoop)) RestoreBackground(0);
  const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
  disposal_ = gce ? gce->Disposal() : 0;
  if (disposal_ == 3) saved_ = image_.copy();
  {
    TCanvas canvas(&image_);
    picture_->DrawFrame(canvas, frame, frameRect_, options_ & goTransparent, options_ & goTile);
  }
  frame_ = i;
  correction_ = (platform::ClockMilliseconds() - start) / 2;
  Fire(OnPaint);
}

void TGIFPainter::Arm(int64_t ms) {
  if (!QCoreApplication::instance()) return;  // no event loop to wake it: Wake is called by hand
  if (!timer_) {
    timer_ = std::make_unique<QTimer>();
    timer_->setSingleShot(true);
    std::weak_ptr<TGIFPainter> self = weak_from_this();
    QObject::connect(timer_.get(), &QTimer::timeout, [self] {
      if (auto painter = self.lock()) painter->Wake();
    });
  }
  timer_->start(static_cast<int>(std::clamp<int64_t>(ms, 0, INT32_MAX)));
}

void TGIFPainter::Schedule() {
  const int wait = WaitTime(frame_);
  if (wait < 0) {  // no speed: the frame stays until stopped or restarted
    due_ = -1;
    return;
  }
  due_ = platform::ClockMilliseconds() + wait;
  Arm(wait);
}

void TGIFPainter::Start() {
  auto keep = shared_from_this();
  if (!picture_ || picture_->Empty()) return;
  running_ = true;
  pass_ = 0;
  Fire(OnStartPaint);
  BeginPass();
  if (stopped_) return;
  ShowFrame(0);
  Fire(OnAfterPaint);
  if (!stopped_) Schedule();
}

void TGIFPainter::Restart() {
  if (stopped_ || !picture_) return;
  if (timer_) timer_->stop();
  due_ = -1;
  frame_ = -1;
  disposal_ = 0;
  saved_ = QImage();
  image_.fill(options_ & goTransparent ? 0u : background_);
  Start();
  if (auto* widget = qobject_cast<QWidget*>(destination_.data()))
    widget->update(rect_.Left, rect_.Top, rect_.Width(), rect_.Height());
}

void TGIFPainter::Wake() {
  auto keep = shared_from_this();
  if (!running_ || stopped_ || !picture_) return;
  if (DestinationLost()) {
    picture_->Remove(this);
    Stop();
    return;
  }
  if (due_ < 0) return;
  const int64_t now = platform::ClockMilliseconds();
  if (now < due_) {
    Arm(due_ - now);
    return;
  }
  int next = frame_ + 1;
  if (next >= picture_->Images.Count()) {
    if (passes_ >= 0 && pass_ + 1 >= passes_) {
      Finish();
      return;
    }
    ++pass_;
    BeginPass();
    if (stopped_) return;
    next = 0;
  }
  ShowFrame(next);
  if (stopped_) return;
  if (auto* widget = qobject_cast<QWidget*>(destination_.data()))
    widget->update(rect_.Left, rect_.Top, rect_.Width(), rect_.Height());
  Fire(OnAfterPaint);
  if (!stopped_) Schedule();
}

void TGIFPainter::Finish() {
  running_ = false;
  due_ = -1;
  Fire(OnEndPaint);
}

void TGIFPainter::Play(TCanvas& canvas) {
  auto keep = shared_from_this();
  if (!picture_ || picture_->Empty()) return;
  running_ = true;
  Fire(OnStartPaint);
  for (pass_ = 0; (passes_ < 0 || pass_ < passes_) && !stopped_; ++pass_) {
    BeginPass();
    for (int i = 0; !stopped_ && picture_ && i < picture_->Images.Count(); ++i) {
      ShowFrame(i);
      if (stopped_) break;
      canvas.DrawImage(area_.Left, area_.Top, image_);
      Fire(OnAfterPaint);
      if (stopped_) break;
      int64_t remaining = WaitTime(i);
      if (remaining <= 0) sleeper.load()(0);
      while (remaining > 0 && !stopped_) {
        const int64_t before = platform::ClockMilliseconds();
        sleeper.load()(static_cast<int>(std::min<int64_t>(remaining, 100)));
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
        remaining -= std::max<int64_t>(platform::ClockMilliseconds() - before, 1);
      }
    }
  }
  if (!stopped_) Finish();
  running_ = false;
}

void TGIFPainter::Stop() {
  stopped_ = true;
  running_ = false;
  due_ = -1;
  if (timer_) timer_->stop();
  picture_ = nullptr;
}

// ---- the picture ----

TGifPicture::TGifPicture() = default;

TGifPicture::~TGifPicture() { StopPainters(); }

QRgb TGifPicture::BackgroundColor() const {
  TColor color = DrawBackgroundColor;
  if (color == NoBackgroundColor) {
    if (Header.ColorMap.Count() > 0) {
      const TGIFColor c = Header.BackgroundColorIndex < Header.ColorMap.Count()
                              ? Header.ColorMap.Colors()[Header.BackgroundColorIndex]
                              : Header.ColorMap.Colors()[0];
      return qRgb(c.Red, c.Green, c.Blue);
    }
    color = clWindow;
  }
  return ToQColor(color).rgb() & 0xFFFFFF;
}

void TGifPicture::StopPainters() {
  // Taken out first: a painter's handlers may draw or stop again while this runs.
  std::vector<std::shared_ptr<TGIFPainter>> painters;
  painters.swap(painters_);
  for (auto it = painters.rbegin(); it != painters.rend(); ++it) (*it)->Stop();
}

void TGifPicture::Remove(const TGIFPainter* painter) {
  std::erase_if(painters_, [painter](const std::shared_ptr<TGIFPainter>& p) { return p.get() == painter; });
}

void TGifPicture::Changed() {
  renderings_.clear();
  bitmap_.reset();
  if (OnChange) OnChange();
}

void TGifPicture::Clear() {
  StopPainters();
  renderings_.clear();
  bitmap_.reset();
  palette_.reset();
  TGifPictureBase::Clear();
}

void TGifPicture::SetWidth(int width) {
  for (int i = 0; i < Images.Count(); ++i)
    if (Images[i].Left() + Images[i].Width() > width) throw GIFException(sScreenWidthSmall);
  if (width == Header.Width) return;
  Header.Width = width;
  Changed();
}

void TGifPicture::SetHeight(int height) {
  for (int i = 0; i < Images.Count(); ++i)
    if (Images[i].Top() + Images[i].Height() > height) throw GIFException(sScreenHeightSmall);
  if (height == Header.Height) return;
  Header.Height = height;
  Changed();
}

void TGifPicture::LoadFromStream(TStream& stream) {
  Progress(psStarting, 0, sLoading);
  try {
    TGifPictureBase::LoadFromStream(stream);
  } catch (...) {
    Progress(psEnding, 0, sLoading);
    renderings_.clear();
    throw;
  }
  GrowScreen(*this);
  Progress(psEnding, 100, sLoading);
  Changed();
}

void TGifPicture::SaveToStream(TStream& stream) {
  Progress(psStarting, 0, sSaving);
  try {
    TGifPictureBase::SaveToStream(stream);
  } catch (...) {
    Progress(psEnding, 0, sSaving);
    throw;
  }
  Progress(psEnding, 100, sSaving);
}

bool TGifPicture::Dithering() const {
  return (DrawOptions & goDither) && (!(DrawOptions & goAutoDither) || PalettedDisplay);
}

TPalette TGifPicture::Palette() const {
  if (Dithering()) return htmlview::WebPalette();
  if (palette_) return *palette_;
  if (Header.ColorMap.Count() > 0) return ColorMapPalette(Header.ColorMap);
  if (!Images.Count()) return {};
  return ColorMapPalette(Images[0].ColorMap);
}

void TGifPicture::SetPalette(const TPalette& palette) {
  const bool same = palette_ && palette_->size() == palette.size() &&
                    std::equal(palette.begin(), palette.end(), palette_->begin(), [](const auto& a, const auto& b) {
                      return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
                    });
  palette_ = palette;
  if (!same) Changed();
}

TPalette TGifPicture::FramePalette(const TGIFSubImage& frame) const {
  if (Dithering()) return htmlview::WebPalette();
  if (frame.ColorMap.Count() > 0) return ColorMapPalette(frame.ColorMap);
  return Palette();
}

TGIFRendering* TGifPicture::Rendering(const TGIFSubImage& frame) {
  if (frame.Empty()) return nullptr;
  const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
  const int transparent = frame.HasTransparency && gce ? gce->TransparentColorIndex() : -1;
  const bool dither = Dithering();
  TPalette palette = FramePalette(frame);
  const auto same = [](const TPalette& a, const TPalette& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
             return x.peRed == y.peRed && x.peGreen == y.peGreen && x.peBlue == y.peBlue;
           });
  };
  auto it = renderings_.find(&frame);
  if (it != renderings_.end()) {
    const TCached& c = it->second;
    if (c.Changes == frame.Changes() && c.Transparent == transparent && c.Dither == dither && same(c.Palette, palette))
      return c.Rendering.get();
    renderings_.erase(it);
  }
  std::unique_ptr<TGIFRendering> rendering = RenderFrame(frame, palette, dither);
  TGIFRendering* result = rendering.get();
  renderings_.emplace(&frame, TCached{frame.Changes(), transparent, dither, std::move(palette), std::move(rendering)});
  return result;
}

void TGifPicture::DrawFrame(TCanvas& canvas, const TGIFSubImage& frame, const TRect& rect, bool transparent,
                            bool tile) {
  if (Width() <= 0 || Height() <= 0 || rect.Width() <= 0 || rect.Height() <= 0) return;
  TGIFRendering* rendering = Rendering(frame);
  if (!rendering) return;
  StretchDraw(canvas, *rendering, frame, tile ? rect : ScaleRect(frame, rect), transparent, tile);
}

const TBitmap* TGifPicture::Bitmap() {
  if (bitmap_) return bitmap_.get();
  if (Empty() || Width() <= 0 || Height() <= 0) return nullptr;
  const TGIFSubImage& first = Images[0];
  auto bitmap = std::make_unique<TBitmap>();
  if (first.Left() == 0 && first.Top() == 0 && first.Width() == Width() && first.Height() == Height()) {
    TGIFRendering* rendering = Rendering(first);
    if (rendering) bitmap->Image() = rendering->Bitmap->Image();
  } else {
    CheckFrameSize(Width(), Height());
    bitmap->SetSize(Width(), Height());
    bitmap->Image().fill(QColor(BackgroundColor()));
    DrawFrame(bitmap->Canvas(), first, {0, 0, Width(), Height()}, false, false);
  }
  bitmap_ = std::move(bitmap);
  return bitmap_.get();
}

void TGifPicture::AssignTo(TBitmap& dest) {
  const TBitmap* bitmap = Bitmap();
  dest.Image() = bitmap ? bitmap->Image() : QImage();
}

void TGifPicture::AssignTo(const TGIFSubImage& frame, TBitmap& dest) {
  TGIFRendering* rendering = Rendering(frame);
  dest.Image() = rendering ? rendering->Bitmap->Image() : QImage();
}

std::shared_ptr<TGIFPainter> TGifPicture::NewPainter(QObject* destination, const TRect& rect, uint16_t options,
                                                     const TRect& area) {
  auto painter = std::make_shared<TGIFPainter>(*this, destination, rect, options, area);
  painters_.push_back(painter);
  return painter;
}

void TGifPicture::Draw(TCanvas& canvas, const TRect& rect, QObject* destination) {
  if (drawing_ || Empty() || Width() <= 0 || Height() <= 0 || rect.Width() <= 0 || rect.Height() <= 0) return;
  drawing_ = true;
  struct TDone {
    bool& drawing;
    ~TDone() { drawing = false; }
  } done{drawing_};
  // Only the part of rect on the device is drawn, and animated.
  const TRect area = Intersection(rect, canvas.DeviceRect());
  if (area.Width() <= 0) return;

  if (Images.Count() > 1 && (DrawOptions & goAnimate) && blocked_ == 0) {
    // Ended animations stay to show their last frame, until their destination goes.
    std::erase_if(painters_, [](const std::shared_ptr<TGIFPainter>& p) {
      return p->Stopped() || (p->HadDestination() && !p->Destination());
    });
    if (!(DrawOptions & goAsync)) {
      for (const auto& p : painters_)
        if (p->Destination() == destination) p->Stop();
      std::erase_if(painters_, [](const std::shared_ptr<TGIFPainter>& p) { return p->Stopped(); });
      auto painter = NewPainter(destination, rect, DrawOptions, area);
      painter->Play(canvas);
      Remove(painter.get());
      return;
    }
    std::shared_ptr<TGIFPainter> painter;
    for (const auto& p : painters_) {
      if (p->Destination() != destination || p->HadDestination() != (destination != nullptr)) continue;
      // A destination that shows more of the rectangle than the animation makes needs a new one.
      if (p->Rect() == rect && Intersection(p->Area(), area) == area) painter = p;
    }
    if (!painter) {
      // One animation per destination: a new rectangle ends the old one.
      for (const auto& p : painters_)
        if (p->Destination() == destination) p->Stop();
      std::erase_if(painters_, [](const std::shared_ptr<TGIFPainter>& p) { return p->Stopped(); });
      painter = NewPainter(destination, rect, DrawOptions, area);
      painter->Start();
    }
    if (!painter->Stopped()) {
      canvas.DrawImage(painter->Area().Left, painter->Area().Top, painter->Image());
      return;
    }
  }
  const int index = CurrentFrame >= 0 && CurrentFrame < Images.Count() ? CurrentFrame : 0;
  DrawFrame(canvas, Images[index], rect, DrawOptions & goTransparent, DrawOptions & goTile);
}

void TGifPicture::SaveToMimeData(QMimeData& data) {
  if (Empty()) return;
  TMemoryStream stream;
  SaveToStream(stream);
  data.setData(MimeType(), QByteArray(reinterpret_cast<const char*>(stream.Memory()),
                                      static_cast<qsizetype>(stream.GetSize())));
}

void TGifPicture::LoadFromMimeData(const QMimeData& data) {
  if (data.hasFormat(MimeType())) {
    const QByteArray bytes = data.data(MimeType());
    TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    LoadFromStream(stream);
    return;
  }
  if (data.hasImage()) {
    Assign(qvariant_cast<QImage>(data.imageData()));
    return;
  }
  throw EInvalidGraphicFormat(sUnknownClipboardFormat);
}

void TGifPicture::SaveToClipboard() {
  if (Empty()) return;
  auto data = std::make_unique<QMimeData>();
  SaveToMimeData(*data);
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) throw GIFException(sFailedClipboard);
  clipboard->setMimeData(data.release());
  const QMimeData* held = clipboard->mimeData();
  if (!held || !held->hasFormat(MimeType())) throw GIFException(sFailedClipboard);
}

void TGifPicture::LoadFromClipboard() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
  if (!data) throw EInvalidGraphicFormat(sUnknownClipboardFormat);
  LoadFromMimeData(*data);
}

void TGifPicture::Assign(const TGifPicture& source) {
  if (&source == this) return;
  Clear();
  // Frames on the global table need it, and their positions the screen.
  Header.Width = source.Header.Width;
  Header.Height = source.Header.Height;
  Header.PackedFields = source.Header.PackedFields;
  Header.BackgroundColorIndex = source.Header.BackgroundColorIndex;
  Header.AspectRatio = source.Header.AspectRatio;
  Header.ColorMap.Assign(source.Header.ColorMap);
  const int count = source.Images.Count();
  for (int i = 0; i < count; ++i) {
    auto frame = std::make_unique<TGIFSubImage>(this);
    AssignFrame(*frame, source.Images[i]);
    Images.Add(std::move(frame));
    Progress(psRunning, (i + 1) * 100 / count, sCopying);
  }
  GrowScreen(*this);
  Changed();
}

void TGifPicture::Assign(const TGraphic& source) {
  if (const auto* gif = dynamic_cast<const TGifPicture*>(&source)) return Assign(*gif);
  Clear();
  Add(source);
}

void TGifPicture::Assign(const TBitmap& source) {
  Clear();
  Add(source);
}

void TGifPicture::Assign(const QImage& source) {
  Clear();
  Add(source);
}

int TGifPicture::Add(std::unique_ptr<TGIFSubImage> frame) {
  if (!frame) throw GIFException(sUnsupportedClass);
  if (frame->Image() != this) {
    // Its colours may be another picture's global table: a copy of ours takes them along.
    auto copy = std::make_unique<TGIFSubImage>(this);
    AssignFrame(*copy, *frame);
    if (copy->ColorMap.Count() == 0 && frame->Image() && !copy->Empty())
      copy->ColorMap.Assign(frame->ActiveColorMap());
    frame = std::move(copy);
  }
  const int index = Images.Add(std::move(frame));
  Changed();
  return index;
}

int TGifPicture::Add(const TBitmap& source) {
  auto frame = std::make_unique<TGIFSubImage>(this);
  AssignBitmap(*frame, source, ConvertSettings);
  return Add(std::move(frame));
}

int TGifPicture::Add(const QImage& source) {
  auto frame = std::make_unique<TGIFSubImage>(this);
  AssignImage(*frame, source, ConvertSettings);
  return Add(std::move(frame));
}

int TGifPicture::Add(const TGraphic& source) {
  auto frame = std::make_unique<TGIFSubImage>(this);
  AssignGraphic(*frame, source, ConvertSettings);
  return Add(std::move(frame));
}

void AssignGraphic(TGIFSubImage& frame, const TGraphic& source, const TGifConvertSettings& settings) {
  if (auto* gif = dynamic_cast<TGifPicture*>(const_cast<TGraphic*>(&source))) {
    TBitmap bitmap;
    gif->AssignTo(bitmap);
    return AssignBitmap(frame, bitmap, settings);
  }
  frame.Clear();
  if (source.Empty() || source.Width() <= 0 || source.Height() <= 0) return;
  // Drawn onto clear pixels, so that what it leaves uncovered becomes transparent.
  QImage image = NewImage(source.Width(), source.Height());
  image.fill(0);
  {
    TCanvas canvas(&image);
    const_cast<TGraphic&>(source).Draw(canvas, {0, 0, source.Width(), source.Height()});
  }
  AssignImage(frame, image, settings);
}

void AssignPicture(TGIFSubImage& frame, const TPicture& source, const TGifConvertSettings& settings) {
  if (source.Graphic())
    AssignGraphic(frame, *source.Graphic(), settings);
  else
    frame.Clear();
}

void TGifPicture::Optimize(unsigned options, uint8_t colorReduction, uint8_t ditherMode, int reductionBits) {
  if (Empty()) return;
  StopPainters();
  ++blocked_;
  {
    struct TUnblock {
      TGifPicture& picture;
      ~TUnblock() {
        --picture.blocked_;
        // Even a failed optimisation may have changed frames.
        picture.renderings_.clear();
        picture.bitmap_.reset();
      }
    } unblock{*this};
    TGifConvertSettings settings;
    settings.ColorReduction = colorReduction;
    settings.ReductionBits = reductionBits;
    settings.DitherMode = ditherMode;
    OptimizeFrames(*this, options, settings);
  }
  if (OnChange) OnChange();
}

// ---- registration ----

void RegisterGifPicture() {
  const auto factory = [] { return std::unique_ptr<TGraphic>(new TGifPicture); };
  TPicture::RegisterFileFormat(u"GIF", u"GIF Image", "TGifPicture", factory);
  TPicture::RegisterClipboardFormat(sGifMimeType, "TGifPicture", factory);
}

void UnregisterGifPicture() { TPicture::UnregisterGraphicClass("TGifPicture"); }

namespace {
struct TRegistration {
  TRegistration() { RegisterGifPicture(); }
  ~TRegistration() { UnregisterGifPicture(); }
} registration;
}  // namespace

}  // namespace gif
