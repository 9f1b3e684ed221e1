#pragma once
// The GIF picture: the coding core as a picture format that loads, saves, draws and animates, and
// goes to and from the clipboard. Animations run on the GUI thread: an animator composes the
// frames by their disposal into an image of its own, is woken by a single-shot timer and timed by
// the replaceable clock, and asks its destination to repaint; the destination's paint then draws
// that image. A synchronous animation plays inside Draw instead.
#include <QImage>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "gif/GifItems.h"
#include "gif/gui/GifConvert.h"
#include "gif/gui/GifReduce.h"
#include "gif/gui/GifRender.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/Pictures.h"

class QMimeData;
class QTimer;

namespace gif {

// Draw options, one bit each.
inline constexpr uint16_t goAsync = 1u << 0;             // animations run on the event loop, not inside Draw
inline constexpr uint16_t goTransparent = 1u << 1;       // transparent pixels keep what is below
inline constexpr uint16_t goAnimate = 1u << 2;           // pictures of several frames animate
inline constexpr uint16_t goLoop = 1u << 3;              // the file's loop count is played
inline constexpr uint16_t goLoopContinuously = 1u << 4;  // asynchronous animations loop for ever
inline constexpr uint16_t goDirectDraw = 1u << 6;  // no effect here: every animation composes in its own image
inline constexpr uint16_t goClearOnLoop = 1u << 7;  // each pass starts by restoring the first frame's area
inline constexpr uint16_t goTile = 1u << 8;         // frames repeat at the logical screen's steps
inline constexpr uint16_t goDither = 1u << 9;       // frames are dithered to the web palette ...
inline constexpr uint16_t goAutoDither = 1u << 10;  // ... only on a paletted display
inline constexpr uint16_t DefaultDrawOptions = 0x068F;

// Frame delays, in hundredths of a second, and the milliseconds of one hundredth.
inline constexpr int DefaultDelay = 10, MinimumDelay = 3, MaximumDelay = 1000, DelayMultiplier = 12;
// "No colour": the background colour is the file's.
inline constexpr TColor NoBackgroundColor = 0x1FFFFFFF;

inline constexpr char sGifExtension[] = "GIF";
inline constexpr char sGifDescription[] = "GIF Image";
inline constexpr char sGifMimeType[] = "image/gif";
inline constexpr char sFailedClipboard[] = "Failed to store GIF on clipboard";
inline constexpr char sUnsupportedClass[] = "Object type not supported for operation";
inline constexpr char sLoading[] = "Loading...";
inline constexpr char sSaving[] = "Saving...";
inline constexpr char sCopying[] = "Copying...";

// Whether the screen works with a palette: no screen does here; tests set it.
extern bool PalettedDisplay;

// Sleeps for ms milliseconds: what a synchronous animation waits with, between pumping events.
using TGIFSleeper = void (*)(int ms);
// Makes sleeper the sleeper (nullptr: a real sleep again); returns the one it replaces.
TGIFSleeper SetGIFSleeper(TGIFSleeper sleeper);

class TGifPicture;
class TGIFPainter;
using TGIFPainterEvent = std::function<void(TGIFPainter& painter)>;

// One animation of a picture into one destination rectangle.
class TGIFPainter : public std::enable_shared_from_this<TGIFPainter> {
public:
  // destination: the object whose repaint shows the animation (a widget is asked to update the
  // rectangle); its destruction ends the animation. It may be null. The animation is composed for
  // area, the part of rect that its destination can show (all of rect when none is given).
  TGIFPainter(TGifPicture& picture, QObject* destination, const TRect& rect, uint16_t options);
  TGIFPainter(TGifPicture& picture, QObject* destination, const TRect& rect, uint16_t options, const TRect& area);
  ~TGIFPainter();
  TGIFPainter(const TGIFPainter&) = delete;
  TGIFPainter& operator=(const TGIFPainter&) = delete;

