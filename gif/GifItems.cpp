#include "gif/GifItems.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "platform/core/Files.h"
#include "platform/core/MemoryStream.h"
#include "platform/core/MulDiv.h"
#include "platform/core/Utf8.h"

namespace gif {

namespace {

constexpr uint8_t ExtensionIntroducer = '!';
constexpr uint8_t ImageSeparator = ',';
constexpr uint8_t Trailer = ';';
constexpr int MaxCoordinate = 0xFFFF;

bool ReadByte(TStream& stream, uint8_t& b) { return stream.Read(&b, 1) == 1; }
void WriteByte(TStream& stream, uint8_t b) { stream.Write(&b, 1); }
void StepBack(TStream& stream) { stream.Seek(-1, platform::SeekCurrent); }
uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void PutWord(uint8_t* p, int v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// Data sub-blocks up to a zero length or the end of the stream; a block cut short raises.
template <class F>
void ReadSubBlocks(TStream& stream, F&& f) {
  uint8_t length, data[255];
  while (ReadByte(stream, length) && length != 0) {
    ReadCheck(stream, data, length);
    f(data, length);
  }
}

// Sub-blocks of at most 255 bytes, without the terminating zero length.
void WriteSubBlocks(TStream& stream, const uint8_t* p, size_t n) {
  while (n > 0) {
    const uint8_t length = static_cast<uint8_t>(std::min<size_t>(n, 255));
    WriteByte(stream, length);
    stream.Write(p, length);
    p += length;
    n -= length;
  }
}

void ReadLines(TStream& stream, TGIFLines& lines) {
  lines.clear();
  ReadSubBlocks(stream, [&](const uint8_t* p, int n) {
    lines.emplace_back(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), n));
  });
}

void WriteLines(TStream& stream, const TGIFLines& lines) {
  for (const std::string& line : lines)
    WriteSubBlocks(stream, reinterpret_cast<const uint8_t*>(line.data()), line.size());
  WriteByte(stream, 0);
}

int Percent(int64_t position, int64_t size) {
  if (size <= 0) return 100;
  return size > INT_MAX ? static_cast<int>(position * 100 / size)
                        : MulDiv(static_cast<int>(position), 100, static_cast<int>(size));
}

std::string FileError(const char* what, const std::u16string& fileName) {
  const int code = platform::LastErrorCode();
  return std::string(what) + " \"" + platform::Utf16ToUtf8(fileName) + "\". " +
         platform::Utf16ToUtf8(platform::SystemErrorText(code));
}

void LoadFile(const std::u16string& fileName, const std::function<void(TStream&)>& load) {
  TMemoryStream stream;
  if (!stream.LoadFromFile(fileName)) throw Exception(FileError("Cannot open file", fileName));
  load(stream);
}

// The whole file is made in memory first, so that a picture that cannot be saved leaves no
// half-written file.
void SaveFile(const std::u16string& fileName, const std::function<void(TStream&)>& save) {
  TMemoryStream stream;
  save(stream);
  const platform::FileHandle h =
      platform::OpenFile(fileName, platform::AccessWrite, platform::ShareNone, platform::Disposition::CreateAlways);
  if (h == platform::InvalidFileHandle) throw Exception(FileError("Cannot create file", fileName));
  const bool ok = platform::WriteFile(h, stream.Memory(), stream.GetSize()) == stream.GetSize();
  const std::string error = ok ? std::string() : FileError("Cannot write file", fileName);
  platform::CloseFile(h);
  if (!ok) throw Exception(error);
}

bool IsSignature(const char* s) {
  return std::toupper(static_cast<unsigned char>(s[0])) == 'G' &&
         std::toupper(static_cast<unsigned char>(s[1])) == 'I' && std::toupper(static_cast<unsigned char>(s[2])) == 'F';
}

// The extension classes by label, and the application extensions by identifier; both searched
// from their last entry.
template <class T>
std::unique_ptr<TGIFExtension> Make(TGIFSubImage* frame) {
  return std::make_unique<T>(frame);
}
using TExtensionMaker = std::unique_ptr<TGIFExtension> (*)(TGIFSubImage*);

constexpr struct {
  uint8_t Label;
  TExtensionMaker Maker;  // nullptr: chosen by the application identifier
} ExtensionClasses[] = {
    {TGIFTextExtension::ExtensionLabel, Make<TGIFTextExtension>},
    {TGIFGraphicControlExtension::ExtensionLabel, Make<TGIFGraphicControlExtension>},
    {TGIFCommentExtension::ExtensionLabel, Make<TGIFCommentExtension>},
    {TGIFApplicationExtension::ExtensionLabel, nullptr},
};

constexpr struct {
  char Identifier[12];
  TExtensionMaker Maker;
} AppExtensionClasses[] = {
    {"NETSCAPE2.0", Make<TGIFAppExtNSLoop>},
    {"ANIMEXTS1.0", Make<TGIFAppExtNSLoop>},
};

// Chooses the class of the extension whose label follows at the stream's position.
TExtensionMaker ExtensionClassAt(TStream& stream) {
  uint8_t label;
  ReadCheck(stream, &label, 1);
  for (auto c = std::rbegin(ExtensionClasses); c != std::rend(ExtensionClasses); ++c) {
    if (c->Label != label) continue;
    if (c->Maker) return c->Maker;
    uint8_t block[12] = {};  // block size and identifier; a short one matches nothing and fails on loading
    stream.Read(block, sizeof block);
    for (auto a = std::rbegin(AppExtensionClasses); a != std::rend(AppExtensionClasses); ++a)
      if (std::memcmp(block + 1, a->Identifier, 11) == 0) return a->Maker;
    return Make<TGIFUnknownAppExtension>;
  }
  throw GIFException(sUnknownExtension);
}

}  // namespace

void CheckFrameSize(int64_t width, int64_t height) {
  if (width < 0 || height < 0 || width * height > MaxFramePixels)
    throw GIFException("Frame of " + std::to_string(width) + " x " + std::to_string(height) +
                       " pixels is larger than the " + std::to_string(MaxFramePixels) + " pixels the codec takes");
}

