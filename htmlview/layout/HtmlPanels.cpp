#include "htmlview/layout/HtmlPanels.h"

#include <QPainter>
#include <algorithm>
#include <cstdlib>

#include "htmlview/images/HtmlImages.h"
#include "htmlview/layout/HtmlFonts.h"
#include "htmlview/layout/HtmlShared.h"
#include "htmlview/text/URLSubs.h"
#include "platform/core/MulDiv.h"

namespace htmlview {

namespace {

std::u16string Upper(const std::u16string& s) { return WideUpperCase(s); }

// A length attribute: pixels, or with "%" a percentage from 0 to 100 (others ignored).
void ReadSize(const TAttribute& a, int& spec, bool& percent) {
  if (a.Name.find(u'%') != std::u16string::npos) {
    if (a.Value >= 0 && a.Value <= 100) {
      spec = a.Value;
      percent = true;
    }
  } else {
    spec = a.Value;
    percent = false;
  }
}

// An image's or a panel's ALIGN: TOP and MIDDLE align it in the line, LEFT and RIGHT float it;
// other words leave it as it is.
void ReadAlign(const std::u16string& word, TFloatingObj& object) {
  const std::u16string v = Upper(word);
  if (v == u"TOP") object.VertAlign = ATop;
  else if (v == u"MIDDLE" || v == u"ABSMIDDLE") object.VertAlign = AMiddle;
  else if (v == u"LEFT") object.Floating = ALeft, object.VertAlign = ANone;
  else if (v == u"RIGHT") object.Floating = ARight, object.VertAlign = ANone;
}

// A panel's length attribute: with "%" a percentage, 1 to 100; else pixels, at least least, which
// pixels receives as well.
void ReadPanelSize(const TAttribute& a, int least, int& spec, bool& percent, int& pixels) {
  if (a.Name.find(u'%') != std::u16string::npos) {
    spec = std::clamp(a.Value, 1, 100);
    percent = true;
  } else {
    spec = pixels = std::max(least, a.Value);
  }
}

}  // namespace

// ---- the box rules of floating objects ----

void TFloatingObj::ProcessProperties(TProperties& props) {
  const int va = props.GetVertAlign();
  if (props.OwnFlags[VerticalAlign]) {
    // The style's numbering: 1 top, 2 middle, 4 bottom, 3 baseline.
    VertAlign = va == 1 ? ATop : va == 2 ? AMiddle : va == 4 ? ABottom : ABaseline;
  }
  const int fl = props.GetFloat();
  if (fl == 5 || fl == 6) {
    Floating = fl == 5 ? ALeft : ARight;
    VertAlign = ANone;
    if (HSpaceR == 0) HSpaceL = HSpaceR = 3;
  }
  if (Alt.empty() && !props.PropTitle.empty()) Alt = props.PropTitle;
  TVMarArray vm;
  props.CopyBoxProps(vm, true);
  TMarginArray m{};
  const TMyFont& font = props.GetFont();
  ConvInlineMargArray(vm, 200, 200, font.EmSize, font.ExSize, m);
  auto set = [](int v, int& target) {
    if (v != IntNull && v != Auto) target = v;
  };
  set(m[MarginLeft], HSpaceL);
  set(m[MarginRight], HSpaceR);
  set(m[MarginTop], VSpaceT);
  set(m[MarginBottom], VSpaceB);
  auto spec = [&](int index, int& value, bool& percent) {
    // Only a value the style wrote (text) counts; numbers here are unset markers.
    const auto* written = std::get_if<std::u16string>(&props.Props[index]);
    if (!written) return;
    const std::u16string t = LowerW(TrimW(*written));
    if (t.empty()) return;
    if (t == u"auto") {
      value = -1;
      percent = false;
    } else if (t.find(u'%') != std::u16string::npos) {
      value = LengthConv(t, false, 200, 0, font.EmSize, font.ExSize) * 100 / 200;
      percent = true;
    } else {
      value = LengthConv(t, false, 200, 0, font.EmSize, font.ExSize);
      percent = false;
    }
  };
  spec(piWidth, SpecWidth, PercentWidth);
  spec(piHeight, SpecHeight, PercentHeight);
  if (!props.HasBorderStyle()) {
    NoBorder = true;
    BorderSize = 0;
  } else {
    HSpaceL += std::max(0, m[BorderLeftWidth]);
    HSpaceR += std::max(0, m[BorderRightWidth]);
    VSpaceT += std::max(0, m[BorderTopWidth]);
    VSpaceB += std::max(0, m[BorderBottomWidth]);
  }
}

// ---- images ----

TImageObj::TImageObj(ThtDocument* document, int pos, const TAttributeList* attributes) : Document(document) {
  Pos = pos;
  bool hspace = false;
  if (attributes) {
    for (const auto& a : *attributes) {
      switch (a->Which) {
        case HspaceSy:
          // Both sides, as for panels: a space on one side only would let text touch the other.
          HSpaceL = HSpaceR = std::min(std::abs(a->Value), 40);
          hspace = true;
          break;
        case VspaceSy: VSpaceT = VSpaceB = std::min(std::abs(a->Value), 40); break;
        case ActiveSy: NonAnimated = true; break;
        case TranspSy: Transparent = true; break;
        case IsmapSy: IsMap = true; break;
        case UsemapSy: {
          UseMap = true;
          std::u16string name = Upper(WideTrim(a->Name));
          if (name.size() > 1 && name[0] == u'#') name.erase(0, 1);
          MapName = name;
          break;
        }
        case WidthSy: ReadSize(*a, SpecWidth, PercentWidth); break;
        case HeightSy: ReadSize(*a, SpecHeight, PercentHeight); break;
        case BorderSy:
          NoBorder = a->Value == 0;
          BorderSize = std::clamp(a->Value, 0, 10);
          break;
        case AlignSy: ReadAlign(a->Name, *this); break;
        case NameSy:
          if (document) document->IdentifierList.AddObject(a->Name, this);
          break;
        case IdSy:
          if (document) document->IdentifierList.AddObject(a->Name, this);
          break;
        case SrcSy: Source = WideTrim(a->Name); break;
        case AltSy:
          Alt = a->Name;
          Title = a->Name;
          break;
        case TitleSy: Title = a->Name; break;
        default: break;
      }
    }
  }
  if (!hspace) {
    if (document && document->QuirksMode) {
      if (Floating == ALeft) HSpaceR = 3;
      else if (Floating == ARight) HSpaceL = 3;
    } else {
      HSpaceR = 0;
      VSpaceB = 0;
    }
  }
}

TImageObj::TImageObj(ThtDocument* document, const TImageObj& other) : TFloatingObj(other), Document(document) {
  Source = other.Source;
  Image = other.Image;
  ObjWidth = other.ObjWidth, ObjHeight = other.ObjHeight;
  IsMap = other.IsMap, UseMap = other.UseMap, MapName = other.MapName;
  NonAnimated = other.NonAnimated, Missing = other.Missing, Pending = other.Pending;
  Transparent = other.Transparent;
  keyed_ = other.keyed_;
}

TImageObj::~TImageObj() {
  if (!Document || Document->BeingDestroyed) return;
  if (!used_.empty()) Document->ReleaseImage(used_);
  auto& a = Document->AnimatedGifs;
  a.erase(std::remove_if(a.begin(), a.end(), [this](const ThtDocument::TAnimation& x) { return x.Owner == this; }),
          a.end());
  if (Document->HoverImage == this) Document->HoverImage = nullptr;
}

std::unique_ptr<TFloatingObj> TImageObj::Clone(ThtDocument* document) const {
  return std::make_unique<TImageObj>(document, *this);
}

ThtDocument::TAnimation TImageObj::Animation() {
  TViewerGifPicture* gif = Gif.get();
  return {this,
          [gif] {
            bool changed = false;
            gif->CheckTime([&changed](const QRect&) { changed = true; });
            return changed;
          },
          [this]() -> TRect {
            if (!Document || drawnInLayout_ != Document->LayoutCount) return {};
            return {DrawX, DrawY, DrawX + ImageWidth, DrawY + ImageHeight};
          }};
}

namespace {
std::shared_ptr<TDocImage> ErrorImage() {
  auto error = std::make_shared<TDocImage>();
  error->Image = ErrorBitmap();
  error->Error = true;
  return error;
}
}  // namespace

void TImageObj::ImageArrived(std::shared_ptr<TDocImage> image) {
  Image = image ? std::move(image) : ErrorImage();
  Pending = false;
  Missing = false;
  ImageKnown = false;
  keyed_ = false;
}

void TImageObj::DrawLogic(ThtDocument& document, TCanvas& canvas, TFontObj* font, int availableWidth,
                          int availableHeight) {
  if (document.ShowImages && Missing && !Pending && !Source.empty()) {
    const std::u16string src = document.ImageName(Source);
    bool pending = false;
    Image = document.GetImage(src, this, pending);
    if (Image && &document == Document) used_ = src;
    if (Image) {
      Missing = false;
    } else if (pending) {
      Pending = true;
    } else {
      Image = ErrorImage();
      Missing = false;
    }
  } else if (document.ShowImages && Missing && !Pending && Source.empty()) {
    Image = ErrorImage();
    Missing = false;
  }
  if (Transparent && !keyed_ && Image && !Image->Error && !Image->OwnTransparency) {
    // TRANSP: the lower-left pixel's colour lets the page show through, whatever kind of
    // picture it is. The copy is this object's: the same picture may stand elsewhere without it.
    auto keyed = std::make_shared<TDocImage>(*Image);
    MakeLowerLeftTransparent(keyed->Image);
    if (keyed->Gif) {
      // The first frame's corner keys every frame: the frames stand side by side in the strip.
      auto gif = std::make_shared<TViewerGifPicture>(*keyed->Gif);
      MakeLowerLeftTransparent(gif->Strip);
      keyed->Gif = std::move(gif);
    }
    Image = std::move(keyed);
    keyed_ = true;
  }
  if (document.ShowImages && Image && Image->Gif && !Gif) {
    // A picture of its own to animate; a print copy shows the current frame only.
    Gif = std::make_unique<TViewerGifPicture>(*Image->Gif);
    if (!NonAnimated && !document.PrintCopy) {
      Gif->SetAnimate(true);
      document.AnimatedGifs.push_back(Animation());
    }
  }
  const bool placeholder = !document.ShowImages || !Image || Image->Error;
  const QImage& shown = !document.ShowImages || !Image ? DefBitMap() : Image->Image;
  const int w = shown.width(), h = shown.height();
  const int border = NoBorder ? 0 : BorderSize;
  if (!ImageKnown || PercentWidth || PercentHeight) {
    if (PercentWidth) {
      ObjWidth = MulDiv(std::max(0, availableWidth - 2 * border), SpecWidth, 100);
      ObjHeight = SpecHeight < 0 ? (w > 0 ? MulDiv(ObjWidth, h, w) : 0)
                  : PercentHeight ? MulDiv(std::max(0, availableHeight - 2 * border), SpecHeight, 100)
                                  : SpecHeight;
    } else if (PercentHeight) {
      ObjHeight = MulDiv(std::max(0, availableHeight - 2 * border), SpecHeight, 100);
      ObjWidth = SpecWidth >= 0 ? SpecWidth : (h > 0 ? MulDiv(ObjHeight, w, h) : 0);
    } else if (SpecWidth >= 0 && SpecHeight >= 0) {
      ObjWidth = SpecWidth, ObjHeight = SpecHeight;
    } else if (SpecHeight >= 0) {
      ObjHeight = SpecHeight;
      ObjWidth = h > 0 ? MulDiv(SpecHeight, w, h) : 0;
    } else if (SpecWidth >= 0) {
      ObjWidth = SpecWidth;
      ObjHeight = w > 0 ? MulDiv(SpecWidth, h, w) : 0;
    } else {
      ObjWidth = w, ObjHeight = h;
    }
    ObjWidth = std::max(0, ObjWidth);
    ObjHeight = std::max(0, ObjHeight);
    ImageKnown = (SpecWidth >= 0 && SpecHeight >= 0) || !placeholder;
  }
  if (!placeholder) {
    ImageWidth = ObjWidth, ImageHeight = ObjHeight;
  } else if (SpecWidth >= 0 || SpecHeight >= 0) {
    ImageWidth = ObjWidth, ImageHeight = ObjHeight;
  } else if (!Alt.empty()) {
    const TFont save = canvas.Font;
    canvas.Font = TFont{u"Arial", 8, clBlack, 0};
    TRect r{0, 0, 0, 0};
    canvas.DrawText(Alt + u"\r\n", r, DT_CALCRECT | DT_NOPREFIX);
    canvas.Font = save;
    ImageWidth = r.Width() + 26;
    ImageHeight = std::max(r.Height(), 24);
  } else {
    ImageWidth = ObjWidth < 25 ? 24 : ObjWidth;
    ImageHeight = ObjHeight < 25 ? 24 : ObjHeight;
  }
  if (font && font->IsLink() && !NoBorder) BorderSize = std::max(1, BorderSize);
  const int b = NoBorder ? 0 : BorderSize;
  ImageWidth += 2 * b;
  ImageHeight += 2 * b;
}

void TImageObj::Draw(ThtDocument& document, TCanvas& canvas, int x, int y, TFontObj* font) {
  drawnInLayout_ = document.LayoutCount;
  const int b = NoBorder ? 0 : BorderSize;
  const int ix = x + b, iy = y + b;
  const bool placeholder = !document.ShowImages || !Image || Image->Error;
  if (placeholder) {
    const int w = ImageWidth - 2 * b, h = ImageHeight - 2 * b;
    const bool white = document.Printing || document.Background == clWhite;
    const bool black = document.MonochromeBlack();
    const TColor light = black ? clBlack : white ? TColor(0xC0C0C0) : ColorToRGB(clBtnHighlight);
    const TColor dark = black ? clBlack : ColorToRGB(clBtnShadow);
    FillRectColor(canvas, {ix, iy, ix + w, iy + 1}, dark);
    FillRectColor(canvas, {ix, iy, ix + 1, iy + h}, dark);
    FillRectColor(canvas, {ix, iy + h - 1, ix + w, iy + h}, light);
    FillRectColor(canvas, {ix + w - 1, iy, ix + w, iy + h}, light);
    const QImage& small = Image && Image->Error && document.ShowImages ? Image->Image : DefBitMap();
    canvas.DrawImage(ix + 4, iy + 4, small);
    if (!Alt.empty()) {
      const TFont save = canvas.Font;
      const TBrush saveBrush = canvas.Brush;
      canvas.Font = TFont{u"Arial", 8, font ? font->TheFont.Color : clBlack, 0};
      canvas.Brush.Style = bsClear;
      TRect r{ix + 4 + small.width() + 2, iy + 4, ix + w - 2, iy + h - 2};
      if (r.Width() > 0 && r.Height() > 0) WrapTextW(canvas, r, Alt);
      canvas.Font = save;
      canvas.Brush = saveBrush;
    }
  } else if (ObjWidth > 0 && ObjHeight > 0) {
    const QImage& src = Image->Image;
    if (Gif) {
      DrawGifStretched(canvas, *Gif, ix, iy, ObjWidth, ObjHeight);
    } else if (src.width() == ObjWidth && src.height() == ObjHeight) {
      canvas.DrawImage(ix, iy, src);
    } else if (ScalesWhole(ObjWidth, ObjHeight)) {
      // Scaled once for its size, not at every paint.
      if (scaled_.size() != QSize(ObjWidth, ObjHeight) || scaledFrom_ != src.cacheKey()) {
        scaled_ = src.scaled(ObjWidth, ObjHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        scaledFrom_ = src.cacheKey();
      }
      canvas.DrawImage(ix, iy, scaled_);
    } else {
      // A copy of that size could be gigabytes: what shows is scaled at each paint instead.
      scaled_ = QImage();
      DrawImageStretched(canvas, src, ix, iy, ObjWidth, ObjHeight, true);
    }
  }
  if (b > 0) {
    const TColor c = font ? font->TheFont.Color : clBlack;
    const int w = ImageWidth, h = ImageHeight;
    FillRectColor(canvas, {x, y, x + w, y + b}, c);
    FillRectColor(canvas, {x, y + h - b, x + w, y + h}, c);
    FillRectColor(canvas, {x, y, x + b, y + h}, c);
    FillRectColor(canvas, {x + w - b, y, x + w, y + h}, c);
  }
}

std::unique_ptr<TBitmap> TImageObj::GetBitmap() const {
  if (!Image || Image->Error) return nullptr;
  const QImage frame = Gif ? Gif->FrameImage() : Image->Image;
  if (frame.isNull()) return nullptr;
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->Image() = frame.convertToFormat(QImage::Format_ARGB32);
  return bitmap;
}

void TImageObj::SetHover(int state) {
  const int old = Hover;
  Hover = state;
  // An ACTIVE picture moves only under the mouse: two frames show the second, three show the
  // third while pressed; any other count animates.
  if (!Gif || !NonAnimated || state == old || !Document) return;
  auto& animations = Document->AnimatedGifs;
  const int frames = Gif->NumFrames;
  if (state > 0) {
    if (frames == 2) {
      Gif->SetCurrentFrame(2);
    } else if (frames == 3) {
      Gif->SetCurrentFrame(state == 2 ? 3 : 2);
    } else if (old == 0) {
      Gif->SetAnimate(true);
      animations.push_back(Animation());
    }
  } else {
    Gif->SetAnimate(false);
    if (frames < 4) Gif->SetCurrentFrame(1);
    animations.erase(std::remove_if(animations.begin(), animations.end(),
                                    [this](const ThtDocument::TAnimation& a) { return a.Owner == this; }),
                     animations.end());
  }
  if (Document->Viewer) Document->Viewer->RepaintPanel();
}

// ---- panels ----

ThvPanel::ThvPanel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setLineWidth(1);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::white);
  setPalette(p);
  setGeometry(-4000, -4000, 30, 20);
}

