#include "controls/SystemMenu.h"

#include <QAction>
#include <QMenu>
#include <QPixmap>
#include <QWidget>

#include "platform/gui/Menus.h"
#include "platform/gui/Messages.h"

namespace {
constexpr uint32_t WM_COMMAND = 0x0111;
}

TSystemMenu::TSystemMenu(QObject* owner) : QObject(owner), formMenu_(std::make_unique<QMenu>()) {
  // The window menu shows every entry as placed, the leading separator too.
  formMenu_->setSeparatorsCollapsible(false);
  for (QObject* o = owner; o; o = o->parent()) {
    auto* w = qobject_cast<QWidget*>(o);
    if (w && w->isWindow()) {
      form_ = w;
      break;
    }
  }
  if (!form_) return;
  form_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(form_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    if (form_ && !formMenu_->actions().isEmpty()) formMenu_->popup(form_->mapToGlobal(pos));
  });
}

TSystemMenu::~TSystemMenu() {
  if (form_) form_->setContextMenuPolicy(Qt::DefaultContextMenu);
}

void TSystemMenu::SetSystemMenu(TPopupMenu* menu) {
  systemMenu_ = menu;
  formMenu_->clear();
  if (!menu) return;
  formMenu_->addSeparator();
  const TMenuItem* items = menu->Items();
  for (int i = 0; i < items->Count(); ++i) {
    const TMenuItem* item = items->Items(i);
    if (item->Caption() == u"-") {
      formMenu_->addSeparator();
      continue;
    }
    QAction* entry = formMenu_->addAction(QString::fromStdU16String(item->Caption()));
    // Every entry is a default item of the window menu, which shows bold.
    QFont font = entry->font();
    font.setBold(true);
    entry->setFont(font);
    if (!item->Bitmap().isNull()) entry->setIcon(QIcon(QPixmap::fromImage(item->Bitmap())));
    const int command = item->Command();
    connect(entry, &QAction::triggered, this, [this, command] { platform::PostMessage(this, WM_COMMAND, command); });
  }
}

void TSystemMenu::customEvent(QEvent* event) {
  if (event->type() != TMessageEvent::MessageType()) return QObject::customEvent(event);
  const auto* m = static_cast<TMessageEvent*>(event);
  // A command that belongs to no item (the menu was replaced meanwhile) is ignored.
  if (m->Msg == WM_COMMAND && systemMenu_) systemMenu_->DispatchCommand(static_cast<int>(m->WParam));
}
