#pragma once
// The program's message box: a short HTML text (bold runs, links) in a viewer over an Ok button.
// A clicked link opens in the user's browser and the box stays open.
#include <QDialog>
#include <functional>
#include <string>

#include "unicode/UniTypes.h"

class TUniQmButton;
namespace htmlview {
class THtmlView;
}

class TMessageDlg : public QDialog {
public:
  // owner: the window the box belongs to; nullptr centres it on the main window.
  explicit TMessageDlg(QWidget* owner = nullptr);

  TUniQmButton* OkButton;
  htmlview::THtmlView* HtmlView1;

  // Whether the box has been closed (by Ok, Enter, Escape or a hook).
  bool Closed() const { return closed_; }

  void FormActivate();
  void HtmlView1HotSpotClick(QObject* sender, const std::u16string& src, bool& handled);
  void OkButtonClick();

protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

private:
  bool closed_ = false;
};

// Receives each box before it runs modally, so that tests can inspect, click and close it; a box
// the hook closed is not run. Installing an empty hook brings the plain behaviour back; returns
// the hook it replaces.
using TMessageDlgHook = std::function<void(TMessageDlg& box)>;
TMessageDlgHook SetMessageDlgHook(TMessageDlgHook hook);

// Shows text (HTML: the caller writes "&", "<" and ">" meant literally as entities) in a modal
// box with caption. Flags is not used. Always true. Without a box hook, a hook of the plain
// message box gets the caption and the text reduced to plain text instead.
bool ShowHtmlMessage(QWidget* owner, const WideString& text, const WideString& caption, int flags = 0);

// Sets form up as the program's windows are designed: the program's fonts, a fixed size, and
// family at 8 points for its controls.
void DesignForm(QWidget& form, int width, int height, const QString& family);

// Centres form on its owner, else on the main window when it is shown, else on the screen.
void CenterOnOwner(QWidget& form);
// The program's main window when it is shown, else nullptr.
QWidget* ShownMainWindow();
