// The popup's items in the form's context menu, which stands in for its window menu.
#include <QAction>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>

#include "controls/SystemMenu.h"
#include "platform/gui/Menus.h"
#include "tests/controls/ControlsTest.h"

namespace {

using controlstest::ControlsTest;

// "S" for a separator, else the entry's text.
std::vector<QString> Entries(const QMenu* menu) {
  std::vector<QString> out;
  for (const QAction* a : menu->actions()) out.push_back(a->isSeparator() ? QStringLiteral("S") : a->text());
  return out;
}

TEST_F(ControlsTest, SystemMenuOffersThePopupsItemsOnce) {
  TPopupMenu popup(form.get());
  auto* about = new TMenuItem(&popup);
  auto* line = new TMenuItem(&popup);
  about->SetCaption(u"About");
  line->SetCaption(u"-");
  QImage glyph(8, 8, QImage::Format_RGB32);
  glyph.fill(Qt::red);
  about->SetBitmap(glyph);
  popup.Items()->Add(about);
  popup.Items()->Add(line);
  int clicks = 0;
  about->OnClick = [&](QObject*) { ++clicks; };

  QLabel child(form.get());  // the owner may sit anywhere on the form
  TSystemMenu system(&child);
  EXPECT_EQ(Entries(system.FormMenu()), std::vector<QString>{});
  system.SetSystemMenu(&popup);
  const std::vector<QString> expected{"S", "About", "S"};
  EXPECT_EQ(Entries(system.FormMenu()), expected);
  QAction* entry = system.FormMenu()->actions()[1];
  EXPECT_TRUE(entry->font().bold());
  EXPECT_FALSE(entry->icon().isNull());
  EXPECT_FALSE(system.FormMenu()->separatorsCollapsible());

  // Choosing the entry runs the item's click once, after the choice has returned.
  entry->trigger();
  EXPECT_EQ(clicks, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(clicks, 1);

  system.SetSystemMenu(&popup);
  EXPECT_EQ(Entries(system.FormMenu()), expected);

  // A right click on the form shows the menu.
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), form->mapToGlobal(QPoint(10, 10)));
  QApplication::sendEvent(form.get(), &event);
  EXPECT_TRUE(system.FormMenu()->isVisible());
  system.FormMenu()->hide();

  // An entry chosen after its menu was taken away does nothing.
  entry = system.FormMenu()->actions()[1];
  entry->trigger();
  system.SetSystemMenu(nullptr);
  QCoreApplication::processEvents();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(Entries(system.FormMenu()), std::vector<QString>{});
}

}  // namespace
