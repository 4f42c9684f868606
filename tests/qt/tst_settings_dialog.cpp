// The Settings dialog, opened through its menu item as the real modal window: what it shows,
// what each click and key reaches, and what its buttons leave in the store and the program.
#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "dialogs/frm_settings.h"
#include "modal_driver.h"
#include "qt/dialog_windows.h"
#include "qt_test_support.h"
#include "store/settings_store.h"

using namespace tavelin;

namespace {

QRadioButton* Option(QDialog& dialog, const char* name) {
  return dialog.findChild<QRadioButton*>(QLatin1String(name));
}

QPushButton* Button(QDialog& dialog, const char* name) {
  return dialog.findChild<QPushButton*>(QLatin1String(name));
}

// Which option of each frame is checked on the screen, e.g. "13" for Option1 and Option3.
QString Checked(QDialog& dialog) {
  QString out;
  for (const char* name : {"Option1", "Option2", "Option3", "Option4"}) {
    if (Option(dialog, name)->isChecked()) out += QLatin1Char(name[6]);
  }
  return out;
}

// The same for the dialog's own state.
QString CoreChecked(QDialog& dialog) {
  const auto& core =
      static_cast<const FrmSettings&>(static_cast<qt::DialogWindow&>(dialog).dialog());
  return QString::number(core.saveOption()) + QString::number(core.webOption());
}

// The program on a store with the two settings ("-": missing), shown and active.
struct Shown : Program {
  Shown(const char* saveMode, const char* windowMode, const Strings& addresses = {})
      : Program(addresses) {
    if (std::string_view(saveMode) != "-") StoreSetting(registry, kSaveModeValue, saveMode);
    if (std::string_view(windowMode) != "-") StoreSetting(registry, kWindowModeValue, windowMode);
    activated = show();
  }
  // Opens the dialog through its menu item and runs `drive` on it.
  ModalRun settings(const std::function<void(QDialog&)>& drive) {
    return DriveModalDialog(
        QStringLiteral("FrmSettings"), [this] { action("Settings")->trigger(); }, drive);
  }
  bool activated = false;
};

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() {
    CloseAllWindows();
    QVERIFY2(OpenWindows().isEmpty(), qPrintable(OpenWindows().join(QLatin1Char(' '))));
  }

  // The dialog shows what the store holds, and opening it writes nothing.
  void showsWhatTheStoreHolds_data() {
    QTest::addColumn<QString>("saveMode");
    QTest::addColumn<QString>("windowMode");
    QTest::addColumn<QString>("checked");
    // Which stored texts select which option is the core's (its dialog tests); these rows
    // show each option drawn as the core holds it.
    QTest::newRow("nothing stored") << "-"
                                    << "-"
                                    << "13";
    QTest::newRow("Two") << "Two"
                         << "-"
                         << "23";
    QTest::newRow("Min") << "-"
                         << "Min"
                         << "14";
    QTest::newRow("Two and Min") << "Two"
                                 << "Min"
                                 << "24";
  }
  void showsWhatTheStoreHolds() {
    QFETCH(QString, saveMode);
    QFETCH(QString, windowMode);
    QFETCH(QString, checked);
    Shown s(qPrintable(saveMode), qPrintable(windowMode));
    QVERIFY(s.activated);
    // The copies disagree with the store on purpose: the dialog reads the store.
    s.core.settings() =
        checked == "24" ? ProgramSettings{"One", "Max"} : ProgramSettings{"Two", "Min"};
    const int changesBefore = s.registry.committedChanges();
    QString shown;
    QVERIFY(s.settings([&](QDialog& dialog) { shown = Checked(dialog); }).opened);
    QCOMPARE(shown, checked);
    QCOMPARE(s.registry.committedChanges(), changesBefore);
  }

