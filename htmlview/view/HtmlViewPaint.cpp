// The interactive side of the viewer: the division of its area, the layout with the decision on
// the vertical bar, painting, scrolling, keys, the wheel, the mouse and the selection.
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlFonts.h"
#include "htmlview/layout/HtmlPanels.h"
#include "htmlview/view/HtmlView.h"
#include "platform/gui/Messages.h"

namespace htmlview {

namespace {

constexpr int MaxDocWidth = 6000;

TShiftState ShiftOf(Qt::KeyboardModifiers m, Qt::MouseButtons b = Qt::NoButton) {
  TShiftState s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  if (b & Qt::LeftButton) s |= ssLeft;
  if (b & Qt::RightButton) s |= ssRight;
  if (b & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

bool ButtonOf(Qt::MouseButton b, TMouseButton& out) {
  switch (b) {
    case Qt::LeftButton:
      out = mbLeft;
      return true;
    case Qt::RightButton:
      out = mbRight;
      return true;
    case Qt::MiddleButton:
      out = mbMiddle;
      return true;
    default:
      return false;
  }
}

QCursor PanCursor(TPanCursor which) {
  const QImage& image = PanCursorImage(which);
  return QCursor(QPixmap::fromImage(image), image.width() / 2, image.height() / 2);
}

bool IsWordChar(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c >= 192;
}

}  // namespace

// ---- the paint panel ----

TPaintPanel::TPaintPanel(THtmlView* viewer, QWidget* parent) : QWidget(parent), Viewer(viewer) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
  // Drags are offered to the host's handlers; without them nothing is taken.
  setAcceptDrops(true);
}

void TPaintPanel::paintEvent(QPaintEvent* event) {
  if (Viewer->layingOut_) return;
  RunGuarded(Viewer, [&] {
    QPainter painter(this);
    TCanvas canvas(painter);
    canvas.Measurer = Viewer->Measurer;
    const QRect r = event->rect();
    Viewer->PaintRect(canvas, {r.left(), r.top(), r.right() + 1, r.bottom() + 1});
  });
}

namespace {
// A mouse event as the viewer takes it: the point, the keys and buttons held, under the viewer's guard.
template <class Call>
void PassMouse(THtmlView* viewer, const QMouseEvent* event, Call call) {
  const QPoint p = event->position().toPoint();
  RunGuarded(viewer, [&] { call(ShiftOf(event->modifiers(), event->buttons()), p.x(), p.y()); });
}
}  // namespace

void TPaintPanel::mousePressEvent(QMouseEvent* event) {
  TMouseButton b;
  if (!ButtonOf(event->button(), b)) return;
  PassMouse(Viewer, event, [&](TShiftState shift, int x, int y) { Viewer->HTMLMouseDown(b, shift, x, y); });
}

void TPaintPanel::mouseMoveEvent(QMouseEvent* event) {
  MouseInside = true;
  PassMouse(Viewer, event, [&](TShiftState shift, int x, int y) { Viewer->HTMLMouseMove(shift, x, y); });
}

void TPaintPanel::mouseReleaseEvent(QMouseEvent* event) {
  TMouseButton b;
  if (!ButtonOf(event->button(), b)) return;
  PassMouse(Viewer, event, [&](TShiftState shift, int x, int y) { Viewer->HTMLMouseUp(b, shift, x, y); });
}

void TPaintPanel::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  PassMouse(Viewer, event, [&](TShiftState shift, int x, int y) { Viewer->HTMLMouseDouble(shift, x, y); });
}

void TPaintPanel::enterEvent(QEnterEvent* event) {
  MouseInside = true;
  QWidget::enterEvent(event);
}

void TPaintPanel::leaveEvent(QEvent* event) {
  MouseInside = false;
  QWidget::leaveEvent(event);
}

namespace {
// The host's answer to a drag at a point; without a handler nothing is taken.
bool DragOver(THtmlView& viewer, QDropEvent* event, TDragState state) {
  if (!viewer.OnDragOver) return false;
  bool accept = true;
  const QPoint p = event->position().toPoint();
  RunGuarded(&viewer,
             [&] { viewer.OnDragOver(&viewer, event->source(), event->mimeData(), p.x(), p.y(), state, accept); });
  return accept;
}
}  // namespace

void TPaintPanel::AnswerDrag(QDragMoveEvent* event, TDragState state) {
  lastDrag_ = event->position().toPoint();
  // As the class library does: only a drag-over handler can accept a drop.
  if (DragOver(*Viewer, event, state))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TPaintPanel::dragEnterEvent(QDragEnterEvent* event) { AnswerDrag(event, dsDragEnter); }
void TPaintPanel::dragMoveEvent(QDragMoveEvent* event) { AnswerDrag(event, dsDragMove); }

void TPaintPanel::dragLeaveEvent(QDragLeaveEvent* event) {
  if (Viewer->OnDragOver) {
    bool accept = true;
    RunGuarded(Viewer, [&] {
      Viewer->OnDragOver(Viewer, nullptr, nullptr, lastDrag_.x(), lastDrag_.y(), dsDragLeave, accept);
    });
  }
  event->accept();
}

void TPaintPanel::dropEvent(QDropEvent* event) {
  const QPoint p = event->position().toPoint();
  if (Viewer->OnDragDrop)
    RunGuarded(Viewer, [&] { Viewer->OnDragDrop(Viewer, event->source(), event->mimeData(), p.x(), p.y()); });
  event->acceptProposedAction();
}

// ---- areas and layout ----

QWidget* THtmlView::PaintPanel() { return panel_; }

template <class F>
auto THtmlView::WithCanvas(F&& f) {
  QImage sink(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&sink);
  canvas.Measurer = Measurer;
  return f(canvas);
}

unsigned THtmlView::LinkAt(int dx, int dy, std::unique_ptr<TUrlTarget>& url) {
  TFormControlObj* control = nullptr;
  std::u16string title;
  return WithCanvas(
      [&](TCanvas& c) { return static_cast<TCellBasic*>(doc_.get())->LinkAtPoint(c, dx, dy, url, control, title); });
}

THtmlView::TAreas THtmlView::ComputeAreas(int w, int h) const {
  TAreas a;
  a.Border = border_->frameShape() == QFrame::NoFrame ? 0 : 2 * border_->frameWidth();
  a.Width = std::max(0, width() - a.Border);
  a.Height = std::max(0, height() - a.Border);
  const int sbw = vBar_->sizeHint().width();
  const bool showV = (options_ & htShowVScroll) != 0;
  switch (scrollBars_) {
    case TScrollStyle::ssNone:
      break;
    case TScrollStyle::ssHorizontal:
      if (a.Width < w) {
        a.HBar = true;
        a.Height -= sbw;
      }
      break;
    case TScrollStyle::ssVertical:
      if (showV || a.Height < h) {
        a.VBar = true;
        a.Width -= sbw;
      }
      break;
    case TScrollStyle::ssBoth:
      if (showV || a.Height < h) {
        a.VBar = true;
        a.Width -= sbw;
      }
      if (a.Width < w) {
        a.HBar = true;
        a.Height -= sbw;
      }
      if (!a.VBar && a.Height < h) {
        a.VBar = true;
        a.Width -= sbw;
      }
      break;
  }
  a.Width = std::max(0, a.Width);
  a.Height = std::max(0, a.Height);
  return a;
}

int THtmlView::LayoutOnce(int width, int height) {
  ++lastLayouts_;
  docWidth_ = 0;
  int scrollWidth = 0;
  docHeight_ = WithCanvas([&](TCanvas& canvas) { return doc_->DoLayout(canvas, 0, std::max(1, width), height, scrollWidth); });
  docWidth_ = std::min(scrollWidth, MaxDocWidth);
  return docHeight_;
}

void THtmlView::DoLogic() {
  const bool wasLayingOut = layingOut_;
  layingOut_ = true;
  struct TRestore {
    bool& flag;
    bool value;
    ~TRestore() { flag = value; }
  } restore{layingOut_, wasLayingOut};
  lastLayouts_ = 0;
  TAreas a = ComputeAreas(0, 0);
  const int sbw = vBar_->sizeHint().width();
  // The full width: a forced vertical bar is taken off below, once, as any other bar is.
  const int wid = a.Width + (a.VBar ? sbw : 0), hgt = a.Height;
  const bool showV = (options_ & htShowVScroll) != 0;
  int& tally = VScrollTally();
  if (scrollBars_ == TScrollStyle::ssNone || scrollBars_ == TScrollStyle::ssHorizontal) {
    LayoutOnce(wid, hgt);
  } else {
    bool needed = showV;
    if (tally < 0) {
      if (showV) {
        LayoutOnce(wid - sbw, hgt);
      } else {
        LayoutOnce(wid, hgt);
        a = ComputeAreas(docWidth_, docHeight_);
        needed = a.VBar;
        if (needed) {
          LayoutOnce(wid - sbw, hgt);
          a = ComputeAreas(docWidth_, docHeight_);
          needed = a.VBar;
          if (!needed) LayoutOnce(wid, hgt);
        }
      }
    } else {
      LayoutOnce(wid - sbw, hgt);
      if (!showV && docHeight_ != 0) {
        a = ComputeAreas(docWidth_, docHeight_);
        needed = a.VBar;
        // A document far taller than the area keeps the narrow layout: it needs the bar anyway.
        if (!(needed && docHeight_ > 2 * a.Height)) {
          LayoutOnce(wid, hgt);
          a = ComputeAreas(docWidth_, docHeight_);
          needed = a.VBar;
          if (needed) LayoutOnce(wid - sbw, hgt);
        }
      }
    }
    if (docHeight_ > 0 && !showV) tally += needed ? 1 : -1;
  }
  DoScrollBars();
}

void THtmlView::DoScrollBars() {
  docWidth_ = std::min(docWidth_, MaxDocWidth);
  const TAreas a = ComputeAreas(docWidth_, docHeight_);
  const int b = a.Border / 2;
  const int sbw = vBar_->sizeHint().width();
  // Only the frame's line follows the focus: the frame itself holds the page and always shows.
  border_->setGeometry(0, 0, width(), height());
  panel_->setGeometry(b, b, a.Width, a.Height);
  const QSignalBlocker blockH(hBar_), blockV(vBar_);
  hBar_->setVisible(a.HBar);
  if (a.HBar) hBar_->setGeometry(b, b + a.Height, a.Width, sbw);
  hBar_->setPageStep(std::max(a.Width - hBar_->singleStep(), 16));
  hBar_->setEnabled(a.Width < docWidth_);
  hBar_->setRange(0, std::max(0, docWidth_ - a.Width));
  vBar_->setVisible(a.VBar);
  if (a.VBar) vBar_->setGeometry(b + a.Width, b, sbw, a.Height);
  vBar_->setPageStep(std::max(a.Height - vBar_->singleStep(), 16));
  vBar_->setEnabled(a.Height < docHeight_);
  vBar_->setRange(0, std::max(0, docHeight_ - a.Height));
  if (doc_->YOffset != vBar_->value()) doc_->SetYOffset(vBar_->value());
  border_->lower();
  panel_->raise();
  vBar_->raise();
  hBar_->raise();
}

void THtmlView::resizeEvent(QResizeEvent* event) {
  THtmlViewBase::resizeEvent(event);
  if (constructing_) return;
  RunGuarded(this, [&] {
    if (processing_) {
      DoScrollBars();
      return;
    }
    Reformat();
    if (panel_->height() <= docHeight_)
      SetVScrollBarPosition(vBar_->value());
    else
      ScrollTo(0);
    hBar_->setValue(std::min(hBar_->value(), hBar_->maximum()));
  });
}

// ---- scrolling ----

int THtmlView::VScrollBarPosition() const { return vBar_->value(); }
int THtmlView::HScrollBarPosition() const { return hBar_->value(); }

int THtmlView::SetVPos(int value) {
  value = std::clamp(value, 0, std::max(0, docHeight_ - panel_->height()));
  const int old = vBar_->value();
  if (value == old) return old;
  {
    const QSignalBlocker block(vBar_);
    vBar_->setValue(value);
  }
  VScrollChanged(vBar_->value());
  return old;
}

void THtmlView::SetVScrollBarPosition(int value) { SetVPos(value); }

void THtmlView::SetHScrollBarPosition(int value) {
  hBar_->setValue(std::clamp(value, 0, hBar_->maximum()));
}

void THtmlView::ScrollTo(int y) {
  SetVPos(y);
  RepaintPanel();
}

void THtmlView::VScrollChanged(int value) {
  value = std::clamp(value, 0, std::max(0, docHeight_ - panel_->height()));
  const int old = doc_->YOffset;
  doc_->SetYOffset(value);
  if (fixedBackground_ || layingOut_) {
    panel_->update();
  } else if (old != value) {
    // The contents move; only the part uncovered is painted.
    panel_->scroll(0, old - value);
  }
}

void THtmlView::HScrollChanged(int /*value*/) { panel_->update(); }

void THtmlView::RepaintPanel() { panel_->update(); }

TRect THtmlView::VisibleDocRect() const {
  const int x = hBar_->value(), y = doc_->YOffset;
  return {x, y, x + panel_->width(), y + panel_->height()};
}

void THtmlView::RepaintDocRect(const TRect& rect) {
  panel_->update(QRect(rect.Left - hBar_->value(), rect.Top - doc_->YOffset, rect.Width(), rect.Height()));
}

// ---- painting ----

void THtmlView::PaintRect(TCanvas& canvas, const TRect& rect) {
  const TColor background = ColorToRGB(doc_->Background);
  canvas.Brush.Color = background;
  canvas.Brush.Style = bsSolid;
  canvas.FillRect(rect);
  fixedBackground_ = false;
  if (!doc_->Printing && doc_->ShowImages && !doc_->BackgroundImageName.empty()) {
    // A fixed background stands still in the view; any other is laid over the whole page and
    // moves with it. A page painted whole is its own view.
    const int viewW = wholePage_.isEmpty() ? panel_->width() : wholePage_.width();
    const int viewH = wholePage_.isEmpty() ? panel_->height() : wholePage_.height();
    fixedBackground_ = doc_->BackgroundPosition[0].Fixed && wholePage_.isEmpty();
    const int x = -hBar_->value(), y = -doc_->YOffset;
    const TRect area = fixedBackground_ ? TRect{0, 0, viewW, viewH}
                                        : TRect{x, y, x + std::max(docWidth_, viewW), y + std::max(docHeight_, viewH)};
    DrawBackgroundImage(canvas, *doc_, area, rect);
  }
  doc_->Draw(canvas, rect, MaxDocWidth, -hBar_->value(), 0, 0);
  if (doc_->ShowDummyCaret) DrawDummyCaret(canvas, rect);
}

void THtmlView::DrawBackgroundImage(TCanvas& canvas, ThtDocument& doc, const TRect& area, const TRect& clip) {
  const std::shared_ptr<TDocImage> image = doc.GetBackgroundImage();
  if (!image || image->Image.isNull()) return;
  const TTileGrid grid =
      BackgroundTileGrid(area.Width(), area.Height(), image->Image.width(), image->Image.height(), doc.BackgroundPosition);
  TClipScope keep(canvas, clip, doc.Printing);
  DrawBackgroundTiles(canvas, image->Image, grid, area, clip.Top, clip.Bottom);
}

void THtmlView::DrawDummyCaret(TCanvas& canvas, const TRect& clip) {
  // Only where nothing is selected: the caret stands at the selection's collapsed end.
  if (doc_->SelectionStart != doc_->SelectionEnd || doc_->Printing) return;
  int x = 0, y = 0, h = 0;
  if (!doc_->CharToPoint(caretPos_, x, y, h)) return;
  const TRect line{x - hBar_->value(), y - doc_->YOffset, x - hBar_->value() + 1, y - doc_->YOffset + h};
  if (line.Bottom <= clip.Top || line.Top >= clip.Bottom) return;
  TClipScope keep(canvas, clip, false);
  FillRectColor(canvas, line, ColorToRGB(doc_->FontColor));
}

void THtmlView::PaintDocument(QImage& image) {
  // In bands, each an image over the rows of the whole: the raster engine gives a clip that is
  // not a rectangle (the ring of every border) spans over the device's full height, so one tall
  // device makes each border cost as much as the page is high.
  constexpr int BandHeight = 1024;
  const int width = image.width(), height = image.height();
  if (width < 1 || height < 1) return;
  struct TRestore {
    ThtDocument& doc;
    int y;
    ~TRestore() { doc.SetYOffset(y); }
  } restore{*doc_, doc_->YOffset};
  wholePage_ = QSize(width, height);
  struct TWhole {
    QSize& size;
    ~TWhole() { size = QSize(); }
  } whole{wholePage_};
  for (int top = 0; top < height; top += BandHeight) {
    const int h = std::min(BandHeight, height - top);
    QImage band(image.scanLine(top), width, h, image.bytesPerLine(), image.format());
    doc_->SetYOffset(top);
    TCanvas canvas(&band);
    canvas.Measurer = Measurer;
    PaintRect(canvas, {0, 0, width, h});
  }
}

// ---- keys and wheel ----

void THtmlView::keyPressEvent(QKeyEvent* event) {
  int key = event->key();
  const TShiftState shift = ShiftOf(event->modifiers() & ~Qt::KeypadModifier);
  bool ours = false;
  switch (key) {
    case Qt::Key_Space:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
      ours = true;
      break;
    default:
      break;
  }
  if (!ours) {
    THtmlViewBase::keyPressEvent(event);
    return;
  }
  RunGuarded(this, [&] { KeyDown(key, shift); });
  event->accept();
}

void THtmlView::KeyDown(int key, TShiftState shift) {
  if (panning_) EndPanning();
  const int p = vBar_->value();
  const int page = vBar_->pageStep(), line = vBar_->singleStep();
  int np = p;
  const TShiftState mods = shift & (ssShift | ssAlt | ssCtrl);
  // The keys that scroll up or down, each with the modifiers it takes, and where each goes.
  const struct {
    int Key;
    TShiftState Mods;
    int To;
  } moves[] = {{Qt::Key_Space, 0, p + page},  {Qt::Key_Space, ssShift, p - page}, {Qt::Key_PageUp, 0, p - page},
               {Qt::Key_PageDown, 0, p + page}, {Qt::Key_End, ssCtrl, docHeight_},    {Qt::Key_Home, ssCtrl, 0},
               {Qt::Key_Up, 0, p - line},     {Qt::Key_Down, 0, p + line}};
  for (const auto& move : moves)
    if (key == move.Key && mods == move.Mods) np = move.To;
  np = std::clamp(np, 0, std::max(0, docHeight_ - panel_->height()));
  if (np != p) SetVPos(np);
  if ((key == Qt::Key_Left || key == Qt::Key_Right) && mods == 0) {
    const int h = hBar_->value();
    const int nh = std::clamp(h + (key == Qt::Key_Left ? -1 : 1) * hBar_->singleStep(), 0, hBar_->maximum());
    if (nh != h) hBar_->setValue(nh);
  }
}

bool THtmlView::focusNextPrevChild(bool next) { return THtmlViewBase::focusNextPrevChild(next); }

void THtmlView::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  bool handled = false;
  RunGuarded(this, [&] { handled = DoMouseWheel(delta); });
  if (handled)
    event->accept();
  else
    THtmlViewBase::wheelEvent(event);
}

bool THtmlView::DoMouseWheel(int delta) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, delta, handled);
  if (handled || (options_ & htNoWheelMouse) || delta == 0) return handled;
  const int n = QApplication::wheelScrollLines();
  int move;
  if (n < 1) {
    move = -delta / 2;
  } else {
    // A notch is 120; a finer wheel moves by at least a notch's share, never by nothing.
    const int notches = std::max(1, std::abs(delta) / 120);
    move = (delta < 1 ? 1 : -1) * n * 16 * notches;
  }
  SetVPos(vBar_->value() + move);
  return true;
}

