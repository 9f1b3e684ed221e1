#pragma once
// The viewer control: one HTML or plain-text document in a frame with two scroll bars, its
// navigation history and visited links, and the bridge between the document and the host's
// handlers. Loading, history and links are in HtmlView.cpp; painting, scrolling, the mouse and
// the selection in HtmlViewPaint.cpp.
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlShared.h"
#include "platform/core/Exception.h"
#include "platform/core/Streams.h"
#include "platform/gui/Colors.h"
#include "platform/gui/Controls.h"
#include "platform/gui/Graphics.h"

class QEvent;
class QFrame;
class QMimeData;
class QScrollBar;
class QTimer;
namespace platform {
class TPrinter;
}

namespace htmlview {

class ThtDocument;
class TBuffer;
class TFloatingObj;
class TFormControlObj;
class ThvPanel;
class TStringBitmapList;
class TUrlTarget;
class THtmlView;

class EhtException : public Exception {
public:
  using Exception::Exception;
};
class EhtLoadError : public EhtException {
public:
  using EhtException::EhtException;
};
class EIllegalArgument : public EhtException {
public:
  using EhtException::EhtException;
};

enum THtmlFileType : uint8_t { HTMLType = 0, TextType = 1, ImgType = 2, OtherType = 3 };
enum THTMLBorderStyle { htFocused, htNone, htSingle };
enum TProgressStage { psStarting, psRunning, psEnding };

// The scroll-bar styles; scoped, since ssNone also names a script position of the fonts.
enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

enum THtmlViewOption : unsigned {
  htOverLinksActive = 1u << 0,
  htNoLinkUnderline = 1u << 1,
  htPrintTableBackground = 1u << 2,
  htPrintBackground = 1u << 3,
  htPrintMonochromeBlack = 1u << 4,
  htShowDummyCaret = 1u << 5,
  htShowVScroll = 1u << 6,
  htNoWheelMouse = 1u << 7,
  htNoLinkHilite = 1u << 8,
  htNoFocusRect = 1u << 9,
};
using THtmlViewOptions = unsigned;

// Where a drag is over the viewer.
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };

// The streams a host hands OnImageRequest to say that an image comes later (through InsertImage)
// or never. Shared by every viewer; never read.
TStream* WaitStream();
TStream* ErrorStream();

// The private messages of the viewer, posted to itself.
inline constexpr uint32_t wm_FormSubmit = 1124;
inline constexpr uint32_t wm_MouseScroll = 1126;
inline constexpr uint32_t wm_UrlAction = 1127;

// The file type of a name by its extension.
THtmlFileType GetFileType(const std::u16string& name);

// A history position: the scroll position that survives reformatting, the file's type, and what
// its forms held when it was left (nullptr: nothing to restore).
struct PositionObj {
  int Pos = 0;
  THtmlFileType FileType = HTMLType;
  std::unique_ptr<TFormData> FormData;
};

struct TRightClickParameters {
  std::u16string URL, Target;
  TFloatingObj* Image = nullptr;
  int ImageX = 0, ImageY = 0;
  std::u16string ClickWord;
};

// Reports an exception that reached an event handler as the program's default handler does: one
// line on standard error and the plain message box. Qt's event loop must never see it.
void ReportEventException(QWidget* owner);
// Runs fn and reports what it throws (as above); false when it threw.
bool RunGuarded(QWidget* owner, const std::function<void()>& fn);

// The drawing surface: never erased, its mouse goes to the viewer.
class TPaintPanel : public QWidget {
public:
  TPaintPanel(THtmlView* viewer, QWidget* parent);
  THtmlView* Viewer;
  bool MouseInside = false;

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

private:
  void AnswerDrag(QDragMoveEvent* event, TDragState state);
  QPoint lastDrag_;
};

class THtmlView : public THtmlViewBase {
public:
  explicit THtmlView(QWidget* parent = nullptr);
  ~THtmlView() override;