TPanelObj::TPanelObj(ThtDocument* document, int pos, const TAttributeList* attributes, bool printCopy)
    : Document(document), PrintCopy(printCopy) {
  Pos = pos;
  VertAlign = ABottom;
  if (document && document->PaintPanel) Panel = std::make_unique<ThvPanel>(document->PaintPanel);
  bool hspace = false;
  int pw = -1, ph = -1;
  if (attributes) {
    for (const auto& a : *attributes) {
      switch (a->Which) {
        case WidthSy: ReadPanelSize(*a, 0, SpecWidth, PercentWidth, pw); break;
        case HeightSy: ReadPanelSize(*a, 1, SpecHeight, PercentHeight, ph); break;
        case HspaceSy:
          HSpaceL = HSpaceR = std::min(std::abs(a->Value), 40);
          hspace = true;
          break;
        case VspaceSy: VSpaceT = VSpaceB = std::min(std::abs(a->Value), 40); break;
        case NameSy:
          Name = a->Name;
          if (Panel) Panel->setObjectName(QString::fromStdU16String(Name));
          break;
        case SrcSy: Src = a->Name; break;
        case TypeSy: Type = a->Name; break;
        case AltSy: {
          std::u16string alt = a->Name;
          while (!alt.empty() && (alt.back() == u'\r' || alt.back() == u'\n')) alt.pop_back();
          Alt = alt;
          break;
        }
        case AlignSy: ReadAlign(a->Name, *this); break;
        default: break;
      }
    }
  }
  if (!hspace) HSpaceL = HSpaceR = IsFloat() ? 3 : 0;
  if (Panel) {
    if (pw > 0) Panel->resize(pw, Panel->height());
    if (ph > 0) Panel->resize(Panel->width(), ph);
  }
  if (!printCopy && document && document->Viewer && Panel)
    document->Viewer->PanelCreate(Panel.get(), Name, Type, Src);
  NaturalWidth = Panel ? Panel->width() : std::max(0, pw);
  NaturalHeight = Panel ? Panel->height() : std::max(0, ph);
  if (document) document->Panels.push_back(this);
}