// ---- the mouse ----

void THtmlView::ApplyPanelCursor(const QCursor& cursor) { panel_->setCursor(cursor); }

void THtmlView::EndPanning() {
  panning_ = false;
  mouseScrollPending_ = false;
  autoScrollTimer_->stop();
  ApplyPanelCursor(QCursor(cursor_));
}

void THtmlView::TakeLink(const TUrlTarget& link) {
  url_ = link.URL;
  target_ = link.Target;
  TakeLinkText(link);
}

void THtmlView::TakeLinkText(const TUrlTarget& link) {
  linkAttributes_ = link.Attr;
  // The link knows where it stands in the page's source: from the first character after its
  // start tag to the last one before its end tag (which ends where the next character begins).
  const int first = link.Start >= 0 ? doc_->SourceToChar(link.Start, false) : -1;
  const int last = link.Last > 0 ? doc_->SourceToChar(link.Last - 1, true) : -1;
  TPoint start{};
  linkText_ = first >= 0 && last >= first ? GetTextByIndices(first, last + 1, &start) : std::u16string();
  linkStart_ = start;
}

void THtmlView::HTMLMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
  setFocus(Qt::MouseFocusReason);
  hotSpotHandled_ = false;
  lastMouseX_ = x;
  lastMouseY_ = y;
  if (panning_) {
    EndPanning();
    return;
  }
  if (button == mbMiddle) {
    if (options_ & htNoWheelMouse) return;
    panning_ = true;
    panY_ = y;
    ApplyPanelCursor(PanCursor(UpDownCursor));
    return;
  }
  if (button != mbLeft) return;
  leftButtonDown_ = true;
  const int dx = x + hBar_->value(), dy = y + doc_->YOffset;
  if (options_ & htNoLinkHilite) {
    std::unique_ptr<TUrlTarget> url;
    selecting_ = !(LinkAt(dx, dy, url) & guUrl);
  } else {
    selecting_ = true;
  }
  anchor_ = WithCanvas([&](TCanvas& c) {
    int cx = 0, cy = 0, ch = 0;
    bool inText = false;
    return doc_->PointToChar(c, dx, dy, cx, cy, ch, inText);
  });
  if (anchor_ >= 0) {
    const bool hadSelection = doc_->SelectionEnd > doc_->SelectionStart;
    if (hadSelection || (shift & ssShift)) RepaintPanel();
    if (shift & ssShift) {
      doc_->SelectionStart = std::min(caretPos_, anchor_);
      doc_->SelectionEnd = std::max(caretPos_, anchor_);
      if (noSelect_) doc_->SelectionStart = doc_->SelectionEnd = 0;
    } else {
      doc_->SelectionStart = doc_->SelectionEnd = anchor_;
      caretPos_ = anchor_;
    }
  }
  doc_->SetPressed(true);
}

