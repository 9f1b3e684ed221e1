#include "htmlview/layout/HtmlBlocks.h"

#include <QPainter>
#include <algorithm>
#include <climits>
#include <optional>

#include "htmlview/layout/HtmlBorder.h"
#include "htmlview/layout/HtmlFonts.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/style/StyleValues.h"

namespace htmlview {

namespace {

// The default width of a border whose style is given without one ("medium").
constexpr int kDefaultBorderWidth = 4;

bool Unset(const TPropValue& v) {
  if (std::holds_alternative<std::monostate>(v)) return true;
  if (auto i = std::get_if<int>(&v)) return *i == IntNull;
  if (auto s = std::get_if<std::u16string>(&v)) return s->empty();
  return false;
}

int ZeroIfAuto(int v) { return v == Auto || v == IntNull ? 0 : v; }

bool StartsWith(const std::u16string& s, const std::u16string& prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool Intersects(int top, int bottom, const TRect& clip) { return top < clip.Bottom && bottom > clip.Top; }

}  // namespace

// ---- block cell ----

int TBlockCell::Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef,
                       int yRef, int& scrollWidth, int& curs) {
  const int h = TCellBasic::Layout(canvas, x, y, width, availableHeight, blockHeight, xRef, yRef, scrollWidth, curs);
  if (TakesWidth) scrollWidth = std::max(scrollWidth, width);
  return h;
}

// ---- background tiles ----

TTileGrid BackgroundTileGrid(int w, int h, int iw, int ih, const TBackgroundPosition& pos) {
  TTileGrid grid;
  // Nothing to cover, or nothing to cover it with.
  if (w <= 0 || h <= 0 || iw <= 0 || ih <= 0) return grid;
  auto axis = [](int length, int imageSize, const TBackgroundAxis& a) {
    TTileAxis t;
    int s = BackgroundOffset(a, length - imageSize);
    if (a.RepeatD) {
      if (s > 0)
        s -= (s / imageSize + 1) * imageSize;
      else if (s <= -imageSize)
        s = -((-s) % imageSize);
      t.Start = s;
      t.End = length;
    } else {
      t.Start = s;
      t.End = s + imageSize > 0 && s < length ? s + 1 : s;
    }
    return t;
  };
  grid.X = axis(w, iw, pos[0]);
  grid.Y = axis(h, ih, pos[1]);
  // A side of one pixel is drawn from a copy enlarged over the span it covers (at most 100), so that
  // a thin stripe is not drawn pixel by pixel.
  grid.TileWidth = iw == 1 ? std::clamp(grid.X.End - grid.X.Start, 1, 100) : iw;
  grid.TileHeight = ih == 1 ? std::clamp(grid.Y.End - grid.Y.Start, 1, 100) : ih;
  return grid;
}

void DrawBackgroundTiles(TCanvas& canvas, const QImage& image, const TTileGrid& grid, const TRect& box, int bandTop,
                         int bandBottom) {
  if (grid.Empty() || image.isNull()) return;
  const TRect band{box.Left, std::max(box.Top, bandTop), box.Right, std::min(box.Bottom, bandBottom)};
  if (band.Width() <= 0 || band.Height() <= 0) return;
  const QImage tile = image.width() == grid.TileWidth && image.height() == grid.TileHeight
                          ? image
                          : image.scaled(grid.TileWidth, grid.TileHeight);
  // Only the rows of copies that meet the band.
  int y0 = grid.Y.Start;
  const int skip = (band.Top - box.Top) - grid.Y.Start;
  if (skip > 0) y0 += skip / grid.TileHeight * grid.TileHeight;
  TClipScope keep(canvas, band, false);
  for (int y = y0; y < grid.Y.End && box.Top + y < band.Bottom; y += grid.TileHeight)
    for (int x = grid.X.Start; x < grid.X.End; x += grid.TileWidth) canvas.DrawImage(box.Left + x, box.Top + y, tile);
}

// ---- block ----

TBlock::TBlock(ThtDocument* owner, TCellBasic* ownerCell, TProperties& props, TAttributeList* attributes,
               bool collapseMargins)
    : TSectionBase(owner, ownerCell) {
  MyCell = std::make_unique<TBlockCell>(owner, this);
  MyCell->OwnersTag = props.PropTag;
  Display = static_cast<uint8_t>(props.GetDisplay());
  TagClass = props.PropTag + u"." + props.PropClass + u"#" + props.PropID;
  props.GetFont();
  EmSize = props.EmSize;
  ExSize = props.ExSize;
  props.CopyBoxProps(MargArrayO, true);
  HasBorderStyle = props.HasBorderStyle();
  const int fl = props.GetFloat();
  Floating = fl == 5 ? flLeft : fl == 6 ? flRight : flNone;
  Clear = static_cast<TClearStyle>(props.GetClear());
  Positioning = static_cast<TPositionType>(props.GetPosition());
  if (Positioning == posAbsolute) Floating = flNone;
  Visibility = props.GetVisibility();
  props.GetPageBreaks(BreakBefore, BreakAfter, BreakInside);
  HideOverflow = props.IsOverflowHidden();
  const std::u16string align = props.Text(TextAlign);
  Justification = align == u"right" ? jRight : align == u"center" ? jCentre : jLeft;
  BkColor = props.GetBackgroundColor();
  const std::u16string image = props.GetBackgroundImage();
  if (image != u"none" && !image.empty()) {
    BGImage = std::make_unique<TBackground>();
    BGImage->Name = image;
    BGImage->Pos = props.GetBackgroundPos();
  }
  ZIndex = props.GetZIndex() * 10;
  if (IsAbsolutelyPositioned() && ZIndex == 0) ZIndex = 10;
  if (Floating != flNone && ZIndex == 0) ZIndex = 1;
  if (Floating != flNone || IsAbsolutelyPositioned()) OwnIMgr = std::make_unique<TIndentManager>();
  if (attributes) {
    Title = attributes->TheTitle();
    const std::u16string id = attributes->TheID();
    if (!id.empty() && owner) owner->IdentifierList.AddObject(id, this);
  }
  int autoCount = 0;
  ConvertMargins(400, 0, autoCount);
  if (collapseMargins) CollapseMargins();
}

TBlock::TBlock(ThtDocument* owner, TCellBasic* ownerCell, const TBlock& source)
    : TSectionBase(owner, ownerCell, source), TagClass(source.TagClass), Title(source.Title),
      MargArray(source.MargArray), MargArrayO(source.MargArrayO), EmSize(source.EmSize), ExSize(source.ExSize),
      HasBorderStyle(source.HasBorderStyle), Floating(source.Floating), Clear(source.Clear),
      Positioning(source.Positioning), Visibility(source.Visibility), BreakBefore(source.BreakBefore),
      BreakAfter(source.BreakAfter), BreakInside(source.BreakInside), HideOverflow(source.HideOverflow),
      Justification(source.Justification), BkColor(source.BkColor), TopAuto(source.TopAuto),
      BottomAuto(source.BottomAuto) {
  MyCell = std::make_unique<TBlockCell>(owner, this, *source.MyCell);
  if (source.BGImage) {
    BGImage = std::make_unique<TBackground>();
    BGImage->Name = source.BGImage->Name;
    BGImage->Pos = source.BGImage->Pos;
    if (owner && owner->ShowImages) {
      BGImage->Image = source.BGImage->Image;
      BGImage->Pending = source.BGImage->Pending;
    }
    BGImage->TilesNeeded = BGImage->Image != nullptr;
  }
  if (Floating != flNone || IsAbsolutelyPositioned()) OwnIMgr = std::make_unique<TIndentManager>();
}

TBlock::~TBlock() {
  if (Owner) Owner->IdentifierList.RemoveObject(this);
}

std::unique_ptr<TSectionBase> TBlock::CreateCopy(ThtDocument* owner, TCellBasic* cell) const {
  return std::make_unique<TBlock>(owner, cell, *this);
}

void TBlock::ConvertMargins(int baseWidth, int baseHeight, int& autoCount) {
  ConvertMarginsTo(MargArray, baseWidth, baseHeight, autoCount);
}

void TBlock::ConvertMarginsTo(TMarginArray& m, int baseWidth, int baseHeight, int& autoCount) {
  ConvMargArray(MargArrayO, baseWidth, baseHeight, kDefaultBorderWidth, EmSize, ExSize, m, autoCount);
  bool topAuto = false, bottomAuto = false;
  ConvVertMargins(MargArrayO, baseWidth, EmSize, ExSize, m, topAuto, bottomAuto);
  if (&m == &MargArray) TopAuto = topAuto, BottomAuto = bottomAuto;
  ApplyBoxSizing(m);
}

void TBlock::CollapseMargins() {
  if (Hidden() || Floating != flNone || Positioning == posAbsolute) return;
  if (IsAbsolutelyPositioned()) {
    if (TopAuto) MargArrayO.Set(MarginTop, 0);
    return;
  }
  TSectionBase* prev = nullptr;
  if (OwnerCell)
    for (int k = OwnerCell->Count() - 1; k >= 0; --k) {
      TSectionBase* s = (*OwnerCell)[k];
      if (s == this || s->Display == pdNone || s->IsAbsolutelyPositioned()) continue;
      prev = s;
      break;
    }
  int top = MargArray[MarginTop];
  if (!prev) {
    if (TopAuto) {
      top = 0;
    } else if (OwnerCell && (OwnerCell->OwnersTag == u"default" || OwnerCell->OwnersTag == u"body")) {
      if (auto* cell = dynamic_cast<TBlockCell*>(OwnerCell); cell && cell->OwnerBlock)
        top = std::max(0, top - cell->OwnerBlock->MargArray[MarginTop]);
    }
  } else if (auto* block = dynamic_cast<TBlock*>(prev)) {
    if (block->Floating != flNone && StartsWith(block->TagClass, u"table")) {
      if (TopAuto) top = 0;
    } else {
      const int b = block->MargArray[MarginBottom];
      block->MargArrayO.Set(MarginBottom, 0);
      block->MargArray[MarginBottom] = 0;
      block->BottomAuto = false;
      if (top >= 0 && b >= 0)
        top = std::max(top, b);
      else if (top < 0 && b < 0)
        top = std::min(top, b);
      else
        top += b;
    }
  } else if (dynamic_cast<TSection*>(prev)) {
    if (OwnerCell && OwnerCell->OwnersTag == u"li" && TopAuto &&
        (StartsWith(TagClass, u"ul.") || StartsWith(TagClass, u"ol.")))
      top = 0;
  }
  if (top != MargArray[MarginTop]) {
    MargArrayO.Set(MarginTop, top);
    MargArray[MarginTop] = top;
    TopAuto = false;
  }
}

void TBlock::WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) {
  minWidth = maxWidth = 0;
  if (Hidden() || IsAbsolutelyPositioned()) return;
  // Against a base width of 400, in an array of its own: the layout's array stays as drawn.
  TMarginArray m{};
  int autoCount = 0;
  ConvertMarginsTo(m, 400, 0, autoCount);
  const int width = m[piWidth];
  const bool hide = HideOverflow && width != Auto && width > 20;
  int cellMin = 0, cellMax = 0;
  if (hide)
    cellMin = cellMax = width;
  else
    MyCell->WidthRange(canvas, cellMin, cellMax);
  const int l = ZeroIfAuto(m[MarginLeft]) + m[PaddingLeft] + m[BorderLeftWidth];
  const int r = ZeroIfAuto(m[MarginRight]) + m[PaddingRight] + m[BorderRightWidth];
  if (width != Auto && width > 0) {
    minWidth = maxWidth = CapCoord(static_cast<long long>(width) + l + r);
  } else {
    const int w = width == Auto ? 0 : std::max(0, width);
    minWidth = CapCoord(static_cast<long long>(std::max(w, cellMin)) + l + r);
    maxWidth = CapCoord(static_cast<long long>(std::max(w, cellMax)) + l + r);
  }
}