  // Asynchronous: shows the first frame and waits for the next on the timer.
  void Start();
  // Synchronous: plays every pass, drawing each frame onto canvas and waiting its delay in slices
  // of at most 100 ms while events are pumped.
  void Play(TCanvas& canvas);
  // Ends the animation for good.
  void Stop();
  // From the first frame of the first pass again.
  void Restart();
  // Shows the next frame when its time has come (by the clock); otherwise waits for the rest.
  void Wake();

  // The area of the destination rectangle as the animation shows it now.
  const QImage& Image() const { return image_; }
  const TRect& Area() const { return area_; }
  int Frame() const { return frame_; }
  int Pass() const { return pass_; }
  // Neither ended nor stopped.
  bool Running() const { return running_; }
  bool Stopped() const { return stopped_; }
  bool Asynchronous() const { return options_ & goAsync; }
  // When the next frame is due (clock milliseconds); -1 when no frame is awaited.
  int64_t Due() const { return due_; }
  const TRect& Rect() const { return rect_; }
  QObject* Destination() const { return destination_; }
  bool HadDestination() const { return hadDestination_; }
  TGifPicture* Picture() const { return picture_; }

  TGIFPainterEvent OnStartPaint, OnPaint, OnAfterPaint, OnLoop, OnEndPaint;

private:
  // Delay units of frame i.
  int Delay(int i) const;
  // Milliseconds to wait after frame i.
  int WaitTime(int i) const;
  void BeginPass();
  void ShowFrame(int i);
  void RestoreBackground(int i);
  void Schedule();
  void Arm(int64_t ms);
  void Finish();
  void Fire(const TGIFPainterEvent& event);
  bool DestinationLost() const { return hadDestination_ && !destination_; }

  TGifPicture* picture_;
  QPointer<QObject> destination_;
  bool hadDestination_;
  TRect rect_, area_;
  TRect frameRect_;  // rect_ in the coordinates of image_
  uint16_t options_;
  int speed_;
  QRgb background_;
  int passes_ = 1;  // -1: for ever
  int frame_ = -1, pass_ = 0;
  int disposal_ = 0;  // of the frame shown
  QImage image_, saved_;
  int64_t due_ = -1;
  int64_t correction_ = 0;
  bool running_ = false, stopped_ = false;
  std::unique_ptr<QTimer> timer_;
};

class TGifPicture : public TGifPictureBase, public TGraphic {
public:
  TGifPicture();
  // Every animation stops first.
  ~TGifPicture() override;

  bool Empty() const override { return TGifPictureBase::Empty(); }
  int Width() const override { return TGifPictureBase::Width(); }
  int Height() const override { return TGifPictureBase::Height(); }
  // A frame reaching beyond the new size raises "Image width too small for contained frames"
  // ("... height ...").
  void SetWidth(int width);
  void SetHeight(int height);

  void Clear() override;
  // Loading stops the animations; the logical screen then grows to hold every frame.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;
  using TGifPictureBase::LoadFromFile;
  using TGifPictureBase::SaveToFile;

  // Animates pictures of several frames with goAnimate (into destination's repaints with goAsync,
  // inside this call without); otherwise draws the current frame. Not re-entered; an empty picture
  // or screen draws nothing.
  void Draw(TCanvas& canvas, const TRect& rect) override { Draw(canvas, rect, nullptr); }
  void Draw(TCanvas& canvas, const TRect& rect, QObject* destination);
  // One frame scaled into rect (tiled with tile), through its mask with transparent.
  void DrawFrame(TCanvas& canvas, const TGIFSubImage& frame, const TRect& rect, bool transparent, bool tile);

  // The whole file under "image/gif"; nothing for an empty picture.
  void SaveToMimeData(QMimeData& data) override;
  // "image/gif" data loads as a file; an image becomes the only frame; other data raises
  // "Unsupported clipboard format".
  void LoadFromMimeData(const QMimeData& data) override;
  // Puts the picture on the clipboard; a clipboard that does not take it raises
  // "Failed to store GIF on clipboard".
  void SaveToClipboard();
  // The clipboard's data, as LoadFromMimeData.
  void LoadFromClipboard();

