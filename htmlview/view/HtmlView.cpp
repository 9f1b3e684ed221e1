#include "htmlview/view/HtmlView.h"

#include <QApplication>
#include <QFrame>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "htmlview/forms/HtmlForms.h"
#include "htmlview/images/HtmlImages.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlFonts.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/parse/ReadHTML.h"
#include "htmlview/text/HtmlBuffer.h"
#include "htmlview/text/URLSubs.h"
#include "platform/core/Files.h"
#include "platform/core/MemoryStream.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/Messages.h"
#include "platform/gui/Printers.h"
#include "unicode/UniSysUtils.h"
#include "unicode/gui/UniForms.h"

namespace htmlview {

namespace {

std::u16string Lower(const std::u16string& s) { return WideLowerCase(s); }

bool SameTextW(const std::u16string& a, const std::u16string& b) { return Lower(a) == Lower(b); }

// Splits at the first '#': the name before it, the destination after it (with its '#').
void SplitDest(const std::u16string& s, std::u16string& name, std::u16string& dest) {
  const size_t p = s.find(u'#');
  if (p == std::u16string::npos) {
    name = s;
    dest.clear();
  } else {
    name = s.substr(0, p);
    dest = s.substr(p);
  }
}

// The whole of a stream from its start; false when it holds nothing (or more than a page's
// object may take).
bool ReadWhole(TStream& stream, QByteArray& data) {
  stream.SetPosition(0);
  const int64_t size = stream.GetSize();
  if (size <= 0 || size > (int64_t{1} << 30)) return false;
  data.resize(static_cast<qsizetype>(size));
  data.resize(static_cast<qsizetype>(std::max<int64_t>(0, stream.Read(data.data(), size))));
  return true;
}

// The hour-glass for as long as a load or a layout runs, whatever way it ends.
class TWaitCursor {
public:
  TWaitCursor() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      set_ = true;
    }
  }
  ~TWaitCursor() {
    if (set_) QApplication::restoreOverrideCursor();
  }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

private:
  bool set_ = false;
};

}  // namespace

// ---- exceptions at the event loop ----

void ReportEventException(QWidget* owner) {
  std::string message = "Unknown exception";
  try {
    throw;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
  }
  QString caption = QString::fromStdU16String(UniApplication().Title());
  const std::string line = caption.toStdString() + ": " + message + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  platform::ShowMessageBox(owner, caption, QString::fromStdString(message));
}

bool RunGuarded(QWidget* owner, const std::function<void()>& fn) {
  try {
    fn();
    return true;
  } catch (...) {
    ReportEventException(owner);
    return false;
  }
}

THtmlFileType GetFileType(const std::u16string& name) {
  const std::u16string ext = Lower(WideExtractFileExt(name));
  if (ext == u".html" || ext == u".css" || ext == u".htm" || ext == u".php" || ext == u".xhtml" || ext == u".xht")
    return HTMLType;
  if (ext == u".gif" || ext == u".jpg" || ext == u".jpeg" || ext == u".png" || ext == u".bmp") return ImgType;
  if (ext == u".txt") return TextType;
  return OtherType;
}

int& VScrollTally() {
  static int tally = 0;
  return tally;
}

// The builder's view of the viewer.
class THtmlView::TBuildHostAdapter final : public THtmlBuildHost {
public:
  explicit TBuildHostAdapter(THtmlView& v) : view(v) {}
  QObject* Sender() override { return &view; }
  void Progress(int percent) override { view.htProgress(percent); }
  int ParseShare() const override { return 75; }
  std::u16string ExpandFilename(const std::u16string& name) override { return view.HtmlExpandFilename(name); }
  // A META or FONT character set is the page's from here on, and the viewer's default for the
  // next load.
  void CharSetChanged(int charSet, int codePage) override {
    view.CharSet = charSet;
    view.CodePage = codePage;
  }
  bool StreamRequest(const std::u16string& url, std::unique_ptr<TStream>& stream) override {
    if (!view.OnhtStreamRequest) return false;
    TStream* given = nullptr;
    view.OnhtStreamRequest(&view, url, given);
    // The host keeps its stream: the sheet is read from a copy.
    QByteArray data;
    if (given && ReadWhole(*given, data))
      stream = std::make_unique<TMemoryStream>(std::vector<uint8_t>(data.begin(), data.end()));
    return true;
  }
  THtmlView& view;
};