int TBlock::FindWidth(TCanvas& canvas, int availableWidth, int /*availableHeight*/, int /*autoCount*/) {
  int& ml = MargArray[MarginLeft];
  int& mr = MargArray[MarginRight];
  const int sides = MargArray[BorderLeftWidth] + MargArray[PaddingLeft] + MargArray[PaddingRight] +
                    MargArray[BorderRightWidth];
  const int width = MargArray[piWidth];
  if (width == Auto || width == IntNull) {
    ml = ZeroIfAuto(ml);
    mr = ZeroIfAuto(mr);
    int result = availableWidth - ml - mr - sides;
    if (Floating != flNone && !IsAbsolutelyPositioned()) {
      int cellMin = 0, cellMax = 0;
      MyCell->WidthRange(canvas, cellMin, cellMax);
      result = std::max(std::min(result, cellMax), cellMin);
    } else {
      // Only the least width can widen the block.
      const int cellMin = MyCell->MinWidth(canvas);
      if (IsAbsolutelyPositioned()) result -= ZeroIfAuto(MargArray[LeftPos]);
      result = std::max(result, cellMin);
    }
    return std::max(0, result);
  }
  const int free = availableWidth - width - sides;
  if (ml == Auto && mr == Auto) {
    ml = std::max(0, free / 2);
    mr = std::max(0, free - ml);
  } else if (ml == Auto) {
    mr = ZeroIfAuto(mr);
    ml = std::max(0, free - mr);
  } else if (mr == Auto) {
    ml = ZeroIfAuto(ml);
    mr = std::max(0, free - ml);
  }
  return std::max(0, width);
}

void TBlock::LoadBackgroundImage() {
  if (!BGImage) return;
  if (!Owner || !Owner->ShowImages) {
    BGImage->Image.reset();
    BGImage->Pending = false;
    return;
  }
  if (BGImage->Image && !BGImage->Pending) return;
  bool pending = false;
  std::shared_ptr<TDocImage> image = BGImage->Wait.Get(*Owner, Owner->ImageName(BGImage->Name), pending);
  BGImage->Pending = !image && pending;
  if (image && !image->Error) {
    BGImage->Image = std::move(image);
    BGImage->TilesNeeded = true;
  } else {
    // An image that failed draws nothing: the block shows its colour.
    BGImage->Image.reset();
    BGImage->TilesNeeded = false;
  }
}