  // Itself: nothing. Another GIF picture: its screen, global colour table and a copy of every
  // frame with its extensions. Other pictures become the only frame.
  void Assign(const TGifPicture& source);
  void Assign(const TGraphic& source);
  void Assign(const TBitmap& source);
  void Assign(const QImage& source);
  // The picture as it first shows: frame 0 on the logical screen.
  void AssignTo(TBitmap& dest);
  // One frame's rendered bitmap (nothing for an empty frame).
  void AssignTo(const TGIFSubImage& frame, TBitmap& dest);

  // A frame of this picture is added itself, one of another picture as a copy.
  int Add(std::unique_ptr<TGIFSubImage> frame);
  // A new frame converted by ConvertSettings.
  int Add(const TBitmap& source);
  int Add(const QImage& source);
  int Add(const TGraphic& source);

  // The web palette when dithering, else the one set, else the global table's, else frame 0's.
  TPalette Palette() const;
  void SetPalette(const TPalette& palette);
  // The web palette when dithering, else the frame's local table, else the picture's palette.
  TPalette FramePalette(const TGIFSubImage& frame) const;
  bool Dithering() const;
  // The frame's rendering, made on first need and kept while the frame and its palette stay;
  // null for an empty frame.
  TGIFRendering* Rendering(const TGIFSubImage& frame);
  // The picture as it first shows (frame 0 on the logical screen); null when empty.
  const TBitmap* Bitmap();

  // Stops every animation; none starts until the optimisation ends. See OptimizeFrames.
  void Optimize(unsigned options, uint8_t colorReduction, uint8_t ditherMode, int reductionBits);
  void StopPainters();
  const std::vector<std::shared_ptr<TGIFPainter>>& Painters() const { return painters_; }
  // Frames were changed in place: renderings go, and OnChange is told.
  void Changed();

  uint16_t DrawOptions = DefaultDrawOptions;
  TGifConvertSettings ConvertSettings;
  uint8_t ThreadPriority = 3;
  int AnimationSpeed = 100;  // percent
  TColor DrawBackgroundColor = NoBackgroundColor;
  int CurrentFrame = -1;
  TGIFPainterEvent OnStartPaint, OnPaint, OnAfterPaint, OnLoop, OnEndPaint;
  std::function<void()> OnChange;

private:
  friend class TGIFPainter;
  // The file's background colour, or the window colour without a global table.
  QRgb BackgroundColor() const;
  std::shared_ptr<TGIFPainter> NewPainter(QObject* destination, const TRect& rect, uint16_t options,
                                          const TRect& area);
  void Remove(const TGIFPainter* painter);

  struct TCached {
    uint64_t Changes;  // of the frame's pixels
    int Transparent;
    bool Dither;
    TPalette Palette;
    std::unique_ptr<TGIFRendering> Rendering;
  };
  std::unordered_map<const TGIFSubImage*, TCached> renderings_;
  std::unique_ptr<TBitmap> bitmap_;
  std::optional<TPalette> palette_;
  std::vector<std::shared_ptr<TGIFPainter>> painters_;
  int blocked_ = 0;  // optimisations under way
  bool drawing_ = false;
};

// The frame becomes a graphic as TGifPicture::Add makes a frame of it (a GIF picture as it first
// shows, any other drawn onto clear pixels, which become transparent), converted by settings.
void AssignGraphic(TGIFSubImage& frame, const TGraphic& source, const TGifConvertSettings& settings);
// The frame becomes the picture's graphic; a picture without one clears it.
void AssignPicture(TGIFSubImage& frame, const TPicture& source, const TGifConvertSettings& settings);

// The format's registrations: the file extension "GIF" ("GIF Image") and the clipboard format
// "image/gif". Made when the codec is linked in; repeating them does no harm.
void RegisterGifPicture();
void UnregisterGifPicture();

}  // namespace gif