void THtmlView::HTMLMouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
  lastMouseX_ = x;
  lastMouseY_ = y;
  if (panning_) {
    if (std::abs(y - panY_) > 20 && !mouseScrollPending_) {
      mouseScrollPending_ = true;
      platform::PostMessage(this, wm_MouseScroll);
    }
    return;
  }
  const int dx = x + hBar_->value(), dy = y + doc_->YOffset;
  Qt::CursorShape shape = Qt::ArrowCursor;
  std::u16string nextUrl, nextTarget;
  std::unique_ptr<TUrlTarget> url;
  TFormControlObj* control = nullptr;
  std::u16string title;
  const unsigned flags =
      WithCanvas([&](TCanvas& c) { return doc_->Hover(c, dx, dy, url, control, title, (shift & ssLeft) != 0); });
  if ((flags & guUrl) && url) {
    shape = Qt::PointingHandCursor;
    nextUrl = url->URL;
    nextTarget = url->Target;
    TakeLinkText(*url);
  }
  if (flags & guControl) shape = Qt::PointingHandCursor;
  bool overImage = false;
  if (OnImageOver || OnImageClick) {
    TFloatingObj* obj = nullptr;
    int ox = 0, oy = 0;
    if (doc_->ObjectAtPoint(dx, dy, obj, ox, oy) && obj) {
      overImage = true;
      if (shape != Qt::PointingHandCursor) shape = Qt::ArrowCursor;
      if (OnImageOver) OnImageOver(this, obj, shift, ox, oy);
    }
  }
  if (!overImage && shape != Qt::PointingHandCursor) {
    const bool inText = WithCanvas([&](TCanvas& c) {
      int cx = 0, cy = 0, ch = 0;
      bool on = false;
      doc_->PointToChar(c, dx, dy, cx, cy, ch, on);
      return on;
    });
    if (inText) shape = cursor_;
  }
  panelCursor_ = shape;
  ApplyPanelCursor(QCursor(shape));
  if (shape == Qt::PointingHandCursor || doc_->HoverLink)
    timer_->start();
  else
    timer_->stop();
  if (nextUrl != url_ || nextTarget != target_) {
    url_ = nextUrl;
    target_ = nextTarget;
    if (OnHotSpotCovered) OnHotSpotCovered(this, url_);
  }
  if (shift & ssLeft) {
    if (!mouseScrollPending_ && (y < 1 || y >= panel_->height())) {
      mouseScrollPending_ = true;
      platform::PostMessage(this, wm_MouseScroll);
    }
    if (!noSelect_) ExtendSelection(x, y);
  }
}