void ReadCheck(TStream& stream, void* buffer, int64_t count) {
  if (stream.Read(buffer, count) != count) throw GIFException(sOutOfData);
}

// --- colour maps ---

void TGIFColorMap::Warning(const std::string& message) const {
  if (image_) image_->Warning(gsWarning, message);
}

TGIFColor TGIFColorMap::Color(int index) const {
  if (count_ == 0) throw GIFException(sEmptyColorMap);
  if (index < 0 || index >= count_) {
    Warning(sBadColorIndex);
    index = 0;
  }
  return colors_[static_cast<size_t>(index)];
}

int TGIFColorMap::Add(TGIFColor color) {
  if (count_ >= MaxColors) throw GIFException(sTooManyColors);
  colors_[static_cast<size_t>(count_)] = color;
  Optimized = false;
  return count_++;
}

int TGIFColorMap::AddUnique(TGIFColor color) {
  const auto found = std::find(colors_.begin(), colors_.begin() + count_, color);
  return found != colors_.begin() + count_ ? static_cast<int>(found - colors_.begin()) : Add(color);
}

void TGIFColorMap::Delete(int index) {
  if (index < 0 || index >= count_) throw GIFException(sBadColorIndex);
  std::copy(colors_.begin() + index + 1, colors_.begin() + count_, colors_.begin() + index);
  --count_;
}

void TGIFColorMap::Clear() {
  count_ = 0;
  Optimized = false;
}

void TGIFColorMap::Assign(const TGIFColorMap& source) {
  colors_ = source.colors_;
  count_ = source.count_;
  Optimized = source.Optimized;
}

int TGIFColorMap::BitsPerPixel() const {
  int bits = 1;
  while ((1 << bits) < count_) ++bits;
  return bits;
}

void TGIFColorMap::LoadFromStream(TStream& stream, int count) {
  Clear();
  ReadCheck(stream, colors_.data(), 3 * count);
  count_ = count;
}

void TGIFColorMap::SaveToStream(TStream& stream) const {
  const int size = 1 << BitsPerPixel();
  stream.Write(colors_.data(), 3 * count_);
  const uint8_t black[3 * MaxColors] = {};
  stream.Write(black, 3 * (size - count_));
}

bool TGIFColorMap::PixelsBeyond() const {
  for (const TGIFSubImage* frame : Users())
    for (uint8_t p : frame->Data())
      if (p >= count_) return true;
  return false;
}

bool TGIFColorMap::Optimize() {
  if (count_ < 2) return false;
  if (!Reorderable() || PixelsBeyond()) return false;
  const std::vector<TGIFSubImage*> users = Users();
  std::vector<int64_t> uses(static_cast<size_t>(count_));
  bool beyond = false;
  for (const TGIFSubImage* frame : users) {
    for (uint8_t p : frame->Data()) ++uses[p];
    // Some decoders restore a frame's area to the colour of its transparent index; each control
    // block's index counts, as decoders differ in the block they take it from.
    for (const TGIFGraphicControlExtension* gce : frame->GraphicControlExtensions()) {
      if (!gce->Transparent() && !(frame->HasTransparency && gce == frame->GraphicControlExtension())) continue;
      const int t = gce->TransparentColorIndex();
      if (t < count_)
        ++uses[t];
      else
        beyond = true;
    }
  }
  Optimized = true;
  CountUses(uses);
  // Entries that decoders read by their position stay where they are; the others go by use.
  std::vector<bool> pinned(static_cast<size_t>(count_), false);
  Pin(pinned);
  std::vector<int> free;
  for (int i = 0; i < count_; ++i)
    if (!pinned[static_cast<size_t>(i)]) free.push_back(i);
  std::stable_sort(free.begin(), free.end(), [&](int a, int b) { return uses[a] > uses[b]; });
  std::vector<int> order(static_cast<size_t>(count_));
  for (size_t i = 0, next = 0; i < order.size(); ++i) {
    order[i] = pinned[i] ? static_cast<int>(i) : free[next++];
    if (pinned[i]) uses[i] = std::max<int64_t>(uses[i], 1);  // kept, in use or not
  }
  if (std::is_sorted(order.begin(), order.end())) return true;

  std::vector<int> position(order.size());
  for (int i = 0; i < count_; ++i) position[order[i]] = i;
  uint8_t table[256];
  for (int v = 0; v < 256; ++v) table[v] = static_cast<uint8_t>(v < count_ ? position[v] : v);
  for (TGIFSubImage* frame : users) {
    for (uint8_t& p : frame->Data()) p = table[p];
    for (TGIFGraphicControlExtension* gce : frame->GraphicControlExtensions())
      gce->StoreTransparentColorIndex(table[gce->TransparentColorIndex()]);
  }
  Remap(position);
  const std::array<TGIFColor, MaxColors> old = colors_;
  int used = 0;
  for (int i = 0; i < count_; ++i) {
    colors_[static_cast<size_t>(i)] = old[static_cast<size_t>(order[i])];
    if (uses[order[i]] > 0) used = i + 1;
  }
  // A transparent index beyond the table is honoured by some decoders only just past its end: the
  // table then keeps its size.
  if (!beyond) count_ = used;
  return true;
}

std::vector<TGIFSubImage*> TGIFGlobalColorMap::Users() const {
  std::vector<TGIFSubImage*> users;
  for (int i = 0; i < image_->Images.Count(); ++i)
    if (&image_->Images[i].ActiveColorMap() == this) users.push_back(&image_->Images[i]);
  return users;
}

