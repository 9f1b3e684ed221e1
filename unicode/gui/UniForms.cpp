#include "unicode/gui/UniForms.h"

#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QShortcutEvent>
#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <algorithm>
#include <QVariant>
#include <QWidget>

#include "platform/gui/Menus.h"
#include "platform/gui/Messages.h"
#include "unicode/UniSysUtils.h"
#include "unicode/gui/UniActnList.h"
#include "unicode/gui/UniHotkeys.h"
#include "unicode/gui/UniStdActns.h"

namespace {

// The dynamic property that holds a control's wide hint.
constexpr char hintProperty[] = "mirelconHint";

// The application's title, kept apart from the companion, so that a title set before the Qt
// application existed survives the companion made with it.
WideString g_title;
bool g_titleSet = false;

bool TakesAction(QWidget* control, TUniAction& action) {
  return control && platform::SendMessage(control, CM_ACTIONEXECUTE, 0, reinterpret_cast<intptr_t>(&action)) == 1;
}

bool ShownControlsTake(const QWidget& container, TUniAction& action) {
  for (QObject* child : container.children()) {
    auto* control = qobject_cast<QWidget*>(child);
    if (!control || control->isWindow() || !control->isVisible()) continue;
    if (TakesAction(control, action) || ShownControlsTake(*control, action)) return true;
  }
  return false;
}

// How long a hint stays while the pointer rests on its control, as the class library's default.
constexpr int hintHidePause = 2500;
// A hint shows below the pointer by about the height of its arrow.
constexpr int hintBelowPointer = 20;
// A hint window is shown this much taller than its rectangle, as the class library shows hints,
// so that text set inside its frame keeps its last rows.
constexpr int hintExtraHeight = 4;

// The dynamic property that marks a menu whose highlighted entries publish hints.
constexpr char menuWatchedProperty[] = "mirelconMenuHints";

bool WindowTakes(QWidget& window, TUniAction& action) {
  QWidget* focused = window.focusWidget();
  if (focused && focused->isVisible() && TakesAction(focused, action)) return true;
  return TakesAction(&window, action) || ShownControlsTake(window, action);
}

}  // namespace

// ---- the hint window

TUniCustomHintWindow::TUniCustomHintWindow(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::BypassGraphicsProxyWidget) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

// The screen's hint font and colours are the platform's tooltip ones.
TFont TUniCustomHintWindow::HintFont() const {
  return TFont::FromQFont(QToolTip::font(), FromQColor(QToolTip::palette().color(QPalette::ToolTipText)));
}

TRect TUniCustomHintWindow::CalcHintRect(int maxWidth, const WideString& hint) const {
  TCanvas canvas(static_cast<QPaintDevice*>(nullptr));
  canvas.Measurer = Measurer;
  canvas.Font = HintFont();
  TRect r{0, 0, maxWidth, 0};
  canvas.DrawText(hint, r, DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK);
  r.Right += 6;
  r.Bottom += 2;
  return r;
}

void TUniCustomHintWindow::ActivateHint(const TRect& rect, const WideString& hint) {
  caption_ = hint;
  setGeometry(rect.Left, rect.Top, rect.Width(), rect.Height() + hintExtraHeight);
  show();
  raise();
  update();
}

void TUniCustomHintWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TCanvas canvas(painter);
  canvas.Measurer = Measurer;
  canvas.Font = HintFont();
  canvas.Brush.Style = bsSolid;
  canvas.Brush.Color = canvas.Font.Color;
  canvas.FillRect(TRect{0, 0, width(), height()});
  const TRect client{1, 1, width() - 1, height() - 1};
  canvas.Brush.Color = FromQColor(QToolTip::palette().color(QPalette::ToolTipBase));
  canvas.FillRect(client);
  canvas.Brush.Style = bsClear;
  TRect text{client.Left + 2, client.Top + 2, client.Right, client.Bottom};
  canvas.DrawText(caption_, text, DT_NOPREFIX | DT_WORDBREAK);
}

// ---- the companion

TUniApplication::TUniApplication(QObject* parent) : QObject(parent) {
  hintHide_.setSingleShot(true);
  hintHide_.setInterval(hintHidePause);
  connect(&hintHide_, &QTimer::timeout, this, [this] { CancelHint(); });
}

// The title is the program's own, not Qt's display name: Qt appends a display name to every window
// title ("Help — Mirelcon "), where each window must show exactly its own caption.
WideString TUniApplication::Title() const {
  return g_titleSet ? g_title : QCoreApplication::applicationName().toStdU16String();
}

void TUniApplication::SetTitle(const WideString& title) {
  g_title = title;
  g_titleSet = true;
}