void THtmlView::ControlMouseMove(QObject* sender, unsigned shift, int x, int y) {
  // The control reports its own coordinates; the document wants the panel's.
  QPoint p(x, y);
  if (auto* w = qobject_cast<QWidget*>(sender); w && panel_->isAncestorOf(w)) p = w->mapTo(panel_, p);
  HTMLMouseMove(shift, p.x(), p.y());
}

void THtmlView::ExtendSelection(int x, int y) {
  if (!selecting_ || anchor_ < 0) return;
  y = std::clamp(y, 0, panel_->height());
  const int index = WithCanvas([&](TCanvas& c) {
    int cx = 0, cy = 0, ch = 0;
    bool inText = false;
    return doc_->PointToChar(c, x + hBar_->value(), y + doc_->YOffset, cx, cy, ch, inText);
  });
  if (index < 0) return;
  if (!noSelect_) {
    doc_->SelectionStart = std::min(anchor_, index);
    doc_->SelectionEnd = std::max(anchor_, index);
    RepaintPanel();
  }
  caretPos_ = index;
}

void THtmlView::HTMLMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  lastMouseX_ = x;
  lastMouseY_ = y;
  if (panning_) {
    // A middle click without movement turns panning on; any other release ends it.
    if (button == mbMiddle && y == panY_) return;
    EndPanning();
    return;
  }
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
  const int dx = x + hBar_->value(), dy = y + doc_->YOffset;
  TFloatingObj* image = nullptr;
  int ix = 0, iy = 0;
  if (OnImageClick || OnRightClick) {
    if (!doc_->ObjectAtPoint(dx, dy, image, ix, iy)) image = nullptr;
    if (image && OnImageClick) OnImageClick(this, image, button, shift, ix, iy);
  }
  if (button == mbRight && OnRightClick) {
    TRightClickParameters params;
    if (image) {
      params.Image = image;
      params.ImageX = ix;
      params.ImageY = iy;
    }
    std::unique_ptr<TUrlTarget> url;
    if ((LinkAt(dx, dy, url) & guUrl) && url) {
      params.URL = url->URL;
      params.Target = url->Target;
    }
    int st = 0, en = 0;
    GetWordAtCursor(x, y, st, en, params.ClickWord);
    timer_->stop();
    OnRightClick(this, params);
    timer_->start();
    return;
  }
  if (button != mbLeft || (shift & ssShift)) return;
  mouseScrollPending_ = false;
  autoScrollTimer_->stop();
  ExtendSelection(x, y);
  selecting_ = false;
  doc_->SetPressed(false);
  const bool wasDown = leftButtonDown_;
  leftButtonDown_ = false;
  if (!wasDown || doc_->SelectionEnd > doc_->SelectionStart) return;
  std::unique_ptr<TUrlTarget> url;
  if ((LinkAt(dx, dy, url) & guUrl) && url) {
    TakeLink(*url);
    // The link clicked is the one Tab goes on from.
    if (url->ID != 0) {
      for (TFontObj* f : doc_->LinkFonts) {
        if (f->LinkID() != url->ID || !f->TabControl) continue;
        if (f->TabControl->isEnabled() && f->TabControl->isVisible()) {
          suppressFocusScroll_ = true;
          struct TRestore {
            bool& flag;
            ~TRestore() { flag = false; }
          } restore{suppressFocusScroll_};
          f->TabControl->setFocus(Qt::MouseFocusReason);
        }
        break;
      }
    }
    hotSpotHandled_ = true;
    ProcessHotSpotClick();
  }
}