namespace {

// Whether the first frame leaves part of the screen uncovered and is not transparent: decoders
// then show a colour of a table there, by its position.
// Whether the first frame leaves some of the screen uncovered.
bool Uncovered(const TGifPictureBase& image) {
  const TGIFSubImage& first = image.Images[0];
  return first.Empty() || first.Left() > 0 || first.Top() > 0 || first.Left() + first.Width() < image.Width() ||
         first.Top() + first.Height() < image.Height();
}

bool UncoveredOpaque(const TGifPictureBase& image) {
  if (image.Images.Count() == 0) return false;
  const TGIFSubImage& first = image.Images[0];
  // ImageMagick takes a frame whose transparent index lies beyond its table, or whose control
  // blocks differ, as opaque.
  const TGIFGraphicControlExtension* gce = first.GraphicControlExtension();
  if (first.HasTransparency && first.ControlSettled() && gce && gce->TransparentColorIndex() < first.ActiveColorMap().Count())
    return false;
  return Uncovered(image);
}

// Whether the first frame takes a transparent index beyond the table in some control block, which
// ImageMagick then takes as opaque: the table's size decides what it shows where the frame leaves
// the screen uncovered.
bool TransparentBeyond(const TGifPictureBase& image, const TGIFColorMap& map) {
  if (image.Images.Count() == 0 || &image.Images[0].ActiveColorMap() != &map || !Uncovered(image)) return false;
  const TGIFSubImage& first = image.Images[0];
  for (const TGIFGraphicControlExtension* gce : first.GraphicControlExtensions())
    if ((gce->Transparent() || (first.HasTransparency && gce == first.GraphicControlExtension())) &&
        gce->TransparentColorIndex() >= map.Count())
      return true;
  return false;
}

// Some decoders show entry 0 of the first frame's table there.
bool ShowsFirstEntry(const TGifPictureBase& image, const TGIFColorMap& map) {
  return UncoveredOpaque(image) && &image.Images[0].ActiveColorMap() == &map;
}

}  // namespace

// An index beyond the table shows entry 0: that entry then is the background, and stays it.
void TGIFGlobalColorMap::CountUses(std::vector<int64_t>& uses) const {
  const size_t background = image_->Header.BackgroundColorIndex;
  ++uses[background < uses.size() ? background : 0];
}

bool TGIFGlobalColorMap::SizeShown() const {
  return image_ && ((image_->Header.BackgroundColorIndex >= Count() && UncoveredOpaque(*image_)) ||
                    TransparentBeyond(*image_, *this));
}

// A frame with more than one control block has its transparency and the colour of what it leaves
// uncovered read from different blocks by different decoders: its table keeps its order.
bool TGIFGlobalColorMap::Reorderable() const {
  if (SizeShown()) return false;
  for (const TGIFSubImage* frame : Users())
    if (!frame->ControlSettled()) return false;
  return true;
}

bool TGIFLocalColorMap::Reorderable() const { return frame_->ControlSettled(); }

// The background index stays where there is a local table, which some decoders look it up in
// (TGIFLocalColorMap::Pin), past its end too: it cannot follow its colour in two tables.
void TGIFGlobalColorMap::Pin(std::vector<bool>& pinned) const {
  const size_t background = image_->Header.BackgroundColorIndex;
  // Entry 0 is the background of a background index beyond the table, as those decoders show it.
  if (ShowsFirstEntry(*image_, *this) || background >= pinned.size()) pinned[0] = true;
  for (int i = 0; i < image_->Images.Count() && background < pinned.size(); ++i)
    if (image_->Images[i].ColorMap.Count() > 0) pinned[background] = true;
}

// A background index beyond the table stays beyond it, as it is: Pillow shows it as the grey of
// its number.
void TGIFGlobalColorMap::Remap(const std::vector<int>& positions) {
  uint8_t& background = image_->Header.BackgroundColorIndex;
  if (background < positions.size()) background = static_cast<uint8_t>(positions[background]);
}

// Some decoders restore a frame of a local table to the colour at the background index of that
// table: the entry there stays, with the entry that the uncovered screen shows.
void TGIFLocalColorMap::Pin(std::vector<bool>& pinned) const {
  if (!image_) return;
  // Without a global table those decoders take index 0 for the background.
  const size_t background = image_->Header.ColorMap.Count() > 0 ? image_->Header.BackgroundColorIndex : 0;
  // A background index beyond the table reads past its end in some decoders, and gives entry 0 in
  // others: the table keeps its size, its first and last entries held in place.
  if (background >= pinned.size()) pinned[0] = pinned[pinned.size() - 1] = true;
  else pinned[background] = true;
  if (ShowsFirstEntry(*image_, *this)) pinned[0] = true;
}

// --- items ---

void TGIFItem::Warning(TGIFSeverity severity, const std::string& message) const {
  if (image_) image_->Warning(severity, message);
}

void TGIFItem::LoadFromFile(const std::u16string& fileName) {
  LoadFile(fileName, [this](TStream& s) { LoadFromStream(s); });
}

void TGIFItem::SaveToFile(const std::u16string& fileName) {
  SaveFile(fileName, [this](TStream& s) { SaveToStream(s); });
}

void TGIFHeader::Clear() {
  Width = Height = 0;
  PackedFields = 0x70;
  BackgroundColorIndex = 0;
  AspectRatio = 0;
  ColorMap.Clear();
}

void TGIFHeader::LoadFromStream(TStream& stream) {
  const int64_t start = stream.GetPosition();
  char signature[6];
  ReadCheck(stream, signature, 6);
  if (!IsSignature(signature)) {
    // A 4-byte length in front of the file.
    stream.SetPosition(start + 4);
    ReadCheck(stream, signature, 6);
    if (!IsSignature(signature)) throw GIFException(sBadSignature);
  }
  uint8_t d[7];
  ReadCheck(stream, d, 7);
  Width = Word(d);
  Height = Word(d + 2);
  PackedFields = d[4];
  BackgroundColorIndex = d[5];
  AspectRatio = d[6];
  ColorMap.Clear();
  if (PackedFields & 0x80) {
    ColorMap.LoadFromStream(stream, 2 << (PackedFields & 7));
    ColorMap.Optimized = PackedFields & 0x08;
  }
}