TPanelObj::TPanelObj(ThtDocument* document, const TPanelObj& other) : TFloatingObj(other), Document(document) {
  PrintedPanel = other.Panel ? other.Panel.get() : other.PrintedPanel.data();
  NaturalWidth = other.NaturalWidth, NaturalHeight = other.NaturalHeight;
  Name = other.Name, Type = other.Type, Src = other.Src;
  SizeSet = other.SizeSet;
  PrintCopy = true;
}

TPanelObj::~TPanelObj() {
  if (Document) {
    auto& panels = Document->Panels;
    panels.erase(std::remove(panels.begin(), panels.end(), this), panels.end());
  }
  if (Panel && Document && Document->Viewer && !PrintCopy) Document->Viewer->PanelDestroy(Panel.get());
}

std::unique_ptr<TFloatingObj> TPanelObj::Clone(ThtDocument* document) const {
  return std::make_unique<TPanelObj>(document, *this);
}

void TPanelObj::DrawLogic(ThtDocument&, TCanvas&, TFontObj*, int availableWidth, int availableHeight) {
  if (SizeSet && !PercentWidth && !PercentHeight) return;
  const int nw = NaturalWidth, nh = NaturalHeight;
  // A natural side of 0 gives no proportion: the derived side is then 0.
  auto derive = [](int value, int num, int den) { return den > 0 ? MulDiv(value, num, den) : 0; };
  if (PercentWidth) {
    ImageWidth = MulDiv(availableWidth, SpecWidth, 100);
    ImageHeight = SpecHeight >= 0 ? (PercentHeight ? MulDiv(availableHeight, SpecHeight, 100) : SpecHeight)
                                  : derive(ImageWidth, nh, nw);
  } else if (PercentHeight) {
    ImageHeight = MulDiv(availableHeight, SpecHeight, 100);
    ImageWidth = SpecWidth >= 0 ? SpecWidth : derive(ImageHeight, nw, nh);
  } else {
    if (SpecWidth >= 0 && SpecHeight >= 0) {
      ImageWidth = SpecWidth, ImageHeight = SpecHeight;
    } else if (SpecWidth >= 0) {
      ImageWidth = SpecWidth;
      ImageHeight = derive(SpecWidth, nh, nw);
    } else if (SpecHeight >= 0) {
      ImageHeight = SpecHeight;
      ImageWidth = derive(SpecHeight, nw, nh);
    } else {
      ImageWidth = nw, ImageHeight = nh;
    }
    SizeSet = true;
  }
  ImageWidth = std::max(0, ImageWidth);
  ImageHeight = std::max(0, ImageHeight);
  if (!PrintCopy && Panel && ImageWidth > 0 && ImageHeight > 0) Panel->resize(ImageWidth, ImageHeight);
}