void THtmlView::HTMLMouseDouble(TShiftState shift, int x, int y) {
  doc_->SetPressed(true);
  if (!processing_ && !hotSpotHandled_ && !noSelect_) {
    int st = 0, en = 0;
    std::u16string word;
    if (GetWordAtCursor(x, y, st, en, word)) {
      doc_->SelectionStart = st + 1;
      doc_->SelectionEnd = en;
      caretPos_ = st + 1;
      RepaintPanel();
    }
  }
  if (OnMouseDouble) OnMouseDouble(this, mbLeft, shift, x, y);
}

bool THtmlView::GetWordAtCursor(int x, int y, int& st, int& en, std::u16string& word) {
  word.clear();
  bool inText = false;
  const int index = WithCanvas([&](TCanvas& c) {
    int cx = 0, cy = 0, ch = 0;
    return doc_->PointToChar(c, x + hBar_->value(), y + doc_->YOffset, cx, cy, ch, inText);
  });
  if (index < 0) return false;
  caretPos_ = index;
  if (!inText) return false;
  auto charAt = [&](int i, char16_t& ch, TIDObject*& obj) {
    obj = nullptr;
    ch = u' ';
    if (i < 0) return false;
    return doc_->CharAt(i, ch, obj);
  };
  char16_t ch;
  TIDObject* obj = nullptr;
  if (!charAt(index, ch, obj) || !IsWordChar(ch)) return false;
  TIDObject* const wordObj = obj;
  word = std::u16string(1, ch);
  int i = index + 1;
  for (;; ++i) {
    char16_t c;
    TIDObject* o;
    if (!charAt(i, c, o) || o != wordObj || !IsWordChar(c)) break;
    word += c;
  }
  en = i;
  int j = index - 1;
  for (; j >= 0; --j) {
    char16_t c;
    TIDObject* o;
    if (!charAt(j, c, o) || o != wordObj || !IsWordChar(c)) break;
    word.insert(word.begin(), c);
  }
  st = j;
  return true;
}