// ---- construction ----

THtmlView::THtmlView(QWidget* parent) : THtmlViewBase(parent) {
  setFocusPolicy(Qt::StrongFocus);
  resize(150, 150);
  border_ = new QFrame(this);
  border_->setFrameShape(QFrame::NoFrame);
  border_->setGeometry(0, 0, 150, 150);
  panel_ = new TPaintPanel(this, border_);
  vBar_ = new QScrollBar(Qt::Vertical, this);
  vBar_->setSingleStep(16);
  vBar_->setFocusPolicy(Qt::NoFocus);
  vBar_->hide();
  hBar_ = new QScrollBar(Qt::Horizontal, this);
  hBar_->setSingleStep(15);
  hBar_->setFocusPolicy(Qt::NoFocus);
  hBar_->hide();
  connect(vBar_, &QScrollBar::valueChanged, this,
          [this](int v) { RunGuarded(this, [&] { VScrollChanged(v); }); });
  connect(hBar_, &QScrollBar::valueChanged, this,
          [this](int v) { RunGuarded(this, [&] { HScrollChanged(v); }); });
  doc_ = std::make_unique<ThtDocument>(this, panel_);
  doc_->BackgroundChanged = [this] {
    QPalette p = panel_->palette();
    p.setColor(QPalette::Window, ToQColor(doc_->Background));
    panel_->setPalette(p);
  };
  doc_->ShowImages = true;
  buildHost_ = std::make_unique<TBuildHostAdapter>(*this);
  // A submission reaches the host after the event that caused it has returned.
  FormEvents(panel_).OnFormSubmit = [this](const std::u16string& action, const std::u16string& target,
                                           const std::u16string& encType, const std::u16string& method,
                                           const std::vector<std::u16string>& results) {
    if (!OnFormSubmit) return;
    submitAction_ = action;
    submitTarget_ = target;
    submitEncType_ = encType;
    submitMethod_ = method;
    submitResults_ = results;
    platform::PostMessage(this, wm_FormSubmit);
  };
  timer_ = new QTimer(this);
  timer_->setInterval(200);
  connect(timer_, &QTimer::timeout, this, [this] { RunGuarded(this, [&] { LinkLeaveCheck(); }); });
  autoScrollTimer_ = new QTimer(this);
  autoScrollTimer_->setInterval(100);
  connect(autoScrollTimer_, &QTimer::timeout, this, [this] { RunGuarded(this, [&] { AutoScrollStep(); }); });
  constructing_ = false;
  ApplyBorder();
}

THtmlView::~THtmlView() {
  if (printJob_) printJob_->Abort();
  timer_->stop();
  autoScrollTimer_->stop();
  panning_ = false;
  // The document refers to the cache and to the panel: it goes first.
  if (imageCache_) doc_->Clear();
  doc_.reset();
  imageCache_.reset();
}

// ---- processing ----

void THtmlView::SetProcessing(bool value) {
  if (processing_ == value) return;
  processing_ = value;
  if (OnProcessing) OnProcessing(this, value);
}

void THtmlView::htProgress(int percent) {
  if (OnProgress) OnProgress(this, psRunning, percent);
}

void THtmlView::InitLoad() {
  if (!doc_->ImageCache) {
    imageCache_ = std::make_unique<TStringBitmapList>();
    imageCache_->SetCacheCount(imageCacheCount_);
    doc_->ImageCache = imageCache_.get();
  }
  doc_->Clear();
  doc_->ImageCache->BumpAndCheck();
  doc_->SetFonts(DefFontName, defPreFontName_, DefFontColor, defHotSpot_, defVisited_, defOverLink_, defBackground_,
                 (options_ & htOverLinksActive) != 0, !(options_ & htNoLinkUnderline), DefFontSize, CharSet,
                 MarginHeight, MarginWidth);
}

// ---- loading ----

void THtmlView::LoadFromString(const std::u16string& s, const std::u16string& reference, THtmlFileType docType) {
  LoadFromBuffer(s, reference, docType);
}