int TBlock::Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
                   TIndentManager& imgr, int& maxWidth, int& curs) {
  (void)blockHeight;  // a block's own height comes from its style
  layoutX_ = x;
  StartChar = curs;
  if (Hidden()) {
    maxWidth = 0;
    CharCount = 0;
    SectionHeight = DrawHeight = 0;
    YPos = DrawTop = ContentTop = ContentBottom = DrawBottom = y;
    BlockX = ContentLeft = x;
    BlockTop = BlockBottom = y;
    NewWidth = 0;
    return 0;
  }
  int clearSpace = 0;
  int clearLeft = 0, clearRight = 0;
  imgr.GetClearLeftRight(clearLeft, clearRight);
  // The lowest float bottom of a side (0 when none) is one above what GetClearLeftRight gives.
  if (Clear == clrLeft || Clear == clrBoth) clearSpace = std::max(clearSpace, std::max(0, clearLeft - 1) - y);
  if (Clear == clrRight || Clear == clrBoth) clearSpace = std::max(clearSpace, std::max(0, clearRight - 1) - y);
  ConvertMargins(width, availableHeight, autoCount_);
  NewWidth = FindWidth(canvas, width, availableHeight, autoCount_);
  const int leftSide = MargArray[MarginLeft] + MargArray[BorderLeftWidth] + MargArray[PaddingLeft];
  const int rightSide = MargArray[MarginRight] + MargArray[BorderRightWidth] + MargArray[PaddingRight];
  const int totalWidth = NewWidth + leftSide + rightSide;
  const int vertSides =
      MargArray[PaddingTop] + MargArray[BorderTopWidth] + MargArray[PaddingBottom] + MargArray[BorderBottomWidth];
  const int givenHeight = std::max(0, MargArray[piHeight]);

  leftOffset_ = topOffset_ = 0;
  int top = y + clearSpace;
  BlockX = x;
  if (Positioning == posRelative) {
    leftOffset_ = ZeroIfAuto(MargArray[LeftPos]);
    topOffset_ = ZeroIfAuto(MargArray[TopPos]);
  } else if (IsAbsolutelyPositioned()) {
    leftOffset_ = ZeroIfAuto(MargArray[LeftPos]);
    if (MargArray[TopPos] != Auto)
      topOffset_ = MargArray[TopPos];
    else if (MargArray[BottomPos] != Auto && givenHeight > 0)
      topOffset_ = availableHeight - MargArray[BottomPos] - givenHeight - vertSides;
    BlockX = xRef + leftOffset_;
    top = yRef + topOffset_;
  }
  if (Floating == flLeft)
    BlockX = imgr.AlignLeft(top, totalWidth);
  else if (Floating == flRight)
    BlockX = imgr.AlignRight(top, totalWidth);
  // However many floats went before and however far the offsets, the block stays on the page,
  // its top margin with it.
  BlockX = CapCoord(BlockX);
  top = CapCoord(top);
  if (MargArray[MarginTop] > MaxCoord - top) MargArray[MarginTop] = MaxCoord - top;
  BlockTop = top;
  DrawTop = MargArray[MarginTop] > 0 ? top + MargArray[MarginTop] : top;
  ContentTop = CapCoord(static_cast<long long>(top) + MargArray[MarginTop] + MargArray[BorderTopWidth] +
                        MargArray[PaddingTop]);
  ContentLeft = CapCoord(static_cast<long long>(BlockX) + leftSide);
  YPos = top;

  TIndentManager* mgr = &imgr;
  if (OutOfFlow()) {
    if (!OwnIMgr) OwnIMgr = std::make_unique<TIndentManager>();
    mgr = OwnIMgr.get();
    mgr->Reset(ContentLeft, NewWidth);
  }
  const TIndentID saveID = mgr->CurrentID;
  mgr->CurrentID = this;
  const int li = mgr->SetLeftEdge(ContentLeft - mgr->LfEdge, ContentTop);
  const int ri = mgr->SetRightEdge(ContentLeft + NewWidth - mgr->LfEdge, ContentTop);
  MyCell->IMgr = mgr;
  int scrollWidth = 0;
  const int childXRef = OutOfFlow() ? BlockX : xRef;
  const int childYRef = OutOfFlow() ? top : yRef;
  const int cellHeight = MyCell->Layout(canvas, ContentLeft, ContentTop, NewWidth,
                                        givenHeight > 0 ? givenHeight : availableHeight, givenHeight, childXRef,
                                        childYRef, scrollWidth, curs);
  maxWidth = CapCoord(static_cast<long long>(std::max(scrollWidth, NewWidth)) + leftSide + rightSide);

  if (HideOverflow && givenHeight > 3) {
    ContentBottom = ContentTop + givenHeight;
  } else {
    ContentBottom = std::max({ContentTop + givenHeight, ContentTop + cellHeight, MyCell->tcContentBot});
    if (OutOfFlow()) ContentBottom = std::max(ContentBottom, mgr->GetClearY());
  }
  CharCount = curs - StartChar;
  const int bottomSides = MargArray[PaddingBottom] + MargArray[BorderBottomWidth];
  DrawBottom = std::max(MyCell->tcDrawBot, ContentBottom) + bottomSides;
  BlockBottom = ContentBottom + bottomSides + MargArray[MarginBottom];

  LoadBackgroundImage();

  mgr->DeleteRight(ri);
  mgr->DeleteLeft(li);
  mgr->CurrentID = saveID;
  MyRect = {BlockX + MargArray[MarginLeft] + leftOffset_, top + MargArray[MarginTop] + topOffset_,
            ContentLeft + NewWidth + MargArray[PaddingRight] + MargArray[BorderRightWidth] + leftOffset_,
            ContentBottom + bottomSides + topOffset_};
  BuildDrawList();

  if (OutOfFlow()) {
    if (Floating == flLeft)
      imgr.AddLeft(top, BlockBottom, totalWidth);
    else if (Floating == flRight)
      imgr.AddRight(top, BlockBottom, totalWidth);
    SectionHeight = 0;
    DrawHeight = DrawBottom - y;
  } else {
    SectionHeight = BlockBottom - y;
    DrawHeight = std::max(SectionHeight, imgr.GetClearY() - y);
  }
  return SectionHeight;
}

void TBlock::BuildDrawList() {
  DrawList.clear();
  for (const auto& s : *MyCell) DrawList.push_back(s.get());
  // Sections of z-index 0 first in document order, then the others by z-index.
  positionedInside_ = false;
  for (const TSectionBase* s : DrawList) {
    if (s->IsAbsolutelyPositioned()) positionedInside_ = true;
    if (auto* b = dynamic_cast<const TBlock*>(s); b && (b->Positioning == posRelative || b->positionedInside_))
      positionedInside_ = true;
  }
  std::stable_sort(DrawList.begin(), DrawList.end(), [](const TSectionBase* a, const TSectionBase* b) {
    const long long ka = a->ZIndex == 0 ? LLONG_MIN : a->ZIndex;
    const long long kb = b->ZIndex == 0 ? LLONG_MIN : b->ZIndex;
    return ka < kb;
  });
}

