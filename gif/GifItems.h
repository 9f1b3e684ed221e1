#pragma once
// A GIF 87a/89a file as a tree of items that load and save themselves: the header with the logical
// screen and the global colour table, the frames (sub-images) each with its extensions, optional
// local colour table and raster, and the trailer; and the picture's coding core that owns them.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gif/GifErrors.h"
#include "gif/GifLZW.h"
#include "platform/core/Streams.h"

namespace gif {

class TGifPictureBase;
class TGIFSubImage;

enum TGIFVersion { gvUnknown = 0, gv87a = 1, gv89a = 2 };
enum TProgressStage { psStarting, psRunning, psEnding };

struct TGIFColor {
  uint8_t Red = 0, Green = 0, Blue = 0;
  bool operator==(const TGIFColor&) const = default;
};

// Reads exactly count bytes; fewer raise "Premature end of data".
void ReadCheck(TStream& stream, void* buffer, int64_t count);

class TGIFColorMap {
 public:
  static constexpr int MaxColors = 256;
  explicit TGIFColorMap(TGifPictureBase* image) : image_(image) {}
  virtual ~TGIFColorMap() = default;
  TGIFColorMap(const TGIFColorMap&) = delete;
  TGIFColorMap& operator=(const TGIFColorMap&) = delete;

  int Count() const { return count_; }
  // An entry outside the table gives a warning and entry 0.
  TGIFColor Color(int index) const;
  const TGIFColor* Colors() const { return colors_.data(); }
  int Add(TGIFColor color);
  int AddUnique(TGIFColor color);
  void Delete(int index);
  void Clear();
  void Assign(const TGIFColorMap& source);
  // Sorted by use: the packed flags' sorted bit.
  bool Optimized = false;
  // Bits for an index of this table (1 to 8); the table is written with 2^bits entries.
  int BitsPerPixel() const;
  void LoadFromStream(TStream& stream, int count);
  void SaveToStream(TStream& stream) const;
  // Whether a pixel of a frame that uses the table lies beyond it. Decoders read such a pixel each
  // in their own way, some by the table's first entry, some by its size: the table then keeps its
  // entries where they are, and its size.
  bool PixelsBeyond() const;
  // Orders the entries by descending use, remaps the frames that use the table and drops the
  // unused entries; false for a table of fewer than 2 entries, or one that its frames' pixels reach
  // beyond, which stays as it stands.
  bool Optimize();

 protected:
  // The frames whose active table this is.
  virtual std::vector<TGIFSubImage*> Users() const = 0;
  // Further uses of entries outside the rasters, and their remapping.
  virtual void CountUses(std::vector<int64_t>&) const {}
  virtual void Remap(const std::vector<int>&) {}
  // Whether the entries may move at all; the positions whose entries must stay where they are.
  virtual bool Reorderable() const { return true; }
  virtual void Pin(std::vector<bool>&) const {}
  void Warning(const std::string& message) const;
  TGifPictureBase* image_;

 private:
  std::array<TGIFColor, MaxColors> colors_{};
  int count_ = 0;
};

class TGIFGlobalColorMap : public TGIFColorMap {
 public:
  using TGIFColorMap::TGIFColorMap;
  // Whether decoders show an entry found by the table's size: some read a background index beyond
  // the table as its last entry, and show it where the first frame leaves the screen uncovered and
  // is not transparent; and a first frame whose transparent index lies beyond the table is taken
  // as opaque there. Such a table keeps its order and size.
  bool SizeShown() const;

 protected:
  std::vector<TGIFSubImage*> Users() const override;
  // The background index counts as a use of its entry, so that the background colour stays.
  void CountUses(std::vector<int64_t>& uses) const override;
  void Remap(const std::vector<int>& positions) override;
  bool Reorderable() const override;
  void Pin(std::vector<bool>& pinned) const override;
};

class TGIFLocalColorMap : public TGIFColorMap {
 public:
  TGIFLocalColorMap(TGifPictureBase* image, TGIFSubImage* frame) : TGIFColorMap(image), frame_(frame) {}

 protected:
  std::vector<TGIFSubImage*> Users() const override { return {frame_}; }
  bool Reorderable() const override;
  void Pin(std::vector<bool>& pinned) const override;

