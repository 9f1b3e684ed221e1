#pragma once
// Pictures into GIF frames, and the frame operations that must never change what the animation
// shows: cropping a frame to its opaque pixels, merging a frame into the one before it, and the
// picture's optimisation of its frames (colour maps, unused transparency, disposal, merging,
// cropping, extensions that carry nothing).
#include <QImage>
#include <cstdint>
#include <vector>

#include "gif/GifItems.h"
#include "platform/gui/Graphics.h"

namespace gif {

inline constexpr char sInvalidReduction[] = "Invalid reduction method";
inline constexpr char sConverting[] = "Converting...";
inline constexpr char sOptimizing[] = "Optimizing...";

// How true-colour pictures are reduced when they become frames: the method, bits and dither mode
// of ReduceColors (GifReduce.h). The defaults give the 216-colour cube by nearest colour.
struct TGifConvertSettings {
  uint8_t ColorReduction = 6;
  int ReductionBits = 8;
  uint8_t DitherMode = 0;
};

// The option bits of OptimizeFrames.
enum TGIFOptimizeOption : unsigned {
  ooCrop = 1u << 0,          // crop transparent frames to their opaque pixels, drop emptied ones
  ooMerge = 1u << 1,         // make pixels transparent where the frame below already shows them
  ooCleanup = 1u << 2,       // unused transparency, needless disposal, extensions that carry nothing
  ooColorMap = 1u << 3,      // order colour maps by use and drop unused entries
  ooReduceColors = 1u << 4,  // colour reduction, which this operation cannot do with a given palette
};

// The frame becomes a copy of source: descriptor, raster, local colour map and every extension.
// Assigning a frame to itself does nothing; an empty source leaves the frame cleared.
void AssignFrame(TGIFSubImage& frame, const TGIFSubImage& source);

// The frame becomes source at (0, 0): 1- and 8-bit pictures keep their colour tables and pixel
// values; any other is reduced by settings first. A source that is Transparent, or has an alpha
// channel, marks its transparent pixels with a transparent colour when the colour map has room.
// Raises "Color table overflow" for more than 256 colours (method 0 keeps 24 bits) and "Invalid
// reduction method" when settings name no reduction there is.
void AssignBitmap(TGIFSubImage& frame, const TBitmap& source, const TGifConvertSettings& settings);
// As AssignBitmap; transparent where alpha is below 128.
void AssignImage(TGIFSubImage& frame, const QImage& source, const TGifConvertSettings& settings);

// A frame with transparency shrinks to the rectangle around its opaque pixels; one without any
// becomes empty. Other frames are left alone.
void Crop(TGIFSubImage& frame);

// Pixels of frame that show what previous (the frame drawn before it, kept on the screen) already
// shows there become transparent. Nothing happens when previous is null, either frame is empty, or
// previous is disposed of (disposal 2 or 3).
void Merge(TGIFSubImage& frame, const TGIFSubImage* previous);

// The logical screen grows, without warnings, to hold every frame.
void GrowScreen(TGifPictureBase& picture);

// The picture's optimisation of its frames by the TGIFOptimizeOption bits; what the animation
// shows, frame by frame and for how long, stays the same, and so does the screen the picture names
// (frames reaching beyond it keep their reach). Progress "Optimizing..." through the
// picture, always ended. Stopping the picture's animations is the caller's part.
void OptimizeFrames(TGifPictureBase& picture, unsigned options, const TGifConvertSettings& settings);

// A GIF file optimised: loaded into picture (which keeps the screen the file names), its frames
// optimised by OptimizeFrames and saved. Where that would not be smaller, or cannot be saved, the
// file's own bytes, and picture holds them again.
std::vector<uint8_t> OptimizeFile(TGifPictureBase& picture, const std::vector<uint8_t>& bytes, unsigned options,
                                  const TGifConvertSettings& settings);

}  // namespace gif