void TPanelObj::Draw(ThtDocument& document, TCanvas& canvas, int x, int y, TFontObj*) {
  if (document.Printing || PrintCopy || !Panel) {
    const TRect r{x, y, x + ImageWidth, y + ImageHeight};
    ThvPanel* printed = Panel ? Panel.get() : PrintedPanel.data();
    if (document.Viewer && document.Viewer->HasPanelHandlers() && printed) {
      document.Viewer->PanelPrint(printed, canvas, r);
      return;
    }
    FillRectColor(canvas, r, clWhite);
    FillRectColor(canvas, {r.Left, r.Top, r.Right, r.Top + 1}, clBlack);
    FillRectColor(canvas, {r.Left, r.Bottom - 1, r.Right, r.Bottom}, clBlack);
    FillRectColor(canvas, {r.Left, r.Top, r.Left + 1, r.Bottom}, clBlack);
    FillRectColor(canvas, {r.Right - 1, r.Top, r.Right, r.Bottom}, clBlack);
    if (!Alt.empty()) {
      const TFont save = canvas.Font;
      const TBrush saveBrush = canvas.Brush;
      canvas.Font = TFont{u"Arial", 8, clBlack, 0};
      canvas.Brush.Style = bsClear;
      TRect t{r.Left + 5, r.Top + 5, r.Right - 5, r.Bottom - 5};
      if (t.Width() > 0 && t.Height() > 0) WrapTextW(canvas, t, Alt);
      canvas.Font = save;
      canvas.Brush = saveBrush;
    }
    return;
  }
  Panel->move(x, y);
  Panel->show();
  ShownThisPaint = true;
}

