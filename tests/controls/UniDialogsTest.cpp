// The open-file dialog, driven through Qt's own file dialog offscreen.
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <functional>

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

}  // namespace