void THtmlView::LoadFromBuffer(const std::u16string& s, const std::u16string& reference, THtmlFileType docType) {
  if (processing_) return;
  LoadDocument(std::make_unique<TBuffer>(TBuffer::FromString(s, reference)), reference, docType);
}

void THtmlView::LoadFromFile(const std::u16string& fileName, THtmlFileType docType) {
  if (processing_) return;
  std::u16string name, dest;
  SplitDest(fileName, name, dest);
  // A file name is taken as it stands ("50%off.html" is a file); only a file: URL is decoded.
  if (Lower(name.substr(0, 5)) == u"file:")
    name = HtmlExpandFilename(name);
  else if (!name.empty())
    name = WideExpandFileName(name);
  // The name becomes current only once its file is there: a missing file leaves the document,
  // its base and the history as they were.
  if (!WideFileExists(name))
    throw EhtLoadError(QString::fromStdU16String(u"Can't locate '" + name + u"'.").toStdString());
  const platform::FileHandle h = WideFileOpen(name, fmOpenRead | fmShareDenyWrite);
  if (h == platform::InvalidFileHandle)
    throw EhtLoadError(QString::fromStdU16String(u"Can't locate '" + name + u"'.").toStdString());
  struct TCloser {
    platform::FileHandle h;
    ~TCloser() { platform::CloseFile(h); }
  } closer{h};
  THandleStream stream(h);
  // The load makes the name current; until then the previous name is what it compares with.
  LoadFromStream(&stream, name + dest, docType);
}

void THtmlView::LoadFromStream(TStream* stream, const std::u16string& reference, THtmlFileType docType) {
  if (processing_ || !stream) return;
  stream->SetPosition(0);
  if (docType == ImgType || docType == OtherType) {
    imageStream_ = stream;
    struct TReset {
      TStream*& s;
      ~TReset() { s = nullptr; }
    } reset{imageStream_};
    LoadDocument(std::make_unique<TBuffer>(TBuffer::FromString(u"<img src=\"" + reference + u"\">", reference)),
                 reference, HTMLType);
    return;
  }
  LoadDocument(std::make_unique<TBuffer>(*stream, reference), reference, docType);
}

void THtmlView::LoadDocument(std::unique_ptr<TBuffer> document, const std::u16string& docName,
                             THtmlFileType docType) {
  if (processing_) return;
  std::u16string name, dest;
  SplitDest(docName, name, dest);
  if (docType == ImgType) throw EhtException("LoadDocument with DocType = 'ImgType' not supported.");
  if (!document)
    throw EhtException("LoadDocument requires document to load. Parameter 'Document' must not be nil.");
  // Every way out clears the flags, so that a page that raised does not block the next load.
  // The panel is hidden meanwhile: the page's controls then show with it, in one go. Shown one by
  // one on a shown panel, each would make Qt look through all of the panel's children for the one
  // under the mouse, and a page of many controls would take their number squared to show.
  struct TLoadScope {
    THtmlView& v;
    TWaitCursor wait;
    bool panelShown;
    explicit TLoadScope(THtmlView& view) : v(view), panelShown(view.panel_->isVisible()) {
      v.SetProcessing(true);
      v.layingOut_ = true;
      if (panelShown) v.panel_->hide();
    }
    ~TLoadScope() {
      if (panelShown) v.panel_->show();
      v.layingOut_ = false;
      v.SetProcessing(false);
    }
  };
  {
  TLoadScope scope(*this);
  const std::u16string oldFile = currentFile_;
  refreshDelay_ = 0;
  refreshUrl_.clear();
  if (OnProgress) OnProgress(this, psStarting, 0);

  bool quirks = false;
  if (docType == HTMLType) {
    if (QuirksMode == qmDetect) {
      THtmlParser probe(*document);
      quirks = probe.ShouldUseQuirksMode();
    } else {
      quirks = QuirksMode == qmQuirks;
    }
  }
  doc_->QuirksMode = quirks;
  timer_->stop();
  InitLoad();
  // The parse starts from the default properties; a character set the page names changes it.
  if (const TProperties* def = doc_->StyleList->DefProp) CodePage = def->CodePage;
  caretPos_ = 0;
  anchor_ = -1;
  if (OnSoundRequest) OnSoundRequest(this, u"", 0, true);
  buffer_ = std::move(document);
  currentFile_ = name;
  currentFileType_ = docType;
  if (OnParseBegin) OnParseBegin(this, buffer_);
  if (!buffer_) throw EhtException("LoadDocument requires document to load. Parameter 'Document' must not be nil.");

  std::unique_ptr<THtmlDocParser> parser;
  if (docType == TextType) {
    parser = HtmlParseTextString(*doc_, *buffer_, buildHost_.get());
  } else {
    THtmlParseEvents events;
    events.OnInclude = OnInclude;
    events.OnLink = OnLink;
    events.OnSoundRequest = OnSoundRequest;
    events.OnScript = OnScript;
    events.OnMeta = [this](QObject*, const std::u16string& httpEq, const std::u16string& n,
                           const std::u16string& content) { HandleMeta(httpEq, n, content); };
    parser = HtmlParseString(*doc_, *buffer_, events, buildHost_.get());
  }
  base_ = parser->Base().empty() ? hostBase_ : parser->Base();
  baseTarget_ = parser->BaseTarget();
  title_ = parser->Title();
  parser.reset();
  if (OnParseEnd) OnParseEnd(this);
  DoLogic();
  CheckVisitedLinks();
  if (!PositionTo(dest) && (name.empty() || name != oldFile)) {
    ScrollTo(0);
    hBar_->setValue(0);
  }
  panel_->update();
  if (OnProgress) OnProgress(this, psEnding, 100);
  }
  // The flags are clear before the refresh handler runs: it may load the next page.
  if (refreshDelay_ > 0 && OnMetaRefresh) OnMetaRefresh(this, refreshDelay_, refreshUrl_);
}

