// The Add and Edit dialogs, end to end: opened through their menu items, driven by keys and
// clicks, and checked against the list, the view and the store.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "dialogs/address_dialog.h"
#include "modal_driver.h"
#include "qt/dialog_windows.h"
#include "qt/form_widgets.h"
#include "qt_test_support.h"

using namespace tavelin;

Q_DECLARE_METATYPE(Strings)

namespace {

QPlainTextEdit* TextBox(QDialog& dialog) {
  return dialog.findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
}
QPushButton* Button(QDialog& dialog, const char* name) {
  return dialog.findChild<QPushButton*>(QLatin1String(name));
}
bool WholeTextSelected(QPlainTextEdit* box) {
  const QTextCursor cursor = box->textCursor();
  return cursor.selectionStart() == 0 &&
         cursor.selectionEnd() == box->document()->characterCount() - 1;
}

// The program on a store holding `addresses`, in the given save mode, shown and active.
struct Shown : Program {
  Shown(const Strings& addresses, const char* saveMode) : Program(addresses, saveMode) {
    activated = show();
  }
  bool activated = false;
};

}  // namespace

class AddressDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() {
    CloseAllWindows();
    QVERIFY2(OpenWindows().isEmpty(), qPrintable(OpenWindows().join(QLatin1Char(' '))));
  }

  // Modal, centred over the main window, focus in the box, Tab through the controls in order.
  void openingAndTabOrder_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("dialogName");
    QTest::newRow("add") << "AddAddress"
                         << "FrmAdd";
    QTest::newRow("edit") << "EditAddress"
                          << "FrmEdit";
  }
  void openingAndTabOrder() {
    QFETCH(QString, action);
    QFETCH(QString, dialogName);
    Shown s({"x", "y"}, nullptr);
    QVERIFY(s.activated);
    QStringList focusPath;
    bool modal = false;
    QRect dialogFrame, windowFrame;
    const ModalRun run = DriveModalDialog(
        dialogName, [&] { s.action(action.toLatin1().constData())->trigger(); },
        [&](QDialog& dialog) {
          modal = dialog.windowModality() == Qt::ApplicationModal && dialog.parent() == nullptr;
          dialogFrame = dialog.frameGeometry();
          windowFrame = s.window->frameGeometry();
          focusPath << QApplication::focusWidget()->objectName();
          for (int i = 0; i < 3; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            focusPath << QApplication::focusWidget()->objectName();
          }
          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
          focusPath << QApplication::focusWidget()->objectName();
        });
    QVERIFY(run.opened);
    QVERIFY(modal);
    const QPoint offCentre = dialogFrame.center() - windowFrame.center();
    QVERIFY2(offCentre.manhattanLength() <= 2,
             qPrintable(QStringLiteral("dialog %1,%2 %3x%4 over window %5,%6 %7x%8")
                            .arg(dialogFrame.x())
                            .arg(dialogFrame.y())
                            .arg(dialogFrame.width())
                            .arg(dialogFrame.height())
                            .arg(windowFrame.x())
                            .arg(windowFrame.y())
                            .arg(windowFrame.width())
                            .arg(windowFrame.height())));
    QCOMPARE(focusPath, QStringList({"Text1", "Command1", "Command2", "Text1", "Command2"}));
  }

  // Enter (and Shift+Enter) makes a line break in the box and presses no button; Esc does
  // nothing, in the box or on a button.
  void enterAndEscape_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("dialogName");
    QTest::addColumn<Strings>("expectedList");
    QTest::newRow("add") << "AddAddress"
                         << "FrmAdd" << Strings{"x", "y", "a\r\nb\r\nc"};
    QTest::newRow("edit") << "EditAddress"
                          << "FrmEdit" << Strings{"a\r\nb\r\nc", "y"};
  }
  void enterAndEscape() {
    QFETCH(QString, action);
    QFETCH(QString, dialogName);
    QFETCH(Strings, expectedList);
    Shown s({"x", "y"}, "One");
    QVERIFY(s.activated);
    bool openAfterKeys = false;
    QString boxText;
    std::string coreText;
    const ModalRun run = DriveModalDialog(
        dialogName, [&] { s.action(action.toLatin1().constData())->trigger(); },
        [&](QDialog& dialog) {
          QPlainTextEdit* box = TextBox(dialog);
          QTest::keyClicks(box, QStringLiteral("a"));
          QTest::keyClick(box, Qt::Key_Return);
          QTest::keyClicks(box, QStringLiteral("b"));
          QTest::keyClick(box, Qt::Key_Return, Qt::ShiftModifier);
          QTest::keyClicks(box, QStringLiteral("c"));
          QTest::keyClick(box, Qt::Key_Escape);
          QTest::keyClick(&dialog, Qt::Key_Escape);
          // Esc on either button presses nothing either.
          for (const char* name : {"Command1", "Command2"}) {
            Button(dialog, name)->setFocus();
            QTest::keyClick(Button(dialog, name), Qt::Key_Escape);
          }
          openAfterKeys = dialog.isVisible() && s.items().size() == 2;
          boxText = box->toPlainText();
          coreText =
              static_cast<AddressDialog&>(static_cast<qt::DialogWindow&>(dialog).dialog()).Text1();
          QTest::mouseClick(Button(dialog, "Command1"), Qt::LeftButton);
        });
    QVERIFY(run.opened);
    QVERIFY(openAfterKeys);
    QCOMPARE(boxText, QStringLiteral("a\nb\nc"));
    // The box's whole text reached the dialog as typed: a paragraph break for Enter, a line
    // break for Shift+Enter.
    QCOMPARE(coreText, std::string("a\xE2\x80\xA9"
                                   "b\xE2\x80\xA8"
                                   "c"));
    QVERIFY(run.closedByDrive);
    QCOMPARE(s.items(), expectedList);
    QCOMPARE(s.stored(), expectedList);
    QVERIFY(s.screen.messages.empty());
  }

  // Enter and the keypad's Enter press the button that has the focus: "Add" or "Save changes"
  // stores the text, "Cancel" drops it.
  void enterPressesTheFocusedButton_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("dialogName");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::addColumn<Strings>("expectedList");
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
      const char* keyName = key == Qt::Key_Return ? "Return" : "keypad Enter";
      QTest::addRow("Add, %s", keyName) << "AddAddress"
                                        << "FrmAdd"
                                        << "Command1" << key << Strings{"x", "y", "w"};
      QTest::addRow("Add's Cancel, %s", keyName) << "AddAddress"
                                                 << "FrmAdd"
                                                 << "Command2" << key << Strings{"x", "y"};
      QTest::addRow("Save changes, %s", keyName) << "EditAddress"
                                                 << "FrmEdit"
                                                 << "Command1" << key << Strings{"w", "y"};
      QTest::addRow("Edit's Cancel, %s", keyName) << "EditAddress"
                                                  << "FrmEdit"
                                                  << "Command2" << key << Strings{"x", "y"};
    }
  }
  void enterPressesTheFocusedButton() {
    QFETCH(QString, action);
    QFETCH(QString, dialogName);
    QFETCH(QString, button);
    QFETCH(int, key);
    QFETCH(Strings, expectedList);
    Shown s({"x", "y"}, "One");
    QVERIFY(s.activated);
    bool focused = false, closed = false;
    const ModalRun run = DriveModalDialog(
        dialogName, [&] { s.action(action.toLatin1().constData())->trigger(); },
        [&](QDialog& dialog) {
          QPlainTextEdit* box = TextBox(dialog);
          box->selectAll();
          QTest::keyClicks(box, QStringLiteral("w"));
          QPushButton* target = Button(dialog, button.toLatin1().constData());
          target->setFocus(Qt::TabFocusReason);
          focused = QApplication::focusWidget() == target;
          QTest::keyClick(target, Qt::Key(key),
                          key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
          closed = !dialog.isVisible();
        });
    QVERIFY(run.opened);
    QVERIFY(focused);
    QVERIFY(closed);
    QCOMPARE(s.items(), expectedList);
    QCOMPARE(s.stored(), expectedList);
    QVERIFY(s.screen.messages.empty());
  }

  // Blank text is refused with a message; the box then has the focus and all its text selected.
  void blankTextIsRefused_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("dialogName");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("add empty") << "AddAddress"
                               << "FrmAdd"
                               << ""
                               << "Cannot add an empty address!";
    QTest::newRow("add spaces") << "AddAddress"
                                << "FrmAdd"
                                << "   "
                                << "Cannot add an empty address!";
    QTest::newRow("edit empty") << "EditAddress"
                                << "FrmEdit"
                                << ""
                                << "Cannot save an empty address!";
    QTest::newRow("edit spaces") << "EditAddress"
                                 << "FrmEdit"
                                 << "  "
                                 << "Cannot save an empty address!";
  }
  void blankTextIsRefused() {
    QFETCH(QString, action);
    QFETCH(QString, dialogName);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    Shown s({"x", "y"}, "One");
    QVERIFY(s.activated);
    bool shownOverTheDialog = false, stillOpen = false, focused = false, selected = false;
    s.screen.onMessage = [&] {
      shownOverTheDialog = QApplication::activeModalWidget() &&
                           QApplication::activeModalWidget()->objectName() == dialogName;
    };
    const ModalRun run = DriveModalDialog(
        dialogName, [&] { s.action(action.toLatin1().constData())->trigger(); },
        [&](QDialog& dialog) {
          QPlainTextEdit* box = TextBox(dialog);
          QTest::keyClick(box, Qt::Key_Delete);  // the Edit box starts with all its text selected
          QTest::keyClicks(box, typed);
          QTest::mouseClick(Button(dialog, "Command1"), Qt::LeftButton);
          stillOpen = dialog.isVisible();
          focused = QApplication::focusWidget() == box;
          selected = WholeTextSelected(box) && box->toPlainText() == typed;
        });
    QVERIFY(run.opened);
    QCOMPARE(s.screen.messages.size(), std::size_t(1));
    QCOMPARE(s.screen.messages[0].title, std::string("Error"));
    QCOMPARE(QString::fromStdString(s.screen.messages[0].text), message);
    QVERIFY(shownOverTheDialog);
    QVERIFY(stillOpen);
    QVERIFY(focused);
    QVERIFY(selected);
    QCOMPARE(s.items(), Strings({"x", "y"}));
    QCOMPARE(s.stored(), Strings({"x", "y"}));
  }

  // Add appends the text as typed and leaves the selection; the store follows in automatic
  // mode only.
  void add_data() {
    QTest::addColumn<QByteArray>("saveMode");
    QTest::addColumn<Strings>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Strings>("expectedList");
    QTest::addColumn<Strings>("expectedStore");
    const Strings xyz{"x", "y", "z"};
    QTest::newRow("automatic") << QByteArray("One") << xyz << " w " << Strings{"x", "y", "z", " w "}
                               << Strings{"x", "y", "z", " w "};
    QTest::newRow("manual") << QByteArray("Two") << xyz << "w" << Strings{"x", "y", "z", "w"}
                            << xyz;
    QTest::newRow("empty list") << QByteArray("One") << Strings{} << "w" << Strings{"w"}
                                << Strings{"w"};
  }
  void add() {
    QFETCH(QByteArray, saveMode);
    QFETCH(Strings, before);
    QFETCH(QString, typed);
    QFETCH(Strings, expectedList);
    QFETCH(Strings, expectedStore);
    Shown s(before, saveMode.isNull() ? nullptr : saveMode.constData());
    QVERIFY(s.activated);
    const int selection = before.empty() ? -1 : 1;
    s.core.List1_Click(selection);
    const ModalRun run = DriveModalDialog(
        QStringLiteral("FrmAdd"), [&] { s.action("AddAddress")->trigger(); },
        [&](QDialog& dialog) {
          QTest::keyClicks(TextBox(dialog), typed);
          QTest::mouseClick(Button(dialog, "Command1"), Qt::LeftButton);
        });
    QVERIFY(run.opened);
    QVERIFY(run.closedByDrive);
    QCOMPARE(s.items(), expectedList);
    QCOMPARE(s.viewItems().size(), qsizetype(expectedList.size()));
    QCOMPARE(s.viewSelection(), selection);
    QCOMPARE(s.selection(), selection);
    QCOMPARE(s.stored(), expectedStore);
    QVERIFY(s.screen.messages.empty());
  }

  // Edit shows the selected text all selected, so typing replaces it; Save puts it back in
  // place; an untouched box saves exactly the text it was given.
  void edit_data() {
    QTest::addColumn<QByteArray>("saveMode");
    QTest::addColumn<Strings>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Strings>("expectedList");
    QTest::addColumn<Strings>("expectedStore");
    const Strings xyz{"x", "y", "z"};
    QTest::newRow("automatic") << QByteArray("One") << xyz << "w " << Strings{"x", "w ", "z"}
                               << Strings{"x", "w ", "z"};
    QTest::newRow("manual") << QByteArray("Two") << xyz << "w" << Strings{"x", "w", "z"} << xyz;
    // Text a text box cannot show as it is: no-break space, a lone LF, tab, unpaired surrogate.
    const Strings odd{"x",
                      "a\xC2\xA0"
                      "b\nc\td\xED\xA0\x80",
                      "z"};
    QTest::newRow("unchanged odd text") << QByteArray("One") << odd << "" << odd << odd;
  }
  void edit() {
    QFETCH(QByteArray, saveMode);
    QFETCH(Strings, before);
    QFETCH(QString, typed);
    QFETCH(Strings, expectedList);
    QFETCH(Strings, expectedStore);
    Shown s(before, saveMode.constData());
    QVERIFY(s.activated);
    s.core.List1_Click(1);
    // The store may hold what the list does not show yet (manual mode): read it now.
    const Strings storedBefore = s.stored();
    QCOMPARE(storedBefore, before);
    bool loadedAllSelected = false;
    const ModalRun run = DriveModalDialog(
        QStringLiteral("FrmEdit"), [&] { s.action("EditAddress")->trigger(); },
        [&](QDialog& dialog) {
          QPlainTextEdit* box = TextBox(dialog);
          loadedAllSelected = WholeTextSelected(box) && !box->toPlainText().isEmpty() &&
                              QApplication::focusWidget() == box;
          QTest::keyClicks(box, typed);
          QTest::mouseClick(Button(dialog, "Command1"), Qt::LeftButton);
        });
    QVERIFY(run.opened);
    QVERIFY(loadedAllSelected);
    QVERIFY(run.closedByDrive);
    QCOMPARE(s.items(), expectedList);
    QCOMPARE(s.viewItems().at(1), qt::ToQString(s.core.List1_DisplayText(1)));
    QCOMPARE(s.viewSelection(), 1);
    QCOMPARE(s.stored(), expectedStore);
    QVERIFY(s.screen.messages.empty());
  }

  // Cancel and the close box change nothing; the next Add starts with an empty box.
  void cancelAndCloseBox_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("dialogName");
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("add cancel") << "AddAddress"
                                << "FrmAdd" << false;
    QTest::newRow("add close box") << "AddAddress"
                                   << "FrmAdd" << true;
    QTest::newRow("edit cancel") << "EditAddress"
                                 << "FrmEdit" << false;
    QTest::newRow("edit close box") << "EditAddress"
                                    << "FrmEdit" << true;
  }
  void cancelAndCloseBox() {
    QFETCH(QString, action);
    QFETCH(QString, dialogName);
    QFETCH(bool, closeBox);
    Shown s({"x", "y"}, "One");
    QVERIFY(s.activated);
    const ModalRun run = DriveModalDialog(
        dialogName, [&] { s.action(action.toLatin1().constData())->trigger(); },
        [&](QDialog& dialog) {
          QTest::keyClicks(TextBox(dialog), QStringLiteral("changed"));
          if (closeBox) {
            // What the title bar's close box sends.
            QCloseEvent close;
            QApplication::sendEvent(&dialog, &close);
          } else {
            QTest::mouseClick(Button(dialog, "Command2"), Qt::LeftButton);
          }
        });
    QVERIFY(run.opened);
    QVERIFY(run.closedByDrive);
    QCOMPARE(s.items(), Strings({"x", "y"}));
    QCOMPARE(s.stored(), Strings({"x", "y"}));
    QVERIFY(s.screen.messages.empty());

    QString nextText = QStringLiteral("(not opened)");
    const ModalRun again = DriveModalDialog(
        dialogName, [&] { s.action(action.toLatin1().constData())->trigger(); },
        [&](QDialog& dialog) { nextText = TextBox(dialog)->toPlainText(); });
    QVERIFY(again.opened);
    QCOMPARE(nextText, dialogName == "FrmAdd" ? QString() : QStringLiteral("x"));
  }

  void editWithoutSelectionOpensNothing_data() {
    QTest::addColumn<Strings>("addresses");
    QTest::newRow("nothing selected") << Strings{"x", "y"};
    QTest::newRow("empty list") << Strings{};
  }
  void editWithoutSelectionOpensNothing() {
    QFETCH(Strings, addresses);
    Shown s(addresses, "One");
    QVERIFY(s.activated);
    s.core.List1().selectNone();
    const ModalRun run = DriveModalDialog(
        QStringLiteral("FrmEdit"), [&] { s.action("EditAddress")->trigger(); }, [](QDialog&) {},
        300);
    QVERIFY(!run.opened);
    QCOMPARE(s.screen.messages.size(), std::size_t(1));
    QCOMPARE(s.screen.messages[0].title, std::string("Error"));
    QCOMPARE(s.screen.messages[0].text, std::string("No address was selected."));
    QCOMPARE(s.items(), addresses);
  }

  // A failed store write during Add is told once the dialog has closed.
  void failedWriteIsToldAfterTheDialog() {
    Shown s({"x"}, "One");
    QVERIFY(s.activated);
    bool toldWhileOpen = false;
    bool overTheMainWindow = false;
    s.screen.onMessage = [&] {
      toldWhileOpen = QApplication::activeModalWidget() != nullptr;
      // The box's owner: what it covers, and is modal over.
      overTheMainWindow = s.screen.topWindow() == s.window.get();
    };
    s.registry.setFailWrites(true);
    const ModalRun run = DriveModalDialog(
        QStringLiteral("FrmAdd"), [&] { s.action("AddAddress")->trigger(); },
        [&](QDialog& dialog) {
          QTest::keyClicks(TextBox(dialog), QStringLiteral("w"));
          QTest::mouseClick(Button(dialog, "Command1"), Qt::LeftButton);
        });
    QVERIFY(run.opened && run.closedByDrive);
    QCOMPARE(s.screen.messages.size(), std::size_t(1));
    QVERIFY(!toldWhileOpen);
    QVERIFY(overTheMainWindow);
    QCOMPARE(s.items(), Strings({"x", "w"}));
  }
};

QTEST_MAIN(AddressDialogsTest)
#include "tst_address_dialogs.moc"