void TUniApplication::SetHint(const WideString& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  if (OnHint) {
    OnHint(this);
    return;
  }
  TUniHintAction action;
  action.SetHint(hint);
  action.Execute();
}

bool TUniApplication::ExecuteAction(TUniAction& action) {
  const QPointer<QWidget> active = QApplication::activeWindow();
  if (active && WindowTakes(*active, action)) return true;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window != active && window->isVisible() && WindowTakes(*window, action)) return true;
  return false;
}

bool TUniApplication::ShowHint(QWidget& control, const QPoint& globalPos) {
  const WideString tip = UniControl_GetTooltip(&control);
  if (tip.empty()) return false;
  QWidget* window = control.window();
  if (!hintWindow_ || hintWindow_->parentWidget() != window) {
    delete hintWindow_.data();
    hintWindow_ = new TUniCustomHintWindow(window);
  }
  const QScreen* screen = QGuiApplication::screenAt(globalPos);
  const QRect area = (screen ? screen : control.screen())->availableGeometry();
  const TRect size = hintWindow_->CalcHintRect(area.width(), tip);
  // On the screen: left of its right edge, and above the pointer where below would pass its foot.
  const int width = size.Width(), height = size.Height() + hintExtraHeight;
  int x = globalPos.x(), y = globalPos.y() + hintBelowPointer;
  if (x + width > area.x() + area.width()) x = std::max(area.x(), area.x() + area.width() - width);
  if (y + height > area.y() + area.height()) y = std::max(area.y(), globalPos.y() - height);
  hintWindow_->ActivateHint(TRect{x, y, x + width, y + size.Height()}, tip);
  hintControl_ = &control;
  hintHide_.start();
  return true;
}

void TUniApplication::CancelHint() {
  hintHide_.stop();
  hintControl_ = nullptr;
  if (hintWindow_) hintWindow_->hide();
}

namespace {

// Pressed keys that are no shortcut on their own.
bool ModifierKey(int key) {
  return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta ||
         key == Qt::Key_AltGr || key == 0 || key == Qt::Key_unknown;
}

// The first widget a key press goes to in its window: the focused control, else the window.
bool FirstKeyReceiver(const QWidget& w) {
  const QWidget* focused = QApplication::focusWidget();
  return focused && focused->window() == w.window() ? focused == &w : w.isWindow();
}

// The menu that has the keyboard: the popup in front.
QMenu* KeyboardMenu() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

}  // namespace