void TGIFHeader::SaveToStream(TStream& stream) {
  const TGIFVersion version = image_ ? image_->Version() : gvUnknown;
  if (version == gvUnknown) throw GIFException(sBadVersion);
  if (Width > MaxCoordinate || Height > MaxCoordinate) throw GIFException(sSizeTooLarge);
  stream.Write(version == gv87a ? "GIF87a" : "GIF89a", 6);
  PackedFields &= 0x70;
  if (ColorMap.Count() > 0)
    PackedFields |= static_cast<uint8_t>(0x80 | (ColorMap.Optimized ? 0x08 : 0) | (ColorMap.BitsPerPixel() - 1));
  uint8_t d[7];
  PutWord(d, Width);
  PutWord(d + 2, Height);
  d[4] = PackedFields;
  d[5] = BackgroundColorIndex;
  d[6] = AspectRatio;
  stream.Write(d, 7);
  if (PackedFields & 0x80) ColorMap.SaveToStream(stream);
}

// --- extensions ---

TGIFExtension::TGIFExtension(TGIFSubImage* frame) : TGIFItem(frame->Image()), frame_(frame) {}

void TGIFExtension::LoadFromStream(TStream& stream) {
  uint8_t head[2];
  ReadCheck(stream, head, 2);
  if (head[0] != ExtensionIntroducer) throw GIFException(sBadExtensionLabel);
  if (head[1] != Label()) throw GIFException(sBadExtensionInstance);
  LoadBlock(stream);
}

void TGIFExtension::SaveToStream(TStream& stream) {
  const uint8_t head[2] = {ExtensionIntroducer, Label()};
  stream.Write(head, 2);
  SaveBlock(stream);
}

void TGIFGraphicControlExtension::SetTransparent(bool transparent) {
  Packed = static_cast<uint8_t>(transparent ? Packed | 1 : Packed & ~1);
  frame_->HasTransparency = transparent;
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int index) {
  const int count = frame_->ActiveColorMap().Count();
  if (index < 0 || index > 255 || (count > 0 && index >= count)) {
    Warning(gsWarning, sBadColorIndex);
    index = 0;
  }
  transparentIndex_ = static_cast<uint8_t>(index);
}

void TGIFGraphicControlExtension::LoadBlock(TStream& stream) {
  uint8_t b[6] = {};
  if (stream.Read(b, 6) != 6) Warning(gsWarning, sOutOfData);
  Packed = b[1];
  Delay = Word(b + 2);
  transparentIndex_ = b[4];
  if (Packed & 1) frame_->HasTransparency = true;
}

void TGIFGraphicControlExtension::SaveBlock(TStream& stream) {
  uint8_t b[6] = {4, Packed, 0, 0, transparentIndex_, 0};
  PutWord(b + 2, Delay);
  stream.Write(b, 6);
}

void TGIFTextExtension::LoadBlock(TStream& stream) {
  uint8_t b[13];
  ReadCheck(stream, b, 13);
  Left = Word(b + 1);
  Top = Word(b + 3);
  GridWidth = Word(b + 5);
  GridHeight = Word(b + 7);
  CellWidth = b[9];
  CellHeight = b[10];
  ForegroundColorIndex = b[11];
  BackgroundColorIndex = b[12];
  ReadLines(stream, Text);
}

void TGIFTextExtension::SaveBlock(TStream& stream) {
  uint8_t b[13] = {12};
  PutWord(b + 1, Left);
  PutWord(b + 3, Top);
  PutWord(b + 5, GridWidth);
  PutWord(b + 7, GridHeight);
  b[9] = CellWidth;
  b[10] = CellHeight;
  b[11] = ForegroundColorIndex;
  b[12] = BackgroundColorIndex;
  stream.Write(b, 13);
  WriteLines(stream, Text);
}

void TGIFCommentExtension::LoadBlock(TStream& stream) { ReadLines(stream, Text); }
void TGIFCommentExtension::SaveBlock(TStream& stream) { WriteLines(stream, Text); }

void TGIFApplicationExtension::LoadBlock(TStream& stream) {
  uint8_t size;
  ReadCheck(stream, &size, 1);
  if (size < 10) throw GIFException(sBadAppExtSize);
  Identifier.fill(0);
  ReadCheck(stream, Identifier.data(), 11);
  // A known faulty writer gives the size as 10.
  if (size == 10)
    StepBack(stream);
  else if (size > 11)
    stream.Seek(size - 11, platform::SeekCurrent);
  LoadData(stream);
}

void TGIFApplicationExtension::SaveBlock(TStream& stream) {
  WriteByte(stream, 11);
  stream.Write(Identifier.data(), 11);
  SaveData(stream);
}

void TGIFUnknownAppExtension::LoadData(TStream& stream) {
  Blocks.clear();
  ReadSubBlocks(stream, [&](const uint8_t* p, int n) { Blocks.emplace_back(p, p + n); });
}

void TGIFUnknownAppExtension::SaveData(TStream& stream) {
  for (const TGIFBlock& block : Blocks) WriteSubBlocks(stream, block.data(), block.size());
  WriteByte(stream, 0);
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* frame) : TGIFApplicationExtension(frame) {
  std::memcpy(Identifier.data(), "NETSCAPE2.0", 11);
}

void TGIFAppExtNSLoop::LoadData(TStream& stream) {
  read_.clear();
  wasRead_ = false;
  const int64_t start = stream.GetPosition();
  bool ended = false;
  uint8_t length;
  while (ReadByte(stream, length) && !(ended = length == 0)) {
    uint8_t id, value[4];
    ReadCheck(stream, &id, 1);
    int left = length - 1;
    const int need = (id & 7) == 1 ? 2 : (id & 7) == 2 ? 4 : 0;
    if (left < need) throw GIFException(sInvalidData);
    ReadCheck(stream, value, need);
    if (need == 2) Loops = Word(value);
    if (need == 4) BufferSize = static_cast<uint32_t>(value[0] | value[1] << 8 | value[2] << 16 | value[3] << 24);
    stream.Seek(left - need, platform::SeekCurrent);
  }
  // Only whole sub-blocks up to their terminator are kept.
  const int64_t end = stream.GetPosition();
  if (!ended || end > stream.GetSize()) return;
  read_.resize(static_cast<size_t>(end - start - 1));
  stream.SetPosition(start);
  ReadCheck(stream, read_.data(), static_cast<int64_t>(read_.size()));
  stream.SetPosition(end);
  wasRead_ = true;
  readLoops_ = Loops;
  readBufferSize_ = BufferSize;
}

