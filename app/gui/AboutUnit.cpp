#include "app/gui/AboutUnit.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextEdit>
#include <utility>

#include "app/gui/MyMessageDlgs.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/Graphics.h"

namespace {

TAboutBoxHook& AboutHook() {
  static TAboutBoxHook hook;
  return hook;
}

}  // namespace

TAboutBoxHook SetAboutBoxHook(TAboutBoxHook hook) {
  return std::exchange(AboutHook(), std::move(hook));
}

QImage AboutPicture(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const int pw = width * 2 / 5, ph = height * 3 / 5;
  auto page = [&](int x, int y, QColor fill) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(fill);
    p.drawRect(x, y, pw, ph);
    p.setPen(QPen(Qt::darkGray, 1));
    for (int ly = y + 4; ly < y + ph - 2; ly += 4) p.drawLine(x + 3, ly, x + pw - 3, ly);
  };
  page(0, 0, QColor(255, 255, 224));
  page(width - pw - 1, height - ph - 1, QColor(224, 240, 255));
  QPainterPath arrow;
  const double ax = pw + 1, ay = height / 2.0;
  arrow.moveTo(ax, ay - 3);
  arrow.lineTo(width - pw - 6, ay - 3);
  arrow.lineTo(width - pw - 6, ay - 7);
  arrow.lineTo(width - pw, ay);
  arrow.lineTo(width - pw - 6, ay + 7);
  arrow.lineTo(width - pw - 6, ay + 3);
  arrow.lineTo(ax, ay + 3);
  arrow.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 128, 0));
  p.drawPath(arrow);
  return image;
}

TAboutWinQm2TMX::TAboutWinQm2TMX(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
  DesignForm(*this, 179, 162, QStringLiteral("MS Sans Serif"));

  Panel1 = new QFrame(this);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(1);
  Panel1->setGeometry(0, 0, 179, 162);
  Panel1->setFocusPolicy(Qt::StrongFocus);

  Image1 = new QLabel(Panel1);
  Image1->setGeometry(74, 12, 39, 42);
  Image1->setPixmap(QPixmap::fromImage(AboutPicture(39, 42)));

  // A rich-text edit: a plain-text one lays every line out left-aligned, whatever its block asks.
  Memo1 = new QTextEdit(Panel1);
  Memo1->setGeometry(2, 162 - 2 - 20 - 91, 175, 91);
  Memo1->setReadOnly(true);
  Memo1->setFrameShape(QFrame::NoFrame);
  Memo1->setFocusPolicy(Qt::NoFocus);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QPalette pal = Memo1->palette();
  pal.setColor(QPalette::Base, palette().color(QPalette::Button));
  Memo1->setPalette(pal);
  // Every line fits the memo's width and all six its height: none wraps, none is scrolled away.
  Memo1->setPlainText(QStringLiteral("Quillmar  <->  TMX\nSDLTM ->  TMX\nSDLTB ->  CSV\n\nThe Mirelcon project\n"
                                     "www.example.com/mirelcon"));
  QTextCursor cursor(Memo1->document());
  cursor.select(QTextCursor::Document);
  QTextBlockFormat centred;
  centred.setAlignment(Qt::AlignHCenter);
  cursor.mergeBlockFormat(centred);
  Memo1->moveCursor(QTextCursor::Start);

  VersionLabel = new QLabel(Panel1);
  VersionLabel->setGeometry(2, 162 - 2 - 20, 175, 20);
  VersionLabel->setAlignment(Qt::AlignCenter);

  // A click anywhere on the box closes it.
  for (QWidget* w : {static_cast<QWidget*>(Panel1), static_cast<QWidget*>(Image1), Memo1->viewport(),
                     static_cast<QWidget*>(Memo1), static_cast<QWidget*>(VersionLabel)})
    w->installEventFilter(this);
}

void TAboutWinQm2TMX::SetVersionText(const WideString& text) {
  VersionLabel->setText(QString::fromStdU16String(text));
}

void TAboutWinQm2TMX::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TAboutWinQm2TMX::FormActivate() {
  CenterOnOwner(*this);
  Panel1->setFocus();
}

void TAboutWinQm2TMX::FormClick() { accept(); }

void TAboutWinQm2TMX::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    FormClick();
    return;
  }
  QDialog::mousePressEvent(event);
}

bool TAboutWinQm2TMX::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    FormClick();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TAboutWinQm2TMX::done(int result) {
  closed_ = true;
  QDialog::done(result);
}

void ShowAboutBox(QWidget* owner, const WideString& caption, const WideString& versionText) {
  if (!AboutHook()) {
    platform::TMessageBoxHook plain = platform::SetMessageBoxHook({});
    const bool hooked = static_cast<bool>(plain);
    platform::SetMessageBoxHook(std::move(plain));
    if (hooked) {
      platform::ShowMessageBox(owner, QString::fromStdU16String(caption), QString::fromStdU16String(versionText));
      return;
    }
  }
  TAboutWinQm2TMX box(owner);
  box.setWindowTitle(QString::fromStdU16String(caption));
  box.SetVersionText(versionText);
  if (AboutHook()) {
    const TAboutBoxHook hook = AboutHook();
    hook(box);
    if (box.Closed()) return;
  }
  box.exec();
}