void TBlock::DrawBackground(TCanvas& canvas, const TRect& clip, const TRect& box) {
  const bool printing = Owner && Owner->Printing;
  if (BkColor != clNone && (!printing || Owner->PrintBackgrounds)) FillRectColor(canvas, box, BkColor);
  if (!BGImage || !Owner || !Owner->ShowImages) return;
  if (printing && !Owner->PrintBackgroundImages) return;
  if (BGImage->Pending) LoadBackgroundImage();  // arrived since the layout?
  if (!BGImage->Image || BGImage->Pending) return;
  BGImage->TilesNeeded = false;
  const TTileGrid grid = BackgroundTileGrid(box.Width(), box.Height(), BGImage->Image->Image.width(),
                                            BGImage->Image->Image.height(), BGImage->Pos);
  DrawBackgroundTiles(canvas, BGImage->Image->Image, grid, box, std::max(box.Top, clip.Top - 2),
                      std::min(box.Bottom, clip.Bottom));
}

int TBlock::DrawContent(TCanvas& canvas, const TRect& clip, int /*clipWidth*/, int x, int xRef, int yRef) {
  if (OwnIMgr && OutOfFlow())
    OwnIMgr->Reset(x, NewWidth);
  else if (MyCell->IMgr)
    MyCell->IMgr->ClipWidth = NewWidth;
  int bottom = 0;
  for (TSectionBase* s : DrawList) bottom = std::max(bottom, s->Draw(canvas, clip, NewWidth, x, xRef, yRef));
  return bottom;
}

bool TBlock::PaintsBox() const {
  if (HasBorderStyle && (MargArray[BorderLeftWidth] > 0 || MargArray[BorderTopWidth] > 0 ||
                         MargArray[BorderRightWidth] > 0 || MargArray[BorderBottomWidth] > 0))
    return true;
  if (!Owner) return false;
  return (BkColor != clNone && Owner->PrintBackgrounds) ||
         (BGImage && Owner->ShowImages && Owner->PrintBackgroundImages);
}

int TBlock::InkBottom() const {
  if (Hidden() || Visibility == 1) return INT_MIN;
  int bottom = MyCell->InkBottom();
  if (bottom != INT_MIN && Positioning == posRelative) bottom += topOffset_;
  if (PaintsBox()) bottom = std::max({bottom, DrawBottom, MyRect.Bottom});
  return bottom;
}

void TBlock::AdjustPageBreak(int yOffset) {
  if (!Owner || !Owner->Printing || IsAbsolutelyPositioned()) return;
  ThtDocument& d = *Owner;
  // Only a break that leaves something on the page: the first thing on a page never moves it.
  const int pageTop = yOffset;
  if (BreakBefore && !d.FirstPageItem && BlockTop > pageTop && BlockTop < d.PageBottom) {
    d.PageBottom = BlockTop;
    d.PageShortened = true;
  } else if (BreakAfter && BlockBottom > pageTop && BlockBottom < d.PageBottom) {
    d.PageBottom = BlockBottom;
    d.PageShortened = true;
  } else if (BreakInside && !d.FirstPageItem && BlockTop > pageTop && BlockTop < d.PageBottom &&
             DrawBottom > d.PageBottom) {
    d.PageBottom = BlockTop;
    d.PageShortened = true;
  }
  if (BlockTop < d.PageBottom && DrawBottom > pageTop) {
    d.FirstPageItem = false;
    if (PaintsBox()) d.PageInked = true;
  }
}

int TBlock::Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) {
  if (Hidden() || Visibility == 1) return DrawBottom;
  // A positioned block with a z-index stands above the boxes around it: no clip of theirs (a hidden
  // overflow, a table cell) cuts it.
  std::optional<TClipScope> lifted;
  if (Positioning != posStatic && ZIndex != 0) {
    lifted.emplace(canvas);
    canvas.ClearClip();
  }
  const int yOffset = Owner ? Owner->YOffset : 0;
  AdjustPageBreak(yOffset);
  const bool relative = Positioning == posRelative;
  const int shiftX = x - layoutX_;
  // MyRect holds the relative offsets already.
  const TRect border = MyRect.Offset(shiftX, -yOffset);
  const TRect padding{border.Left + MargArray[BorderLeftWidth], border.Top + MargArray[BorderTopWidth],
                      border.Right - MargArray[BorderRightWidth], border.Bottom - MargArray[BorderBottomWidth]};
  const bool meets =
      Intersects(std::min(border.Top, DrawTop - yOffset), std::max(border.Bottom, DrawBottom - yOffset), clip);
  if (meets) {
    DrawBackground(canvas, clip, padding);
    if (HasBorderStyle && !(border == padding)) {
      TBorderColors colors = {static_cast<TColor>(MargArray[BorderLeftColor]),
                              static_cast<TColor>(MargArray[BorderTopColor]),
                              static_cast<TColor>(MargArray[BorderRightColor]),
                              static_cast<TColor>(MargArray[BorderBottomColor])};
      for (TColor& c : colors)
        if (c == clNone || c == static_cast<TColor>(IntNull)) c = clBlack;
      AdjustBorderColors(colors);
      const TBorderStyles styles = {MargArray[BorderLeftStyle], MargArray[BorderTopStyle],
                                    MargArray[BorderRightStyle], MargArray[BorderBottomStyle]};
      DrawBorder(canvas, border, padding, colors, styles, BkColor, Owner && Owner->Printing);
    }
  }
  // Off the clip only positioned content may still show (and relatively placed content moves).
  if (!meets && !relative && !HasPositionedContent()) return DrawBottom;
  // The content of a relatively positioned block moves with it: its sections place themselves by
  // the document's offset.
  const int dy = relative ? topOffset_ : 0;
  if (Owner) Owner->YOffset -= dy;
  const int contentX = ContentLeft + shiftX + (relative ? leftOffset_ : 0);
  const int childXRef = OutOfFlow() ? BlockX + shiftX : xRef;
  const int childYRef = OutOfFlow() ? BlockTop : yRef;
  int bottom = 0;
  if (HideOverflow && Owner)
    bottom = DrawContentClipped(canvas, clip, clipWidth, contentX, childXRef, childYRef);
  else
    bottom = DrawContent(canvas, clip, clipWidth, contentX, childXRef, childYRef);
  if (Owner) Owner->YOffset += dy;
  return std::max(bottom, DrawBottom);
}

int TBlock::DrawContentClipped(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) {
  // Whatever reaches beyond the content box is cut off (positioned content with a z-index lifts
  // the clip for itself).
  const int top = ContentTop - Owner->YOffset;
  const TRect box{x, top, x + NewWidth, top + (ContentBottom - ContentTop)};
  const TRect visible{std::max(box.Left, clip.Left), std::max(box.Top, clip.Top), std::min(box.Right, clip.Right),
                      std::min(box.Bottom, clip.Bottom)};
  // Nothing of the box shows, but positioned content may lie elsewhere.
  if ((visible.Width() <= 0 || visible.Height() <= 0) && !HasPositionedContent()) return DrawBottom;
  TClipScope keep(canvas, box, Owner->Printing);
  return DrawContent(canvas, clip, clipWidth, x, xRef, yRef);
}

bool TBlock::HasPositionedContent() const { return positionedInside_; }

bool TBlock::CharToPoint(int index, int& x, int& y, int& height) {
  return !Hidden() && MyCell->CharToPoint(index, x, y, height);
}

int TBlock::PointToChar(TCanvas& canvas, int x, int y, int& caretX, int& caretY, int& caretHeight, bool& inText) {
  inText = false;
  return Hidden() ? -1 : MyCell->PointToChar(canvas, x, y, caretX, caretY, caretHeight, inText);
}