void THtmlView::HandleMeta(const std::u16string& httpEq, const std::u16string& name, const std::u16string& content) {
  if (OnMeta) OnMeta(this, httpEq, name, content);
  if (!OnMetaRefresh || !SameTextW(httpEq, u"refresh")) return;
  const size_t semi = content.find(u';');
  const std::u16string number = WideTrim(semi == std::u16string::npos ? content : content.substr(0, semi));
  int delay = -1;
  if (!number.empty() && std::all_of(number.begin(), number.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }))
    delay = number.size() > 6 ? 999999 : std::stoi(QString::fromStdU16String(number).toStdString());
  if (delay < 0) return;
  refreshDelay_ = std::max(1, delay);
  const size_t at = Lower(content).find(u"url=");
  refreshUrl_ = at == std::u16string::npos ? std::u16string() : WideTrim(content.substr(at + 4));
}

void THtmlView::Clear() {
  if (processing_) return;
  timer_->stop();
  InitLoad();
  // A cleared viewer keeps no picture: the next page reads its images afresh.
  if (imageCache_) imageCache_->Clear();
  base_.clear();
  baseTarget_.clear();
  hostBase_.clear();
  title_.clear();
  docWidth_ = docHeight_ = 0;
  vBar_->hide();
  hBar_->hide();
  vBar_->setRange(0, 0);
  hBar_->setRange(0, 0);
  caretPos_ = 0;
  anchor_ = -1;
  if (OnSoundRequest) OnSoundRequest(this, u"", 0, true);
  RepaintPanel();
}

void THtmlView::Reformat() {
  if (processing_) return;
  struct TScope {
    THtmlView& v;
    ~TScope() { v.SetProcessing(false); }
  } scope{*this};
  SetProcessing(true);
  const int pos = Position();
  if (OnProgress) OnProgress(this, psStarting, 0);
  DoLogic();
  SetPosition(pos);
  if (OnProgress) OnProgress(this, psEnding, 100);
}

void THtmlView::SetBase(const std::u16string& base) {
  hostBase_ = base;
  base_ = base;
}

// ---- names ----

