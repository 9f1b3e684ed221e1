#include "app/gui/MyMessageDlgs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QScreen>
#include <QUrl>
#include <utility>

#include "app/core/TerminalHost.h"
#include "app/gui/FormTessaly.h"
#include "htmlview/view/HtmlView.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/Graphics.h"
#include "unicode/gui/UniButtons.h"

namespace {

TMessageDlgHook& DlgHook() {
  static TMessageDlgHook hook;
  return hook;
}

// Whether tests catch the plain boxes: they then get the message as plain text.
bool PlainBoxHooked() {
  platform::TMessageBoxHook hook = platform::SetMessageBoxHook({});
  const bool hooked = static_cast<bool>(hook);
  platform::SetMessageBoxHook(std::move(hook));
  return hooked;
}

}  // namespace

TMessageDlgHook SetMessageDlgHook(TMessageDlgHook hook) {
  return std::exchange(DlgHook(), std::move(hook));
}

QWidget* ShownMainWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && qobject_cast<TFormTessaly*>(w)) return w;
  return nullptr;
}

void DesignForm(QWidget& form, int width, int height, const QString& family) {
  UseProgramFonts();
  form.setFixedSize(width, height);
  QFont font(family);
  font.setPointSize(8);
  form.setFont(font);
}

void CenterOnOwner(QWidget& form) {
  // Frame on frame: a window is moved by its frame's corner, and a box's title bar and borders
  // differ from its owner's.
  const QSize own = form.frameGeometry().size();
  QWidget* p = form.parentWidget() ? form.parentWidget()->window() : ShownMainWindow();
  QRect r;
  if (p && p->isVisible())
    r = p->frameGeometry();
  else if (QScreen* screen = QGuiApplication::primaryScreen())
    r = screen->availableGeometry();
  else
    return;
  form.move(r.left() + (r.width() - own.width()) / 2, r.top() + (r.height() - own.height()) / 2);
}

TMessageDlg::TMessageDlg(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  DesignForm(*this, 244, 111, QStringLiteral("Tahoma"));
  setWindowTitle(QStringLiteral("MessageDlg"));

  OkButton = new TUniQmButton(this);
  OkButton->setObjectName(QStringLiteral("OkButton"));
  OkButton->setGeometry(80, 78, 75, 25);
  OkButton->SetCaption(u"Ok");
  // The box has no close button: Enter and Escape answer through Ok.
  OkButton->SetDefault(true);
  OkButton->SetCancel(true);
  OkButton->OnClick = [this](QObject*) { OkButtonClick(); };

  HtmlView1 = new htmlview::THtmlView(this);
  HtmlView1->setObjectName(QStringLiteral("HtmlView1"));
  HtmlView1->setGeometry(0, 0, 244, 78);
  HtmlView1->SetBorderStyle(htmlview::htFocused);
  HtmlView1->DefFontName = u"Times New Roman";
  HtmlView1->SetDefPreFontName(u"Tahoma");
  HtmlView1->SetHistoryMaxCount(0);
  HtmlView1->SetNoSelect(false);
  HtmlView1->QuirksMode = htmlview::qmDetect;
  HtmlView1->SetScrollBars(htmlview::TScrollStyle::ssNone);
  HtmlView1->OnHotSpotClick = [this](QObject* sender, const std::u16string& src, bool& handled) {
    HtmlView1HotSpotClick(sender, src, handled);
  };
  setTabOrder(OkButton, HtmlView1);
  OkButton->setFocus();
}

void TMessageDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TMessageDlg::FormActivate() { CenterOnOwner(*this); }

void TMessageDlg::HtmlView1HotSpotClick(QObject*, const std::u16string& src, bool& handled) {
  // The user's browser, never a shell; the box stays open.
  QDesktopServices::openUrl(QUrl(QString::fromStdU16String(src)));
  handled = true;
}

void TMessageDlg::OkButtonClick() { accept(); }

void TMessageDlg::done(int result) {
  closed_ = true;
  QDialog::done(result);
}

bool ShowHtmlMessage(QWidget* owner, const WideString& text, const WideString& caption, int /*flags*/) {
  if (!DlgHook() && PlainBoxHooked()) {
    platform::ShowMessageBox(owner, QString::fromStdU16String(caption), QString::fromStdU16String(HtmlToText(text)));
    return true;
  }
  TMessageDlg box(owner);
  box.HtmlView1->LoadFromString(u"<html><head><title></title></head><body><p align=left><font face=\"Tahoma\" size=2>" +
                                text + u"</p></body></html>");
  // The caption stays UTF-16: any script shows as it is.
  box.setWindowTitle(QString::fromStdU16String(caption));
  if (DlgHook()) {
    const TMessageDlgHook hook = DlgHook();
    hook(box);
    if (box.Closed()) return true;
  }
  box.exec();
  return true;
}
