// Menu items and actions with their links.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include "platform/gui/Messages.h"
#include "tests/controls/ControlsTest.h"
#include "unicode/gui/UniActnList.h"
#include "unicode/gui/UniControls.h"
#include "unicode/gui/UniForms.h"
#include "unicode/gui/UniMenus.h"

namespace {

using controlstest::ControlsTest;

TEST_F(ControlsTest, MenuItemsCarryCaptionShortcutStateAndHint) {
  TPopupMenu menu;
  TImageList images(8, 8);
  images.Add(QImage(8, 8, QImage::Format_ARGB32));
  menu.SetImages(&images);
  auto* save = new TUniMenuItem(&menu);
  auto* sep = new TUniMenuItem(&menu);
  auto* more = new TUniMenuItem(&menu);
  save->SetCaption(u"&Save \u0436");
  save->SetShortCut((Qt::SHIFT | Qt::CTRL | Qt::Key_F5).toCombined());
  save->SetHint(u"Save|Saves the file");
  save->SetDefault(true);
  save->SetImageIndex(0);
  sep->SetCaption(u"-");
  more->SetCaption(u"More");
  more->SetShortCut((Qt::CTRL | Qt::Key_M).toCombined());
  for (TMenuItem* item : {save, sep, more}) menu.Items()->Add(item);
  more->Add(new TUniMenuItem);

  const QList<QAction*> actions = menu.Menu()->actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_EQ(actions[0]->text(), QString::fromStdU16String(u"&Save \u0436\tShift+Ctrl+F5"));
  EXPECT_TRUE(actions[0]->font().bold());
  EXPECT_FALSE(actions[0]->icon().isNull());
  EXPECT_TRUE(actions[1]->isSeparator());
  EXPECT_EQ(actions[2]->text(), "More");  // an item with items shows no shortcut
  EXPECT_EQ(actions[2]->menu()->actions().value(0), more->Items(0)->MenuAction());

  int clicks = 0;
  save->OnClick = [&](QObject* sender) { clicks += sender == save; };
  actions[0]->trigger();
  EXPECT_TRUE(menu.DispatchCommand(save->Command()));
  EXPECT_FALSE(menu.DispatchCommand(-5));
  save->SetEnabled(false);
  actions[0]->trigger();
  EXPECT_EQ(clicks, 2);

  // The item under the pointer gives the application its long hint; a closing menu takes it back.
  menu.Popup(0, 0);
  actions[0]->hover();
  EXPECT_EQ(UniApplication().Hint(), u"Saves the file");
  menu.Menu()->hide();
  EXPECT_EQ(UniApplication().Hint(), u"");
  delete more;  // its items go with it, and the menu forgets it
  EXPECT_EQ(menu.Items()->Count(), 2);
}

// Records, at each change of its text, the action's new caption and the caption it still has.
class Watching : public QLabel {
public:
  using QLabel::QLabel;
  TUniAction* action = nullptr;
  std::vector<WideString> seen;

protected:
  void customEvent(QEvent* e) override {
    if (action && e->type() == TMessageEvent::MessageType() &&
        static_cast<TMessageEvent*>(e)->Msg == CM_TEXTCHANGED)
      seen.push_back(UniAction_GetNewCaption(action, u"idle") + u"/" + action->Caption());
  }
};

TEST_F(ControlsTest, LinkedCaptionsAndHintsFollowTheAction) {
  auto* action = new TUniAction;
  action->SetCaption(u"Open");
  action->SetHint(u"Open|Opens a file");
  Watching linked(form.get()), unlinked(form.get());
  linked.setObjectName("linked");
  UniControl_SetAction(&linked, action);
  UniControl_SetAction(&unlinked, action);
  EXPECT_EQ(linked.text(), "Open");
  EXPECT_EQ(UniControl_GetHint(&linked), u"Open|Opens a file");
  UniControl_SetText(&unlinked, u"Mine");
  UniControl_SetHint(&unlinked, u"Mine");
  linked.action = action;

  // Text outside any ANSI page reaches every linked client, while the action still has the old.
  action->SetCaption(u"\u00D6ffnen \u0436");
  action->SetHint(u"\u00D6ffnen|\u00D6ffnet");
  EXPECT_EQ(linked.seen, (std::vector<WideString>{u"\u00D6ffnen \u0436/Open"}));
  EXPECT_EQ(UniAction_GetNewCaption(action, u"idle"), u"idle");
  EXPECT_EQ(UniControl_GetHint(&linked), u"\u00D6ffnen|\u00D6ffnet");
  EXPECT_EQ(unlinked.text(), "Mine");
  EXPECT_EQ(UniControl_GetHint(&unlinked), u"Mine");
  action->SetEnabled(false);
  EXPECT_FALSE(linked.isEnabled());
  delete action;
  linked.action = nullptr;
  EXPECT_EQ(UniControl_GetAction(&linked), nullptr);

  // With defaults checked a control keeps its own caption and hint; a caption equal to its name
  // counts as none.
  const struct {
    QString text;
    WideString hint;
    bool checkDefaults;
    QString caption;
    WideString newHint;
  } cases[] = {
      {"linked", u"", true, "Save", u"Save|Saves"},
      {"", u"Keep", true, "Save", u"Keep"},
      {"Custom", u"", true, "Custom", u"Save|Saves"},
      {"Custom", u"Keep", false, "Save", u"Save|Saves"},
  };
  TUniAction save;
  save.SetCaption(u"Save");
  save.SetHint(u"Save|Saves");
  for (const auto& c : cases) {
    linked.setText(c.text);
    UniControl_SetHint(&linked, c.hint);
    UniControl_ActionChange(&linked, &save, c.checkDefaults);
    EXPECT_EQ(linked.text(), c.caption) << c.text.toStdString();
    EXPECT_EQ(UniControl_GetHint(&linked), c.newHint) << c.text.toStdString();
  }
}

TEST_F(ControlsTest, AssigningAnActionCarriesItsWideTextsToTheLinkedClients) {
  TUniAction source, action;
  source.SetCaption(u"\u00D6ffnen \U0001F4C2");
  source.SetHint(u"\u00D6ffnen|\u00D6ffnet eine Datei");
  source.SetEnabled(false);
  source.SetShortCut(0x4000 | 'O');
  action.SetCaption(u"Open");
  QLabel linked(form.get());
  UniControl_SetAction(&linked, &action);
  UniAction_Assign(&action, source);
  EXPECT_EQ(action.Caption(), source.Caption());
  EXPECT_EQ(action.Hint(), source.Hint());
  EXPECT_FALSE(action.Enabled());
  EXPECT_EQ(action.ShortCut(), source.ShortCut());
  EXPECT_EQ(UniControl_GetText(&linked), source.Caption());
  EXPECT_FALSE(linked.isEnabled());
  // From a control: its text and hint.
  QLabel control(form.get());
  UniControl_SetText(&control, u"\u0417\u0430\u043A\u0440\u044B\u0442\u044C");
  UniControl_SetHint(&control, u"Close|Closes the file");
  UniAction_Assign(&action, control);
  EXPECT_EQ(action.Caption(), u"\u0417\u0430\u043A\u0440\u044B\u0442\u044C");
  EXPECT_EQ(action.Hint(), u"Close|Closes the file");
  EXPECT_EQ(UniControl_GetText(&linked), action.Caption());
  UniControl_SetAction(&linked, nullptr);
}

TEST_F(ControlsTest, MenuItemsLinkByCaptionWithoutHotKeysAndRunTheirAction) {
  TPopupMenu menu;
  auto* item = new TUniMenuItem(&menu);
  menu.Items()->Add(item);
  TUniAction action;
  action.SetCaption(u"Open");
  action.SetShortCut((Qt::CTRL | Qt::Key_O).toCombined());
  int runs = 0;
  action.OnExecute = [&](QObject*) { ++runs; };
  item->SetAction(&action);
  EXPECT_EQ(item->MenuAction()->text(), "Open\tCtrl+O");
  item->SetCaption(u"&OPEN");  // the same caption to a menu
  action.SetCaption(u"Close");
  EXPECT_EQ(item->Caption(), u"Close");
  item->SetCaption(u"Other");
  action.SetCaption(u"Quit");
  EXPECT_EQ(item->Caption(), u"Other");

  item->MenuAction()->trigger();
  item->OnClick = [&](QObject*) { runs += 10; };  // an OnClick of its own comes first
  item->MenuAction()->trigger();
  EXPECT_EQ(runs, 11);

  // Checked defaults fill what an item has not set, and keep what it has.
  TUniMenuItem fresh, own;
  own.SetCaption(u"Mine");
  fresh.ActionChange(&action, true);
  own.ActionChange(&action, true);
  EXPECT_EQ(fresh.Caption(), u"Quit");
  EXPECT_EQ(fresh.ShortCut(), action.ShortCut());
  EXPECT_EQ(own.Caption(), u"Mine");
}

}  // namespace