std::u16string THtmlView::GetTextByIndices(int start, int last, TPoint* startPoint) {
  if (start < 0 || start >= last) return {};
  const int s0 = doc_->SelectionStart, e0 = doc_->SelectionEnd;
  doc_->SelectionStart = start;
  doc_->SelectionEnd = last;
  std::u16string text = doc_->SelectionText();
  doc_->SelectionStart = s0;
  doc_->SelectionEnd = e0;
  if (startPoint) {
    int px = 0, py = 0, h = 0;
    if (doc_->CharToPoint(start, px, py, h)) *startPoint = {px, py - doc_->YOffset};
  }
  return text;
}

int THtmlView::SelStart() const { return doc_->SelectionStart; }
int THtmlView::SelLength() const { return doc_->SelectionEnd - doc_->SelectionStart; }

std::u16string THtmlView::GetSelText() {
  if (doc_->SelectionEnd <= doc_->SelectionStart) return {};
  return doc_->SelectionText();
}

void THtmlView::CopyToClipboard() {
  const std::u16string text = GetSelText();
  if (text.empty()) return;
  QApplication::clipboard()->setText(QString::fromStdU16String(text));
}

void THtmlView::SelectAll() {
  if (noSelect_) return;
  doc_->SelectionStart = 0;
  doc_->SelectionEnd = doc_->CharCount;
  RepaintPanel();
}

