#pragma once
// Objects that stand in the text for one character each: images and host panels (which may
// float beside the text) and form controls, with the box rules they share.
#include <QFrame>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/images/HtmlGif.h"
#include "htmlview/layout/HtmlBlocks.h"
#include "htmlview/layout/HtmlDocument.h"

namespace htmlview {

class TFontObj;

// One enumeration for every object's vertical alignment and floating.
enum AlignmentType : uint8_t { ANone, ATop, AMiddle, ABottom, ABaseline, ALeft, ARight };

class TFloatingObj : public TIDObject {
public:
  TFloatingObj() = default;
  virtual ~TFloatingObj() = default;
  virtual std::unique_ptr<TFloatingObj> Clone(ThtDocument* document) const = 0;

  int Pos = 0;  // the object's character in its section
  int ImageWidth = 0, ImageHeight = 0;  // outer size, border included
  AlignmentType Floating = ANone;
  AlignmentType VertAlign = ABottom;
  int HSpaceL = 0, HSpaceR = 0, VSpaceT = 0, VSpaceB = 0;
  int SpecWidth = -1, SpecHeight = -1;
  bool PercentWidth = false, PercentHeight = false;
  std::u16string Title, Alt;
  bool ImageKnown = false;
  int DrawX = 0, DrawY = 0;  // document coordinates of the object's top-left (inside its spaces)
  bool NoBorder = false;
  int BorderSize = 0;
  bool Placed = false;  // a float placed by the current layout

  int TotalWidth() const { return ImageWidth + HSpaceL + HSpaceR; }
  int TotalHeight() const { return ImageHeight + VSpaceT + VSpaceB; }
  int YPosition() const override { return DrawY; }
  bool IsFloat() const { return Floating == ALeft || Floating == ARight; }

  // Style values applied after the attributes.
  void ProcessProperties(TProperties& props);
  // Sizes the object for the room it has.
  virtual void DrawLogic(ThtDocument& document, TCanvas& canvas, TFontObj* font, int availableWidth,
                         int availableHeight) = 0;
  // Draws at (x, y) in window coordinates (the outer box's top-left).
  virtual void Draw(ThtDocument& document, TCanvas& canvas, int x, int y, TFontObj* font) = 0;
};

class TImageObj : public TFloatingObj {
public:
  TImageObj(ThtDocument* document, int pos, const TAttributeList* attributes);
  TImageObj(ThtDocument* document, const TImageObj& other);
  ~TImageObj() override;
  std::unique_ptr<TFloatingObj> Clone(ThtDocument* document) const override;

  ThtDocument* Document;
  std::u16string Source;
  std::shared_ptr<TDocImage> Image;
  int ObjWidth = 0, ObjHeight = 0;
  bool IsMap = false, UseMap = false;
  std::u16string MapName;
  bool NonAnimated = false;
  bool Missing = true;
  bool Pending = false;
  bool Transparent = false;
  int Hover = 0;  // 0 none, 1 over, 2 pressed

  void DrawLogic(ThtDocument& document, TCanvas& canvas, TFontObj* font, int availableWidth,
                 int availableHeight) override;
  void Draw(ThtDocument& document, TCanvas& canvas, int x, int y, TFontObj* font) override;
  void SetHover(int state);
  // The image arrived (nullptr: it failed for good, the error image shows): the next layout
  // sizes it again.
  void ImageArrived(std::shared_ptr<TDocImage> image) override;
  bool IsPlaceholder() const { return !Image || Image->Error; }
  // The picture as a bitmap of its own, for printing and copying (an animated one's current
  // frame); nullptr while there is none, and for the error image.
  std::unique_ptr<TBitmap> GetBitmap() const;

  std::unique_ptr<TViewerGifPicture> Gif;  // this object's copy of an animated GIF

private:
  // This object's entry in the document's animations.
  ThtDocument::TAnimation Animation();
  QImage scaled_;
  qint64 scaledFrom_ = 0;
  int drawnInLayout_ = -1;  // the document's LayoutCount when a paint last drew it
  std::u16string used_;     // the name of the image whose use this object holds
  bool keyed_ = false;      // Image is this object's copy with its lower-left colour cleared
};

// A host window in the text.
class ThvPanel : public QFrame {
public:
  explicit ThvPanel(QWidget* parent);
};

class TPanelObj : public TFloatingObj {
public:
  TPanelObj(ThtDocument* document, int pos, const TAttributeList* attributes, bool printCopy);
  TPanelObj(ThtDocument* document, const TPanelObj& other);
  ~TPanelObj() override;
  std::unique_ptr<TFloatingObj> Clone(ThtDocument* document) const override;