  // ---- events ----
  std::function<void(QObject*, const std::u16string& src, bool& handled)> OnHotSpotClick;
  std::function<void(QObject*, const std::u16string& src)> OnHotSpotCovered;
  // A nullptr stream (or ErrorStream()) leaves the image missing; WaitStream() makes it wait for
  // InsertImage. The stream stays the host's.
  std::function<void(QObject*, const std::u16string& src, TStream*& stream)> OnImageRequest;
  // The document has read the image from the stream the host gave OnImageRequest: the host may
  // free or reuse it.
  std::function<void(QObject*, const std::u16string& src, TStream*& stream)> OnImageRequested;
  // Asked before OnImageRequest: a picture the host has at hand (it stays the host's) and its
  // transparent colour (clNone: opaque). A nullptr bitmap asks OnImageRequest next; without that
  // handler the image is missing (the file is read only when the host has no image handler).
  std::function<void(QObject*, const std::u16string& src, TBitmap*& bitmap, TColor& color)> OnBitmapRequest;
  // A linked style sheet: the host's stream (kept by the host), or nullptr for none; without the
  // handler the sheet is read from its file.
  std::function<void(QObject*, const std::u16string& src, TStream*& stream)> OnhtStreamRequest;
  // Drags over the paint panel, in its coordinates: source is the dragging widget of this program
  // (nullptr for another program's drag); accept starts true. Leaving has no data.
  std::function<void(QObject*, QObject* source, const QMimeData* data, int x, int y, TDragState state,
                     bool& accept)>
      OnDragOver;
  std::function<void(QObject*, QObject* source, const QMimeData* data, int x, int y)> OnDragDrop;
  // OBJECT elements: the handler fills the panel and says whether the page shows it (else the
  // element's content shows instead). attributes and params are "name=value" lines.
  std::function<void(QObject*, ThvPanel* panel, const std::vector<std::u16string>& attributes,
                     const std::vector<std::u16string>& params, bool& wantPanel)>
      OnObjectTag;
  // Panels of PANEL and OBJECT elements: made (before the page is laid out), freed, printed (the
  // handler draws the panel into bitmap, which has the panel's printed size).
  std::function<void(QObject*, const std::u16string& name, const std::u16string& type, const std::u16string& src,
                     ThvPanel* panel)>
      OnPanelCreate;
  std::function<void(QObject*, ThvPanel* panel)> OnPanelDestroy;
  std::function<void(QObject*, ThvPanel* panel, TBitmap& bitmap)> OnPanelPrint;
  std::function<void(QObject*, std::u16string& filename)> OnFilenameExpanded;
  std::function<void(QObject*)> OnHistoryChange;
  std::function<void(QObject*, TFloatingObj* obj, TMouseButton, TShiftState, int x, int y)> OnImageClick;
  std::function<void(QObject*, TFloatingObj* obj, TShiftState, int x, int y)> OnImageOver;
  std::function<void(QObject*, const std::u16string& httpEq, const std::u16string& name,
                     const std::u16string& content)>
      OnMeta;
  std::function<void(QObject*, int delay, const std::u16string& url)> OnMetaRefresh;
  std::function<void(QObject*, TMouseButton, TShiftState, int x, int y)> OnMouseDouble;
  std::function<void(QObject*, std::unique_ptr<TBuffer>& source)> OnParseBegin;
  std::function<void(QObject*)> OnParseEnd;
  std::function<void(QObject*, bool processingOn)> OnProcessing;
  std::function<void(QObject*, TProgressStage, int percentDone)> OnProgress;
  std::function<void(QObject*, const TRightClickParameters&)> OnRightClick;
  std::function<void(QObject*, const std::u16string& action, const std::u16string& target,
                     const std::u16string& encType, const std::u16string& method,
                     const std::vector<std::u16string>& results)>
      OnFormSubmit;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  std::function<void(QObject*, int delta, bool& handled)> OnMouseWheel;

  // ---- loading ----
  void LoadFromString(const std::u16string& s, const std::u16string& reference = {}, THtmlFileType docType = HTMLType);
  void LoadFromBuffer(const std::u16string& s, const std::u16string& reference, THtmlFileType docType);
  void LoadFromFile(const std::u16string& fileName, THtmlFileType docType = HTMLType);
  void LoadFromStream(TStream* stream, const std::u16string& reference, THtmlFileType docType);
  void LoadDocument(std::unique_ptr<TBuffer> document, const std::u16string& docName, THtmlFileType docType);
  void Clear();
  void Reformat();
  std::u16string HtmlExpandFilename(const std::u16string& filename) override;
  bool PositionTo(std::u16string dest);

  // ---- history and links ----
  const std::vector<std::u16string>& History() const { return history_; }
  const std::vector<std::u16string>& TitleHistory() const { return titleHistory_; }
  int HistoryIndex() const { return historyIndex_; }
  // Moves to history entry index (0 = the newest); out-of-range indices do nothing.
  void SetHistoryIndex(int index);
  void ClearHistory();
  const std::vector<std::u16string>& VisitedLinks() const { return visited_; }
  void AddVisitedLink(const std::u16string& url);
  void CheckVisitedLinks();
  // A link activated: as a click on it.
  void ProcessHotSpotClick();