std::u16string THtmlView::HtmlExpandFilename(const std::u16string& filename) {
  std::u16string result;
  const size_t scheme = filename.find(u"://");
  if (scheme != std::u16string::npos && scheme > 0 && Lower(filename).find(u"file://") == std::u16string::npos) {
    result = filename;
  } else {
    result = DosPathWithBase(filename, serverRoot_);
    if (!result.empty() && result[0] == u'/') {
      result = WideExpandFileName(result);
    } else if (!SameTextW(base_, u"DosPath")) {
      if (!base_.empty())
        result = WideExpandFileName(CombineDos(DosPathWithBase(base_, u""), result));
      else
        result = WideExpandFileName(CombineDos(WideExtractFilePath(currentFile_.empty() ? u"./" : currentFile_),
                                               result));
    }
  }
  if (OnFilenameExpanded) OnFilenameExpanded(this, result);
  return result;
}

// ---- positions ----

int THtmlView::Position() {
  const int y = VScrollBarPosition();
  int top = 0, index = 0;
  if (TSectionBase* s = doc_->FindSectionAt(y, top, index); s && index < 0xFFFF && y - top < 0x10000)
    return ((index + 1) << 16) + (y - top);
  return y;
}

void THtmlView::SetPosition(int value) {
  const int index = (value >> 16) - 1;
  if (index < 0) {
    SetVScrollBarPosition(value);
    return;
  }
  if (index >= static_cast<int>(doc_->SectionPositions.size())) return;
  SetVScrollBarPosition(doc_->SectionPositions[static_cast<size_t>(index)]->TopY() + (value & 0xFFFF));
}

bool THtmlView::PositionTo(std::u16string dest) {
  if (dest.empty()) return false;
  if (dest[0] == u'#') dest.erase(0, 1);
  if (dest.empty()) return false;
  TIDObject* obj = doc_->IdentifierList.Find(dest);
  if (!obj) return false;
  ScrollTo(obj->YPosition());
  hBar_->setValue(0);
  AddVisitedLink(currentFile_ + u"#" + dest);
  return true;
}

// ---- history ----

void THtmlView::AddToHistory(const std::u16string& oldFile, const std::u16string& oldTitle, THtmlFileType oldType,
                             std::unique_ptr<TFormData> formData, int oldPos) {
  if (historyMaxCount_ < 1 || currentFile_.empty()) return;
  if (oldFile == currentFile_ && oldType == currentFileType_ && oldPos == Position()) return;
  // The page being left keeps what its forms held, unless it stays the page shown.
  if (oldFile == currentFile_) formData.reset();
  // The page left by the first link is not kept: the history starts with the page it leads to.
  if (!history_.empty() && !oldFile.empty()) {
    const size_t i = static_cast<size_t>(historyIndex_);
    history_[i] = oldFile;
    titleHistory_[i] = oldTitle;
    positions_[i] = {oldPos, oldType, std::move(formData)};
    history_.erase(history_.begin(), history_.begin() + historyIndex_);
    titleHistory_.erase(titleHistory_.begin(), titleHistory_.begin() + historyIndex_);
    positions_.erase(positions_.begin(), positions_.begin() + historyIndex_);
  }
  historyIndex_ = 0;
  history_.insert(history_.begin(), currentFile_);
  positions_.insert(positions_.begin(), PositionObj{Position(), currentFileType_, nullptr});
  titleHistory_.insert(titleHistory_.begin(), title_);
  if (static_cast<int>(history_.size()) > historyMaxCount_) {
    history_.resize(static_cast<size_t>(historyMaxCount_));
    titleHistory_.resize(static_cast<size_t>(historyMaxCount_));
    positions_.resize(static_cast<size_t>(historyMaxCount_));
  }
  if (OnHistoryChange) OnHistoryChange(this);
}

void THtmlView::ClearHistory() {
  const bool had = !history_.empty();
  history_.clear();
  titleHistory_.clear();
  positions_.clear();
  historyIndex_ = 0;
  currentFile_.clear();
  if (had && OnHistoryChange) OnHistoryChange(this);
}