int TBlock::SourceToChar(int source, bool backwards) {
  return Hidden() ? -1 : MyCell->SourceToChar(source, backwards);
}

void TBlock::TextSections(std::vector<TSection*>& out) {
  if (!Hidden()) MyCell->TextSections(out);
}

int TBlock::CharToSource(int index) { return Hidden() ? -1 : MyCell->CharToSource(index); }

int TBlock::SearchForward(int start, const std::u16string& text, bool matchCase) {
  return Hidden() ? -1 : MyCell->SearchForward(start, text, matchCase);
}

int TBlock::SearchBackward(int start, const std::u16string& text, bool matchCase) {
  return Hidden() ? -1 : MyCell->SearchBackward(start, text, matchCase);
}

bool TBlock::CharAt(int index, char16_t& ch, TIDObject*& object) {
  ch = 0;
  object = nullptr;
  return !Hidden() && MyCell->CharAt(index, ch, object);
}

unsigned TBlock::LinkAtPoint(TCanvas& canvas, int x, int y, std::unique_ptr<TUrlTarget>& url,
                             TFormControlObj*& control, std::u16string& title) {
  url.reset();
  control = nullptr;
  title.clear();
  if (Hidden()) return 0;
  unsigned flags = MyCell->LinkAtPoint(canvas, x, y, url, control, title);
  if (!(flags & guTitle) && !Title.empty() && x >= MyRect.Left && x < MyRect.Right && y >= MyRect.Top &&
      y < MyRect.Bottom) {
    title = Title;
    flags |= guTitle;
  }
  return flags;
}

bool TBlock::ObjectAtPoint(int x, int y, TFloatingObj*& object, int& objX, int& objY) {
  object = nullptr;
  return !Hidden() && MyCell->ObjectAtPoint(x, y, object, objX, objY);
}

void TBlock::RegisterPosition() { MyCell->AddSectionsToPositions(); }

void TBlock::CopySelection() {
  if (Hidden() || !Owner) return;
  MyCell->CopySelection();
  const int end = StartChar + CharCount;
  if (StartsWith(TagClass, u"p.") && Owner->CB && Owner->SelectionEnd > end && Owner->SelectionStart < end)
    Owner->CB->AddText(u"\r\n", 2);
}

bool TBlock::CheckLastBottomMargin() {
  if (!BottomAuto) return false;
  MargArrayO.Set(MarginBottom, 0);
  MargArray[MarginBottom] = 0;
  BottomAuto = false;
  return true;
}

// ---- body ----

TBodyBlock::TBodyBlock(ThtDocument* owner, TCellBasic* ownerCell, TProperties& props, TAttributeList* attributes)
    : TBlock(owner, ownerCell, props, attributes) {
  Positioning = posStatic;
  Floating = flNone;
  OwnIMgr.reset();
  ZIndex = 0;
  // The page's background is drawn by the viewer across the whole window.
  if (owner) {
    if (BGImage) owner->SetBackgroundImage(BGImage->Name, BGImage->Pos);
    if (BkColor != clNone) owner->SetBackground(BkColor);
  }
  BGImage.reset();
  BkColor = clNone;
}

std::unique_ptr<TSectionBase> TBodyBlock::CreateCopy(ThtDocument* owner, TCellBasic* cell) const {
  return std::make_unique<TBodyBlock>(owner, cell, *this);
}

int TBodyBlock::Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef,
                       int yRef, TIndentManager& imgr, int& maxWidth, int& curs) {
  layoutX_ = x;
  StartChar = curs;
  if (Hidden()) return TBlock::Layout(canvas, x, y, width, availableHeight, blockHeight, xRef, yRef, imgr, maxWidth,
                                      curs);
  ConvertMargins(width, availableHeight, autoCount_);
  int& ml = MargArray[MarginLeft];
  int& mr = MargArray[MarginRight];
  ml = ZeroIfAuto(ml);
  mr = ZeroIfAuto(mr);
  const int leftSide = ml + MargArray[BorderLeftWidth] + MargArray[PaddingLeft];
  const int rightSide = mr + MargArray[BorderRightWidth] + MargArray[PaddingRight];
  NewWidth = std::max(0, imgr.Width - leftSide - rightSide);
  leftOffset_ = topOffset_ = 0;
  BlockX = x;
  BlockTop = YPos = y;
  DrawTop = MargArray[MarginTop] > 0 ? y + MargArray[MarginTop] : y;
  ContentTop = y + MargArray[MarginTop] + MargArray[BorderTopWidth] + MargArray[PaddingTop];
  ContentLeft = x + leftSide;
  const TIndentID saveID = imgr.CurrentID;
  imgr.CurrentID = this;
  const int li = imgr.SetLeftEdge(ContentLeft - imgr.LfEdge, ContentTop);
  const int ri = imgr.SetRightEdge(ContentLeft + NewWidth - imgr.LfEdge, ContentTop);
  MyCell->IMgr = &imgr;
  int scrollWidth = 0;
  const int cellHeight =
      MyCell->Layout(canvas, ContentLeft, ContentTop, NewWidth,
                     availableHeight - MargArray[MarginTop] - MargArray[MarginBottom], 0, xRef, yRef, scrollWidth,
                     curs);
  maxWidth = std::max(ml + std::max(NewWidth, scrollWidth) + mr, imgr.Width);
  ContentBottom = std::max(ContentTop + cellHeight, MyCell->tcContentBot);
  CharCount = curs - StartChar;
  const int bottomSides = MargArray[PaddingBottom] + MargArray[BorderBottomWidth];
  DrawBottom = std::max(MyCell->tcDrawBot, ContentBottom) + bottomSides;
  BlockBottom = ContentBottom + bottomSides + MargArray[MarginBottom];
  imgr.DeleteRight(ri);
  imgr.DeleteLeft(li);
  imgr.CurrentID = saveID;
  MyRect = {x + ml, y + MargArray[MarginTop], ContentLeft + NewWidth + MargArray[PaddingRight] +
                                                  MargArray[BorderRightWidth],
            ContentBottom + bottomSides};
  BuildDrawList();
  SectionHeight = BlockBottom - y;
  DrawHeight = std::max(SectionHeight, imgr.GetClearY() - y);
  return SectionHeight;
}

// ---- list items ----

std::u16string ListMarkerText(TListStyle style, int number) {
  static const char16_t* const roman[20] = {u"i",   u"ii",   u"iii",   u"iv",  u"v",  u"vi",  u"vii",
                                            u"viii", u"ix",  u"x",     u"xi",  u"xii", u"xiii", u"xiv",
                                            u"xv",  u"xvi", u"xvii", u"xviii", u"xix", u"xx"};
  auto decimal = [](int n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
  };
  std::u16string text;
  switch (style) {
    case lbDecimal:
      text = decimal(number);
      break;
    case lbLowerAlpha:
    case lbUpperAlpha:
    case lbLowerRoman:
    case lbUpperRoman: {
      // Letters and numerals start at 1: numbers below are shown in decimal.
      if (number < 1) {
        text = decimal(number);
        break;
      }
      const bool upper = style == lbUpperAlpha || style == lbUpperRoman;
      if (style == lbLowerAlpha || style == lbUpperAlpha)
        text = std::u16string(1, static_cast<char16_t>((upper ? u'A' : u'a') + std::min(number - 1, 25)));
      else
        text = roman[std::min(number, 20) - 1];
      if (style == lbUpperRoman)
        for (char16_t& c : text) c = static_cast<char16_t>(c - u'a' + u'A');
      break;
    }
    default:
      return {};
  }
  return text + u".";
}