namespace {

// The item the keyboard moves to in a shown menu publishes its long hint, whatever its class.
TEST_F(ControlsTest, EveryHighlightedMenuItemPublishesItsLongHint) {
  TPopupMenu menu;
  auto* plain = new TMenuItem(&menu);
  auto* bare = new TMenuItem(&menu);
  auto* wide = new TUniMenuItem(&menu);
  auto* sub = new TMenuItem(&menu);
  plain->SetCaption(u"Plain");
  plain->SetHint(u"Plain|A plain item \u00D6");
  bare->SetCaption(u"Bare");
  wide->SetCaption(u"Wide");
  wide->SetHint(u"Wide \U0001F4C2");
  sub->SetCaption(u"Sub");
  sub->SetHint(u"Sub|Has items");
  for (TMenuItem* item : std::initializer_list<TMenuItem*>{plain, bare, wide, sub}) menu.Items()->Add(item);
  auto* inner = new TMenuItem;
  inner->SetCaption(u"Inner");
  inner->SetHint(u"Inner|Inside");
  sub->Add(inner);
  // An entry of the menu that is no item of it.
  QAction* foreign = menu.Menu()->addAction(QStringLiteral("Foreign"));

  UniApplication().SetHint(u"before");
  menu.Popup(0, 0);
  // (the hint after each Down key)
  for (const char16_t* hint : {u"A plain item \u00D6", u"", u"Wide \U0001F4C2", u"Has items", u""}) {
    QTest::keyClick(menu.Menu(), Qt::Key_Down);
    EXPECT_EQ(UniApplication().Hint(), hint) << menu.Menu()->activeAction()->text().toStdString();
  }
  EXPECT_EQ(menu.Menu()->activeAction(), foreign);
  // Into the submenu: its items publish theirs too.
  QTest::keyClick(menu.Menu(), Qt::Key_Up);
  QTest::keyClick(menu.Menu(), Qt::Key_Right);
  QMenu* subMenu = sub->MenuAction()->menu();
  ASSERT_TRUE(subMenu && subMenu->isVisible());
  if (!subMenu->activeAction()) QTest::keyClick(subMenu, Qt::Key_Down);
  EXPECT_EQ(UniApplication().Hint(), u"Inside");
  subMenu->hide();
  menu.Menu()->hide();
  EXPECT_EQ(UniApplication().Hint(), u"");
}

}  // namespace