void TGIFAppExtNSLoop::SaveData(TStream& stream) {
  if (wasRead_ && Loops == readLoops_ && BufferSize == readBufferSize_) {
    stream.Write(read_.data(), static_cast<int64_t>(read_.size()));
    WriteByte(stream, 0);
    return;
  }
  uint8_t b[11] = {3, 1};
  PutWord(b + 2, Loops);
  int n = 4;
  if (BufferSize != 0) {
    const uint8_t buffer[6] = {5,
                               2,
                               static_cast<uint8_t>(BufferSize),
                               static_cast<uint8_t>(BufferSize >> 8),
                               static_cast<uint8_t>(BufferSize >> 16),
                               static_cast<uint8_t>(BufferSize >> 24)};
    std::memcpy(b + n, buffer, 6);
    n += 6;
  }
  b[n++] = 0;
  stream.Write(b, n);
}

void TGIFExtensionList::LoadFromStream(TStream& stream) {
  uint8_t b;
  if (!ReadByte(stream, b)) return;
  while (b != ImageSeparator && b != Trailer) {
    if (b != ExtensionIntroducer) {
      Warning(gsWarning, sBadExtensionLabel);
      break;
    }
    const int64_t at = stream.GetPosition();
    const TExtensionMaker make = ExtensionClassAt(stream);
    stream.SetPosition(at - 1);
    std::unique_ptr<TGIFExtension> extension = make(frame_);
    extension->LoadFromStream(stream);
    Add(std::move(extension));
    if (!ReadByte(stream, b)) return;
  }
  StepBack(stream);
}

void TGIFExtensionList::SaveToStream(TStream& stream) {
  for (auto& extension : items_) extension->SaveToStream(stream);
}

// --- frames ---

TGIFSubImage::TGIFSubImage(TGifPictureBase* image) : TGIFItem(image), ColorMap(image, this), Extensions(image, this) {}

void TGIFSubImage::Clear() {
  Extensions.Clear();
  ColorMap.Clear();
  raster_.clear();
  ++changes_;
  left_ = top_ = width_ = height_ = 0;
  packed_ = 0;
  HasTransparency = false;
  OutsideScreen = false;
  OutsideRight = OutsideBottom = 0;
  unsized_ = false;
}

TGIFVersion TGIFSubImage::Version() const {
  // A frame without pixels is written with a control block that makes its stand-in transparent.
  return (ColorMap.Count() > 0 && ColorMap.Optimized) || Extensions.Count() > 0 || Empty() ? gv89a : gv87a;
}

const TGIFColorMap& TGIFSubImage::ActiveColorMap() const {
  if (ColorMap.Count() == 0 && image_ && image_->Header.ColorMap.Count() > 0) return image_->Header.ColorMap;
  return ColorMap;
}

TGIFGraphicControlExtension* TGIFSubImage::GraphicControlExtension() const {
  for (int i = 0; i < Extensions.Count(); ++i)
    if (Extensions[i].Label() == TGIFGraphicControlExtension::ExtensionLabel)
      return static_cast<TGIFGraphicControlExtension*>(&Extensions[i]);
  return nullptr;
}

std::vector<TGIFGraphicControlExtension*> TGIFSubImage::GraphicControlExtensions() const {
  std::vector<TGIFGraphicControlExtension*> blocks;
  for (int i = 0; i < Extensions.Count(); ++i)
    if (Extensions[i].Label() == TGIFGraphicControlExtension::ExtensionLabel)
      blocks.push_back(static_cast<TGIFGraphicControlExtension*>(&Extensions[i]));
  return blocks;
}

void TGIFSubImage::Allocate(uint8_t fill) {
  CheckFrameSize(width_, height_);
  ++changes_;
  try {
    raster_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), fill);
  } catch (const std::bad_alloc&) {
    raster_.clear();
    throw GIFException("Not enough memory for a frame of " + std::to_string(width_) + " x " +
                       std::to_string(height_) + " pixels");
  }
}

void TGIFSubImage::SetBounds(int left, int top, int width, int height) {
  // A frame reaching past the last coordinate would grow the screen beyond what a file can hold.
  if (left < 0 || top < 0 || int64_t{left} + std::max(width, 0) > MaxCoordinate ||
      int64_t{top} + std::max(height, 0) > MaxCoordinate)
    throw GIFException(sSizeTooLarge);
  if (width != width_ || height != height_ || raster_.empty()) {
    CheckFrameSize(width, height);
    width_ = width;
    height_ = height;
    Allocate(0);
  }
  left_ = left;
  top_ = top;
  if (!image_) return;
  TGIFHeader& screen = image_->Header;
  bool exceeded = false;
  if (left + width > screen.Width) {
    if (screen.Width != 0) Warning(gsWarning, sScreenWidthSmall), exceeded = true;
    screen.Width = left + width;
  }
  if (top + height > screen.Height) {
    if (screen.Height != 0) Warning(gsWarning, sScreenHeightSmall), exceeded = true;
    screen.Height = top + height;
  }
  if (exceeded) Warning(gsWarning, sScreenSizeExceeded);
}

void TGIFSubImage::CheckPixel(int x, int y) const {
  if (raster_.empty()) throw GIFException(sEmptyImage);
  if (x < 0 || y < 0 || x >= width_ || y >= height_) throw GIFException(sInvalidPixel);
}

uint8_t TGIFSubImage::Pixel(int x, int y) const {
  CheckPixel(x, y);
  return raster_[static_cast<size_t>(y) * width_ + x];
}

uint8_t* TGIFSubImage::Scanline(int y) {
  CheckPixel(0, y);
  ++changes_;
  return raster_.data() + static_cast<size_t>(y) * width_;
}