  // ---- state ----
  ThtDocument& Document() { return *doc_; }
  const std::u16string& CurrentFile() const { return currentFile_; }
  THtmlFileType CurrentFileType() const { return currentFileType_; }
  const std::u16string& DocumentTitle() const { return title_; }
  const std::u16string& Base() const { return base_; }
  void SetBase(const std::u16string& base);
  const std::u16string& BaseTarget() const { return baseTarget_; }
  bool Processing() const { return processing_; }
  int DocumentHeight() const { return docHeight_; }
  int DocumentWidth() const { return docWidth_; }
  const std::u16string& LinkUrl() const { return url_; }
  const std::u16string& LinkTarget() const { return target_; }
  const std::u16string& LinkText() const { return linkText_; }
  int CaretPos() const { return caretPos_; }
  int SelStart() const;
  int SelLength() const;
  std::u16string GetSelText();
  // Puts the selection on the clipboard.
  void CopyToClipboard();
  void SelectAll();
  // The position that survives a reformat (see PositionObj).
  int Position();
  void SetPosition(int value);
  int VScrollBarPosition() const;
  void SetVScrollBarPosition(int value);
  int HScrollBarPosition() const;
  void SetHScrollBarPosition(int value);
  void ScrollTo(int y);
  QScrollBar* VScrollBar() const { return vBar_; }
  QScrollBar* HScrollBar() const { return hBar_; }
  TPaintPanel* PaintPanelWidget() const { return panel_; }
  QFrame* BorderPanel() const { return border_; }
  // How many layouts the last DoLogic made.
  int LastLayoutCount() const { return lastLayouts_; }
  // Measures the layout and the painting; never null, outlives the viewer.
  const TTextMeasurer* Measurer = &QtTextMeasurer();
  // The refresh meta element of the last load.
  int RefreshDelay() const { return refreshDelay_; }
  const std::u16string& RefreshURL() const { return refreshUrl_; }
  // Paints the document's rectangle (panel coordinates) on canvas.
  void PaintRect(TCanvas& canvas, const TRect& rect);
  // Paints the document from its top onto the whole of image (as wide as the layout), whatever
  // the view shows; the view's position is kept.
  void PaintDocument(QImage& image);

  // ---- printing ----
  // The modes of a print request.
  enum TPrintMode { pmPrint = 0, pmCount = 1, pmPreview = 2, pmPrintOrAbort = 3 };
  // Fired before the first page and after each vertical page.
  std::function<void(QObject*, int page, bool& stop)> OnPageEvent;
  // A print or preview begins (before the printer's document) and has ended (also when it
  // failed); a page count fires neither.
  TNotifyEvent OnPrinting, OnPrinted;
  // Drawn in the top and bottom margin areas of each printed page, origin at the area's top-left
  // (logical units: 1/96 inch at scale 1).
  std::function<void(QObject*, TCanvas& canvas, int page, int width, int height, bool& stop)> OnPrintHeader,
      OnPrintFooter;
  // Pages with HTML headers and footers: the handler fills the given viewer (LoadFromString) and
  // may move the left and right X of the area it is drawn in (logical units).
  std::function<void(QObject*, THtmlView* viewer, int page, bool lastPage, int& xl, int& xr, bool& stop)>
      OnPrintHTMLHeader, OnPrintHTMLFooter;
  // Pages from firstPage to lastPage (1-based). Returns the number of the last page handled.
  int Print(platform::TPrinter* printer, int firstPage = 1, int lastPage = 9999);
  // A page count (true) or a preview (false): only on a recording printer. Returns the pages.
  int PrintPreviewOrCount(platform::TPrinter* printer, bool count);
  int PrintRequest(platform::TPrinter* printer, int mode, int firstPage, int lastPage);
  // What the last count or preview laid out: the page's width and the document's height
  // (logical units) and the document's width over the printable width.
  int PrintPageWidth() const { return printPageWidth_; }
  int PrintDocHeight() const { return printDocHeight_; }
  double PrintWidthRatio() const { return printWidthRatio_; }
  int PrintPageNumber() const { return printPage_; }

