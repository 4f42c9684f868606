// The Add and Edit dialogs, end to end: opened through their menu items, driven by keys and
// clicks, and checked against the list, the view and the store.
#include <QAction>
#include <QDialog>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "dialogs/frm_add.h"
#include "dialogs/frm_edit.h"
#include "gui_test_support.h"
#include "modal_driver.h"
#include "store/registry_memory.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"

using namespace tavelin;
using Strings = std::vector<std::string>;

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

// A main window on a store holding `addresses`, in the given save mode, shown and active.
struct Shown {
  Shown(const Strings& addresses, const char* saveMode) {
    StoreAddresses(registry, addresses);
    if (saveMode)
      modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, "SaveOptions", saveMode);
    fixture = std::make_unique<MainWindowFixture>(registry);
    window().show();
    activated = QTest::qWaitForWindowActive(&window());
  }
  Mainn& window() { return *fixture->window; }
  QAction* action(const char* name) { return window().findChild<QAction*>(QLatin1String(name)); }
  MemoryRegistry registry;
  std::unique_ptr<MainWindowFixture> fixture;
  bool activated = false;
};

}  // namespace

class AddressDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { CloseAllWindows(); }

  void layout_data() {
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QSize>("clientSize");
    QTest::addColumn<QString>("command1Text");
    QTest::addColumn<QRect>("command1Geometry");
    // Twips / 15: the text box 0,0,5655x735; Cancel 3000,760,1335x300.
    QTest::newRow("FrmAdd") << false << "Tavelin - Add new address" << QSize(377, 72) << "Add"
                            << QRect(88, 50, 89, 20);
    QTest::newRow("FrmEdit") << true << "Tavelin - Edit" << QSize(376, 72) << "Save changes"
                             << QRect(72, 50, 105, 20);
  }
  void layout() {
    QFETCH(bool, edit);
    QFETCH(QString, caption);
    QFETCH(QSize, clientSize);
    QFETCH(QString, command1Text);
    QFETCH(QRect, command1Geometry);
    MemoryRegistry registry;
    StoreAddresses(registry, {"x"});
    MainWindowFixture f(registry);
    std::unique_ptr<QDialog> dialog;
    if (edit)
      dialog = std::make_unique<FrmEdit>(*f.window);
    else
      dialog = std::make_unique<FrmAdd>(*f.window);
    QCOMPARE(dialog->objectName(), QLatin1String(QTest::currentDataTag()));
    QCOMPARE(dialog->windowTitle(), caption);
    QVERIFY(dialog->parent() == nullptr);
    QCOMPARE(dialog->minimumSize(), clientSize);
    QCOMPARE(dialog->maximumSize(), clientSize);
    const Qt::WindowFlags flags = dialog->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

    QPlainTextEdit* text = TextBox(*dialog);
    QVERIFY(text);
    QCOMPARE(text->geometry(), QRect(0, 0, 377, 49));
    QCOMPARE(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(text->tabChangesFocus());
    QVERIFY(!text->isReadOnly());
    QCOMPARE(text->palette().color(QPalette::Base), text->palette().color(QPalette::Button));
    QCOMPARE(Button(*dialog, "Command1")->text(), command1Text);
    QCOMPARE(Button(*dialog, "Command1")->geometry(), command1Geometry);
    QCOMPARE(Button(*dialog, "Command2")->text(), QStringLiteral("Cancel"));
    QCOMPARE(Button(*dialog, "Command2")->geometry(), QRect(200, 50, 89, 20));
    for (QWidget* widget :
         {static_cast<QWidget*>(text), static_cast<QWidget*>(Button(*dialog, "Command1")),
          static_cast<QWidget*>(Button(*dialog, "Command2"))}) {
      QCOMPARE(widget->font().family(), QStringLiteral("Arial"));
      QVERIFY(widget->font().bold());
      QCOMPARE(widget->font().pointSizeF(), 9.0);
    }
    for (const char* name : {"Command1", "Command2"}) {
      QVERIFY(!Button(*dialog, name)->autoDefault());
      QVERIFY(!Button(*dialog, name)->isDefault());
    }
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
          windowFrame = s.window().frameGeometry();
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

  // Enter makes a line break in the box and never presses a button; Esc does nothing.
  void enterAndEscape_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("dialogName");
    QTest::addColumn<Strings>("expectedList");
    QTest::newRow("add") << "AddAddress"
                         << "FrmAdd" << Strings{"x", "y", "a\r\nb"};
    QTest::newRow("edit") << "EditAddress"
                          << "FrmEdit" << Strings{"a\r\nb", "y"};
  }
  void enterAndEscape() {
    QFETCH(QString, action);
    QFETCH(QString, dialogName);
    QFETCH(Strings, expectedList);
    Shown s({"x", "y"}, "One");
    QVERIFY(s.activated);
    bool openAfterKeys = false;
    QString boxText;
    const ModalRun run = DriveModalDialog(
        dialogName, [&] { s.action(action.toLatin1().constData())->trigger(); },
        [&](QDialog& dialog) {
          QPlainTextEdit* box = TextBox(dialog);
          QTest::keyClicks(box, QStringLiteral("a"));
          QTest::keyClick(box, Qt::Key_Return);
          QTest::keyClicks(box, QStringLiteral("b"));
          QTest::keyClick(box, Qt::Key_Escape);
          QTest::keyClick(&dialog, Qt::Key_Escape);
          // Enter on either button presses nothing either.
          for (const char* name : {"Command1", "Command2"}) {
            Button(dialog, name)->setFocus();
            QTest::keyClick(Button(dialog, name), Qt::Key_Return);
            QTest::keyClick(Button(dialog, name), Qt::Key_Enter, Qt::KeypadModifier);
          }
          openAfterKeys = dialog.isVisible() && ListItems(s.window()).size() == 2;
          boxText = box->toPlainText();
          QTest::mouseClick(Button(dialog, "Command1"), Qt::LeftButton);
        });
    QVERIFY(run.opened);
    QVERIFY(openAfterKeys);
    QCOMPARE(boxText, QStringLiteral("a\nb"));
    QVERIFY(run.closedByDrive);
    QCOMPARE(ListItems(s.window()), expectedList);
    QCOMPARE(StoredAddresses(s.registry), expectedList);
    QVERIFY(s.fixture->interaction.messages.empty());
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
    s.fixture->interaction.onMessage = [&] {
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
    QCOMPARE(s.fixture->interaction.messages.size(), size_t(1));
    QCOMPARE(s.fixture->interaction.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(s.fixture->interaction.messages[0].text, message);
    QVERIFY(shownOverTheDialog);
    QVERIFY(stillOpen);
    QVERIFY(focused);
    QVERIFY(selected);
    QCOMPARE(ListItems(s.window()), Strings({"x", "y"}));
    QCOMPARE(StoredAddresses(s.registry), Strings({"x", "y"}));
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
    s.window().addresses().select(selection);
    const ModalRun run = DriveModalDialog(
        QStringLiteral("FrmAdd"), [&] { s.action("AddAddress")->trigger(); },
        [&](QDialog& dialog) {
          QTest::keyClicks(TextBox(dialog), typed);
          QTest::mouseClick(Button(dialog, "Command1"), Qt::LeftButton);
        });
    QVERIFY(run.opened);
    QVERIFY(run.closedByDrive);
    QCOMPARE(ListItems(s.window()), expectedList);
    QCOMPARE(ViewItems(s.window()).size(), qsizetype(expectedList.size()));
    QCOMPARE(ViewSelection(s.window()), selection);
    QCOMPARE(s.window().addresses().selectionIndex(), selection);
    QCOMPARE(StoredAddresses(s.registry), expectedStore);
    QVERIFY(s.fixture->interaction.messages.empty());
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
    s.window().addresses().select(1);
    // The store may hold what the list does not show yet (manual mode): read it now.
    const Strings storedBefore = StoredAddresses(s.registry);
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
    QCOMPARE(ListItems(s.window()), expectedList);
    QCOMPARE(ViewItems(s.window()).at(1), QString::fromStdString(expectedList[1]));
    QCOMPARE(ViewSelection(s.window()), 1);
    QCOMPARE(StoredAddresses(s.registry), expectedStore);
    QVERIFY(s.fixture->interaction.messages.empty());
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
    QCOMPARE(ListItems(s.window()), Strings({"x", "y"}));
    QCOMPARE(StoredAddresses(s.registry), Strings({"x", "y"}));
    QVERIFY(s.fixture->interaction.messages.empty());

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
    s.window().addresses().selectNone();
    const ModalRun run = DriveModalDialog(
        QStringLiteral("FrmEdit"), [&] { s.action("EditAddress")->trigger(); }, [](QDialog&) {},
        300);
    QVERIFY(!run.opened);
    QCOMPARE(s.fixture->interaction.messages.size(), size_t(1));
    QCOMPARE(s.fixture->interaction.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(s.fixture->interaction.messages[0].text, QStringLiteral("No address was selected."));
    QCOMPARE(ListItems(s.window()), addresses);
  }

  // A failed store write during Add is told once the dialog has closed.
  void failedWriteIsToldAfterTheDialog() {
    Shown s({"x"}, "One");
    QVERIFY(s.activated);
    bool toldWhileOpen = false;
    s.fixture->interaction.onMessage = [&] {
      toldWhileOpen = QApplication::activeModalWidget() != nullptr;
    };
    s.registry.setFailWrites(true);
    const ModalRun run = DriveModalDialog(
        QStringLiteral("FrmAdd"), [&] { s.action("AddAddress")->trigger(); },
        [&](QDialog& dialog) {
          QTest::keyClicks(TextBox(dialog), QStringLiteral("w"));
          QTest::mouseClick(Button(dialog, "Command1"), Qt::LeftButton);
        });
    QVERIFY(run.opened && run.closedByDrive);
    QCOMPARE(s.fixture->interaction.messages.size(), size_t(1));
    QVERIFY(!toldWhileOpen);
    QCOMPARE(ListItems(s.window()), Strings({"x", "w"}));
  }
};

QTEST_MAIN(AddressDialogsTest)
#include "tst_address_dialogs.moc"
