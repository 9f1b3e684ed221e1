#include "app/gui/FormTessaly.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cstdio>

#include "app/core/TerminalHost.h"
#include "app/gui/AboutUnit.h"
#include "app/gui/MyMessageDlgs.h"
#include "base/MyFileStream.h"
#include "base/MyPump.h"
#include "base/MySysUtils.h"
#include "controls/MyButtons.h"
#include "controls/SystemMenu.h"
#include "platform/core/Utf8.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/Gauges.h"
#include "platform/gui/Menus.h"
#include "platform/gui/MessagePump.h"
#include "platform/gui/Messages.h"
#include "unicode/UniSysUtils.h"
#include "unicode/gui/UniDialogs.h"
#include "unicode/gui/UniForms.h"
#include "unicode/gui/UniStdCtrls.h"

const TStartStopLook StartStopLooks[2] = {{0x00A7FE00, u"Start"}, {0x005757FB, u"Stop"}};

const char16_t* const ApplicationTitle = u"Mirelcon ";

const char16_t* const HelpText =
    u"You can get help through the web page of <a href=\"https://www.example.com/mirelcon/help\">Mirelcon</a>, "
    u"or a <a href=\"https://www.example.com/mirelcon/video\">short</a> video.";

const char16_t* const InputFileFilter =
    u"Quillmar Files (*.txt)|*.txt|CSV Files (*.csv)|*.csv|TMX Files (*.tmx)|*.tmx|SDLTM Files (*.sdltm)|*.sdltm|"
    u"SDLTB Files (*.sdltb)|*.sdltb|SDLXLIFF Files (*.sdlxliff)|*.sdlxliff";