  // ---- properties ----
  THTMLBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(THTMLBorderStyle value);
  int CharSet = 1;
  // The code page of the page being read: that of the default properties at the start of a
  // load, then that of a META (or FONT) character set the page names.
  int CodePage = 0;
  TColor DefBackground() const { return defBackground_; }
  void SetDefBackground(TColor value);
  TColor DefFontColor = clBtnText;
  std::u16string DefFontName = u"Times New Roman";
  int DefFontSize = 12;
  TColor DefHotSpotColor() const { return defHotSpot_; }
  void SetDefHotSpotColor(TColor value);
  TColor DefOverLinkColor() const { return defOverLink_; }
  void SetDefOverLinkColor(TColor value);
  const std::u16string& DefPreFontName() const { return defPreFontName_; }
  void SetDefPreFontName(const std::u16string& value);
  TColor DefVisitedLinkColor() const { return defVisited_; }
  void SetDefVisitedLinkColor(TColor value);
  int HistoryMaxCount() const { return historyMaxCount_; }
  void SetHistoryMaxCount(int value);
  THtmlViewOptions HtOptions() const { return options_; }
  void SetHtOptions(THtmlViewOptions value);
  int ImageCacheCount() const { return imageCacheCount_; }
  void SetImageCacheCount(int value);
  int MarginHeight = 5;
  int MarginWidth = 10;
  bool NoSelect() const { return noSelect_; }
  void SetNoSelect(bool value);
  double PrintMarginBottom = 2.0, PrintMarginLeft = 2.0, PrintMarginRight = 2.0, PrintMarginTop = 2.0;
  int PrintMaxHPages = 2;
  double PrintScale() const { return printScale_; }
  void SetPrintScale(double value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle value);
  const std::u16string& ServerRoot() const { return serverRoot_; }
  void SetServerRoot(const std::u16string& value);
  bool ViewImages() const { return viewImages_; }
  void SetViewImages(bool value);
  int VisitedMaxCount() const { return visitedMaxCount_; }
  void SetVisitedMaxCount(int value);
  Qt::CursorShape Cursor() const { return cursor_; }
  void SetCursor(Qt::CursorShape value) { cursor_ = value; }

  // ---- THtmlViewBase ----
  bool ShowFocusRect() override { return !(options_ & htNoFocusRect); }
  void ControlMouseMove(QObject* sender, unsigned shift, int x, int y) override;
  void htProgress(int percent) override;
  QWidget* PaintPanel() override;
  TImageRequestResult RequestImage(const std::u16string& name, QByteArray& data) override;
  TImageRequestResult RequestBitmap(const std::u16string& name, QImage& image) override;
  bool HasPanelHandlers() const override { return static_cast<bool>(OnPanelPrint); }
  void PanelCreate(ThvPanel* panel, const std::u16string& name, const std::u16string& type,
                   const std::u16string& src) override;
  void PanelDestroy(ThvPanel* panel) override;
  void PanelPrint(ThvPanel* panel, TCanvas& canvas, const TRect& rect) override;
  bool HasObjectTag() const override;
  void ObjectTag(ThvPanel* panel, const std::vector<std::u16string>& attributes,
                 const std::vector<std::u16string>& params, bool& wantPanel) override;
  void ScrollFocusInto(int y, int h) override;
  void ScrollLinkInto(int y) override;
  void RepaintPanel() override;
  TRect VisibleDocRect() const override;
  void RepaintDocRect(const TRect& rect) override;
  void PostHotSpot(const TUrlTarget& link) override;

  // ---- mouse and keys (panel coordinates) ----
  void HTMLMouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void HTMLMouseMove(TShiftState shift, int x, int y);
  void HTMLMouseUp(TMouseButton button, TShiftState shift, int x, int y);
  void HTMLMouseDouble(TShiftState shift, int x, int y);
  void KeyDown(int key, TShiftState shift) override;
  bool DoMouseWheel(int delta);
  // The word under a point: its text and the indices just before and just after it.
  bool GetWordAtCursor(int x, int y, int& st, int& en, std::u16string& word);
  std::u16string GetTextByIndices(int start, int last, TPoint* startPoint = nullptr);
  // Whether middle-button panning is on.
  bool Panning() const { return panning_; }
  // The host supplies an image that OnImageRequest made wait (src as it was asked for): the
  // page is laid out again with it. False when nothing waited for src.
  bool InsertImage(const std::u16string& src, TStream* stream);

  // The link-leave check of the 200 ms timer.
  void LinkLeaveCheck();
  QTimer* LinkTimer() const { return timer_; }