// ---- lists ----

// Objects are in ascending Pos: lookups bisect.
TFloatingObj* TFloatingObjList::FindImage(int pos) const {
  auto it = std::lower_bound(items_.begin(), items_.end(), pos,
                             [](const std::unique_ptr<TFloatingObj>& o, int p) { return o->Pos < p; });
  return it != items_.end() && (*it)->Pos == pos ? it->get() : nullptr;
}

int TFloatingObjList::GetHeightAt(int pos) const {
  auto it = std::lower_bound(items_.begin(), items_.end(), pos,
                             [](const std::unique_ptr<TFloatingObj>& o, int p) { return o->Pos < p; });
  return it != items_.end() ? (*it)->Pos - pos : 99999999;
}

void TFloatingObjList::Decrement(int pos) {
  for (const auto& o : items_)
    if (o->Pos > pos) --o->Pos;
}

TImageObj* TFloatingObjList::PtInImage(int x, int y, int& ix, int& iy, bool& isMap, TMapItem*& map) const {
  isMap = false;
  map = nullptr;
  for (const auto& o : items_) {
    auto* image = dynamic_cast<TImageObj*>(o.get());
    if (!image) continue;
    const int b = image->NoBorder ? 0 : image->BorderSize;
    const int dx = x - image->DrawX, dy = y - image->DrawY;
    if (dx < 0 || dx >= image->ImageWidth - 2 * b || dy < 0 || dy >= image->ImageHeight - 2 * b) continue;
    ix = dx;
    iy = dy;
    isMap = image->IsMap;
    if (image->UseMap && image->Document) map = image->Document->FindMap(image->MapName);
    return image;
  }
  return nullptr;
}