namespace {

// What the window shows: a byte of a file's name that is not UTF-8 as U+FFFD.
QString Q(const WideString& s) { return QString::fromStdU16String(platform::ShownText(s)); }

// One line on standard error for what a message box shows, so that a run leaves a trace.
void ErrorLine(const WideString& text) {
  WideString line = text;
  for (char16_t& c : line)
    if (c == u'\r' || c == u'\n') c = u' ';
  const std::string bytes = platform::Utf16ToUtf8(line) + "\n";
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

// A standard icon of the style as a picture of the image list's size.
QImage StyleImage(const QStyle& style, QStyle::StandardPixmap which, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  style.standardIcon(which).paint(&painter, 0, 0, size, size);
  return image;
}

constexpr TBasicBtnOptions ButtonOptions = boMSDownOnUp | boMSDownOnSD | boMSMoveOnUp | boMSMoveOnSD | boMSAfterClick;

WideString AppTitle() { return UniApplication().Title(); }

}  // namespace

TFormTessaly::TFormTessaly(std::vector<WideString> params, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      params_(std::move(params)) {
  DesignForm(*this, 288, 155, QStringLiteral("MS Sans Serif"));
  setWindowTitle(QStringLiteral("Mirelcon"));

  SourceEdit = new TUniEdit(this);
  SourceEdit->setObjectName(QStringLiteral("SourceEdit"));
  SourceEdit->setGeometry(16, 24, 209, 21);
  SourceEdit->OnKeyDown = [this](QObject*, uint16_t& key, TShiftState) { SourceEditKeyDown(key); };

  DestEdit = new TUniEdit(this);
  DestEdit->setObjectName(QStringLiteral("DestEdit"));
  DestEdit->setGeometry(16, 72, 209, 21);
  DestEdit->SetReadOnly(true);
  DestEdit->SetColor(clBtnFace);
  setTabOrder(SourceEdit, DestEdit);

  Label1 = new QLabel(QStringLiteral("Input file:"), this);
  Label1->move(16, 8);
  Label1->adjustSize();
  Label2 = new QLabel(QStringLiteral("Output file"), this);
  Label2->move(16, 56);
  Label2->adjustSize();

  ImageList3.Add(StyleImage(*style(), QStyle::SP_DirOpenIcon, ImageList3.Width));
  ImageList3.Add(StyleImage(*style(), QStyle::SP_FileIcon, ImageList3.Width));
  ImageList3.Add(StyleImage(*style(), QStyle::SP_MessageBoxInformation, ImageList3.Width));

  UniOpenDialog1 = new TUniOpenDialog(this);

  Gauge1 = new TGauge(this);
  Gauge1->setObjectName(QStringLiteral("Gauge1"));
  Gauge1->setGeometry(16, 112, 209, 16);
  Gauge1->SetForeColor(clLime);
  TFont gaugeFont = Gauge1->Font();
  gaugeFont.Size = 7;
  Gauge1->SetFont(gaugeFont);

  PopupMenu1 = new TPopupMenu(this);
  PopupMenu1->SetImages(&ImageList3);
  AboutMenu = new TMenuItem(PopupMenu1);
  AboutMenu->SetCaption(u"About");
  AboutMenu->SetImageIndex(2);
  AboutMenu->OnClick = [this](QObject*) { AboutMenuClick(); };
  PopupMenu1->Items()->Add(AboutMenu);
  SystemMenu1 = new TSystemMenu(this);
  SystemMenu1->SetSystemMenu(PopupMenu1);

  SearchTMFileName = new TGLSButton(this);
  SearchTMFileName->setObjectName(QStringLiteral("SearchTMFileName"));
  SearchTMFileName->setGeometry(238, 23, 24, 24);
  SearchTMFileName->Glyphs().SetGlyphList(&ImageList3);
  SearchTMFileName->Glyphs().SetGlyph(G0_Up, 0);
  SearchTMFileName->Glyphs().SetGlyphLayout(laCenter);
  SearchTMFileName->SetOptions(ButtonOptions);
  SearchTMFileName->OnClick = [this](QObject*) { SearchTMFileNameClick(); };

  StartStop = new TGLSButton(this);
  StartStop->setObjectName(QStringLiteral("StartStop"));
  StartStop->setGeometry(238, 72, 33, 57);
  StartStop->SetEnabled(false);
  StartStop->SetOptions(ButtonOptions);
  ApplyLook();
  StartStop->OnClick = [this](QObject*) { StartStopClick(); };

  Label3 = new QLabel(this);
  Label3->setObjectName(QStringLiteral("Label3"));
  Label3->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Label3->setGeometry(16, 99, 225 - 16, Label3->fontMetrics().height());

  SetMessagePump(&QtMessagePump());
}

TFormTessaly::~TFormTessaly() {
  if (GetMessagePump() == &QtMessagePump()) SetMessagePump(nullptr);
}

void TFormTessaly::ApplyLook() {
  const TStartStopLook& look = StartStopLooks[Running];
  StartStop->SetCaption(look.Caption);
  StartStop->SetColor(look.Color);
}

void TFormTessaly::SetInputsEnabled(bool enabled) {
  SourceEdit->setEnabled(enabled);
  SearchTMFileName->SetEnabled(enabled);
  DestEdit->setEnabled(enabled);
}

void TFormTessaly::ShowBox(const WideString& caption, const WideString& text) {
  if (BoxesWanted()) platform::ShowMessageBox(this, Q(caption), Q(text));
}

// ---- activation and the command line ----

void TFormTessaly::changeEvent(QEvent* event) {
  // Queued, so that a command-line run never runs inside the activation's delivery.
  if (event->type() == QEvent::ActivationChange && isActiveWindow())
    QMetaObject::invokeMethod(this, [this] { FormActivate(); }, Qt::QueuedConnection);
  QWidget::changeEvent(event);
}

void TFormTessaly::showEvent(QShowEvent* event) {
  // A window manager may refuse to activate a new window (Wayland does): the first show starts
  // the command line as well, so that a run always ends.
  QMetaObject::invokeMethod(this, [this] { FormActivate(); }, Qt::QueuedConnection);
  QWidget::showEvent(event);
}

void TFormTessaly::FormActivate() {
  if (closed_) return;
  if (params_.empty()) {
    StartStop->SetCaption(StartStopLooks[Running].Caption);
    setWindowTitle(Q(ApplicationTitle));
    return;
  }
  // Only once: a message box closing during the run activates the window again.
  if (commandLineStarted_) return;
  commandLineStarted_ = true;
  RunCommandLineOnce();
}

void TFormTessaly::RunCommandLineOnce() {
  commandLineRunning_ = true;
  int status = ExitFileFailed;
  WideString error;
  if (!RunCatching([&] { status = RunCommandLine(*this, params_); }, error)) ShowError(error);
  commandLineRunning_ = false;
  exitStatus_ = status;
  // A hidden run must end whatever happened.
  close();
}

void TFormTessaly::BeginFile(const WideString& input, const WideString& output) {
  // Closing the window ends the batch: no further file is begun.
  if (closeRequested_)
    throw EConversionError(u"The run was stopped before \"" + input + u"\".");
  SetInputsEnabled(false);
  Running = 1;
  StartStop->SetEnabled(true);
  ApplyLook();
  SourceEdit->SetText(platform::ShownText(WideExtractFileName(input)));
  DestEdit->SetText(platform::ShownText(WideExtractFileName(output)));
  currentInput_ = input;
}

void TFormTessaly::EndFile(bool /*ok*/) {
  CurrentJob = nullptr;
  SetInputsEnabled(true);
  Running = 0;
  ApplyLook();
  StartStop->SetEnabled(false);
  currentInput_.clear();
}

void TFormTessaly::HideWindow() {
  hidden_ = true;
  hide();
}

// ---- what the conversions report ----

void TFormTessaly::AttachProgress(TObjectControled& job) {
  job.SetProgressEvent([this](int value) { ShowProgress(value); });
  CurrentJob = &job;
  if (closeRequested_) job.Abort();
}

void TFormTessaly::DetachProgress() { CurrentJob = nullptr; }

void TFormTessaly::ShowProgress(int value) { Gauge1->SetProgress(value); }

void TFormTessaly::ShowResult(const WideString& line) { Label3->setText(Q(line)); }

void TFormTessaly::ShowHtmlMessage(const WideString& html, const WideString& caption) {
  const WideString text = HtmlToText(html);
  if (commandLineRunning_ || caption == u"Error")
    ErrorLine(caption + u": " + (currentInput_.empty() ? WideString() : currentInput_ + u": ") + text);
  if (BoxesWanted()) ::ShowHtmlMessage(nullptr, html, caption, 0);
}

void TFormTessaly::ShowUsage(const WideString& text) { ShowBox(AppTitle(), text); }

void TFormTessaly::ShowMessage(const WideString& text) {
  ErrorLine(text);
  ShowBox(AppTitle(), text);
}

void TFormTessaly::ShowError(const WideString& text) {
  ErrorLine(text);
  if (!hidden_) ShowBox(AppTitle(), text);
}

// ---- window mode ----

void TFormTessaly::SearchTMFileNameClick() {
  UniOpenDialog1->Filter = InputFileFilter;
  if (UniOpenDialog1->Execute(this)) ChooseInput(UniOpenDialog1->FileName());
}

void TFormTessaly::ChooseInput(const WideString& fileName) {
  if (!WideFileExists(fileName) || FileInUse(fileName)) return;
  SourceEdit->SetText(platform::ShownText(WideExtractFileName(fileName)));
  InputName = fileName;
  OutputName = OutputFileName(fileName, OutputTypeOf(fileName));
  DestEdit->SetText(platform::ShownText(WideExtractFileName(OutputName)));
  StartStop->SetEnabled(true);
  ApplyLook();
  Gauge1->SetProgress(0);
}

void TFormTessaly::StartStopClick() {
  if (Running == 1) {
    if (CurrentJob) CurrentJob->Abort();
    return;
  }
  // The conversion runs from the event loop, never inside the click; one start at a time.
  if (startPending_) return;
  startPending_ = true;
  platform::PostMessage(this, WM_START_CONVERSION);
}

void TFormTessaly::customEvent(QEvent* event) {
  if (event->type() == TMessageEvent::MessageType()) {
    if (static_cast<TMessageEvent*>(event)->Msg == WM_START_CONVERSION) WMStartConversion();
    return;
  }
  QWidget::customEvent(event);
}

void TFormTessaly::WMStartConversion() {
  startPending_ = false;
  if (Running == 1 || closed_) return;
  Label3->clear();
  SetInputsEnabled(false);
  Running = 1;
  ApplyLook();
  // The output box shows the name that OutputName holds: while it does, that name keeps its
  // bytes, which the box may show otherwise.
  const WideString shown = DestEdit->Text();
  if (shown != platform::ShownText(WideExtractFileName(OutputName))) OutputName = WideExtractFilePath(OutputName) + shown;
  WideString error;
  const bool failed = !RunCatching([this] { RunConversion(*this, InputName, OutputName); }, error,
                                   u"Cannot convert \"" + InputName + u"\".");
  // Idle again before the error is shown, whatever the conversion did.
  CurrentJob = nullptr;
  SetInputsEnabled(true);
  Running = 0;
  ApplyLook();
  if (failed) ShowError(error);
  if (closeRequested_) close();
}

void TFormTessaly::closeEvent(QCloseEvent* event) {
  // The conversion runs on this window's stack: stop it, and close once it has returned.
  const bool busy = Running == 1 || commandLineRunning_ || (!params_.empty() && exitStatus_ < 0);
  if (busy) {
    closeRequested_ = true;
    if (CurrentJob) CurrentJob->Abort();
    event->ignore();
    return;
  }
  closed_ = true;
  event->accept();
  emit FormClosed();
}

// ---- keys and menu ----

void TFormTessaly::SourceEditKeyDown(uint16_t& key) {
  constexpr uint16_t VK_F1 = 112;
  if (key == VK_F1) ShowHtmlMessage(HelpText, u"Help");
}

void TFormTessaly::AboutMenuClick() {
  if (BoxesWanted()) ShowAboutBox(this, AppTitle(), u"Multiformat converter " + GetExeVersionW());
}