  // The layout with the scroll-bar decision; ends with DoScrollBars.
  void DoLogic();
  void DoScrollBars();

protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void customEvent(QEvent* event) override;
  bool focusNextPrevChild(bool next) override;

private:
  friend class TPaintPanel;
  class TBuildHostAdapter;
  struct TAreas {
    int Border = 0, Width = 0, Height = 0;
    bool HBar = false, VBar = false;
  };
  TAreas ComputeAreas(int docWidth, int docHeight) const;
  int LayoutOnce(int width, int height);
  void SetProcessing(bool value);
  void InitLoad();
  void LoadFile(const std::u16string& url, THtmlFileType type);
  void AddToHistory(const std::u16string& oldFile, const std::u16string& oldTitle, THtmlFileType oldType,
                    std::unique_ptr<TFormData> formData, int oldPos);
  void HandleMeta(const std::u16string& httpEq, const std::u16string& name, const std::u16string& content);
  std::u16string FullLinkUrl(const std::u16string& url);
  void ApplyBorder();
  // The page's background image over area (the page, or the view for a fixed one), within clip.
  void DrawBackgroundImage(TCanvas& canvas, ThtDocument& doc, const TRect& area, const TRect& clip);
  void DrawDummyCaret(TCanvas& canvas, const TRect& clip);
  void VScrollChanged(int value);
  void HScrollChanged(int value);
  void MouseScroll();
  void AutoScrollStep();
  void EndPanning();
  void ExtendSelection(int x, int y);
  void ApplyPanelCursor(const QCursor& cursor);
  int SetVPos(int value);
  template <class F>
  auto WithCanvas(F&& f);
  // What lies at a document point, as the document's hit flags; url receives a link there.
  unsigned LinkAt(int dx, int dy, std::unique_ptr<TUrlTarget>& url);
  void TakeLink(const TUrlTarget& link);
  // The link's attributes, text and start point become the current link's.
  void TakeLinkText(const TUrlTarget& link);

  QFrame* border_;
  TPaintPanel* panel_;
  QScrollBar* vBar_;
  QScrollBar* hBar_;
  std::unique_ptr<ThtDocument> doc_;
  std::unique_ptr<TStringBitmapList> imageCache_;
  std::unique_ptr<TBuildHostAdapter> buildHost_;
  QTimer* timer_;
  QTimer* autoScrollTimer_;

  // flags
  bool fixedBackground_ = false, layingOut_ = false, constructing_ = true, processing_ = false;
  bool hotSpotHandled_ = false, mouseScrollPending_ = false, leftButtonDown_ = false, panning_ = false;
  bool selecting_ = false, suppressFocusScroll_ = false;
  // A page of paper is being drawn (not one drawn only to find its breaks).
  bool printingPaper_ = false;

  std::u16string currentFile_;
  THtmlFileType currentFileType_ = HTMLType;
  std::u16string base_, hostBase_, baseTarget_, title_;
  std::unique_ptr<TBuffer> buffer_;
  int caretPos_ = 0, anchor_ = -1;
  int docWidth_ = 0, docHeight_ = 0;
  int historyIndex_ = 0;
  int refreshDelay_ = 0;
  std::u16string refreshUrl_;
  std::u16string url_, target_, linkAttributes_, linkText_;
  TPoint linkStart_{};
  TStream* imageStream_ = nullptr;
  std::u16string submitAction_, submitTarget_, submitEncType_, submitMethod_;
  std::vector<std::u16string> submitResults_;
  std::vector<std::u16string> history_, titleHistory_, visited_;
  std::vector<PositionObj> positions_;
  int panY_ = 0;
  int lastMouseX_ = 0, lastMouseY_ = 0;
  int lastLayouts_ = 0;
  QSize wholePage_;  // set while PaintDocument paints the page whole
  Qt::CursorShape panelCursor_ = Qt::ArrowCursor;

  int printPage_ = 0, printPageWidth_ = 0, printDocHeight_ = 0;
  double printWidthRatio_ = 0;
  platform::TPrinter* printJob_ = nullptr;

  THTMLBorderStyle borderStyle_ = htFocused;
  TColor defBackground_ = clBtnFace, defHotSpot_ = 0xFF0000, defOverLink_ = 0xFF0000, defVisited_ = 0x800080;
  std::u16string defPreFontName_ = u"Courier New";
  int historyMaxCount_ = 0;
  THtmlViewOptions options_ = htPrintTableBackground | htPrintMonochromeBlack;
  int imageCacheCount_ = 5;
  bool noSelect_ = false;
  double printScale_ = 1.0;
  TScrollStyle scrollBars_ = TScrollStyle::ssBoth;
  std::u16string serverRoot_;
  bool viewImages_ = true;
  int visitedMaxCount_ = 50;
  Qt::CursorShape cursor_ = Qt::IBeamCursor;
};

// The tally of recent documents that needed a vertical bar, shared by all viewers; tests reset it.
int& VScrollTally();

}  // namespace htmlview