void TGIFSubImage::LoadFromStream(TStream& stream) {
  Clear();
  Extensions.LoadFromStream(stream);
  uint8_t b;
  if (!ReadByte(stream, b)) return;
  StepBack(stream);
  // Only a separator starts an image: from any other byte (the trailer, or damage, where the
  // block loop stops) no descriptor is read, lest its bytes grow the screen.
  if (b != ImageSeparator) return;
  uint8_t d[10];
  ReadCheck(stream, d, 10);
  int left = Word(d + 1), top = Word(d + 3), width = Word(d + 5), height = Word(d + 7);
  packed_ = d[9];
  bool exceeds = false;
  // A frame of no size has no pixel in its file, to be written again where it lay.
  const bool sized = width != 0 && height != 0;
  unsized_ = !sized;
  unsizedLeft_ = left;
  unsizedTop_ = top;
  unsizedWidth_ = width;
  unsizedHeight_ = height;
  if (width == 0 || height == 0) {
    width = image_->Width();
    height = image_->Height();
    exceeds = true;
  }
  if (packed_ & 0x80) {
    ColorMap.LoadFromStream(stream, 2 << (packed_ & 7));
    ColorMap.Optimized = packed_ & 0x20;
  }
  // The frame is kept whole, and the screen grows to hold it once the file is loaded (GrowScreen),
  // as far as the screen stays one that the codec can draw. Beyond that only what the screen shows
  // is kept, and decoded: a screen without a size is the largest a file can hold, so that whatever
  // loads can be saved again.
  // A frame of no size on a screen of no width or height holds no pixel: it reserves nothing, as
  // the pixel that stands in for it when it is saved reserves nothing beyond the frames before.
  if (width == 0 || height == 0 || image_->ReserveScreen(left + width, top + height)) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
  } else {
    const int screenWidth = image_->Width() > 0 ? image_->Width() : MaxCoordinate;
    const int screenHeight = image_->Height() > 0 ? image_->Height() : MaxCoordinate;
    left_ = std::min(left, screenWidth);
    top_ = std::min(top, screenHeight);
    width_ = std::min(left + width, screenWidth) - left_;
    height_ = std::min(top + height, screenHeight) - top_;
    if (width_ != width || height_ != height) {
      exceeds = true;
      if (sized) image_->SetReadOtherwise();
    }
    // What is kept reserves its place, as it will when the picture is saved and loaded again:
    // the frames after it are then kept or cut alike both times.
    if (width_ > 0 && height_ > 0) image_->ReserveScreen(left_ + width_, top_ + height_);
  }
  if (exceeds) Warning(gsWarning, sScreenSizeExceeded);
  if (width_ == 0 || height_ == 0) {
    // No pixel is kept. Along a side the screen names no size for, the frame still reaches as far
    // as it did, and the screen grows to it: other decoders size such a screen by the frames. A side
    // of no length reaches nowhere beyond the screen.
    if (image_->Width() > 0) width_ = 0;
    if (image_->Height() > 0) height_ = 0;
    if (width_ == 0) left_ = std::min(left_, image_->Width());
    if (height_ == 0) top_ = std::min(top_, image_->Height());
    OutsideScreen = true;
    if (sized) {
      OutsideRight = left + width;
      OutsideBottom = top + height;
    }
  }
  CheckFrameSize(width_, height_);
  image_->ReservePixels(int64_t{width_} * height_);
  const TGIFGraphicControlExtension* gce = GraphicControlExtension();
  Allocate(HasTransparency && gce ? gce->TransparentColorIndex() : 0);
  const TGIFArea kept{left_ - left, top_ - top, width_, height_};
  if (DecodeRaster(stream, raster_.data(), width, height, Interlaced(), kept,
                   [this](TGIFSeverity severity, const std::string& message) { Warning(severity, message); }))
    image_->SetReadOtherwise();
}

namespace {

// An image descriptor: its separator, place, size and packed byte.
void WriteDescriptor(TStream& stream, int x, int y, int width, int height, uint8_t packed) {
  uint8_t d[10] = {ImageSeparator};
  PutWord(d + 1, x);
  PutWord(d + 3, y);
  PutWord(d + 5, width);
  PutWord(d + 7, height);
  d[9] = packed;
  stream.Write(d, 10);
}

}  // namespace

void TGIFSubImage::SaveToStream(TStream& stream) {
  Extensions.SaveToStream(stream);
  if (Empty()) return;
  if (width_ > MaxCoordinate || height_ > MaxCoordinate) throw GIFException(sSizeTooLarge);
  packed_ &= 0x40;
  if (ColorMap.Count() > 0)
    packed_ |= static_cast<uint8_t>(0x80 | (ColorMap.Optimized ? 0x20 : 0) | (ColorMap.BitsPerPixel() - 1));
  // A frame of no size that still lies where loading put it, at the screen's size, is written of
  // no size again, its pixels behind: the codec reads them at that size as before, and other
  // decoders show nothing of it, as before.
  const bool unsized = unsized_ && image_ && left_ == unsizedLeft_ && top_ == unsizedTop_ && width_ == image_->Width() &&
                       height_ == image_->Height();
  WriteDescriptor(stream, left_, top_, unsized ? unsizedWidth_ : width_, unsized ? unsizedHeight_ : height_, packed_);
  if (packed_ & 0x80) ColorMap.SaveToStream(stream);
  // Pixels beyond the colour table (or without one) are written as the file held them, for
  // decoders to read as they read them before, in codes wide enough for the largest.
  const TGIFColorMap& map = ActiveColorMap();
  int bits = map.BitsPerPixel(), colors = map.Count();
  const int largest = raster_.empty() ? 0 : *std::max_element(raster_.begin(), raster_.end());
  if (largest >= colors) {
    colors = largest + 1;
    while ((1 << bits) < colors) ++bits;
  }
  EncodeRaster(stream, raster_.data(), width_, height_, Interlaced(), bits, colors, image_ ? image_->Compression : gcLZW);
}