TBlockLI::TBlockLI(ThtDocument* owner, TCellBasic* ownerCell, TProperties& props, TAttributeList* attributes,
                   Symb listType, int nestLevel, bool plain, int listNumb)
    : TBlock(owner, ownerCell, props, attributes), ListType(listType), ListNumb(listNumb) {
  switch (listType) {
    case OlSy: {
      ListStyleType = lbDecimal;
      if (TAttribute* type = attributes ? attributes->Find(TypeSy) : nullptr; type && !type->Name.empty()) {
        switch (type->Name[0]) {
          case u'A': ListStyleType = lbUpperAlpha; break;
          case u'I': ListStyleType = lbUpperRoman; break;
          case u'a': ListStyleType = lbLowerAlpha; break;
          case u'i': ListStyleType = lbLowerRoman; break;
          default: break;
        }
      }
      break;
    }
    case UlSy:
    case DirSy:
    case MenuSy:
      if (plain || (Display != pdListItem && Display != pdUnassigned))
        ListStyleType = lbNone;
      else
        ListStyleType = nestLevel % 3 == 1 ? lbDisc : nestLevel % 3 == 2 ? lbCircle : lbSquare;
      break;
    case DlSy:
      ListStyleType = lbNone;
      break;
    default: {
      ListStyleType = lbDisc;
      const TPropValue& t = MargArrayO[MarginTop];
      if (Unset(t) || (std::holds_alternative<int>(t) && std::get<int>(t) == 0)) {
        MargArrayO.Set(MarginTop, 16);
        MargArray[MarginTop] = 16;
        TopAuto = false;
      }
      break;
    }
  }
  const int styled = props.GetListStyleType();
  if (styled != lbBlank && !props.Text(TPropIndex::ListStyleType).empty()) ListStyleType = static_cast<TListStyle>(styled);
  if (Unset(MargArrayO[PaddingLeft])) {
    const bool list = listType == OlSy || listType == UlSy || listType == DirSy || listType == MenuSy;
    MargArrayO.Set(PaddingLeft, listType == DlSy || (list && plain) ? 0 : 40);
  }
  ListFont = props.GetFont();
  ListColor = ListFont.Color;
  const std::u16string image = props.GetListStyleImage();
  if (!image.empty() && image != u"none") {
    ListImage = std::make_unique<TListImage>();
    ListImage->Name = image;
  }
  int autoCount = 0;
  ConvertMargins(400, 0, autoCount);
}

TBlockLI::TBlockLI(ThtDocument* owner, TCellBasic* ownerCell, const TBlockLI& source)
    : TBlock(owner, ownerCell, source), ListType(source.ListType), ListNumb(source.ListNumb),
      ListStyleType(source.ListStyleType), ListFont(source.ListFont), ListColor(source.ListColor),
      FirstLineBaseline(source.FirstLineBaseline) {
  if (source.ListImage) {
    ListImage = std::make_unique<TListImage>();
    ListImage->Name = source.ListImage->Name;
    ListImage->Image = source.ListImage->Image;
  }
}

std::unique_ptr<TSectionBase> TBlockLI::CreateCopy(ThtDocument* owner, TCellBasic* cell) const {
  return std::make_unique<TBlockLI>(owner, cell, *this);
}

namespace {

// The baseline of a cell's first line, from the cell's top; -1 when it has no line.
int FirstBaseline(const TCellBasic& cell, int top) {
  for (const auto& s : cell) {
    if (s->Display == pdNone) continue;
    if (auto* text = dynamic_cast<const TSection*>(s.get())) {
      if (text->Lines.empty()) continue;
      const LineRec& line = text->Lines.front();
      return line.LineY + line.SpaceAbove + line.LineHeight - line.Descent - top;
    }
    if (auto* block = dynamic_cast<const TBlock*>(s.get())) {
      if (block->OutOfFlow()) continue;
      const int b = FirstBaseline(*block->MyCell, top);
      if (b >= 0) return b;
    }
    if (s->SectionHeight > 0) return -1;
  }
  return -1;
}

}  // namespace

int TBlockLI::Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef,
                     int yRef, TIndentManager& imgr, int& maxWidth, int& curs) {
  if (ListImage && Owner && Owner->ShowImages && !ListImage->Image) {
    bool pending = false;
    ListImage->Image = ListImage->Wait.Get(*Owner, Owner->ImageName(ListImage->Name), pending);
    if (ListImage->Image && ListImage->Image->Error) ListImage->Image.reset();
  }
  const int h = TBlock::Layout(canvas, x, y, width, availableHeight, blockHeight, xRef, yRef, imgr, maxWidth, curs);
  FirstLineBaseline = Hidden() ? -1 : FirstBaseline(*MyCell, ContentTop);
  return h;
}

bool TBlockLI::CheckLastBottomMargin() {
  const bool own = TBlock::CheckLastBottomMargin();
  const bool inner = MyCell->CheckLastBottomMargin();
  return own || inner;
}

void TBlockLI::DrawMarker(TCanvas& canvas, int x, int y) {
  if (ListImage && ListImage->Image && Owner && Owner->ShowImages) {
    const QImage& image = ListImage->Image->Image;
    canvas.DrawImage(x - 16, y - image.height(), image);
    return;
  }
  switch (ListStyleType) {
    case lbCircle:
    case lbDisc: {
      const TPen savePen = canvas.Pen;
      const TBrush saveBrush = canvas.Brush;
      canvas.Pen = {ListColor, 1, psSolid};
      if (ListStyleType == lbCircle) {
        canvas.Brush.Style = bsClear;
        canvas.Ellipse(x - 16, y - 7, x - 9, y);
      } else {
        canvas.Brush = {ListColor, bsSolid};
        canvas.Ellipse(x - 15, y - 6, x - 10, y - 1);
      }
      canvas.Pen = savePen;
      canvas.Brush = saveBrush;
      return;
    }
    case lbSquare:
      FillRectColor(canvas, {x - 15, y - 6, x - 10, y - 1}, ListColor);
      return;
    default:
      break;
  }
  const std::u16string text = ListMarkerText(ListStyleType, ListNumb);
  if (text.empty()) return;
  const TFont saveFont = canvas.Font;
  const TBrush saveBrush = canvas.Brush;
  canvas.Font = CanvasFont(ListFont, ListColor);
  canvas.Brush.Style = bsClear;
  const int w = canvas.TextWidth(text);
  const int ascent = ListFont.tmHeight - ListFont.tmDescent;
  canvas.TextOut(x - 10 - w, y - ascent, text);
  canvas.Font = saveFont;
  canvas.Brush = saveBrush;
}

int TBlockLI::InkBottom() const {
  if (Hidden() || Visibility == 1) return INT_MIN;
  const int bottom = TBlock::InkBottom();
  // The marker stands on the first line's baseline.
  if (FirstLineBaseline < 0 || ListStyleType == lbNone) return bottom;
  return std::max(bottom, ContentTop + FirstLineBaseline + (Positioning == posRelative ? topOffset_ : 0));
}