  // The frames take no focus, and each frame's options make one tab stop at the checked
  // option; the arrow keys move the choice within a frame, and the core follows.
  void tabOrderVisitsEachGroupOnce_data() {
    QTest::addColumn<QString>("saveMode");
    QTest::addColumn<QString>("windowMode");
    QTest::addColumn<QStringList>("chain");
    QTest::newRow("defaults") << "-"
                              << "-" << QStringList{"Option1",  "Command1", "Command2",
                                                    "Command3", "Option3",  "Option1"};
    QTest::newRow("others") << "Two"
                            << "Min" << QStringList{"Option2",  "Command1", "Command2",
                                                    "Command3", "Option4",  "Option2"};
  }
  void tabOrderVisitsEachGroupOnce() {
    QFETCH(QString, saveMode);
    QFETCH(QString, windowMode);
    QFETCH(QStringList, chain);
    Shown s(qPrintable(saveMode), qPrintable(windowMode));
    QVERIFY(s.activated);
    QStringList forth, back;
    QString moved, movedFocus, coreAfterArrow, focusAfterRound;
    const bool fromFirst = chain.first() == "Option1";
    const ModalRun run = s.settings([&](QDialog& dialog) {
      forth << QApplication::focusWidget()->objectName();
      for (qsizetype i = 1; i < chain.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        forth << QApplication::focusWidget()->objectName();
      }
      back << forth.last();
      for (qsizetype i = chain.size() - 2; i >= 0; --i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        back.prepend(QApplication::focusWidget()->objectName());
      }
      QTest::keyClick(QApplication::focusWidget(), fromFirst ? Qt::Key_Down : Qt::Key_Up);
      movedFocus = QApplication::focusWidget()->objectName();
      moved = Checked(dialog);
      coreAfterArrow = CoreChecked(dialog);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
      focusAfterRound = QApplication::focusWidget()->objectName();
    });
    QVERIFY(run.opened);
    QCOMPARE(forth, chain);
    QCOMPARE(back, chain);
    const QString movedTo = fromFirst ? "Option2" : "Option1";
    QCOMPARE(movedFocus, movedTo);
    QCOMPARE(moved.left(1), movedTo.right(1));
    QCOMPARE(coreAfterArrow, moved);
    QCOMPARE(focusAfterRound, movedTo);
    // Nothing is written before a button says so.
    QCOMPARE(StoredSetting(s.registry, kSaveModeValue), saveMode.toStdString());
  }

  // Clicks on the options reach the dialog; Save writes both values in one go and the running
  // program follows with its very next list command.
  void saveWritesBothAndSwitchesTheProgram_data() {
    QTest::addColumn<QString>("saveMode");
    QTest::addColumn<QString>("windowMode");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("savedMode");
    QTest::addColumn<QString>("savedWindow");
    QTest::newRow("nothing stored, unchanged") << "-"
                                               << "-" << QStringList{} << "One"
                                               << "Max";
    QTest::newRow("to manual, maximum") << "-"
                                        << "-" << QStringList{"Option2"} << "Two"
                                        << "Max";
    QTest::newRow("to manual, minimum") << "-"
                                        << "-" << QStringList{"Option2", "Option4"} << "Two"
                                        << "Min";
    QTest::newRow("to automatic, minimum") << "Two"
                                           << "Min" << QStringList{"Option1"} << "One"
                                           << "Min";
    QTest::newRow("to automatic, maximum") << "Two"
                                           << "Min" << QStringList{"Option1", "Option3"} << "One"
                                           << "Max";
    QTest::newRow("back and forth")
        << "Two"
        << "Max" << QStringList{"Option1", "Option4", "Option2", "Option3"} << "Two"
        << "Max";
  }
  void saveWritesBothAndSwitchesTheProgram() {
    QFETCH(QString, saveMode);
    QFETCH(QString, windowMode);
    QFETCH(QStringList, clicks);
    QFETCH(QString, savedMode);
    QFETCH(QString, savedWindow);
    Shown s(qPrintable(saveMode), qPrintable(windowMode), {"a", "b", "c"});
    QVERIFY(s.activated);
    // An unsaved change made in manual mode stays unsaved: the switch writes no address.
    if (saveMode == "Two") {
      s.core.List1_Click(2);
      QTest::mouseClick(s.button("Command2"), Qt::LeftButton);
    }
    const Strings storedBeforeSwitch = s.stored();
    QString coreBeforeSave;
    bool closed = false;
    const ModalRun run = s.settings([&](QDialog& dialog) {
      for (const QString& name : clicks) {
        QTest::mouseClick(Option(dialog, name.toLatin1().constData()), Qt::LeftButton);
      }
      coreBeforeSave = CoreChecked(dialog);
      QTest::mouseClick(Button(dialog, "Command1"), Qt::LeftButton);
      closed = !dialog.isVisible();
    });
    QVERIFY(run.opened);
    QVERIFY(closed);
    QCOMPARE(coreBeforeSave,
             QString(savedMode == "Two" ? "2" : "1") + QString(savedWindow == "Min" ? "4" : "3"));
    QCOMPARE(StoredSetting(s.registry, kSaveModeValue), savedMode.toStdString());
    QCOMPARE(StoredSetting(s.registry, kWindowModeValue), savedWindow.toStdString());
    QCOMPARE(s.core.settings().SaveMode, savedMode.toStdString());
    QCOMPARE(s.core.settings().WindowMode, savedWindow.toStdString());
    QCOMPARE(s.stored(), storedBeforeSwitch);
    // The next list command: move the first entry down.
    const Strings listBefore = s.items();
    s.core.List1_Click(0);
    QTest::mouseClick(s.button("Command3"), Qt::LeftButton);
    QVERIFY(s.items() != listBefore);
    QCOMPARE(s.stored(), savedMode == "Two" ? storedBeforeSwitch : s.items());
    QVERIFY(s.screen.events.empty());
  }