void THtmlView::SetHistoryIndex(int index) {
  if (processing_ || index == historyIndex_ || index < 0 || index >= static_cast<int>(history_.size())) return;
  const std::u16string file = history_[static_cast<size_t>(index)];
  PositionObj& to = positions_[static_cast<size_t>(index)];
  const bool load = file != currentFile_ || to.FileType != currentFileType_;
  // The entry being left keeps where it was scrolled to and, when another page replaces it, what
  // its forms held.
  PositionObj& from = positions_[static_cast<size_t>(historyIndex_)];
  from.Pos = Position();
  if (load) from.FormData = doc_->GetFormData();
  const int pos = to.Pos;
  const THtmlFileType type = to.FileType;
  if (load) {
    LoadFromFile(file, type);
    if (to.FormData) doc_->SetFormData(*to.FormData);
  }
  historyIndex_ = index;
  SetPosition(pos);
  if (OnHistoryChange) OnHistoryChange(this);
}

void THtmlView::SetHistoryMaxCount(int value) {
  if (value < 0) return;
  const bool lowered = value < historyMaxCount_;
  historyMaxCount_ = value;
  if (lowered) {
    const std::u16string file = currentFile_;
    ClearHistory();
    currentFile_ = file;
  }
}

void THtmlView::LoadFile(const std::u16string& url, THtmlFileType type) {
  if (processing_ || url.empty()) return;
  const std::u16string oldFile = currentFile_, oldTitle = title_;
  const int oldPos = Position();
  const THtmlFileType oldType = currentFileType_;
  std::unique_ptr<TFormData> formData = doc_->GetFormData();
  LoadFromFile(url, type);
  if (currentFile_ != oldFile || currentFileType_ != oldType)
    AddToHistory(oldFile, oldTitle, oldType, std::move(formData), oldPos);
}

// ---- links ----

std::u16string THtmlView::FullLinkUrl(const std::u16string& url) {
  if (!url.empty() && url[0] == u'#') return currentFile_ + url;
  // A link whose name cannot be expanded (a bad %-escape) is never one that was visited.
  try {
    return HtmlExpandFilename(url);
  } catch (const EConvertError&) {
    return url;
  }
}

void THtmlView::AddVisitedLink(const std::u16string& url) {
  if (visitedMaxCount_ == 0) return;
  const auto it = std::find(visited_.begin(), visited_.end(), url);
  if (it == visited_.begin() && it != visited_.end()) return;
  if (it != visited_.end()) {
    visited_.erase(it);
  } else {
    for (TFontObj* link : doc_->LinkFonts)
      if (link && link->UrlTarget && !link->UrlTarget->URL.empty() && FullLinkUrl(link->UrlTarget->URL) == url)
        link->SetVisited(true);
  }
  visited_.insert(visited_.begin(), url);
  if (static_cast<int>(visited_.size()) > visitedMaxCount_) visited_.resize(static_cast<size_t>(visitedMaxCount_));
}

void THtmlView::CheckVisitedLinks() {
  if (visited_.empty()) return;
  for (TFontObj* link : doc_->LinkFonts) {
    if (!link || !link->UrlTarget || link->UrlTarget->URL.empty()) continue;
    const std::u16string full = Lower(FullLinkUrl(link->UrlTarget->URL));
    for (const auto& v : visited_)
      if (Lower(v) == full) {
        link->SetVisited(true);
        break;
      }
  }
}

void THtmlView::SetVisitedMaxCount(int value) {
  value = std::max(0, value);
  visitedMaxCount_ = value;
  if (value > 0) {
    if (static_cast<int>(visited_.size()) > value) visited_.resize(static_cast<size_t>(value));
    return;
  }
  visited_.clear();
  for (TFontObj* link : doc_->LinkFonts)
    if (link) link->SetVisited(false);
  RepaintPanel();
}

void THtmlView::ProcessHotSpotClick() {
  bool handled = false;
  if (OnHotSpotClick) OnHotSpotClick(this, url_, handled);
  if (handled) return;
  const int oldPos = Position();
  std::u16string file, dest;
  SplitDest(url_, file, dest);
  if (!file.empty()) {
    file = HtmlExpandFilename(file);
    switch (GetFileType(file)) {
      case TextType:
      case ImgType:
        LoadFile(file + dest, GetFileType(file));
        break;
      case HTMLType:
        if (file != currentFile_) {
          LoadFile(file + dest, HTMLType);
          AddVisitedLink(file + dest);
        } else if (PositionTo(dest)) {
          AddToHistory(currentFile_, title_, currentFileType_, nullptr, oldPos);
        }
        break;
      case OtherType:
        break;
    }
  } else if (PositionTo(dest)) {
    AddToHistory(currentFile_, title_, currentFileType_, nullptr, oldPos);
  }
}