  ThtDocument* Document;
  std::unique_ptr<ThvPanel> Panel;
  // A print copy's panel: the one of the object it copies, for the host to print.
  QPointer<ThvPanel> PrintedPanel;
  int NaturalWidth = 0, NaturalHeight = 0;
  std::u16string Name, Type, Src;
  bool SizeSet = false;
  bool PrintCopy = false;
  bool ShownThisPaint = false;

  void DrawLogic(ThtDocument& document, TCanvas& canvas, TFontObj* font, int availableWidth,
                 int availableHeight) override;
  void Draw(ThtDocument& document, TCanvas& canvas, int x, int y, TFontObj* font) override;
};

class TFloatingObjList : public TFreeList<TFloatingObj> {
public:
  TFloatingObj* FindImage(int pos) const;
  // Characters from pos to the next object (99999999 when none).
  int GetHeightAt(int pos) const;
  void Decrement(int pos);
  // The object under a document point, with the point inside it.
  TFloatingObj* PtInObject(int x, int y, int& ix, int& iy) const;
  // The image under a document point (panels are no images), the point inside it, whether it is
  // a server-side map, and the page's map that it uses (nullptr when none).
  TImageObj* PtInImage(int x, int y, int& ix, int& iy, bool& isMap, TMapItem*& map) const;
  // An object in the text at pos as its line sees it: its width and height with its spaces and
  // its vertical alignment; false when there is none or it floats beside the text.
  bool GetImageAt(int pos, int& width, int& height, AlignmentType& align) const;
};

// A form control as the text sees it: a box with margins that moves a window.
// A control's window off the paint panel (at x -4000) stays shown, so that the tab key still
// reaches it, but takes no part in painting: Qt would otherwise mark every window shown as one
// to repaint and compare each with all its siblings, which on a page of thousands of controls
// costs their number squared. On the panel again, it paints as any window.
void MoveOffPanel(QWidget& control, int y);
void MoveOntoPanel(QWidget& control, int x, int y, bool show);

// Width and height limits: what a widget accepts.
inline constexpr int MaxWidgetSize = 16777215;
int ClampWidgetSize(long long value);

class ThtmlForm;
struct TFormEvents;

// The box a form control's window takes in the text, and the control's part in its form. Layout
// sizes, places and prints the box through this class; the form side (joining the form, the
// tag's attributes, the events, the window's focus, keys and tab order) is built with the control
// kinds in htmlview/forms.
class TFormControlObj : public TIDObject {
public:
  // The stand-in box: in no form, without a window.
  TFormControlObj(ThtDocument* document, int pos);
  // A control of the page: it joins the form that is open (an implicit one when none is) and
  // takes the tag's attributes.
  TFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes);
  ~TFormControlObj() override;

  ThtDocument* MasterList;
  int Pos;
  int YValue = 0;
  ThtmlForm* MyForm = nullptr;
  std::u16string Name, ID, Title, Value;
  std::vector<std::u16string> FormAttributes;  // name=value
  std::u16string OnBlurMessage, OnChangeMessage, OnClickMessage, OnFocusMessage;
  bool Disabled = false, ReadOnly = false, ShowIt = true;
  int MarginLeft = 0, MarginRight = 0, MarginTop = 0, MarginBottom = 0;
  int BorderLeft = 0, BorderRight = 0, BorderTop = 0, BorderBottom = 0;
  int SpecWidth = -1, SpecHeight = -1;
  bool PercentWidth = false;
  AlignmentType VertAlign = ABottom;
  TColor BkColor = clNone;
  bool Active = false;
  bool HasBorderStyle = false;
  int TabIndex = 0;
  bool Shown = false;  // placed by the current paint

  int YPosition() const override { return YValue; }
  int TotalWidth() const { return Width() + MarginLeft + MarginRight; }
  virtual QWidget* GetControl() const { return control_.get(); }
  int Left() const;
  int Top() const;
  virtual int Width() const;
  virtual int Height() const;
  bool TabStop() const;
  // Place among the paint panel's windows in the tab chain, from 0; -1 without a window on a panel.
  int TabOrder() const;
  void SetTabOrder(int order);
  void SetLeft(int x);
  void SetTop(int y);
  void SetTabStop(bool value);
  virtual void SetWidth(int w);
  virtual void SetHeight(int h);
  virtual bool Hidden() const { return false; }
  // Moves the window to a place on the paint panel (window coordinates) and shows it.
  virtual void Show(int x, int y);
  // Puts the window off the panel.
  virtual void MoveOff();