bool TUniApplication::eventFilter(QObject* watched, QEvent* event) {
  auto* menu = qobject_cast<QMenu*>(watched);
  if (menu && menu->property(menuWatchedProperty).toBool()) {
    // Qt changes a menu's highlight while it handles the event: look at it once it has.
    const int type = event->type();
    QPointer<QMenu> guard = menu;
    QMetaObject::invokeMethod(this, [this, guard, type] { MenuEventDone(guard, type); }, Qt::QueuedConnection);
  }
  switch (event->type()) {
    case QEvent::Enter:
      // A menu's own window, or any while a menu is open, leaves the hint to the menu's highlight.
      if (menu || KeyboardMenu()) break;
      if (auto* w = qobject_cast<QWidget*>(watched)) SetHint(WideGetLongHint(WideGetHint(w)));
      break;
    case QEvent::Leave:
      if (watched == hintControl_) CancelHint();
      if (menu || KeyboardMenu()) break;
      // Back over the parent (or over no window of the program).
      if (auto* w = qobject_cast<QWidget*>(watched)) SetHint(WideGetLongHint(WideGetHint(w->parentWidget())));
      break;
    case QEvent::KeyPress: {
      if (hintControl_) CancelHint();
      auto* w = qobject_cast<QWidget*>(watched);
      const auto* key = static_cast<QKeyEvent*>(event);
      if (!w || KeyboardMenu() || ModifierKey(key->key()) || !FirstKeyReceiver(*w)) break;
      const TShortCut shortCut = key->keyCombination().toCombined() &
                                 ~static_cast<int>(Qt::KeypadModifier | Qt::GroupSwitchModifier);
      if (IsShortCut(*w->window(), shortCut)) return true;
      break;
    }
    case QEvent::Shortcut: {
      // One hot key, one control: never the turns Qt gives controls that share it.
      auto* w = qobject_cast<QWidget*>(watched);
      const WideString key = WideHotkeyOfSequence(static_cast<QShortcutEvent*>(event)->key());
      if (w && !key.empty() && WideFindHotkeyControl(*w->window(), key)) {
        WideDialogChar(*w->window(), key);
        return true;
      }
      break;
    }
    // Whatever the user does next ends the hint.
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ApplicationDeactivate:
      if (hintControl_) CancelHint();
      break;
    case QEvent::Show:
      if (menu) WatchMenu(*menu);
      break;
    case QEvent::Hide:
      if (!menu) break;
      // A closing menu highlights nothing; the one it came from, if any, has its highlight again.
      highlighted_[menu] = nullptr;
      if (QMenu* front = KeyboardMenu(); front != menu) {
        SetHint(MenuHint(front));
      } else {
        SetHint({});
      }
      break;
    case QEvent::ToolTip: {
      auto* w = qobject_cast<QWidget*>(watched);
      // A widget with a tooltip of Qt's own keeps it.
      if (!w || !w->toolTip().isEmpty()) break;
      if (ShowHint(*w, static_cast<QHelpEvent*>(event)->globalPos())) return true;
      CancelHint();
      break;
    }
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

bool TUniApplication::IsShortCut(QWidget& window, TShortCut shortCut) {
  for (QObject* o : window.findChildren<QObject*>()) {
    auto* popup = dynamic_cast<TPopupMenu*>(o);
    if (popup && popup->IsShortCut(shortCut)) return true;
  }
  return UniAction_IsShortCut(&window, shortCut);
}

WideString TUniApplication::MenuHint(const QMenu* menu) { return EntryHint(menu ? menu->activeAction() : nullptr); }

WideString TUniApplication::EntryHint(const QAction* action) {
  // A menu item is the parent of its platform's entry; an entry of no item has no hint.
  const auto* item = action ? dynamic_cast<const TMenuItem*>(action->parent()) : nullptr;
  return item ? WideGetLongHint(item->Hint()) : WideString();
}

void TUniApplication::MenuEventDone(QMenu* menu, int type) {
  if (!menu) return;
  if (type == QEvent::KeyPress) {
    // The keys move the highlight of the menu in front, which a key may just have opened.
    if (QMenu* front = KeyboardMenu()) {
      highlighted_[front] = front->activeAction();
      SetHint(MenuHint(front));
    }
    return;
  }
  if (!menu->isVisible()) return;
  QPointer<QAction>& seen = highlighted_[menu];
  // Over a separator or a disabled item the pointer highlights nothing, and says so.
  if (seen == menu->activeAction() && type != QEvent::MouseMove) return;
  seen = menu->activeAction();
  SetHint(MenuHint(menu));
}

void TUniApplication::WatchMenu(QMenu& menu) {
  if (menu.property(menuWatchedProperty).toBool()) return;
  menu.setProperty(menuWatchedProperty, true);
  connect(&menu, &QMenu::hovered, this, [this, &menu](QAction* action) {
    // Qt tells every menu on the way to a submenu of the entries highlighted in the submenu.
    if (menu.actions().contains(action)) highlighted_[&menu] = action;
    SetHint(EntryHint(action));
  });
  connect(&menu, &QObject::destroyed, this, [this, &menu] { highlighted_.erase(&menu); });
}

TUniApplication& UniApplication() {
  static QPointer<TUniApplication> instance;
  static TUniApplication* orphan = nullptr;  // made before the Qt application existed
  if (instance) return *instance;
  if (!QCoreApplication::instance()) {
    if (!orphan) orphan = new TUniApplication(nullptr);
    return *orphan;
  }
  // A child of the application, so that it goes before Qt does.
  instance = new TUniApplication(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(instance);
  return *instance;
}

// ---- hints ----

WideString UniControl_GetHint(const QWidget* control) {
  return control ? control->property(hintProperty).toString().toStdU16String() : WideString();
}

void UniControl_SetHint(QWidget* control, const WideString& hint) {
  if (!control) return;
  // Hints show through the application's companion.
  UniApplication();
  control->setProperty(hintProperty, QString::fromStdU16String(hint));
}

WideString WideGetHint(const QWidget* control) {
  for (; control; control = control->parentWidget()) {
    WideString hint = UniControl_GetHint(control);
    if (!hint.empty()) return hint;
  }
  return {};
}

WideString WideGetShortHint(const WideString& hint) {
  const size_t bar = hint.find(u'|');
  return bar == WideString::npos ? hint : hint.substr(0, bar);
}

WideString WideGetLongHint(const WideString& hint) {
  const size_t bar = hint.find(u'|');
  return bar == WideString::npos ? hint : hint.substr(bar + 1);
}

WideString UniControl_GetTooltip(const QWidget* control) {
  const WideString hint = WideGetShortHint(WideGetHint(control));
  const TUniAction* action = UniControl_GetAction(control);
  if (hint.empty() || !action || action->ShortCut() == 0) return hint;
  return WideFormat(u"%s (%s)", {hint, WideShortCutToText(action->ShortCut())});
}