  // "Default settings" shows the defaults at once, writes them and closes.
  void defaultSettingsSelectsWritesAndCloses() {
    Shown s("Two", "Min", {"a", "b", "c"});
    QVERIFY(s.activated);
    QString before, after;
    bool closed = false;
    const ModalRun run = s.settings([&](QDialog& dialog) {
      before = Checked(dialog);
      QTest::mouseClick(Button(dialog, "Command2"), Qt::LeftButton);
      closed = !dialog.isVisible();
      after = Checked(dialog);
    });
    QVERIFY(run.opened);
    QCOMPARE(before, QStringLiteral("24"));
    QVERIFY(closed);
    QCOMPARE(after, QStringLiteral("13"));
    QCOMPARE(StoredSetting(s.registry, kSaveModeValue), std::string("One"));
    QCOMPARE(StoredSetting(s.registry, kWindowModeValue), std::string("Max"));
    QCOMPARE(s.core.settings().SaveMode, std::string("One"));
    QCOMPARE(s.core.settings().WindowMode, std::string("Max"));
    // Automatic at once: the next move reaches the store.
    s.core.List1_Click(1);
    QTest::mouseClick(s.button("Command2"), Qt::LeftButton);
    QCOMPARE(s.stored(), (Strings{"b", "a", "c"}));
  }