void THtmlView::PostHotSpot(const TUrlTarget& link) {
  TakeLink(link);
  platform::PostMessage(this, wm_UrlAction);
}

void THtmlView::customEvent(QEvent* event) {
  if (event->type() != TMessageEvent::MessageType()) {
    THtmlViewBase::customEvent(event);
    return;
  }
  const uint32_t msg = static_cast<TMessageEvent*>(event)->Msg;
  RunGuarded(this, [&] {
    switch (msg) {
      case wm_FormSubmit:
        if (OnFormSubmit)
          OnFormSubmit(this, submitAction_, submitTarget_, submitEncType_, submitMethod_, submitResults_);
        break;
      case wm_MouseScroll:
        MouseScroll();
        break;
      case wm_UrlAction:
        ProcessHotSpotClick();
        break;
      default:
        break;
    }
  });
}

TStream* WaitStream() {
  static TMemoryStream wait;
  return &wait;
}

TStream* ErrorStream() {
  static TMemoryStream error;
  return &error;
}

TImageRequestResult THtmlView::RequestImage(const std::u16string& name, QByteArray& data) {
  if (imageStream_) return ReadWhole(*imageStream_, data) ? irData : irNone;
  if (!OnImageRequest) return irNoHandler;
  TStream* stream = nullptr;
  OnImageRequest(this, name, stream);
  if (stream == WaitStream()) return irWait;
  if (!stream || stream == ErrorStream()) return irNone;
  const bool read = ReadWhole(*stream, data);
  if (OnImageRequested) OnImageRequested(this, name, stream);
  return read ? irData : irNone;
}

TImageRequestResult THtmlView::RequestBitmap(const std::u16string& name, QImage& image) {
  if (imageStream_ || !OnBitmapRequest) return irNoHandler;
  TBitmap* bitmap = nullptr;
  TColor color = clNone;
  OnBitmapRequest(this, name, bitmap, color);
  if (!bitmap || bitmap->Empty()) return irNone;
  image = bitmap->Image().convertToFormat(QImage::Format_ARGB32);
  if (color != clNone) {
    // The transparent colour as the host names it; system colours as the screen shows them.
    const QRgb key = ToQColor(ColorToRGB(color)).rgb() & 0xFFFFFF;
    for (int y = 0; y < image.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x)
        if ((row[x] & 0xFFFFFF) == key) row[x] = 0;
    }
  }
  return irData;
}

bool THtmlView::InsertImage(const std::u16string& src, TStream* stream) {
  QByteArray data;
  if (stream) ReadWhole(*stream, data);
  if (!doc_->InsertImage(src, data)) return false;
  // The image may change the page's size: a layout at the place the user sees.
  if (!processing_) {
    Reformat();
    RepaintPanel();
  }
  return true;
}

// ---- panels ----

void THtmlView::PanelCreate(ThvPanel* panel, const std::u16string& name, const std::u16string& type,
                            const std::u16string& src) {
  if (OnPanelCreate) OnPanelCreate(this, name, type, src, panel);
}

void THtmlView::PanelDestroy(ThvPanel* panel) {
  // Called as a panel is freed: a handler that raises is reported, never let loose there.
  if (OnPanelDestroy) RunGuarded(this, [&] { OnPanelDestroy(this, panel); });
}

void THtmlView::PanelPrint(ThvPanel* panel, TCanvas& canvas, const TRect& rect) {
  // Pages drawn only for their breaks ask the host for nothing.
  if (!OnPanelPrint || !printingPaper_ || rect.Width() <= 0 || rect.Height() <= 0) return;
  TBitmap bitmap(rect.Width(), rect.Height());
  bitmap.Image().fill(Qt::white);
  OnPanelPrint(this, panel, bitmap);
  canvas.DrawImage(rect.Left, rect.Top,
                   bitmap.Width() == rect.Width() && bitmap.Height() == rect.Height()
                       ? bitmap.Image()
                       : bitmap.Image().scaled(rect.Width(), rect.Height(), Qt::IgnoreAspectRatio,
                                               Qt::SmoothTransformation));
}

