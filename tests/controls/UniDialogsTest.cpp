// The open-file dialog, driven through Qt's own file dialog offscreen.
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <functional>
#include <tuple>

#include "tests/controls/ControlsTest.h"
#include "tests/support/TempDir.h"
#include "unicode/gui/UniDialogs.h"

namespace {

using controlstest::ControlsTest;

// Runs step on the modal file dialog once it is up.
void WhenOpen(std::function<void(QFileDialog&)> step, int tries = 200) {
  qttest::WhenModalOpen<QFileDialog, QApplication>(std::move(step), tries);
}

// QDialog's accept is public and reaches the dialog's own.
void Accept(QFileDialog& d) { static_cast<QDialog&>(d).accept(); }

void Type(QFileDialog& d, const QString& text) { d.findChild<QLineEdit*>("fileNameEdit")->setText(text); }

TEST_F(ControlsTest, OpenDialogGivesWideFullPathsAndItsFilter) {
  TempDir dir;
  for (const char* name : {"a.txt", "b.txt", "\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80.tm"}) TempDir::Write(dir.File(name), "x");
  TUniOpenDialog dialog;
  dialog.Filter = u"Text (*.txt)|*.txt|All|*";
  dialog.FilterIndex = 2;
  dialog.SetInitialDir(dir.WFile(""));
  EXPECT_EQ(dialog.InitialDir() + u"/", dir.WFile(""));
  dialog.SetInitialDir(u"/");
  EXPECT_EQ(dialog.InitialDir(), u"/");
  dialog.SetInitialDir(dir.WFile(""));

  WhenOpen([](QFileDialog& d) {
    EXPECT_EQ(d.selectedNameFilter(), "All (*)");
    Type(d, QString::fromUtf8("\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80.tm"));
    d.selectNameFilter(d.nameFilters()[0]);
    Accept(d);
  });
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName(), dir.WFile("") + u"\u00E9t\u00E9 \U0001F600.tm");
  EXPECT_EQ(dialog.Files.Count(), 1);
  EXPECT_EQ(dialog.FilterIndex, 1);

  dialog.Options = ofAllowMultiSelect;
  dialog.SetFileName(u"");  // nothing preselected that the dialog could put back while it loads
  WhenOpen([](QFileDialog& d) {
    Type(d, "\"a.txt\" \"b.txt\"");
    Accept(d);
  });
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.Files.GetText(), dir.WFile("a.txt") + u"\r\n" + dir.WFile("b.txt") + u"\r\n");
  EXPECT_EQ(dialog.FileName(), dir.WFile("a.txt"));

  WhenOpen([](QFileDialog& d) { d.reject(); });
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialog.Files.Count(), 0);
  EXPECT_EQ(dialog.FileName(), dir.WFile("a.txt"));
}

TEST_F(ControlsTest, ARefusingCanCloseKeepsTheOpenDialogOpen) {
  TempDir dir;
  TempDir::Write(dir.File("a.txt"), "x");
  TUniOpenDialog dialog;
  dialog.SetInitialDir(dir.WFile(""));
  int asked = 0;
  WideString seen;
  dialog.OnCanClose = [&](QObject*, bool& canClose) {
    seen = dialog.FileName();
    canClose = ++asked > 1;
  };
  WhenOpen([&](QFileDialog& d) {
    Type(d, "a.txt");
    Accept(d);
    EXPECT_TRUE(d.isVisible());
    Accept(d);
  });
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(seen, dir.WFile("a.txt"));
}

TEST_F(ControlsTest, TheOpenDialogSaysWhenTheChosenExtensionIsNotTheDefault) {
  TempDir dir;
  for (const char* name : {"a.tm", "c.TXT", "d.txt", "e.tar.gz", "f"}) TempDir::Write(dir.File(name), "x");
  TUniOpenDialog dialog;
  dialog.SetInitialDir(dir.WFile(""));
  // (default extension, what the user types, the file chosen, extension different)
  const std::tuple<const char16_t*, const char*, const char*, bool> cases[] = {
      {u"txt", "a.tm", "a.tm", true},   {u"txt", "d.txt", "d.txt", false}, {u"txt", "c.TXT", "c.TXT", false},
      {u".txt", "e.tar.gz", "e.tar.gz", true}, {u"gz", "e.tar.gz", "e.tar.gz", false},
      {u"txt", "b", "b.txt", false},    {u"", "a.tm", "a.tm", false},
  };
  for (const auto& [defaultExt, typed, chosen, different] : cases) {
    dialog.DefaultExt = defaultExt;
    dialog.SetFileName(u"");
    dialog.Options = ofReadOnly | (different ? 0 : ofExtensionDifferent);  // the answer replaces what was there
    WhenOpen([typed = typed](QFileDialog& d) {
      Type(d, typed);
      Accept(d);
    });
    ASSERT_TRUE(dialog.Execute()) << typed;
    EXPECT_EQ(dialog.FileName(), dir.WFile(chosen));
    EXPECT_EQ(dialog.Options, ofReadOnly | (different ? ofExtensionDifferent : 0)) << typed;
  }
  // A cancelled dialog answers nothing.
  dialog.Options = ofExtensionDifferent;
  WhenOpen([](QFileDialog& d) { d.reject(); });
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialog.Options, ofExtensionDifferent);
}

}  // namespace
