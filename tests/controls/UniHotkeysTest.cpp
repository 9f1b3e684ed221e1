// Hot keys and shortcut texts of wide captions.
#include <gtest/gtest.h>

#include <QLocale>
#include <utility>

#include "unicode/gui/UniHotkeys.h"

namespace {

TEST(HotKeys, TheLastSingleAmpersandMarksTheKey) {
  const struct {
    WideString caption;
    int pos;
    WideString key, stripped;
  } cases[] = {
      {u"&File", 2, u"F", u"File"},         {u"Save && E&xit", 11, u"x", u"Save & Exit"},
      {u"A&&B", 0, u"", u"A&B"},            {u"Close&", 0, u"", u"Close"},
      {u"A&&&B", 5, u"B", u"A&B"},          {u"&One &Two", 7, u"T", u"One Two"},
      {u"&\U0001F600 x", 2, u"\U0001F600", u"\U0001F600 x"}, {u"", 0, u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WideGetHotkeyPos(c.caption), c.pos) << c.pos;
    EXPECT_EQ(WideGetHotkey(c.caption), c.key) << c.pos;
    EXPECT_EQ(WideStripHotkey(c.caption), c.stripped) << c.pos;
  }
  EXPECT_TRUE(WideSameCaption(u"&Open", u"OPEN"));
  EXPECT_FALSE(WideSameCaptionStr(u"&Open", u"OPEN"));
  EXPECT_TRUE(WideSameCaptionStr(u"&Open", u"Op&en"));

  // "(&X)" goes whole in a Japanese, Chinese or Korean locale only; "(&&)" holds no hot key.
  const QLocale saved;
  for (auto [language, open] : {std::pair{QLocale::English, u"Open(O)"}, {QLocale::German, u"Open(O)"},
                                {QLocale::Japanese, u"Open"}, {QLocale::Chinese, u"Open"},
                                {QLocale::Korean, u"Open"}}) {
    QLocale::setDefault(QLocale(language));
    EXPECT_EQ(WideStripHotkey(u"Open(&O)"), open) << language;
    EXPECT_EQ(WideStripHotkey(u"(&&)"), u"(&)") << language;
  }
  QLocale::setDefault(saved);
}

TEST(ShortCuts, ModifiersComeInTheClassLibrarysOrder) {
  for (auto [key, text] : {std::pair{Qt::SHIFT | Qt::CTRL | Qt::Key_F5, u"Shift+Ctrl+F5"},
                           {Qt::ALT | Qt::CTRL | Qt::SHIFT | Qt::Key_F2, u"Shift+Ctrl+Alt+F2"},
                           {Qt::ALT | Qt::Key_F4, u"Alt+F4"}, {QKeyCombination(Qt::Key_F1), u"F1"}})
    EXPECT_EQ(WideShortCutToText(key.toCombined()), text);
  EXPECT_EQ(WideShortCutToText(0), u"");
}

}  // namespace