 private:
  TGIFSubImage* frame_;
};

class TGIFItem {
 public:
  explicit TGIFItem(TGifPictureBase* image) : image_(image) {}
  virtual ~TGIFItem() = default;
  TGIFItem(const TGIFItem&) = delete;
  TGIFItem& operator=(const TGIFItem&) = delete;
  TGifPictureBase* Image() const { return image_; }
  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void SaveToStream(TStream& stream) = 0;
  virtual TGIFVersion Version() const { return gv87a; }
  void Warning(TGIFSeverity severity, const std::string& message) const;
  // The file is opened for reading with writes denied to others, or created.
  void LoadFromFile(const std::u16string& fileName);
  void SaveToFile(const std::u16string& fileName);

 protected:
  TGifPictureBase* image_;
};

template <class T>
class TGIFList {
 public:
  explicit TGIFList(TGifPictureBase* image) : image_(image) {}
  int Count() const { return static_cast<int>(items_.size()); }
  T& operator[](int i) const { return *items_[static_cast<size_t>(i)]; }
  int Add(std::unique_ptr<T> item) {
    items_.push_back(std::move(item));
    return Count() - 1;
  }
  void Insert(int i, std::unique_ptr<T> item) { items_.insert(items_.begin() + i, std::move(item)); }
  // Takes out every item the predicate marks, in one pass.
  template <class Pred>
  void DeleteIf(Pred pred) {
    std::erase_if(items_, [&](const std::unique_ptr<T>& item) { return pred(*item); });
  }
  void Clear() { items_.clear(); }
  void Warning(TGIFSeverity severity, const std::string& message) const;
  TGifPictureBase* Image() const { return image_; }

 protected:
  TGifPictureBase* image_;
  std::vector<std::unique_ptr<T>> items_;
};

class TGIFHeader : public TGIFItem {
 public:
  explicit TGIFHeader(TGifPictureBase* image) : TGIFItem(image), ColorMap(image) {}
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;
  void Clear();
  // The global-table entry at BackgroundColorIndex.
  TGIFColor BackgroundColor() const { return ColorMap.Color(BackgroundColorIndex); }

  int Width = 0, Height = 0;
  uint8_t PackedFields = 0x70;  // colour resolution 8 bits; the table bits follow ColorMap on saving
  uint8_t BackgroundColorIndex = 0;
  uint8_t AspectRatio = 0;
  TGIFGlobalColorMap ColorMap;
};

class TGIFExtension : public TGIFItem {
 public:
  explicit TGIFExtension(TGIFSubImage* frame);
  TGIFSubImage* SubImage() const { return frame_; }
  virtual uint8_t Label() const = 0;
  TGIFVersion Version() const override { return gv89a; }
  // Introducer and label, then the extension's own block.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;

 protected:
  virtual void LoadBlock(TStream& stream) = 0;
  virtual void SaveBlock(TStream& stream) = 0;
  TGIFSubImage* frame_;
};

class TGIFGraphicControlExtension : public TGIFExtension {
 public:
  static constexpr uint8_t ExtensionLabel = 0xF9;
  using TGIFExtension::TGIFExtension;
  uint8_t Label() const override { return ExtensionLabel; }
  int Disposal() const { return (Packed >> 2) & 7; }
  void SetDisposal(int disposal) { Packed = static_cast<uint8_t>((Packed & ~0x1C) | (disposal & 7) << 2); }
  bool UserInput() const { return Packed & 2; }
  bool Transparent() const { return Packed & 1; }
  // Marks the frame as having transparency, or not.
  void SetTransparent(bool transparent);
  uint8_t TransparentColorIndex() const { return transparentIndex_; }
  // An index beyond the frame's colour table gives a warning and stores 0.
  void SetTransparentColorIndex(int index);
  // The index as a file holds it, unchecked: one beyond the colour table makes no pixel of the
  // table's colours transparent, and must stay beyond it when the table changes.
  void StoreTransparentColorIndex(uint8_t index) { transparentIndex_ = index; }

  uint8_t Packed = 0;
  uint16_t Delay = 0;  // hundredths of a second

 protected:
  void LoadBlock(TStream& stream) override;
  void SaveBlock(TStream& stream) override;