// ---- auto-scroll and panning ----

void THtmlView::MouseScroll() {
  if (!mouseScrollPending_) return;
  AutoScrollStep();
  if (mouseScrollPending_) autoScrollTimer_->start();
}

void THtmlView::AutoScrollStep() {
  const int y = lastMouseY_;
  const bool dragging = leftButtonDown_ && mouseScrollPending_ && (y < 1 || y >= panel_->height());
  const bool pan = panning_ && std::abs(y - panY_) >= 21;
  if (!dragging && !pan) {
    autoScrollTimer_->stop();
    mouseScrollPending_ = false;
    if (panning_) ApplyPanelCursor(PanCursor(UpDownCursor));
    return;
  }
  const int p = vBar_->value();
  const int line = vBar_->singleStep();
  int np;
  if (dragging) {
    if (y < -15)
      np = p - 8 * line;
    else if (y < 1)
      np = p - line;
    else if (y > panel_->height() + 15)
      np = p + 8 * line;
    else
      np = p + line;
  } else {
    int d = y - panY_;
    if (d > 0) {
      d -= 16;
      ApplyPanelCursor(PanCursor(DownOnlyCursor));
    } else {
      d += 16;
      ApplyPanelCursor(PanCursor(UpOnlyCursor));
    }
    np = p + d / 4;
  }
  SetVPos(np);
  if (dragging && !noSelect_) ExtendSelection(lastMouseX_, y);
  RepaintPanel();
}