int TBlockLI::Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) {
  const int bottom = TBlock::Draw(canvas, clip, clipWidth, x, xRef, yRef);
  if (Hidden() || Visibility == 1 || FirstLineBaseline < 0) return bottom;
  const int yOffset = Owner ? Owner->YOffset : 0;
  const bool relative = Positioning == posRelative;
  const int left = ContentLeft + x - layoutX_ + (relative ? leftOffset_ : 0);
  const int baseline = ContentTop + FirstLineBaseline - yOffset + (relative ? topOffset_ : 0);
  if (baseline + 8 > clip.Top && baseline - 64 < clip.Bottom) DrawMarker(canvas, left, baseline);
  return bottom;
}

// ---- rules ----

std::unique_ptr<TSectionBase> THRBlock::CreateCopy(ThtDocument* owner, TCellBasic* cell) const {
  return std::make_unique<THRBlock>(owner, cell, *this);
}

int THRBlock::FindWidth(TCanvas&, int availableWidth, int, int) {
  int& ml = MargArray[MarginLeft];
  int& mr = MargArray[MarginRight];
  ml = ZeroIfAuto(ml);
  mr = ZeroIfAuto(mr);
  const int sides = MargArray[BorderLeftWidth] + MargArray[PaddingLeft] + MargArray[PaddingRight] +
                    MargArray[BorderRightWidth];
  const int given = MargArray[piWidth] == Auto ? 0 : MargArray[piWidth];
  int width;
  if (given < 1)
    width = std::max(15, availableWidth - ml - mr - sides);
  else
    width = std::min(given, availableWidth);
  const TJustify align = IsAbsolutelyPositioned() ? jLeft : Align;
  const int free = std::max(0, availableWidth - width - sides - ml - mr);
  if (align == jRight)
    ml += free;
  else if (align == jCentre)
    ml += free / 2;
  return width;
}

// ---- table blocks ----

namespace {

bool HasPercent(const std::u16string& s) { return s.find(u'%') != std::u16string::npos; }

// ALIGN of a table: centred, or floated unless the style floats it already.
void ApplyTableAlign(TBlock& block, const TAttributeList* attributes) {
  const TAttribute* align = attributes ? attributes->Find(AlignSy) : nullptr;
  if (!align) return;
  const std::u16string a = WideUpperCase(WideTrim(align->Name));
  if (a == u"CENTER") {
    block.Justification = jCentre;
  } else if ((a == u"LEFT" || a == u"RIGHT") && block.Floating == flNone && !block.IsAbsolutelyPositioned()) {
    block.Floating = a == u"LEFT" ? flLeft : flRight;
    block.Justification = a == u"LEFT" ? jLeft : jRight;
    if (!block.OwnIMgr) block.OwnIMgr = std::make_unique<TIndentManager>();
    if (block.ZIndex == 0) block.ZIndex = 1;
  } else if (a == u"RIGHT") {
    block.Justification = jRight;
  }
}

}  // namespace

TTableBlock::TTableBlock(ThtDocument* owner, TCellBasic* ownerCell, TProperties& props, TAttributeList* attributes,
                         TSectionBase* table)
    : TBlock(owner, ownerCell, props, attributes, false), Table(table) {
  ApplyTableAlign(*this, attributes);
  if (attributes) {
    if (const TAttribute* w = attributes->Find(WidthSy)) {
      if (HasPercent(w->Name)) {
        if (w->Value >= 1 && w->Value <= 100) {
          WidthAttr = w->Value * 10;
          AsPercent = true;
        }
      } else {
        WidthAttr = std::max(0, w->Value);
      }
    }
    if (const TAttribute* h = attributes->Find(HspaceSy)) HSpace = std::min(40, std::abs(h->Value));
    if (const TAttribute* v = attributes->Find(VspaceSy)) VSpace = std::min(200, std::abs(v->Value));
    if (const TAttribute* h = attributes->Find(HeightSy); h && Unset(MargArrayO[piHeight]))
      MargArrayO.Set(piHeight, h->Name);
    if (const TAttribute* b = attributes->Find(BackgroundSy); b && !BGImage && !WideTrim(b->Name).empty()) {
      BGImage = std::make_unique<TBackground>();
      BGImage->Name = WideTrim(b->Name);
      BGImage->Pos = props.GetBackgroundPos();
    }
    if (const TAttribute* c = attributes->Find(BgcolorSy)) {
      TColor color = clNone;
      int alpha = 255;
      if (ColorFromString(c->Name, false, color, alpha)) {
        BGColorAttr = color;
        HasBGColorAttr = true;
      }
    }
  }
  // A width in the style counts as the WIDTH attribute does.
  const TPropValue& sw = MargArrayO[piWidth];
  if (auto text = std::get_if<std::u16string>(&sw); text && HasPercent(*text)) {
    int autoCount = 0;
    TMarginArray m{};
    ConvertMarginsTo(m, 1000, 0, autoCount);  // a percentage of 1000 is tenths of a percent
    if (m[piWidth] > 0 && m[piWidth] != Auto) {
      WidthAttr = std::min(1000, m[piWidth]);
      AsPercent = true;
    }
  } else if (MargArray[piWidth] > 0 && MargArray[piWidth] != Auto) {
    WidthAttr = MargArray[piWidth];
    AsPercent = false;
  }
  MargArrayO.Set(piWidth, std::u16string(u"auto"));
  MargArray[piWidth] = Auto;
  if (BkColor == clNone && HasBGColorAttr && BGImage) BkColor = BGColorAttr;
  if (Floating != flNone && ZIndex == 0) ZIndex = 1;
}

TTableBlock::TTableBlock(ThtDocument* owner, TCellBasic* ownerCell, const TTableBlock& source)
    : TBlock(owner, ownerCell, source), Table(nullptr), WidthAttr(source.WidthAttr), AsPercent(source.AsPercent),
      HSpace(source.HSpace), VSpace(source.VSpace), BGColorAttr(source.BGColorAttr),
      HasBGColorAttr(source.HasBGColorAttr), InCaptionBlock(source.InCaptionBlock),
      BorderFromAttribute(source.BorderFromAttribute) {
  // The copy's table is the copy of the source's, at the same place in the cell.
  if (source.Table) {
    const int i = source.MyCell->IndexOf(source.Table);
    if (i >= 0 && i < MyCell->Count()) Table = (*MyCell)[i];
  }
}

std::unique_ptr<TSectionBase> TTableBlock::CreateCopy(ThtDocument* owner, TCellBasic* cell) const {
  return std::make_unique<TTableBlock>(owner, cell, *this);
}

void TTableBlock::TableRange(TCanvas& canvas, int& minWidth, int& maxWidth) {
  minWidth = maxWidth = 0;
  if (Table) Table->WidthRange(canvas, minWidth, maxWidth);
}