 private:
  uint8_t transparentIndex_ = 0;
};

// Text in data sub-blocks: each sub-block one line.
using TGIFLines = std::vector<std::string>;

class TGIFTextExtension : public TGIFExtension {
 public:
  static constexpr uint8_t ExtensionLabel = 0x01;
  using TGIFExtension::TGIFExtension;
  uint8_t Label() const override { return ExtensionLabel; }
  uint16_t Left = 0, Top = 0, GridWidth = 0, GridHeight = 0;
  uint8_t CellWidth = 0, CellHeight = 0, ForegroundColorIndex = 0, BackgroundColorIndex = 0;
  TGIFLines Text;

 protected:
  void LoadBlock(TStream& stream) override;
  void SaveBlock(TStream& stream) override;
};

class TGIFCommentExtension : public TGIFExtension {
 public:
  static constexpr uint8_t ExtensionLabel = 0xFE;
  using TGIFExtension::TGIFExtension;
  uint8_t Label() const override { return ExtensionLabel; }
  TGIFLines Text;

 protected:
  void LoadBlock(TStream& stream) override;
  void SaveBlock(TStream& stream) override;
};

using TGIFIdentifier = std::array<uint8_t, 11>;  // 8 identifier and 3 authentication bytes

class TGIFApplicationExtension : public TGIFExtension {
 public:
  static constexpr uint8_t ExtensionLabel = 0xFF;
  using TGIFExtension::TGIFExtension;
  uint8_t Label() const override { return ExtensionLabel; }
  TGIFIdentifier Identifier{};

 protected:
  void LoadBlock(TStream& stream) override;
  void SaveBlock(TStream& stream) override;
  virtual void LoadData(TStream& stream) = 0;
  virtual void SaveData(TStream& stream) = 0;
};

using TGIFBlock = std::vector<uint8_t>;

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
 public:
  using TGIFApplicationExtension::TGIFApplicationExtension;
  std::vector<TGIFBlock> Blocks;

 protected:
  void LoadData(TStream& stream) override;
  void SaveData(TStream& stream) override;
};

// The loop extension ("NETSCAPE2.0", also read from "ANIMEXTS1.0").
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
 public:
  explicit TGIFAppExtNSLoop(TGIFSubImage* frame);
  uint16_t Loops = 0;  // 0: for ever
  uint32_t BufferSize = 0;

 protected:
  void LoadData(TStream& stream) override;
  void SaveData(TStream& stream) override;

 private:
  // The data sub-blocks as a file held them, written again while the values read from them stand:
  // decoders read other sub-block ids, or none, where the codec reads a count.
  bool wasRead_ = false;
  std::vector<uint8_t> read_;
  uint16_t readLoops_ = 0;
  uint32_t readBufferSize_ = 0;
};

class TGIFExtensionList : public TGIFList<TGIFExtension> {
 public:
  TGIFExtensionList(TGifPictureBase* image, TGIFSubImage* frame) : TGIFList(image), frame_(frame) {}
  // The extensions in front of one frame's image, up to its "," or the trailer.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream);

 private:
  TGIFSubImage* frame_;
};

class TGIFSubImage : public TGIFItem {
 public:
  explicit TGIFSubImage(TGifPictureBase* image);
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;
  TGIFVersion Version() const override;
  void Clear();

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // A new size gives a new zero-filled raster; a frame reaching beyond the logical screen grows it.
  void SetBounds(int left, int top, int width, int height);
  bool Empty() const { return raster_.empty() || width_ == 0 || height_ == 0; }
  bool Interlaced() const { return packed_ & 0x40; }
  void SetInterlaced(bool interlaced) { packed_ = static_cast<uint8_t>(interlaced ? packed_ | 0x40 : packed_ & ~0x40); }
  // The local table when it has entries, else the global one when it has, else the local one.
  const TGIFColorMap& ActiveColorMap() const;
  // Pixels outside the frame raise "Invalid pixel coordinates", a frame without raster "Image is empty".
  uint8_t Pixel(int x, int y) const;
  // Writable access to the pixels counts as a change.
  uint8_t* Scanline(int y);
  const std::vector<uint8_t>& Data() const { return raster_; }
  std::vector<uint8_t>& Data() {
    ++changes_;
    return raster_;
  }
  // Grows with every change of the pixels or the size, so that what was made of them can tell
  // that it is out of date.
  uint64_t Changes() const { return changes_; }
  TGIFGraphicControlExtension* GraphicControlExtension() const;
  // Every control block in front of the image, in file order: decoders differ in which one counts
  // (the codec takes the first, others the last).
  std::vector<TGIFGraphicControlExtension*> GraphicControlExtensions() const;
  // At most one control block: every decoder reads the frame's control from the same one.
  bool ControlSettled() const { return GraphicControlExtensions().size() <= 1; }