void TGIFTrailer::LoadFromStream(TStream& stream) {
  uint8_t b;
  if (ReadByte(stream, b) && b != Trailer) Warning(gsWarning, sBadTrailer);
}

void TGIFTrailer::SaveToStream(TStream& stream) { WriteByte(stream, Trailer); }

void TGifPictureList::LoadFromStream(TStream& stream) {
  const auto nextBlock = [&stream](uint8_t& b) {
    while (ReadByte(stream, b))
      if (b != 0) return true;
    return false;
  };
  const int64_t size = stream.GetSize();
  uint8_t b;
  if (!nextBlock(b)) return;
  while (b != Trailer) {
    StepBack(stream);
    if (b != ExtensionIntroducer && b != ImageSeparator) {
      Warning(gsWarning, sBadBlock);
      return;
    }
    auto frame = std::make_unique<TGIFSubImage>(image_);
    frame->LoadFromStream(stream);
    Add(std::move(frame));
    image_->Progress(psRunning, Percent(stream.GetPosition(), size), "Loading...");
    if (!nextBlock(b)) return;
  }
  StepBack(stream);
}

namespace {

// The first pixel of a frame inside the screen that paints: not its transparent index and, when
// the colour counts, within its colour table. False when it has none.
bool PaintingPixel(const TGifPictureBase& image, const TGIFSubImage& frame, bool colour, int& x, int& y) {
  if (frame.Empty()) return false;
  const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
  const int transparent = frame.HasTransparency && gce ? gce->TransparentColorIndex() : -1;
  const int colors = colour ? frame.ActiveColorMap().Count() : 256;
  const int width = std::min(frame.Width(), image.Width() - frame.Left());
  const int height = std::min(frame.Height(), image.Height() - frame.Top());
  for (int row = 0; row < height; ++row) {
    const uint8_t* p = frame.Data().data() + static_cast<size_t>(row) * frame.Width();
    for (int col = 0; col < width; ++col)
      if (p[col] != transparent && p[col] < colors) {
        x = frame.Left() + col;
        y = frame.Top() + row;
        return true;
      }
  }
  return false;
}

}  // namespace

// A frame without pixels that must keep its place and time: its extensions, then one pixel inside
// the screen that shows nothing new.
// A frame without a control block, after a frame that every decoder keeps on the screen (kept),
// repeats a pixel of that frame: it needs no block, which would change what some decoders let it
// inherit. Otherwise the pixel is transparent. The frame's control block then says so; a frame
// without one gets a block of no delay, as it had, and of the disposal that some decoders would let
// it inherit (inherited, the last block written). Where no decoder carries its disposal on to a
// frame whose disposal shows (unseen), the pixel restores what was there before it, so that no disposal of
// it shows; else it lies under a pixel that the next frame paints, unless that frame restores what
// was there before itself.
void TGifPictureList::SaveStandIn(TStream& stream, int index, const TGIFGraphicControlExtension* inherited,
                                  const TGIFSubImage* kept, bool unseen) {
  TGIFSubImage& frame = (*this)[index];
  const TGIFSubImage* next = index + 1 < Count() ? &(*this)[index + 1] : nullptr;
  TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
  // A frame whose image lay wholly off the screen goes there again, as one pixel at its far corner
  // behind its extensions as they stand: a pixel on the screen, or a control block that gives it
  // transparency or replaces the one it inherits, would change what some decoder shows.
  // A corner beyond the 16 bits of a descriptor goes to the farthest place one can name, which is
  // still off every screen a file can hold.
  const int farX = std::min(frame.OutsideRight - 1, MaxCoordinate);
  const int farY = std::min(frame.OutsideBottom - 1, MaxCoordinate);
  if (frame.OutsideScreen && farX >= 0 && farY >= 0 && (farX >= image_->Width() || farY >= image_->Height())) {
    frame.Extensions.SaveToStream(stream);
    const TGIFColorMap& active = frame.ActiveColorMap();
    const int transparent = frame.HasTransparency && gce ? gce->TransparentColorIndex() : -1;
    const uint8_t pixel = static_cast<uint8_t>(transparent >= 0 && transparent < active.Count() ? transparent : 0);
    const bool local = frame.ColorMap.Count() > 0;
    WriteDescriptor(stream, farX, farY, 1, 1,
                    local ? static_cast<uint8_t>(0x80 | (frame.ColorMap.BitsPerPixel() - 1)) : 0);
    if (local) frame.ColorMap.SaveToStream(stream);
    EncodeRaster(stream, &pixel, 1, 1, false, active.BitsPerPixel(), std::max(active.Count(), 1), gcLZW);
    return;
  }
  int x = 0, y = 0;
  if (!gce && kept && PaintingPixel(*image_, *kept, true, x, y)) {
    frame.Extensions.SaveToStream(stream);
    const TGIFColorMap& map = kept->ActiveColorMap();
    const TGIFColor colour = map.Colors()[kept->Pixel(x - kept->Left(), y - kept->Top())];
    WriteDescriptor(stream, x, y, 1, 1, 0x80);
    const uint8_t table[6] = {colour.Red, colour.Green, colour.Blue, 0, 0, 0};
    stream.Write(table, 6);
    const uint8_t pixel = 0;
    EncodeRaster(stream, &pixel, 1, 1, false, 2, 2, gcLZW);
    return;
  }
  // A table for the pixel: the frame's own, else the global one, else one of its own that holds
  // the background index, which some decoders look up in the table of the frame they dispose of.
  const TGIFColorMap& active = frame.ActiveColorMap();
  int bits = active.BitsPerPixel();
  const bool ownTable = active.Count() == 0;
  if (ownTable)
    while ((1 << bits) <= image_->Header.BackgroundColorIndex) ++bits;
  const int transparent =
      gce && gce->Transparent() && gce->TransparentColorIndex() < (ownTable ? 1 << bits : active.Count())
          ? gce->TransparentColorIndex()
          : 0;
  if (gce) {
    // The block says so only in the file: the frame keeps its own.
    const uint8_t packed = gce->Packed, stored = gce->TransparentColorIndex();
    gce->Packed |= 1;
    if (unseen) gce->SetDisposal(3);
    gce->StoreTransparentColorIndex(static_cast<uint8_t>(transparent));
    frame.Extensions.SaveToStream(stream);
    gce->Packed = packed;
    gce->StoreTransparentColorIndex(stored);
  } else {
    TGIFGraphicControlExtension own(&frame);
    if (inherited) own.SetDisposal(inherited->Disposal());
    own.Packed |= 1;
    if (unseen) own.SetDisposal(3);
    own.StoreTransparentColorIndex(static_cast<uint8_t>(transparent));
    own.SaveToStream(stream);
    frame.Extensions.SaveToStream(stream);
  }
  const TGIFGraphicControlExtension* nextGce = next ? next->GraphicControlExtension() : nullptr;
  if (!unseen && next && !(nextGce && nextGce->Disposal() == 3) && !PaintingPixel(*image_, *next, false, x, y))
    x = y = 0;
  WriteDescriptor(stream, x, y, 1, 1, ownTable || frame.ColorMap.Count() > 0 ? static_cast<uint8_t>(0x80 | (bits - 1)) : 0);
  if (ownTable) {
    const uint8_t black[3 * TGIFColorMap::MaxColors] = {};
    stream.Write(black, 3 << bits);
  } else if (frame.ColorMap.Count() > 0) {
    frame.ColorMap.SaveToStream(stream);
  }
  const uint8_t pixel = static_cast<uint8_t>(transparent);
  EncodeRaster(stream, &pixel, 1, 1, false, std::max(bits, 2), ownTable ? 1 << bits : active.Count(), gcLZW);
}