bool THtmlView::HasObjectTag() const { return static_cast<bool>(OnObjectTag); }

void THtmlView::ObjectTag(ThvPanel* panel, const std::vector<std::u16string>& attributes,
                          const std::vector<std::u16string>& params, bool& wantPanel) {
  if (OnObjectTag) OnObjectTag(this, panel, attributes, params, wantPanel);
}

// ---- properties ----

void THtmlView::SetBorderStyle(THTMLBorderStyle value) {
  borderStyle_ = value;
  ApplyBorder();
  DoScrollBars();
}

void THtmlView::ApplyBorder() {
  const bool single = borderStyle_ == htSingle || (borderStyle_ == htFocused && hasFocus());
  border_->setFrameShape(single ? QFrame::Box : QFrame::NoFrame);
  border_->setLineWidth(1);
}

void THtmlView::SetDefBackground(TColor value) {
  if (processing_) return;
  defBackground_ = value;
  doc_->SetBackground(value);
  RepaintPanel();
}

void THtmlView::SetDefHotSpotColor(TColor value) {
  defHotSpot_ = value;
  doc_->HotSpotColor = value;
}

void THtmlView::SetDefOverLinkColor(TColor value) {
  defOverLink_ = value;
  doc_->LinkActiveColor = value;
}

void THtmlView::SetDefVisitedLinkColor(TColor value) {
  defVisited_ = value;
  doc_->LinkVisitedColor = value;
}

void THtmlView::SetDefPreFontName(const std::u16string& value) {
  defPreFontName_ = value;
  if (!SameTextW(value, doc_->PreFontName)) doc_->PreFontName = value;
}

void THtmlView::SetHtOptions(THtmlViewOptions value) {
  const bool caretChanged = ((options_ ^ value) & htShowDummyCaret) != 0;
  options_ = value;
  doc_->LinksActive = (value & htOverLinksActive) != 0;
  doc_->PrintBackgrounds = (value & (htPrintTableBackground | htPrintBackground)) != 0;
  doc_->PrintBackgroundImages = (value & htPrintBackground) != 0;
  doc_->PrintMonochromeBlack = (value & htPrintMonochromeBlack) != 0;
  doc_->ShowDummyCaret = (value & htShowDummyCaret) != 0;
  if (caretChanged) RepaintPanel();
}

void THtmlView::SetImageCacheCount(int value) {
  value = std::clamp(value, 0, 20);
  imageCacheCount_ = value;
  if (imageCache_) imageCache_->SetCacheCount(value);
}

void THtmlView::SetNoSelect(bool value) {
  noSelect_ = value;
  if (value) {
    doc_->SelectionStart = doc_->SelectionEnd = 0;
    RepaintPanel();
  }
}

void THtmlView::SetPrintScale(double value) {
  if (std::isnan(value) || value < 0.125)
    value = 0.125;
  else if (value > 8.0)
    value = 8.0;
  printScale_ = value;
}

void THtmlView::SetScrollBars(TScrollStyle value) {
  if (value == scrollBars_) return;
  scrollBars_ = value;
  if (!constructing_ && !processing_) {
    DoLogic();
    RepaintPanel();
  }
}

void THtmlView::SetServerRoot(const std::u16string& value) {
  serverRoot_ = WideTrim(value);
  if (!serverRoot_.empty() && serverRoot_.back() == u'/') serverRoot_.pop_back();
}

void THtmlView::SetViewImages(bool value) {
  if (processing_ || value == viewImages_) return;
  viewImages_ = value;
  TWaitCursor wait;
  struct TScope {
    THtmlView& v;
    ~TScope() { v.SetProcessing(false); }
  } scope{*this};
  SetProcessing(true);
  doc_->ShowImages = value;
  if (doc_->Count() > 0) {
    const int pos = Position();
    DoLogic();
    SetPosition(pos);
    RepaintPanel();
  }
}

}  // namespace htmlview