bool TFloatingObjList::GetImageAt(int pos, int& width, int& height, AlignmentType& align) const {
  const TFloatingObj* o = FindImage(pos);
  if (!o || o->IsFloat()) return false;
  width = o->TotalWidth();
  height = o->TotalHeight();
  align = o->VertAlign;
  return true;
}

TFloatingObj* TFloatingObjList::PtInObject(int x, int y, int& ix, int& iy) const {
  for (const auto& o : items_) {
    const int b = o->NoBorder ? 0 : o->BorderSize;
    const int dx = x - o->DrawX, dy = y - o->DrawY;
    if (dx >= 0 && dx < o->ImageWidth - 2 * b && dy >= 0 && dy < o->ImageHeight - 2 * b) {
      ix = dx;
      iy = dy;
      return o.get();
    }
  }
  return nullptr;
}

// ---- form controls ----

TFormControlObj::TFormControlObj(ThtDocument* document, int pos) : MasterList(document), Pos(pos) {}

TFormControlObj::~TFormControlObj() {
  // No event may reach the object while its parts go.
  watcher_.reset();
  // A paint panel freed first has taken its children with it.
  if (control_ && !alive_) (void)control_.release();
  if (control_) {
    // Freed in place: taken out of the panel first, each control would walk the window's whole
    // focus chain, and a page of many controls would take their number squared to go.
    control_->hide();
    control_.reset();
  }
  if (!ID.empty() && MasterList && !MasterList->BeingDestroyed) MasterList->IdentifierList.RemoveObject(this);
}

int ClampWidgetSize(long long value) { return static_cast<int>(std::clamp<long long>(value, 0, MaxWidgetSize)); }

int TFormControlObj::Width() const { return control_ ? control_->width() : width_; }
int TFormControlObj::Height() const { return control_ ? control_->height() : height_; }

