// The About dialog, opened through its menu item as the real modal window: its texts as the
// user reads them, the credit drawn where the scroll has it, its timer, and how it closes.
#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include "dialogs/frm_about.h"
#include "modal_driver.h"
#include "qt/dialog_windows.h"
#include "qt_test_support.h"

using namespace tavelin;

namespace {

QLabel* Label(QDialog& dialog, const char* name) {
  return dialog.findChild<QLabel*>(QLatin1String(name));
}

FrmAbout& Core(QDialog& dialog) {
  return static_cast<FrmAbout&>(static_cast<qt::DialogWindow&>(dialog).dialog());
}

// Where the credit must stand for the dialog's scroll position.
QRect CreditRect(QDialog& dialog) {
  const TwipsRect rect = FrmAbout::Layout().control("Label2")->rect;
  return QRect(TwipsToPixels(static_cast<double>(Core(dialog).creditLeftTwips()), 96),
               TwipsToPixels(rect.top, 96), TwipsToPixels(rect.width, 96),
               TwipsToPixels(rect.height, 96));
}

struct Shown : Program {
  Shown() { activated = show(); }
  ModalRun about(const std::function<void(QDialog&)>& drive) {
    return DriveModalDialog(
        QStringLiteral("FrmAbout"), [this] { action("FileAbout")->trigger(); }, drive);
  }
  bool activated = false;
};

}  // namespace

class AboutDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() {
    CloseAllWindows();
    QVERIFY2(OpenWindows().isEmpty(), qPrintable(OpenWindows().join(QLatin1Char(' '))));
  }

  // The program's text in its four parts, each on a line of its own.
  void aboutTextHasItsFourPartsOnTheirOwnLines() {
    Shown s;
    QVERIFY(s.activated);
    QString text;
    QVERIFY(s.about([&](QDialog& dialog) { text = Label(dialog, "Label1")->text(); }).opened);
    const QStringList parts = text.split(QLatin1Char('\n'));
    QCOMPARE(parts.size(), 4);
    QVERIFY(parts[0].contains(QLatin1String("Tavelin")));
    QVERIFY(parts[0].contains(QLatin1String("author")));
    QVERIFY(parts[0].contains(QLatin1String("rights are reserved")));
    QCOMPARE(parts[1], QStringLiteral("Version: " TAVELIN_EXPECTED_VERSION "."));
    QCOMPARE(parts[2], QStringLiteral("This program is not responsible for any damage caused "
                                      "using it, use it by your own responsibility"));
    const QString contact =
        QStringLiteral("You can contact with me by mailing an e-mail to the following address:");
    QVERIFY(parts[3].startsWith(contact));
    const QRegularExpression address(QStringLiteral("^ [A-Za-z0-9.]+@example\\.org\\.? "));
    QVERIFY2(address.match(parts[3].mid(contact.size())).hasMatch(), qPrintable(parts[3]));
    QVERIFY(parts[3].contains(QLatin1String("Thanks")));
  }

  // Both texts fit their labels in the fonts drawn: the About text wrapped within its
  // height, the credit on one line within its width.
  void textsFitTheirLabels() {
    Shown s;
    QVERIFY(s.activated);
    QLabel* about = nullptr;
    QRect needed;
    int creditAdvance = 0, creditLineHeight = 0;
    QSize creditSize;
    QString credit;
    QVERIFY(s.about([&](QDialog& dialog) {
               about = Label(dialog, "Label1");
               needed = QFontMetrics(about->font())
                            .boundingRect(QRect(QPoint(0, 0), about->size()),
                                          Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop,
                                          about->text());
               QLabel* label = Label(dialog, "Label2");
               credit = label->text();
               creditAdvance = QFontMetrics(label->font()).horizontalAdvance(credit);
               creditLineHeight = QFontMetrics(label->font()).height();
               creditSize = label->size();
               about = nullptr;
             }).opened);
    const int aboutHeight = TwipsToPixels(FrmAbout::Layout().control("Label1")->rect.height, 96);
    QVERIFY2(needed.height() <= aboutHeight, qPrintable(QString::number(needed.height())));
    QVERIFY(!credit.isEmpty() && !credit.contains(QLatin1Char('\n')));
    QVERIFY2(creditAdvance <= creditSize.width(), qPrintable(QString::number(creditAdvance)));
    QVERIFY(creditLineHeight <= creditSize.height());
  }

  // Each scroll step of the dialog moves the credit to where the step puts it, clipped left
  // of the client area.
  void creditIsDrawnWhereTheScrollHasIt_data() {
    QTest::addColumn<int>("ticks");
    QTest::newRow("on opening") << 0;
    QTest::newRow("1 tick") << 1;
    QTest::newRow("13 ticks") << 13;
    QTest::newRow("51 ticks") << 51;
    QTest::newRow("52 ticks: wrapped") << 52;
  }
  void creditIsDrawnWhereTheScrollHasIt() {
    QFETCH(int, ticks);
    Shown s;
    QVERIFY(s.activated);
    QRect drawn, expected;
    QVERIFY(s.about([&](QDialog& dialog) {
               // The dialog's own timer stays out of the count.
               dialog.findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
               for (int i = 0; i < ticks; ++i) Core(dialog).Timer1_Timer();
               drawn = Label(dialog, "Label2")->geometry();
               expected = CreditRect(dialog);
             }).opened);
    QCOMPARE(drawn, expected);
  }

  // While open, the dialog's own timer (at the table's interval) moves the credit; Esc does
  // nothing; "Ok" has the focus and closes it by a click, Enter or Space, as does the close
  // box; the timer goes with the dialog, and the next opening starts the credit again.
  void timerRunsWhileOpenAndEachOpeningStartsAgain_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Ok clicked") << "click";
    QTest::newRow("Enter") << "enter";
    QTest::newRow("Space") << "space";
    QTest::newRow("close box") << "close";
  }
  void timerRunsWhileOpenAndEachOpeningStartsAgain() {
    QFETCH(QString, how);
    Shown s;
    QVERIFY(s.activated);
    QPointer<QTimer> timer;
    int interval = 0;
    bool active = false, moved = false, openAfterEsc = false, closed = false;
    QString focus;
    QPoint centreOff;
    const ModalRun run = s.about([&](QDialog& dialog) {
      timer = dialog.findChild<QTimer*>(QStringLiteral("Timer1"));
      interval = timer->interval();
      active = timer->isActive();
      centreOff = dialog.frameGeometry().center() - s.window->frameGeometry().center();
      QLabel* credit = Label(dialog, "Label2");
      const int startX = credit->x();
      moved = QTest::qWaitFor(
          [&] { return credit->x() != startX && credit->geometry() == CreditRect(dialog); }, 3000);
      QTest::keyClick(&dialog, Qt::Key_Escape);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
      openAfterEsc = dialog.isVisible();
      focus = QApplication::focusWidget()->objectName();
      auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("Command1"));
      if (how == "click") {
        QTest::mouseClick(ok, Qt::LeftButton);
      } else if (how == "enter") {
        QTest::keyClick(ok, Qt::Key_Return);
      } else if (how == "space") {
        QTest::keyClick(ok, Qt::Key_Space);
      } else {
        dialog.close();
      }
      closed = !dialog.isVisible();
    });
    QVERIFY(run.opened);
    QCOMPARE(interval, FrmAbout::Layout().control("Timer1")->interval);
    QVERIFY(active);
    QVERIFY(moved);
    QVERIFY(openAfterEsc);
    QCOMPARE(focus, QStringLiteral("Command1"));
    QVERIFY(closed);
    QVERIFY2(centreOff.manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(centreOff.x()).arg(centreOff.y())));
    // The window and its timer are gone with the command.
    QVERIFY(timer.isNull());
    QVERIFY(!QApplication::activeModalWidget());

    // Built afresh: the credit stands near its start again (the new timer may have ticked).
    float againAt = 0;
    QRect againDrawn, againExpected;
    QVERIFY(s.about([&](QDialog& dialog) {
               dialog.findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
               againAt = Core(dialog).creditLeftTwips();
               againDrawn = Label(dialog, "Label2")->geometry();
               againExpected = CreditRect(dialog);
             }).opened);
    QVERIFY(againAt < FrmAbout::kCreditStartTwips + 10 * FrmAbout::kCreditStepTwips);
    QCOMPARE(againDrawn, againExpected);
    QVERIFY(s.screen.events.empty());
  }
};

QTEST_MAIN(AboutDialogTest)
#include "tst_about_dialog.moc"