void TGifPictureList::SaveToStream(TStream& stream) {
  // The last control block written, which some decoders let a frame without one inherit; the last
  // disposal named (not 0), which others keep for every frame that names none.
  const TGIFGraphicControlExtension* inherited = nullptr;
  int named = 0;
  const TGIFSubImage* kept = nullptr;  // the frame before, when every decoder keeps it on the screen
  // unseen[i]: the frames that carry frame i's disposal on (those naming none) are frames without
  // pixels too, up to one that names its own, or the last frame, whose disposal never shows.
  std::vector<bool> unseen(static_cast<size_t>(Count()), false);
  for (int i = Count() - 2; i >= 0; --i) {
    const TGIFSubImage& after = (*this)[i + 1];
    const TGIFGraphicControlExtension* named = after.GraphicControlExtension();
    unseen[static_cast<size_t>(i)] = (named && named->Disposal() != 0) || i + 2 == Count() ||
                                     (after.Empty() && unseen[static_cast<size_t>(i + 1)]);
  }
  for (int i = 0; i < Count(); ++i) {
    TGIFSubImage& frame = (*this)[i];
    const TGIFSubImage* next = i + 1 < Count() ? &(*this)[i + 1] : nullptr;
    // A file holds extensions only in front of an image or the trailer: those of a frame without
    // an image would become the next frame's. A frame whose image lay outside the screen is shown
    // by other decoders, the last one too.
    if (frame.Empty() && (next || frame.OutsideScreen))
      SaveStandIn(stream, i, inherited, kept, unseen[static_cast<size_t>(i)]);
    else
      frame.SaveToStream(stream);
    const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
    const int own = gce ? gce->Disposal() : 0, carried = gce ? own : inherited ? inherited->Disposal() : 0;
    if (own != 0) named = own;
    kept = !frame.Empty() && own <= 1 && carried <= 1 && named <= 1 ? &frame : nullptr;
    if (gce) inherited = gce;
    image_->Progress(psRunning, (i + 1) * 100 / Count(), "Saving...");
  }
}

// --- the picture ---

TGifPictureBase::TGifPictureBase() : Header(this), Images(this) {}

void TGifPictureBase::Clear() {
  Images.Clear();
  Header.Clear();
}

TGIFVersion TGifPictureBase::Version() const {
  TGIFVersion version = gvUnknown;
  for (int i = 0; i < Images.Count(); ++i) version = std::max(version, Images[i].Version());
  return version;
}

void TGifPictureBase::ReservePixels(int64_t pixels) {
  if (pixels > MaxPicturePixels - reserved_)
    throw GIFException("The frames hold more than the " + std::to_string(MaxPicturePixels) +
                       " pixels the codec takes in one picture");
  reserved_ += pixels;
}

bool TGifPictureBase::ReserveScreen(int right, int bottom) {
  const int width = std::max({Header.Width, reservedWidth_, right});
  const int height = std::max({Header.Height, reservedHeight_, bottom});
  if (width > MaxCoordinate || height > MaxCoordinate || int64_t{width} * height > MaxFramePixels) return false;
  reservedWidth_ = width;
  reservedHeight_ = height;
  return true;
}

void TGifPictureBase::LoadFromStream(TStream& stream) {
  Clear();
  reserved_ = 0;
  reservedWidth_ = reservedHeight_ = 0;
  readOtherwise_ = false;
  Header.LoadFromStream(stream);
  Images.LoadFromStream(stream);
  TGIFTrailer(this).LoadFromStream(stream);
}

void TGifPictureBase::SaveToStream(TStream& stream) {
  Header.SaveToStream(stream);
  Images.SaveToStream(stream);
  TGIFTrailer(this).SaveToStream(stream);
}

void TGifPictureBase::LoadFromFile(const std::u16string& fileName) {
  LoadFile(fileName, [this](TStream& s) { LoadFromStream(s); });
}

void TGifPictureBase::SaveToFile(const std::u16string& fileName) {
  SaveFile(fileName, [this](TStream& s) { SaveToStream(s); });
}

void TGifPictureBase::Warning(TGIFSeverity severity, const std::string& message) {
  if (OnWarning) OnWarning(severity, message);
}

void TGifPictureBase::Progress(TProgressStage stage, int percent, const std::string& message) {
  if (OnProgress) OnProgress(stage, percent, message);
}

}  // namespace gif