void TFormControlObj::SetWidth(int w) {
  width_ = ClampWidgetSize(w);
  if (control_) control_->resize(width_, control_->height());
}

void TFormControlObj::SetHeight(int h) {
  height_ = ClampWidgetSize(h);
  if (control_) control_->resize(control_->width(), height_);
}

int TFormControlObj::Left() const { return control_ ? control_->x() : -4000; }
int TFormControlObj::Top() const { return control_ ? control_->y() : 0; }

void TFormControlObj::SetLeft(int x) {
  if (control_) control_->move(x, control_->y());
}

void TFormControlObj::SetTop(int y) {
  if (control_) control_->move(control_->x(), y);
}

void MoveOffPanel(QWidget& control, int y) {
  control.move(-4000, y);
  control.setUpdatesEnabled(false);
}

void MoveOntoPanel(QWidget& control, int x, int y, bool show) {
  control.setUpdatesEnabled(true);
  control.move(x, y);
  if (show) control.show();
}

void TFormControlObj::Show(int x, int y) {
  Shown = true;
  if (control_) MoveOntoPanel(*control_, x, y, ShowIt && control_->parentWidget());
}

void TFormControlObj::MoveOff() {
  if (control_) MoveOffPanel(*control_, control_->y());
}

TFormControlObj* TFormControlObjList::FindControl(int pos) const {
  auto it = std::lower_bound(begin(), end(), pos, [](const TFormControlObj* c, int p) { return c->Pos < p; });
  return it != end() && (*it)->Pos == pos ? *it : nullptr;
}

bool TFormControlObjList::GetHeightAt(int pos, int& height, AlignmentType& align) const {
  if (TFormControlObj* c = FindControl(pos)) {
    height = c->Height();
    align = c->VertAlign;
    return true;
  }
  height = -1;
  return false;
}

bool TFormControlObjList::GetWidthAt(int pos, int& width, int& marginLeft, int& marginRight) const {
  if (TFormControlObj* c = FindControl(pos)) {
    width = c->Width();
    marginLeft = c->MarginLeft;
    marginRight = c->MarginRight;
    return true;
  }
  width = -1;
  return false;
}

int TFormControlObjList::GetControlCountAt(int pos) const {
  for (TFormControlObj* c : *this)
    if (c->Pos >= pos) return c->Pos - pos;
  return 9999;
}

void TFormControlObjList::Decrement(int pos) {
  for (TFormControlObj* c : *this)
    if (c->Pos > pos) --c->Pos;
}

namespace {

TFormControlFactory& Factory() {
  static TFormControlFactory factory;
  return factory;
}

// What stands in for a control kind that nothing makes yet: a box of a fixed size.
class TStandInControl : public TFormControlObj {
public:
  TStandInControl(ThtDocument* document, int pos, bool hidden) : TFormControlObj(document, pos), hidden_(hidden) {
    width_ = hidden ? 0 : 60;
    height_ = hidden ? 0 : 20;
    VertAlign = ABaseline;
  }
  bool Hidden() const override { return hidden_; }
  // The box keeps its size whatever the style, and prints as a plain frame.
  void ProcessProperties(TProperties&) override {}
  void Draw(TCanvas& canvas, int x, int y) override {
    FormControlRect(canvas, x, y, x + Width(), y + Height(), clWhite, false, true, false);
  }

private:
  bool hidden_;
};

}  // namespace

void SetFormControlFactory(TFormControlFactory factory) { Factory() = std::move(factory); }

std::unique_ptr<TFormControlObj> MakeFormControl(ThtDocument* document, int pos, const std::u16string& type,
                                                 const TAttributeList* attributes, TProperties& props) {
  if (Factory())
    if (auto made = Factory()(document, pos, type, attributes, props)) return made;
  return std::make_unique<TStandInControl>(document, pos, LowerW(type) == u"hidden");
}

// ---- fieldsets ----

namespace {
bool Unset(const TPropValue& v) {
  if (std::holds_alternative<std::monostate>(v)) return true;
  const int* i = std::get_if<int>(&v);
  return i && *i == IntNull;
}
int ZeroIfAuto(int v) { return v == Auto || v == IntNull ? 0 : v; }
}  // namespace

TProperties& TFieldsetBlock::WithDefaults(TProperties& props) {
  for (int k = 0; k < 4; ++k) {
    if (Unset(props.Props[BorderTopStyle + k])) props.Props[BorderTopStyle + k] = 1;
    if (Unset(props.Props[BorderTopColor + k])) props.Props[BorderTopColor + k] = static_cast<int>(0xB2ACA5);
    if (Unset(props.Props[BorderTopWidth + k])) props.Props[BorderTopWidth + k] = 1;
    if (Unset(props.Props[PaddingTop + k])) props.Props[PaddingTop + k] = 10;
  }
  return props;
}