  // Changes followed by Cancel, Esc or the close box: nothing is written or changed; Esc
  // leaves the dialog open. The next opening shows the store again.
  void leavingWithoutSavingWritesNothing_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("stored");
    QTest::newRow("Cancel, nothing stored") << "Cancel"
                                            << "-";
    QTest::newRow("Esc, nothing stored") << "Esc"
                                         << "-";
    QTest::newRow("close box, nothing stored") << "close"
                                               << "-";
    QTest::newRow("Cancel, manual stored") << "Cancel"
                                           << "Two";
    QTest::newRow("close box, manual stored") << "close"
                                              << "Two";
  }
  void leavingWithoutSavingWritesNothing() {
    QFETCH(QString, how);
    QFETCH(QString, stored);
    Shown s(qPrintable(stored), "-");
    QVERIFY(s.activated);
    const ProgramSettings before = s.core.settings();
    const int changesBefore = s.registry.committedChanges();
    QString shown, changed;
    bool openAfterEsc = false, closed = false;
    const ModalRun run = s.settings([&](QDialog& dialog) {
      shown = Checked(dialog);
      for (const char* name : {"Option1", "Option2", "Option4"}) {
        if (!Option(dialog, name)->isChecked())
          QTest::mouseClick(Option(dialog, name), Qt::LeftButton);
      }
      changed = Checked(dialog);
      if (how == "Cancel") {
        QTest::mouseClick(Button(dialog, "Command3"), Qt::LeftButton);
      } else if (how == "Esc") {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        openAfterEsc = dialog.isVisible();
        dialog.close();
      } else {
        dialog.close();  // what the close box does
      }
      closed = !dialog.isVisible();
    });
    QVERIFY(run.opened);
    QVERIFY(changed != shown);
    QVERIFY(closed);
    if (how == "Esc") QVERIFY(openAfterEsc);
    QCOMPARE(s.registry.committedChanges(), changesBefore);
    QCOMPARE(StoredSetting(s.registry, kSaveModeValue), stored.toStdString());
    QCOMPARE(StoredSetting(s.registry, kWindowModeValue), std::string("-"));
    QCOMPARE(s.core.settings().SaveMode, before.SaveMode);
    QCOMPARE(s.core.settings().WindowMode, before.WindowMode);
    QString again;
    QVERIFY(s.settings([&](QDialog& dialog) { again = Checked(dialog); }).opened);
    QCOMPARE(again, shown);
  }

  // Enter and the keypad's Enter press the button that has the focus, and no button when an
  // option has it.
  void enterPressesOnlyTheFocusedButton_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("writes");
    const struct {
      const char* focus;
      bool closes;
      bool writes;
    } rows[] = {{"Option1", false, false},
                {"Option3", false, false},
                {"Command1", true, true},
                {"Command2", true, true},
                {"Command3", true, false}};
    for (const auto& row : rows) {
      QTest::addRow("%s Return", row.focus)
          << row.focus << int(Qt::Key_Return) << row.closes << row.writes;
      QTest::addRow("%s Enter", row.focus)
          << row.focus << int(Qt::Key_Enter) << row.closes << row.writes;
    }
  }
  void enterPressesOnlyTheFocusedButton() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(bool, closes);
    QFETCH(bool, writes);
    Shown s("-", "-");
    QVERIFY(s.activated);
    bool focused = false, open = false;
    const ModalRun run = s.settings([&](QDialog& dialog) {
      auto* target = dialog.findChild<QWidget*>(focus);
      target->setFocus(Qt::TabFocusReason);
      focused = QApplication::focusWidget() == target;
      const Qt::KeyboardModifiers modifiers =
          key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
      QTest::keyClick(target, Qt::Key(key), modifiers);
      open = dialog.isVisible();
    });
    QVERIFY(run.opened);
    QVERIFY(focused);
    QCOMPARE(open, !closes);
    QCOMPARE(s.registry.keyExists(kCurrentUser, kSettingsKey), writes);
    if (writes) {
      QCOMPARE(StoredSetting(s.registry, kSaveModeValue), std::string("One"));
      QCOMPARE(s.core.settings().WindowMode, std::string("Max"));
    } else {
      QVERIFY(s.core.settings().SaveMode.empty() && s.core.settings().WindowMode.empty());
    }
  }

  // Modal for the whole program, without an owner, centred over the main window; the
  // Options menu carries the item.
  void opensModalCentredOverTheMainWindow() {
    Shown s("-", "-");
    QVERIFY(s.activated);
    QVERIFY(s.optionsMenu()->actions().contains(s.action("Settings")));
    QPoint dialogCentre, mainCentre;
    bool ownerless = false;
    const ModalRun run = s.settings([&](QDialog& dialog) {
      dialogCentre = dialog.frameGeometry().center();
      mainCentre = s.window->frameGeometry().center();
      ownerless =
          dialog.parentWidget() == nullptr && dialog.windowModality() == Qt::ApplicationModal;
    });
    QVERIFY(run.opened);
    QVERIFY(ownerless);
    QVERIFY2((dialogCentre - mainCentre).manhattanLength() <= 2,
             qPrintable(QStringLiteral("dialog centre %1,%2; main window centre %3,%4")
                            .arg(dialogCentre.x())
                            .arg(dialogCentre.y())
                            .arg(mainCentre.x())
                            .arg(mainCentre.y())));
  }

  // A failed write on saving is told once the dialog has closed, over the main window.
  void aFailedWriteIsToldAfterTheDialogHasClosed() {
    Shown s("-", "-");
    QVERIFY(s.activated);
    s.registry.setFailWrites(true);
    bool toldWhileOpen = true;
    s.screen.onMessage = [&] { toldWhileOpen = QApplication::activeModalWidget() != nullptr; };
    const ModalRun run = s.settings([&](QDialog& dialog) {
      QTest::mouseClick(Option(dialog, "Option2"), Qt::LeftButton);
      QTest::mouseClick(Button(dialog, "Command1"), Qt::LeftButton);
    });
    QVERIFY(run.opened && run.closedByDrive);
    QCOMPARE(s.screen.messages.size(), std::size_t{1});
    QCOMPARE(s.screen.messages[0].title, std::string("Error"));
    QVERIFY(!toldWhileOpen);
    QCOMPARE(s.core.settings().SaveMode, std::string("Two"));
  }
};

QTEST_MAIN(SettingsDialogTest)
#include "tst_settings_dialog.moc"