// ---- the link-leave timer and focus scrolling ----

void THtmlView::LinkLeaveCheck() {
  if (panel_->MouseInside) return;
  doc_->ClearHover();
  timer_->stop();
  if (!url_.empty() || !target_.empty()) {
    url_.clear();
    target_.clear();
    if (OnHotSpotCovered) OnHotSpotCovered(this, u"");
  }
}

void THtmlView::ScrollFocusInto(int y, int /*h*/) {
  const int pos = vBar_->value();
  const int clientH = panel_->height();
  if (y >= pos && y <= pos + clientH - 20) return;
  ScrollTo(y - clientH / 2);
}

void THtmlView::ScrollLinkInto(int y) {
  // A link clicked with the mouse is where the user sees it.
  if (suppressFocusScroll_) return;
  const int pos = vBar_->value();
  const int clientH = panel_->height();
  if (y < pos)
    ScrollTo(y);
  else if (y > pos + clientH - 30)
    ScrollTo(y - clientH / 2);
  else
    RepaintPanel();
}

void THtmlView::focusInEvent(QFocusEvent* event) {
  THtmlViewBase::focusInEvent(event);
  ApplyBorder();
  DoScrollBars();
}

void THtmlView::focusOutEvent(QFocusEvent* event) {
  THtmlViewBase::focusOutEvent(event);
  ApplyBorder();
  DoScrollBars();
}

}  // namespace htmlview