void TTableBlock::WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) {
  const int sides = MargArray[PaddingLeft] + MargArray[BorderLeftWidth] + MargArray[PaddingRight] +
                    MargArray[BorderRightWidth];
  if (!AsPercent && WidthAttr > 0) {
    if (TTableSizing* t = Sizing()) t->SetSpecWidth(std::max(0, WidthAttr - sides));
  }
  TBlock::WidthRange(canvas, minWidth, maxWidth);
  if (!AsPercent && WidthAttr > 0) {
    minWidth = std::max(minWidth, WidthAttr);
    maxWidth = std::max(maxWidth, WidthAttr);
  }
}

int TTableBlock::FindWidth(TCanvas& canvas, int availableWidth, int, int) {
  int& ml = MargArray[MarginLeft];
  int& mr = MargArray[MarginRight];
  if (InCaptionBlock) {
    ml = mr = 0;
  } else {
    ml = ZeroIfAuto(ml);
    mr = ZeroIfAuto(mr);
    if (Floating != flNone) {
      if (ml == 0) ml = HSpace;
      if (mr == 0) mr = HSpace;
      if (MargArray[MarginTop] == 0) MargArray[MarginTop] = VSpace;
      if (MargArray[MarginBottom] == 0) MargArray[MarginBottom] = VSpace;
    }
  }
  const int l = MargArray[PaddingLeft] + MargArray[BorderLeftWidth];
  const int r = MargArray[PaddingRight] + MargArray[BorderRightWidth];
  const int room = availableWidth - l - r;
  TTableSizing* sizing = Sizing();
  int result;
  if (WidthAttr <= 0) {
    if (sizing) sizing->SetSpecWidth(0);
    int tmin = 0, tmax = 0;
    TableRange(canvas, tmin, tmax);
    if (sizing) {
      const int percent = std::min(1000, sizing->PercentSum());
      if (percent > 0) {
        const int share = static_cast<int>(static_cast<int64_t>(room) * percent / 1000);
        tmin = std::max(tmin, share);
        tmax = std::max(tmax, share);
      }
    }
    result = std::max(std::min(room - ml - mr, tmax), tmin);
  } else {
    const int w = AsPercent ? static_cast<int>(static_cast<int64_t>(room) * WidthAttr / 1000) : WidthAttr - l - r;
    if (sizing) sizing->SetSpecWidth(std::max(0, w));
    int tmin = 0, tmax = 0;
    TableRange(canvas, tmin, tmax);
    result = std::max(w, tmin);
  }
  result = std::max(0, result);
  // Centred and right-aligned tables take the free width as margins, unless a margin was given.
  const int free = availableWidth - result - l - r - ml - mr;
  if (free > 0 && ml == 0 && mr == 0 && !InCaptionBlock) {
    if (Justification == jCentre) {
      ml = free / 2;
      mr = free - ml;
    } else if (Justification == jRight) {
      ml = free;
    }
  }
  return result;
}

int TTableBlock::Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef,
                        int yRef, TIndentManager& imgr, int& maxWidth, int& curs) {
  TableIndent = 0;
  if (Floating == flNone && !IsAbsolutelyPositioned() && !Hidden()) {
    // Beside the floats of its row, within the room they leave.
    const int left = std::max(0, imgr.ImageLeft(y) - x);
    const int right = imgr.ImageRight(y) - x;
    TableIndent = left;
    width = std::max(0, std::min(width, right) - left);
  }
  const int h = TBlock::Layout(canvas, x + TableIndent, y, width, availableHeight, blockHeight, xRef, yRef, imgr,
                               maxWidth, curs);
  maxWidth += TableIndent;
  return h;
}

int TTableBlock::Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) {
  return TBlock::Draw(canvas, clip, clipWidth, x + TableIndent, xRef, yRef);
}

void TTableBlock::AdjustBorderColors(TBorderColorArray& colors) const {
  if (!BorderFromAttribute) return;
  const bool printing = Owner && Owner->Printing;
  const bool whiteGround = printing || (Owner && ColorToRGB(Owner->Background) == clWhite);
  for (TColor& c : colors) {
    if (c != clBtnHighlight && c != clBtnShadow) continue;
    if (printing && Owner->MonochromeBlack())
      c = clBlack;
    else if (c == clBtnHighlight)
      c = whiteGround ? RGB(0xC0, 0xC0, 0xC0) : clBtnHighlight;
  }
}

TTableAndCaptionBlock::TTableAndCaptionBlock(ThtDocument* owner, TCellBasic* ownerCell, TProperties& props,
                                             TAttributeList* attributes, TTableBlock* tableBlock)
    : TBlock(owner, ownerCell, props, nullptr), TableBlock(tableBlock) {
  TagClass = u"TableAndCaption.";
  BGImage.reset();
  ApplyTableAlign(*this, attributes);
  if (attributes) {
    TableID = attributes->TheID();
    if (!TableID.empty() && owner) owner->IdentifierList.AddObject(TableID, this);
  }
}

TTableAndCaptionBlock::TTableAndCaptionBlock(ThtDocument* owner, TCellBasic* ownerCell,
                                             const TTableAndCaptionBlock& source)
    : TBlock(owner, ownerCell, source), TopCaption(source.TopCaption), TableBlock(nullptr),
      TableID(source.TableID) {
  const int ci = source.CaptionBlock ? source.MyCell->IndexOf(source.CaptionBlock) : -1;
  const int ti = source.TableBlock ? source.MyCell->IndexOf(source.TableBlock) : -1;
  if (ci >= 0 && ci < MyCell->Count()) CaptionBlock = dynamic_cast<TBlock*>((*MyCell)[ci]);
  if (ti >= 0 && ti < MyCell->Count()) TableBlock = dynamic_cast<TTableBlock*>((*MyCell)[ti]);
}

void TTableAndCaptionBlock::SetCaptionBlock(TBlock* caption) {
  CaptionBlock = caption;
  if (TableBlock) TableBlock->InCaptionBlock = true;
}

std::unique_ptr<TSectionBase> TTableAndCaptionBlock::CreateCopy(ThtDocument* owner, TCellBasic* cell) const {
  return std::make_unique<TTableAndCaptionBlock>(owner, cell, *this);
}

void TTableAndCaptionBlock::WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) {
  minWidth = maxWidth = 0;
  if (Hidden()) return;
  for (TBlock* b : {static_cast<TBlock*>(TableBlock), CaptionBlock}) {
    if (!b) continue;
    int mn = 0, mx = 0;
    b->WidthRange(canvas, mn, mx);
    minWidth = std::max(minWidth, mn);
    maxWidth = std::max(maxWidth, mx);
  }
}

int TTableAndCaptionBlock::FindWidth(TCanvas& canvas, int availableWidth, int, int) {
  int& ml = MargArray[MarginLeft];
  int& mr = MargArray[MarginRight];
  const bool noMargins = (ml == Auto || ml == 0) && (mr == Auto || mr == 0);
  ml = ZeroIfAuto(ml);
  mr = ZeroIfAuto(mr);
  int width = 0;
  for (TBlock* b : {static_cast<TBlock*>(TableBlock), CaptionBlock}) {
    if (!b) continue;
    int mn = 0, mx = 0;
    b->WidthRange(canvas, mn, mx);
    width = std::max(width, mn);
  }
  if (width < availableWidth && noMargins) {
    if (Justification == jCentre)
      ml = (availableWidth - width) / 2;
    else if (Justification == jRight)
      ml = availableWidth - width;
  }
  return width;
}

}  // namespace htmlview