  virtual bool DoOnChange() { return false; }
  virtual void SaveContents() {}
  virtual bool GetSubmission(int index, std::u16string& s) {
    (void)index;
    (void)s;
    return false;
  }
  // Paints the control into a canvas (printing).
  virtual void Draw(TCanvas& canvas, int x, int y);
  virtual void Repaint();
  virtual void ProcessProperties(TProperties& props);
  virtual void ResetToValue() {}
  virtual void SetData(int index, const std::u16string& v) {
    (void)index;
    (void)v;
  }
  virtual void SetDataInit() {}
  virtual void SetHeightWidth(TCanvas& canvas) { (void)canvas; }

  void EnterEvent();
  void ExitEvent();
  void FormControlClick();
  // The change event, when the host listens.
  void RaiseChange();
  TFormEvents& Events() const;
  // The value of an attribute from FormAttributes; empty when absent.
  std::u16string Attribute(const std::u16string& name) const;
  QFont Font() const { return font_; }

protected:
  // Takes the window: off screen on the paint panel, the element's font, events watched.
  void AdoptControl(std::unique_ptr<QWidget> control, TProperties& props, bool clickByMouse);
  void DrawFrame(TCanvas& canvas, int x, int y, bool sunken = true);
  int PixelsPerInch() const;
  // What DoOnChange answers: whether the value changed since SaveContents, with the change
  // event raised when it did.
  bool ReportChange(bool changed);
  // The width of a control sized by its text: a percentage waits off the panel at waitingWidth
  // until the line sets it, a width of 10 or more from the style is taken, else the natural one.
  void SizeWidth(int waitingWidth, long long natural);

  std::unique_ptr<QWidget> control_;
  int width_ = 0, height_ = 0;
  QFont font_;
  std::unique_ptr<QObject> watcher_;  // the TControlWatcher of the window's events
  // Clears when the window goes with its parent before the object.
  QPointer<QWidget> alive_;
  friend class TControlWatcher;
  bool clickByMouse_ = false;
};

// The section's controls in character order (the document owns them).
class TFormControlObjList : public std::vector<TFormControlObj*> {
public:
  TFormControlObj* FindControl(int pos) const;
  // Height and alignment, or width and margins, of the control at pos; false when none.
  bool GetHeightAt(int pos, int& height, AlignmentType& align) const;
  bool GetWidthAt(int pos, int& width, int& marginLeft, int& marginRight) const;
  // Characters from pos to the next control (9999 when none).
  int GetControlCountAt(int pos) const;
  void Decrement(int pos);
};

// Makes the control object of an input type; the forms code installs the real kinds. Without a
// factory (or for a kind it does not make) a fixed box stands in.
using TFormControlFactory =
    std::function<std::unique_ptr<TFormControlObj>(ThtDocument* document, int pos, const std::u16string& type,
                                                   const TAttributeList* attributes, TProperties& props)>;
void SetFormControlFactory(TFormControlFactory factory);
std::unique_ptr<TFormControlObj> MakeFormControl(ThtDocument* document, int pos, const std::u16string& type,
                                                 const TAttributeList* attributes, TProperties& props);

// A block with a legend drawn across its top border.
class TFieldsetBlock : public TBlock {
public:
  TFieldsetBlock(ThtDocument* owner, TCellBasic* ownerCell, TProperties& props, TAttributeList* attributes);
  TFieldsetBlock(ThtDocument* owner, TCellBasic* ownerCell, const TFieldsetBlock& source);

  std::unique_ptr<TBlockCell> Legend;
  int ContentWidth = 0;
  int LegendHeight = 0;

  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const override;
  void WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) override;
  int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
             TIndentManager& imgr, int& maxWidth, int& curs) override;
  int Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) override;
  int InkBottom() const override;

private:
  // The fieldset's look where the style gives none: a 1-pixel solid grey ring, 10 pixels inside.
  static TProperties& WithDefaults(TProperties& props);
  int legendX_ = 0, legendY_ = 0;
};

}  // namespace htmlview