  TGIFLocalColorMap ColorMap;
  TGIFExtensionList Extensions;
  bool HasTransparency = false;
  // The file held an image for this frame that lies wholly outside the logical screen: no pixels
  // are kept, yet other decoders show the frame (the screen as the frames before left it) for its
  // time, so it is written again as an image.
  bool OutsideScreen = false;
  // Such a frame's far corner in its file (exclusive), where it is written again: a decoder that
  // grows its screen for it grows it as far as before. 0 for an image of no size, which held no
  // pixel to write again.
  int OutsideRight = 0, OutsideBottom = 0;

 private:
  void CheckPixel(int x, int y) const;
  void Allocate(uint8_t fill);
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  // The size a frame of no size had in its file (one side 0), which decoders other than the codec
  // show as nothing; unsized_ false for a frame of a size.
  bool unsized_ = false;
  int unsizedLeft_ = 0, unsizedTop_ = 0, unsizedWidth_ = 0, unsizedHeight_ = 0;
  uint8_t packed_ = 0;
  std::vector<uint8_t> raster_;
  uint64_t changes_ = 0;
};

class TGIFTrailer : public TGIFItem {
 public:
  using TGIFItem::TGIFItem;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;
};

class TGifPictureList : public TGIFList<TGIFSubImage> {
 public:
  using TGIFList::TGIFList;
  // The frames up to the trailer, which is left for the trailer item.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream);

 private:
  void SaveStandIn(TStream& stream, int index, const TGIFGraphicControlExtension* inherited,
                   const TGIFSubImage* kept, bool unseen);
};

// The picture's coding core: the item tree, its loading and saving, warnings and progress.
class TGifPictureBase {
 public:
  TGifPictureBase();
  virtual ~TGifPictureBase() = default;
  TGifPictureBase(const TGifPictureBase&) = delete;
  TGifPictureBase& operator=(const TGifPictureBase&) = delete;

  virtual void Clear();
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream);
  void LoadFromFile(const std::u16string& fileName);
  void SaveToFile(const std::u16string& fileName);

  bool Empty() const { return Images.Count() == 0; }
  int Width() const { return Header.Width; }
  int Height() const { return Header.Height; }
  // The highest version that a frame needs; gvUnknown without frames.
  TGIFVersion Version() const;

  // Loading counts the pixels of each frame before it allocates them; beyond MaxPicturePixels
  // over the whole picture it raises.
  void ReservePixels(int64_t pixels);
  // Loading keeps every frame whole, and the screen grows to hold them all once the file is loaded,
  // as far as a screen of MaxFramePixels (which the composer draws whole) whose sides a file can
  // hold: false for a frame whose right or bottom edge would grow it further, which loading then
  // cuts to the screen the file names.
  bool ReserveScreen(int right, int bottom);
  // True once loading met a part of the file that other decoders read otherwise than the codec
  // holds it, so that no copy written from what the codec holds could show what they show: a frame
  // cut to the screen the file names, or bytes after a frame's last pixel that a decoder stopping
  // there takes for blocks.
  bool ReadOtherwise() const { return readOtherwise_; }
  void SetReadOtherwise() { readOtherwise_ = true; }

  // Passed to OnWarning; dropped when there is none.
  virtual void Warning(TGIFSeverity severity, const std::string& message);
  virtual void Progress(TProgressStage stage, int percent, const std::string& message);

  TGIFHeader Header;
  TGifPictureList Images;
  TGIFCompression Compression = gcLZW;
  TGIFWarningHandler OnWarning;
  std::function<void(TProgressStage stage, int percent, const std::string& message)> OnProgress;

 private:
  int64_t reserved_ = 0;
  int reservedWidth_ = 0, reservedHeight_ = 0;
  bool readOtherwise_ = false;
};

template <class T>
void TGIFList<T>::Warning(TGIFSeverity severity, const std::string& message) const {
  if (image_) image_->Warning(severity, message);
}

}  // namespace gif
