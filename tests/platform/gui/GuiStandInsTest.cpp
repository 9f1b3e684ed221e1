// The window-system stand-ins: colours, posted messages, the pump, the message box and the
// open dialog's filter, under the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <vector>

#include "platform/core/ShowMessage.h"
#include "platform/gui/Colors.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/MessagePump.h"
#include "platform/gui/Messages.h"
#include "tests/support/QtApp.h"

namespace {

using Gui = qttest::QtTest<QApplication>;

// Records the messages it receives.
class Receiver : public QObject {
public:
  struct Got {
    uint32_t msg;
    intptr_t w, l;
  };
  std::vector<Got> got;

protected:
  void customEvent(QEvent* e) override {
    if (e->type() == TMessageEvent::MessageType()) {
      auto* m = static_cast<TMessageEvent*>(e);
      got.push_back({m->Msg, m->WParam, m->LParam});
    }
  }
};

}  // namespace

TEST(Colors, ByteOrderIsBlueGreenRed) {
  EXPECT_EQ(ToQColor(0x00A7FE00), QColor(0x00, 0xFE, 0xA7));
  EXPECT_EQ(ToQColor(0x005757FB), QColor(0xFB, 0x57, 0x57));
  EXPECT_EQ(ToQColor(clLime), QColor(0, 255, 0));
  // The high byte flags system colours; it never leaks into the channels or the alpha.
  EXPECT_EQ(ToQColor(0x80123456), QColor(0x56, 0x34, 0x12));
  EXPECT_EQ(ToQColor(0x80123456).alpha(), 255);
}

TEST_F(Gui, PostedMessagesArriveLaterInOrder) {
  Receiver r;
  platform::PostMessage(&r, 0x1400);
  platform::PostMessage(&r, 0x1401, 7, -3);
  EXPECT_TRUE(r.got.empty());  // never delivered inside the post
  QCoreApplication::processEvents();
  ASSERT_EQ(r.got.size(), 2u);
  EXPECT_EQ(r.got[0].msg, 0x1400u);
  EXPECT_EQ(r.got[0].w, 0);
  EXPECT_EQ(r.got[0].l, 0);
  EXPECT_EQ(r.got[1].msg, 0x1401u);
  EXPECT_EQ(r.got[1].w, 7);
  EXPECT_EQ(r.got[1].l, -3);
}

TEST_F(Gui, MessageToADestroyedReceiverIsDropped) {
  auto r = std::make_unique<Receiver>();
  platform::PostMessage(r.get(), 0x1400);
  r.reset();
  QCoreApplication::processEvents();  // must not touch the freed receiver (ASan would tell)
  SUCCEED();
}

TEST_F(Gui, PumpDeliversWhatIsPendingAndDueTimers) {
  Receiver r;
  bool fired = false;
  QTimer::singleShot(0, [&fired] { fired = true; });
  platform::PostMessage(&r, 1);
  platform::PostMessage(&r, 2);
  QtMessagePump().ProcessOne();
  EXPECT_EQ(r.got.size(), 2u);
  for (int i = 0; i < 100 && !fired; ++i) QtMessagePump().ProcessOne();
  EXPECT_TRUE(fired);

  platform::PostMessage(&r, 3);
  QtMessagePump().ProcessAll();
  ASSERT_EQ(r.got.size(), 3u);
  EXPECT_EQ(r.got[2].msg, 3u);
  QtMessagePump().TrackMouse();  // nothing to do, nothing to break
}

TEST_F(Gui, MessageBoxHookTakesEveryBox) {
  std::vector<std::pair<QString, QString>> boxes;
  platform::TMessageBoxHook previous =
      platform::SetMessageBoxHook([&](QWidget*, const QString& c, const QString& t) { boxes.emplace_back(c, t); });
  EXPECT_FALSE(previous);
  platform::ShowMessageBox(nullptr, "Error", "Bad FileName");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].first, "Error");
  EXPECT_EQ(boxes[0].second, "Bad FileName");
  EXPECT_TRUE(platform::SetMessageBoxHook({}));
}

// Without a hook the real modal box shows the text as plain text, one line per CR.
TEST_F(Gui, ModalBoxShowsPlainLines) {
  QString shownText;
  Qt::TextFormat format = Qt::AutoText;
  QString shownTitle;
  QTimer closer;
  closer.setInterval(0);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shownText = box->text();
      shownTitle = box->windowTitle();
      format = box->textFormat();
      box->accept();
      closer.stop();
    }
  });
  closer.start();
  platform::ShowMessageBox(nullptr, "Mirelcon ", "Usage: <b>x</b>\r\rParameters:\r\nend");
  EXPECT_EQ(shownTitle, "Mirelcon ");
  EXPECT_EQ(shownText, "Usage: <b>x</b>\n\nParameters:\nend");
  EXPECT_EQ(format, Qt::PlainText);
}

TEST(FileDialogFilter, PairsBecomeQtFilters) {
  EXPECT_EQ(platform::FileDialogFilter("Quillmar Files (*.txt)|*.txt|CSV Files (*.csv)|*.csv|TMX Files (*.tmx)|*.tmx|"
                                       "SDLTM Files (*.sdltm)|*.sdltm|SDLTB Files (*.sdltb)|*.sdltb|"
                                       "SDLXLIFF Files (*.sdlxliff)|*.sdlxliff"),
            "Quillmar Files (*.txt);;CSV Files (*.csv);;TMX Files (*.tmx);;SDLTM Files (*.sdltm);;"
            "SDLTB Files (*.sdltb);;SDLXLIFF Files (*.sdlxliff)");
  // Qt reads the patterns from the last parentheses: the dialog's patterns must end up there.
  EXPECT_EQ(platform::FileDialogFilter("Text|*.txt;*.csv"), "Text (*.txt *.csv)");
  EXPECT_EQ(platform::FileDialogFilter("Texts (*.text)|*.txt; *.csv"), "Texts (*.text) (*.txt *.csv)");
  EXPECT_EQ(platform::FileDialogFilter("|*"), "(*)");
  // A description without its patterns is incomplete and left out.
  EXPECT_EQ(platform::FileDialogFilter("All|*|Broken"), "All (*)");
  EXPECT_EQ(platform::FileDialogFilter(""), "");
}

// Once the window is there, what the core shows goes into the plain message box.
TEST_F(Gui, CoreMessagesGoToTheMessageBox) {
  std::vector<std::pair<QString, QString>> boxes;
  platform::SetMessageBoxHook([&](QWidget*, const QString& c, const QString& t) { boxes.emplace_back(c, t); });
  const QString name = QGuiApplication::applicationDisplayName();
  platform::ShowMessagesInBoxes();
  platform::ShowMessage(u"Un taux d'\u00E9chantillonage");
  platform::SetShowMessageProc({});
  platform::SetMessageBoxHook({});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].first, name);
  EXPECT_EQ(boxes[0].second, QString::fromUtf8("Un taux d'\xC3\xA9" "chantillonage"));
}
