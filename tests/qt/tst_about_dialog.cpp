// The About dialog: its text, the scrolling credit and how it is reached.
#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "dialogs/frm_about.h"
#include "gui_test_support.h"
#include "store/registry_memory.h"

using namespace tavelin;

namespace {

QLabel* Label(QDialog& dialog, const char* name) {
  return dialog.findChild<QLabel*>(QLatin1String(name));
}

void Tick(FrmAbout& dialog, int times) {
  for (int i = 0; i < times; ++i) dialog.Timer1_Timer();
}

}  // namespace

class AboutDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { CloseAllWindows(); }

  void layoutMatchesTheDesign() {
    FrmAbout dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("FrmAbout"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Information"));
    QCOMPARE(dialog.minimumSize(), QSize(312, 208));
    QCOMPARE(dialog.maximumSize(), QSize(312, 208));
    QVERIFY(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
    struct Expected {
      const char* name;
      QRect geometry;
      const char* family;
      double points;
    } expected[] = {
        {"Label1", QRect(8, 8, 296, 161), "Arial", 9.75},
        {"Label2", QRect(-104, 189, 107, 19), "Arial", 12},
        {"Command1", QRect(128, 170, 49, 17), "MS Sans Serif", 8.25},
    };
    for (const auto& e : expected) {
      auto* widget = dialog.findChild<QWidget*>(QLatin1String(e.name));
      QVERIFY2(widget, e.name);
      QCOMPARE(widget->parentWidget(), &dialog);
      QCOMPARE(widget->geometry(), e.geometry);
      QCOMPARE(widget->font().family(), QLatin1String(e.family));
      QVERIFY(widget->font().bold());
      QCOMPARE(widget->font().pointSizeF(), e.points);
    }
    QVERIFY(Label(dialog, "Label1")->wordWrap());
    QVERIFY(!Label(dialog, "Label2")->wordWrap());
    QCOMPARE(Label(dialog, "Label2")->palette().color(QPalette::WindowText),
             dialog.palette().color(QPalette::Highlight));
    QVERIFY(dialog.palette().color(QPalette::Highlight) !=
            dialog.palette().color(QPalette::WindowText));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("Command1"));
    QCOMPARE(ok->text(), QStringLiteral("Ok"));
    QVERIFY(!ok->isDefault());
  }

  void aboutTextHasItsFourPartsOnTheirOwnLines() {
    FrmAbout dialog;
    const QStringList parts = Label(dialog, "Label1")->text().split(QLatin1Char('\n'));
    QCOMPARE(parts.size(), 4);
    QVERIFY(parts[0].contains(QLatin1String("Tavelin")));
    QVERIFY(parts[0].contains(QLatin1String("author")));
    QVERIFY(parts[0].contains(QLatin1String("rights are reserved")));
    QCOMPARE(parts[1], QStringLiteral("Version: 2.2.0."));
    QCOMPARE(parts[2], QStringLiteral("This program is not responsible for any damage caused "
                                      "using it, use it by your own responsibility"));
    const QString contact =
        QStringLiteral("You can contact with me by mailing an e-mail to the following address:");
    QVERIFY(parts[3].startsWith(contact));
    const QRegularExpression address(QStringLiteral("^ [A-Za-z0-9.]+@example\\.org\\.? "));
    QVERIFY2(address.match(parts[3].mid(contact.size())).hasMatch(), qPrintable(parts[3]));
    QVERIFY(parts[3].contains(QLatin1String("Thanks")));
  }

  // Both texts fit their labels: the About text wrapped within its height, the credit on one
  // line within its width.
  void textsFitTheirLabels() {
    FrmAbout dialog;
    QLabel* about = Label(dialog, "Label1");
    const QRect needed =
        QFontMetrics(about->font())
            .boundingRect(QRect(QPoint(0, 0), about->size()),
                          Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, about->text());
    QVERIFY2(needed.height() <= about->height(), qPrintable(QString::number(needed.height())));
    QLabel* credit = Label(dialog, "Label2");
    QVERIFY(!credit->text().isEmpty());
    QVERIFY(!credit->text().contains(QLatin1Char('\n')));
    const QFontMetrics metrics(credit->font());
    QVERIFY2(metrics.horizontalAdvance(credit->text()) <= credit->width(),
             qPrintable(QString::number(metrics.horizontalAdvance(credit->text()))));
    QVERIFY(metrics.height() <= credit->height());
  }

  void creditScrollsAndWraps_data() {
    QTest::addColumn<int>("ticks");
    QTest::addColumn<float>("twips");
    QTest::addColumn<int>("pixels");
    QTest::newRow("on load") << 0 << -1560.0f << -104;
    QTest::newRow("1 tick") << 1 << -1440.0f << -96;
    QTest::newRow("13 ticks") << 13 << 0.0f << 0;
    QTest::newRow("50 ticks") << 50 << 4440.0f << 296;
    QTest::newRow("51 ticks") << 51 << 4560.0f << 304;
    QTest::newRow("52 ticks") << 52 << -1560.0f << -104;
    QTest::newRow("53 ticks") << 53 << -1440.0f << -96;
    QTest::newRow("two passes and one") << 105 << -1440.0f << -96;
  }
  void creditScrollsAndWraps() {
    QFETCH(int, ticks);
    QFETCH(float, twips);
    QFETCH(int, pixels);
    FrmAbout dialog;
    Tick(dialog, ticks);
    QCOMPARE(dialog.creditLeftTwips(), twips);
    QCOMPARE(Label(dialog, "Label2")->geometry(), QRect(pixels, 189, 107, 19));
  }

  // The credit moves on only while its left edge is below 4560.
  void wrapsOnlyAtOrBeyondTheThreshold_data() {
    QTest::addColumn<float>("from");
    QTest::addColumn<float>("to");
    QTest::newRow("4440") << 4440.0f << 4560.0f;
    QTest::newRow("4559.5") << 4559.5f << 4679.5f;
    QTest::newRow("4560") << 4560.0f << -1560.0f;
    QTest::newRow("4560.5") << 4560.5f << -1560.0f;
    QTest::newRow("5000") << 5000.0f << -1560.0f;
    QTest::newRow("-3000") << -3000.0f << -2880.0f;
  }
  void wrapsOnlyAtOrBeyondTheThreshold() {
    QFETCH(float, from);
    QFETCH(float, to);
    FrmAbout dialog;
    dialog.setCreditLeftTwips(from);
    dialog.Timer1_Timer();
    QCOMPARE(dialog.creditLeftTwips(), to);
  }

  void timerRunsWhileOpenAndEachOpeningStartsAgain_data() {
    QTest::addColumn<bool>("byOk");
    QTest::newRow("Ok") << true;
    QTest::newRow("close box") << false;
  }
  void timerRunsWhileOpenAndEachOpeningStartsAgain() {
    QFETCH(bool, byOk);
    {
      FrmAbout dialog;
      auto* timer = dialog.findChild<QTimer*>(QStringLiteral("Timer1"));
      QVERIFY(timer);
      QCOMPARE(timer->interval(), 100);
      QVERIFY(timer->isActive());
      dialog.show();
      QVERIFY(QTest::qWaitForWindowActive(&dialog));
      // Esc does not close it; Ok has the focus.
      QTest::keyClick(&dialog, Qt::Key_Escape);
      QVERIFY(dialog.isVisible());
      QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command1"));
      // Its own timer may have ticked meanwhile.
      dialog.setCreditLeftTwips(-1560.0f);
      Tick(dialog, 7);
      QCOMPARE(dialog.creditLeftTwips(), -720.0f);
      if (byOk) {
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Command1")),
                          Qt::LeftButton);
      } else {
        QVERIFY(dialog.close());
      }
      QVERIFY(!dialog.isVisible());
      QVERIFY(!timer->isActive());
    }
    FrmAbout again;
    QCOMPARE(again.creditLeftTwips(), -1560.0f);
    QCOMPARE(Label(again, "Label2")->x(), -104);
    QVERIFY(again.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
  }

  // Through the real menu item, on the real modal dialog: its own timer moves the credit, Ok
  // closes it, and the timer goes with it.
  void openedFromTheMenuScrollsAndClosesOnOk() {
    MemoryRegistry registry;
    MainWindowFixture f(registry);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    QAction* action = f.window->findChild<QAction*>(QStringLiteral("FileAbout"));
    QVERIFY(action);
    QPoint mainCentre;

    int shown = 0;
    bool stuck = false;
    bool ownerless = false;
    bool moved = false;
    QPoint dialogCentre;
    QPointer<QTimer> timer;
    QTimer poll;
    QTimer watchdog;
    // Bounded: a dialog still open when the watchdog fires is closed and the test fails.
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [&] {
      poll.stop();
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible()) {
          stuck = true;
          dialog->done(QDialog::Rejected);
        }
      }
    });
    connect(&poll, &QTimer::timeout, this, [&] {
      auto* dialog = qobject_cast<FrmAbout*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible()) return;
      poll.stop();
      ++shown;
      ownerless =
          dialog->parentWidget() == nullptr && dialog->windowModality() == Qt::ApplicationModal;
      dialogCentre = dialog->frameGeometry().center();
      mainCentre = f.window->frameGeometry().center();
      timer = dialog->findChild<QTimer*>(QStringLiteral("Timer1"));
      const float start = dialog->creditLeftTwips();
      moved = QTest::qWaitFor([&] { return dialog->creditLeftTwips() != start; }, 3000);
      QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("Command1")),
                        Qt::LeftButton);
    });
    poll.start(10);
    watchdog.start(8000);
    action->trigger();
    watchdog.stop();
    QCOMPARE(shown, 1);
    QVERIFY(!stuck);
    QVERIFY(ownerless);
    QVERIFY(moved);
    QVERIFY2((dialogCentre - mainCentre).manhattanLength() <= 2,
             qPrintable(QStringLiteral("dialog centre %1,%2; main window centre %3,%4")
                            .arg(dialogCentre.x())
                            .arg(dialogCentre.y())
                            .arg(mainCentre.x())
                            .arg(mainCentre.y())));
    // The dialog and its timer are gone with the command.
    QVERIFY(timer.isNull());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(f.interaction.messages.empty());
  }
};

QTEST_MAIN(AboutDialogTest)
#include "tst_about_dialog.moc"
