#pragma once
// The about box: the program's picture, what it converts, the project and its web page, and the
// version. A click anywhere on it, or Escape, closes it.
#include <QDialog>
#include <functional>

#include "unicode/UniTypes.h"

class QFrame;
class QLabel;
class QTextEdit;

class TAboutWinQm2TMX : public QDialog {
public:
  explicit TAboutWinQm2TMX(QWidget* owner = nullptr);

  QFrame* Panel1;
  QLabel* Image1;
  QTextEdit* Memo1;
  QLabel* VersionLabel;

  void SetVersionText(const WideString& text);
  bool Closed() const { return closed_; }
  void FormActivate();
  void FormClick();

protected:
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void done(int result) override;

private:
  bool closed_ = false;
};

// The program's picture: two pages and an arrow between them.
QImage AboutPicture(int width, int height);

// Receives each about box before it runs modally (tests); a box the hook closed is not run.
using TAboutBoxHook = std::function<void(TAboutWinQm2TMX& box)>;
TAboutBoxHook SetAboutBoxHook(TAboutBoxHook hook);

// Shows the about box with versionText. Without an about-box hook, a hook of the plain message
// box gets caption and versionText instead.
void ShowAboutBox(QWidget* owner, const WideString& caption, const WideString& versionText);
