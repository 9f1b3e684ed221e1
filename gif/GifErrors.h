#pragma once
// The codec's errors and the texts of its errors and warnings.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/core/Exception.h"

namespace gif {

// The class library's error for pictures that cannot be read or written.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

class GIFException : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
};

enum TGIFSeverity { gsInfo = 0, gsWarning = 1, gsError = 2 };
using TGIFWarningHandler = std::function<void(TGIFSeverity severity, const std::string& message)>;

inline constexpr char sOutOfData[] = "Premature end of data";
inline constexpr char sTooManyColors[] = "Color table overflow";
inline constexpr char sBadColorIndex[] = "Invalid color index";
inline constexpr char sBadVersion[] = "Unsupported GIF version";
inline constexpr char sBadSignature[] = "Invalid GIF signature";
inline constexpr char sUnknownExtension[] = "Unknown extension type";
inline constexpr char sBadExtensionLabel[] = "Invalid extension introducer";
inline constexpr char sOutOfMemDIB[] = "Decoder bit buffer under-run";
inline constexpr char sDecodeCircular[] = "Circular decoder table entry";
inline constexpr char sBadTrailer[] = "Invalid Image trailer";
inline constexpr char sBadExtensionInstance[] = "Internal error: Extension Instance does not match Extension Label";
inline constexpr char sBadAppExtSize[] = "Unsupported Application Extension block size";
inline constexpr char sBadBlock[] = "Unknown GIF block type";
inline constexpr char sInvalidData[] = "Invalid GIF data";
inline constexpr char sScreenSizeExceeded[] = "Image exceeds Logical Screen size";
inline constexpr char sColorNotInTable[] = "Color not in color table";
inline constexpr char sEmptyColorMap[] = "Color table is empty";
inline constexpr char sInvalidPixel[] = "Invalid pixel coordinates";
inline constexpr char sEmptyImage[] = "Image is empty";
inline constexpr char sScreenWidthSmall[] = "Image width too small for contained frames";
inline constexpr char sScreenHeightSmall[] = "Image height too small for contained frames";
inline constexpr char sInvalidStream[] = "Invalid stream operation";
// A GIF stores every size and position in 16 bits.
inline constexpr char sSizeTooLarge[] = "Image size or position does not fit a GIF (65535 pixels at most)";

// The largest frame the codec allocates: 64 M pixels, one byte each.
inline constexpr int64_t MaxFramePixels = int64_t{1} << 26;
// Raises, naming the size, when a frame of width x height pixels is beyond MaxFramePixels.
void CheckFrameSize(int64_t width, int64_t height);
// The most a picture's frames hold together when it loads: 256 M pixels. A file of a few hundred
// bytes can name dozens of frames of the largest size; they are counted before they are allocated.
inline constexpr int64_t MaxPicturePixels = int64_t{1} << 28;

}  // namespace gif
