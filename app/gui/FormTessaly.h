#pragma once
// The program's one window: pick a file and convert it with a progress gauge and Start/Stop, or
// run the command line once and close.
#include <QWidget>
#include <cstdint>
#include <vector>

#include "app/core/Conversion.h"
#include "platform/gui/Colors.h"
#include "platform/gui/Graphics.h"
#include "unicode/UniStringList.h"

class QLabel;
class TGauge;
class TGLSButton;
class TMenuItem;
class TPopupMenu;
class TSystemMenu;
class TUniEdit;
class TUniOpenDialog;

// The private message that starts a conversion in window mode, posted by Start.
inline constexpr uint32_t WM_START_CONVERSION = 0x1400;

// The look of StartStop, indexed by Running.
struct TStartStopLook {
  TColor Color;
  const char16_t* Caption;
};
extern const TStartStopLook StartStopLooks[2];

// The application's title, given to the application at start-up (the trailing blank is meant).
extern const char16_t* const ApplicationTitle;
extern const char16_t* const HelpText;
extern const char16_t* const InputFileFilter;

class TFormTessaly : public QWidget, public TCommandLineHost {
  Q_OBJECT

public:
  // params: the command line without the program's name. With parameters the window runs them
  // once, when it is first activated or shown, and closes; without, it waits for the user.
  explicit TFormTessaly(std::vector<WideString> params = {}, QWidget* parent = nullptr);
  ~TFormTessaly() override;

  // The exit status of the command-line run; -1 until the run has ended, and in window mode.
  int ExitStatus() const { return exitStatus_; }

  // The browse button's answer: fileName becomes the input when it is a file that is not in
  // use; anything else is silently not taken.
  void ChooseInput(const WideString& fileName);

  uint8_t GetRunning() const { return Running; }
  TObjectControled* GetCurrentJob() const { return CurrentJob; }
  const WideString& GetInputName() const { return InputName; }
  const WideString& GetOutputName() const { return OutputName; }

  // TConversionHost
  void AttachProgress(TObjectControled& job) override;
  void DetachProgress() override;
  void ShowHtmlMessage(const WideString& html, const WideString& caption) override;
  void ShowResult(const WideString& line) override;
  // TCommandLineHost
  void ShowUsage(const WideString& text) override;
  void ShowMessage(const WideString& text) override;
  void ShowError(const WideString& text) override;
  void HideWindow() override;
  void BeginFile(const WideString& input, const WideString& output) override;
  void EndFile(bool ok) override;

  TUniEdit* SourceEdit;
  TUniEdit* DestEdit;
  QLabel* Label1;
  QLabel* Label2;
  // 0: the browse button's glyph; 2: the About item's image.
  TImageList ImageList3{16, 16};
  TUniOpenDialog* UniOpenDialog1;
  TGauge* Gauge1;
  TPopupMenu* PopupMenu1;
  TMenuItem* AboutMenu;
  TSystemMenu* SystemMenu1;
  TGLSButton* SearchTMFileName;
  TGLSButton* StartStop;
  QLabel* Label3;  // the result line

signals:
  // The window has closed for good (the program ends with it).
  void FormClosed();

protected:
  void customEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void FormActivate();
  void SearchTMFileNameClick();
  void StartStopClick();
  void WMStartConversion();
  void SourceEditKeyDown(uint16_t& key);
  void AboutMenuClick();
  void ShowProgress(int value);

  void RunCommandLineOnce();
  void SetInputsEnabled(bool enabled);
  void ApplyLook();  // caption and colour of StartStopLooks[Running]
  // Once the window is closing no box waits for a click.
  bool BoxesWanted() const { return !closeRequested_; }
  void ShowBox(const WideString& caption, const WideString& text);

  uint8_t Running = 0;
  WideString InputName;
  WideString OutputName;
  TObjectControled* CurrentJob = nullptr;  // the attached job; cleared when it is detached

  std::vector<WideString> params_;
  WideString currentInput_;        // the command-line file being converted, named by its messages
  bool commandLineStarted_ = false;
  bool commandLineRunning_ = false;
  bool startPending_ = false;      // a posted start has not been handled yet
  bool hidden_ = false;            // hidden by the command line
  bool closeRequested_ = false;    // closed during a run: closes when the run returns
  bool closed_ = false;
  int exitStatus_ = -1;
};