TFieldsetBlock::TFieldsetBlock(ThtDocument* owner, TCellBasic* ownerCell, TProperties& props,
                               TAttributeList* attributes)
    : TBlock(owner, ownerCell, WithDefaults(props), attributes),
      Legend(std::make_unique<TBlockCell>(owner, this)) {}

TFieldsetBlock::TFieldsetBlock(ThtDocument* owner, TCellBasic* ownerCell, const TFieldsetBlock& source)
    : TBlock(owner, ownerCell, source), Legend(std::make_unique<TBlockCell>(owner, this, *source.Legend)) {}

std::unique_ptr<TSectionBase> TFieldsetBlock::CreateCopy(ThtDocument* owner, TCellBasic* cell) const {
  return std::make_unique<TFieldsetBlock>(owner, cell, *this);
}

void TFieldsetBlock::WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) {
  TBlock::WidthRange(canvas, minWidth, maxWidth);
  int legendMin = 0, legendMax = 0;
  Legend->WidthRange(canvas, legendMin, legendMax);
  minWidth = std::max(minWidth, legendMin);
  maxWidth = std::max(maxWidth, legendMax);
}

int TFieldsetBlock::Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef,
                           int yRef, TIndentManager& imgr, int& maxWidth, int& curs) {
  if (Hidden()) return TBlock::Layout(canvas, x, y, width, availableHeight, blockHeight, xRef, yRef, imgr, maxWidth,
                                      curs);
  TMarginArray m{};
  int autoCount = 0;
  ConvertMarginsTo(m, width, availableHeight, autoCount);
  const int leftExtra = ZeroIfAuto(m[MarginLeft]) + m[BorderLeftWidth] + m[PaddingLeft];
  const int rightExtra = ZeroIfAuto(m[MarginRight]) + m[BorderRightWidth] + m[PaddingRight];
  ContentWidth = std::max(0, width - leftExtra - rightExtra);
  // The legend lies across the top border, within the content's sides.
  const int li = imgr.SetLeftEdge(x + leftExtra - imgr.LfEdge, y);
  const int ri = imgr.SetRightEdge(x + leftExtra + ContentWidth - imgr.LfEdge, y);
  Legend->IMgr = &imgr;
  int legendWidth = 0;
  LegendHeight = Legend->Layout(canvas, x + leftExtra, y, ContentWidth, availableHeight, 0, xRef, yRef, legendWidth,
                                curs);
  imgr.DeleteRight(ri);
  imgr.DeleteLeft(li);
  legendX_ = x + leftExtra;
  legendY_ = y;
  // A legend taller than the top margin, border and padding widens padding and margin by halves.
  const TVMarArray saved = MargArrayO;
  const int top = ZeroIfAuto(m[MarginTop]) + m[BorderTopWidth] + m[PaddingTop];
  if (LegendHeight > top) {
    const int diff = LegendHeight - top;
    MargArrayO.Set(PaddingTop, m[PaddingTop] + diff / 2);
    MargArrayO.Set(MarginTop, ZeroIfAuto(m[MarginTop]) + diff - diff / 2);
  }
  const int h = TBlock::Layout(canvas, x, y, width, availableHeight, blockHeight, xRef, yRef, imgr, maxWidth, curs);
  MargArrayO = saved;
  maxWidth = std::max(maxWidth, legendWidth + leftExtra + rightExtra);
  return h;
}

int TFieldsetBlock::InkBottom() const {
  const int bottom = TBlock::InkBottom();
  if (Hidden() || Visibility == 1 || Legend->Count() == 0) return bottom;
  return std::max(bottom, Legend->InkBottom());
}

int TFieldsetBlock::Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) {
  if (Hidden() || Visibility == 1 || Legend->Count() == 0)
    return TBlock::Draw(canvas, clip, clipWidth, x, xRef, yRef);
  const int dx = x - layoutX_;
  const int yOff = Owner ? Owner->YOffset : 0;
  const int legendX = legendX_ + dx + 2;
  int bottom;
  {
    // The ring stops at the legend: its rectangle, 4 pixels wider on each side, is cut out of the
    // clip while the block draws itself, so whatever lies under the gap stays as it was.
    TClipScope keep(canvas);
    if (Legend->TextWidth > 0)
      canvas.ExcludeClipRect({legendX - 4, legendY_ - yOff, legendX + Legend->TextWidth + 4,
                              legendY_ + LegendHeight - yOff});
    bottom = TBlock::Draw(canvas, clip, clipWidth, x, xRef, yRef);
  }
  Legend->Draw(canvas, clip, clipWidth, legendX, xRef, yRef);
  return bottom;
}

}  // namespace htmlview
