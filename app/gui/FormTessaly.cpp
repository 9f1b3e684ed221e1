#include "app/gui/FormTessaly.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <cstdio>

#include "app/core/TerminalHost.h"
#include "base/MyFileStream.h"
#include "base/MyPump.h"
#include "base/MySysUtils.h"
#include "platform/core/Utf8.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/MessagePump.h"
#include "platform/gui/Messages.h"
#include "unicode/UniSysUtils.h"

const TStartStopLook StartStopLooks[2] = {{0x00A7FE00, u"Start"}, {0x005757FB, u"Stop"}};

const char16_t* const ApplicationTitle = u"Mirelcon ";

const char16_t* const HelpText =
    u"You can get help through the web page of <a href=\"https://www.example.com/mirelcon/help\">Mirelcon</a>, "
    u"or a <a href=\"https://www.example.com/mirelcon/video\">short</a> video.";

const char16_t* const InputFileFilter =
    u"Quillmar Files (*.txt)|*.txt|CSV Files (*.csv)|*.csv|TMX Files (*.tmx)|*.tmx|SDLTM Files (*.sdltm)|*.sdltm|"
    u"SDLTB Files (*.sdltb)|*.sdltb|SDLXLIFF Files (*.sdlxliff)|*.sdlxliff";

namespace {

QString Q(const WideString& s) { return QString::fromStdU16String(s); }

// One line on standard error for what a message box shows, so that a run leaves a trace.
void ErrorLine(const WideString& text) {
  WideString line = text;
  for (char16_t& c : line)
    if (c == u'\r' || c == u'\n') c = u' ';
  const std::string bytes = platform::Utf16ToUtf8(line) + "\n";
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

WideString AppTitle() { return QGuiApplication::applicationDisplayName().toStdU16String(); }

}  // namespace

TFormTessaly::TFormTessaly(std::vector<WideString> params, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      params_(std::move(params)) {
  setWindowTitle(QStringLiteral("Mirelcon"));
  setFixedSize(288, 155);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPointSize(8);
  setFont(font);

  SourceEdit = new QLineEdit(this);
  SourceEdit->setObjectName(QStringLiteral("SourceEdit"));
  SourceEdit->setGeometry(16, 24, 209, 21);
  SourceEdit->installEventFilter(this);

  DestEdit = new QLineEdit(this);
  DestEdit->setObjectName(QStringLiteral("DestEdit"));
  DestEdit->setGeometry(16, 72, 209, 21);
  DestEdit->setReadOnly(true);
  QPalette destPalette = DestEdit->palette();
  destPalette.setColor(QPalette::Base, destPalette.color(QPalette::Button));
  DestEdit->setPalette(destPalette);
  setTabOrder(SourceEdit, DestEdit);

  Label1 = new QLabel(QStringLiteral("Input file:"), this);
  Label1->move(16, 8);
  Label1->adjustSize();
  Label2 = new QLabel(QStringLiteral("Output file"), this);
  Label2->move(16, 56);
  Label2->adjustSize();

  Gauge1 = new QProgressBar(this);
  Gauge1->setObjectName(QStringLiteral("Gauge1"));
  Gauge1->setGeometry(16, 112, 209, 16);
  Gauge1->setRange(0, 100);
  Gauge1->setValue(0);
  Gauge1->setAlignment(Qt::AlignCenter);
  QPalette gaugePalette = Gauge1->palette();
  gaugePalette.setColor(QPalette::Highlight, ToQColor(clLime));
  Gauge1->setPalette(gaugePalette);
  QFont gaugeFont = font;
  gaugeFont.setPointSize(7);
  Gauge1->setFont(gaugeFont);

  PopupMenu1 = new QMenu(this);
  AboutMenu = PopupMenu1->addAction(style()->standardIcon(QStyle::SP_MessageBoxInformation), QStringLiteral("About"));
  connect(AboutMenu, &QAction::triggered, this, [this] { AboutMenuClick(); });
  // No window manager lets a program extend its system menu: the window's own menu has it.
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { PopupMenu1->popup(mapToGlobal(pos)); });

  SearchTMFileName = new QPushButton(this);
  SearchTMFileName->setObjectName(QStringLiteral("SearchTMFileName"));
  SearchTMFileName->setGeometry(238, 23, 24, 24);
  SearchTMFileName->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  connect(SearchTMFileName, &QPushButton::clicked, this, [this] { SearchTMFileNameClick(); });

  StartStop = new QPushButton(this);
  StartStop->setObjectName(QStringLiteral("StartStop"));
  StartStop->setGeometry(238, 72, 33, 57);
  StartStop->setEnabled(false);
  ApplyLook();
  connect(StartStop, &QPushButton::clicked, this, [this] { StartStopClick(); });

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
  StartStop->setText(Q(look.Caption));
  QPalette p = StartStop->palette();
  p.setColor(QPalette::Button, ToQColor(look.Color));
  StartStop->setPalette(p);
}

void TFormTessaly::SetInputsEnabled(bool enabled) {
  SourceEdit->setEnabled(enabled);
  SearchTMFileName->setEnabled(enabled);
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
    StartStop->setText(Q(StartStopLooks[Running].Caption));
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
  StartStop->setEnabled(true);
  ApplyLook();
  SourceEdit->setText(Q(WideExtractFileName(input)));
  DestEdit->setText(Q(WideExtractFileName(output)));
  currentInput_ = input;
}

void TFormTessaly::EndFile(bool /*ok*/) {
  CurrentJob = nullptr;
  SetInputsEnabled(true);
  Running = 0;
  ApplyLook();
  StartStop->setEnabled(false);
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

void TFormTessaly::ShowProgress(int value) { Gauge1->setValue(std::clamp(value, 0, 100)); }

void TFormTessaly::ShowResult(const WideString& line) { Label3->setText(Q(line)); }

void TFormTessaly::ShowHtmlMessage(const WideString& html, const WideString& caption) {
  const WideString text = HtmlToText(html);
  if (commandLineRunning_ || caption == u"Error")
    ErrorLine(caption + u": " + (currentInput_.empty() ? WideString() : currentInput_ + u": ") + text);
  ShowBox(caption, text);
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
  const QString chosen = platform::OpenFileDialog(this, Q(InputFileFilter));
  if (!chosen.isEmpty()) ChooseInput(chosen.toStdU16String());
}

void TFormTessaly::ChooseInput(const WideString& fileName) {
  if (!WideFileExists(fileName) || FileInUse(fileName)) return;
  SourceEdit->setText(Q(WideExtractFileName(fileName)));
  InputName = fileName;
  OutputName = OutputFileName(fileName, OutputTypeOf(fileName));
  DestEdit->setText(Q(WideExtractFileName(OutputName)));
  StartStop->setEnabled(true);
  ApplyLook();
  Gauge1->setValue(0);
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
  OutputName = WideExtractFilePath(OutputName) + DestEdit->text().toStdU16String();
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

bool TFormTessaly::eventFilter(QObject* watched, QEvent* event) {
  if (watched == SourceEdit && event->type() == QEvent::KeyPress)
    SourceEditKeyDown(static_cast<QKeyEvent*>(event)->key());
  return QWidget::eventFilter(watched, event);
}

void TFormTessaly::SourceEditKeyDown(int key) {
  if (key == Qt::Key_F1) ShowHtmlMessage(HelpText, u"Help");
}

void TFormTessaly::AboutMenuClick() { ShowBox(AppTitle(), u"Multiformat converter " + GetExeVersionW()); }
