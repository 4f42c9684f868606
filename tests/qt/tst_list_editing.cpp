// Editing the list from the main window: the buttons, the Options menu's delete commands, the
// keys on the list, the right-button pop-up menu and the double click.
#include <QAction>
#include <QDialog>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "gui_test_support.h"
#include "modal_driver.h"
#include "store/registry_memory.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"

using namespace tavelin;
using Strings = std::vector<std::string>;

Q_DECLARE_METATYPE(Strings)

namespace {

const QString kNoSelection = QStringLiteral("No address was selected.");

// A main window on a store holding `addresses`, in the given save mode, shown and active,
// with `selection` selected.
struct Shown {
  Shown(const Strings& addresses, const QByteArray& saveMode, int selection) {
    StoreAddresses(registry, addresses);
    if (!saveMode.isNull())
      modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, "SaveOptions",
                             saveMode.toStdString());
    fixture = std::make_unique<MainWindowFixture>(registry);
    window().show();
    activated = QTest::qWaitForWindowActive(&window());
    window().addresses().select(selection);
  }
  Mainn& window() { return *fixture->window; }
  QListView* list() { return window().list(); }
  QMenu* menu() { return window().findChild<QMenu*>(QStringLiteral("MnuAddress")); }
  QAction* action(const char* name) { return window().findChild<QAction*>(QLatin1String(name)); }
  QPoint rowCentre(int row) { return list()->visualRect(list()->model()->index(row, 0)).center(); }
  std::vector<RecordedMessage>& messages() { return fixture->interaction.messages; }
  MemoryRegistry registry;
  std::unique_ptr<MainWindowFixture> fixture;
  bool activated = false;
};

QStringList ToQt(const Strings& items) {
  QStringList out;
  for (const std::string& item : items) out << QString::fromStdString(item);
  return out;
}

}  // namespace

class ListEditingTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { CloseAllWindows(); }

  // The three buttons, as a user clicks them; the view follows the list.
  void buttons_data() {
    QTest::addColumn<QByteArray>("saveMode");
    QTest::addColumn<int>("selection");
    QTest::addColumn<QString>("button");
    QTest::addColumn<Strings>("expectedList");
    QTest::addColumn<int>("expectedSelection");
    QTest::addColumn<Strings>("expectedStore");
    const Strings xyz{"x", "y", "z"};
    QTest::newRow("up, automatic") << QByteArray("One") << 1 << "Command2" << Strings{"y", "x", "z"}
                                   << 0 << Strings{"y", "x", "z"};
    QTest::newRow("up, manual") << QByteArray("Two") << 1 << "Command2" << Strings{"y", "x", "z"}
                                << 0 << xyz;
    QTest::newRow("down, automatic") << QByteArray("One") << 1 << "Command3"
                                     << Strings{"x", "z", "y"} << 2 << Strings{"x", "z", "y"};
    QTest::newRow("down at the end") << QByteArray("One") << 2 << "Command3" << xyz << 2 << xyz;
    QTest::newRow("save, manual, from the middle")
        << QByteArray("Two") << 2 << "Command1" << xyz << 0 << xyz;
  }
  void buttons() {
    QFETCH(QByteArray, saveMode);
    QFETCH(int, selection);
    QFETCH(QString, button);
    QFETCH(Strings, expectedList);
    QFETCH(int, expectedSelection);
    QFETCH(Strings, expectedStore);
    Shown s({"x", "y", "z"}, saveMode, selection);
    QVERIFY(s.activated);
    QTest::mouseClick(s.window().findChild<QPushButton*>(button), Qt::LeftButton);
    QCOMPARE(ViewItems(s.window()), ToQt(expectedList));
    QCOMPARE(ViewSelection(s.window()), expectedSelection);
    QCOMPARE(s.window().addresses().selectionIndex(), expectedSelection);
    QCOMPARE(StoredAddresses(s.registry), expectedStore);
    QVERIFY(s.messages().empty());
  }

  // "Delete selected address" and "Delete all addresses" through their menu items.
  void deleteCommands_data() {
    QTest::addColumn<QByteArray>("saveMode");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("selection");
    QTest::addColumn<Strings>("expectedList");
    QTest::addColumn<int>("expectedSelection");
    QTest::addColumn<Strings>("expectedStore");
    QTest::addColumn<QString>("message");
    const Strings xyz{"x", "y", "z"};
    QTest::newRow("one, manual") << QByteArray("Two") << "DeleteURL" << 1 << Strings{"x", "z"} << -1
                                 << xyz << QString();
    QTest::newRow("one, nothing selected")
        << QByteArray("One") << "DeleteURL" << -1 << xyz << -1 << xyz << kNoSelection;
    QTest::newRow("all, automatic")
        << QByteArray("One") << "DeleteAll" << 1 << Strings{} << -1 << Strings{} << QString();
  }
  void deleteCommands() {
    QFETCH(QByteArray, saveMode);
    QFETCH(QString, action);
    QFETCH(int, selection);
    QFETCH(Strings, expectedList);
    QFETCH(int, expectedSelection);
    QFETCH(Strings, expectedStore);
    QFETCH(QString, message);
    Shown s({"x", "y", "z"}, saveMode, selection);
    QVERIFY(s.activated);
    s.action(action.toLatin1().constData())->trigger();
    QCOMPARE(ViewItems(s.window()), ToQt(expectedList));
    QCOMPARE(ViewSelection(s.window()), expectedSelection);
    QCOMPARE(StoredAddresses(s.registry), expectedStore);
    if (message.isEmpty()) {
      QVERIFY(s.messages().empty());
    } else {
      QCOMPARE(s.messages().size(), size_t(1));
      QCOMPARE(s.messages()[0].title, QStringLiteral("Error"));
      QCOMPARE(s.messages()[0].text, message);
    }
  }

  // Delete with any of Shift, Ctrl and Alt deletes the selected entry as the command does.
  void deleteKey_data() {
    QTest::addColumn<QByteArray>("saveMode");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("expectedSelection");
    QTest::addColumn<Strings>("expectedStore");
    const Strings xyz{"x", "y", "z"};
    const struct {
      const char* name;
      Qt::KeyboardModifiers modifiers;
    } keys[] = {{"Delete", Qt::NoModifier},
                {"Shift+Delete", Qt::ShiftModifier},
                {"Ctrl+Delete", Qt::ControlModifier},
                {"Alt+Delete", Qt::AltModifier}};
    for (const auto& key : keys) {
      QTest::addRow("%s, automatic", key.name)
          << QByteArray("One") << int(key.modifiers) << 0 << Strings{"x", "z"};
      QTest::addRow("%s, manual", key.name) << QByteArray("Two") << int(key.modifiers) << -1 << xyz;
    }
  }
  void deleteKey() {
    QFETCH(QByteArray, saveMode);
    QFETCH(int, modifiers);
    QFETCH(int, expectedSelection);
    QFETCH(Strings, expectedStore);
    Shown s({"x", "y", "z"}, saveMode, 1);
    QVERIFY(s.activated);
    QTest::keyClick(s.list(), Qt::Key_Delete, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(ViewItems(s.window()), QStringList({"x", "z"}));
    QCOMPARE(ViewSelection(s.window()), expectedSelection);
    QCOMPARE(s.window().addresses().selectionIndex(), expectedSelection);
    QCOMPARE(StoredAddresses(s.registry), expectedStore);
    QVERIFY(s.messages().empty());
  }

  // Other keys keep the list's own behaviour and say nothing; without a selection only the
  // Delete key tells the user.
  void otherKeys_data() {
    QTest::addColumn<bool>("emptyBefore");
    QTest::addColumn<int>("selection");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expectedSelection");
    QTest::addColumn<QString>("message");
    QTest::newRow("down moves the selection") << false << 1 << int(Qt::Key_Down) << 2 << QString();
    QTest::newRow("a letter changes nothing") << false << 1 << int(Qt::Key_Q) << 1 << QString();
    QTest::newRow("delete, nothing selected")
        << false << -1 << int(Qt::Key_Delete) << -1 << kNoSelection;
    QTest::newRow("a letter, nothing selected") << false << -1 << int(Qt::Key_Q) << -1 << QString();
    QTest::newRow("down, empty list") << true << -1 << int(Qt::Key_Down) << -1 << QString();
  }
  void otherKeys() {
    QFETCH(bool, emptyBefore);
    QFETCH(int, selection);
    QFETCH(int, key);
    QFETCH(int, expectedSelection);
    QFETCH(QString, message);
    const Strings before = emptyBefore ? Strings{} : Strings{"x", "y", "z"};
    Shown s(before, "One", selection);
    QVERIFY(s.activated);
    QTest::keyClick(s.list(), Qt::Key(key));
    QCOMPARE(ViewItems(s.window()), ToQt(before));
    QCOMPARE(ViewSelection(s.window()), expectedSelection);
    QCOMPARE(s.window().addresses().selectionIndex(), expectedSelection);
    QCOMPARE(StoredAddresses(s.registry), before);
    QCOMPARE(s.messages().size(), size_t(message.isEmpty() ? 0 : 1));
    if (!message.isEmpty()) {
      QCOMPARE(s.messages()[0].title, QStringLiteral("Error"));
      QCOMPARE(s.messages()[0].text, message);
    }
  }

  // After a deletion in manual mode nothing is selected, and the arrow keys still work.
  void arrowsAfterAManualDeletion() {
    Shown s({"w", "x", "y", "z"}, "Two", 1);
    QVERIFY(s.activated);
    QTest::keyClick(s.list(), Qt::Key_Delete);
    QCOMPARE(ViewSelection(s.window()), -1);
    QVERIFY(s.list()->selectionModel()->selectedIndexes().isEmpty());
    QTest::keyClick(s.list(), Qt::Key_Down);
    QVERIFY(ViewSelection(s.window()) != -1);
    QCOMPARE(s.window().addresses().selectionIndex(), ViewSelection(s.window()));
    QVERIFY(s.messages().empty());
  }

  // A right press pops up the Options menu at the pointer and leaves the selection alone; the
  // chosen item then acts on the entry selected before.
  void rightPressPopsUpTheMenu_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<Strings>("expectedList");
    QTest::newRow("delete selected") << "DeleteURL" << Strings{"y", "z"};
    QTest::newRow("delete all") << "DeleteAll" << Strings{};
  }
  void rightPressPopsUpTheMenu() {
    QFETCH(QString, chosen);
    QFETCH(Strings, expectedList);
    Shown s({"x", "y", "z"}, "One", 0);
    QVERIFY(s.activated);
    const QPoint at = s.rowCentre(2);
    QTest::mousePress(s.list()->viewport(), Qt::RightButton, {}, at);
    QMenu* menu = s.menu();
    QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 2000);
    QCOMPARE(menu->geometry().topLeft(), s.list()->viewport()->mapToGlobal(at));
    QCOMPARE(ViewSelection(s.window()), 0);
    QCOMPARE(s.window().addresses().selectionIndex(), 0);
    QCOMPARE(menu->activeAction(), nullptr);
    QAction* item = s.action(chosen.toLatin1().constData());
    QVERIFY(menu->actions().contains(item));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    QTRY_VERIFY_WITH_TIMEOUT(!menu->isVisible(), 2000);
    QCOMPARE(ListItems(s.window()), expectedList);
    QCOMPARE(StoredAddresses(s.registry), expectedList);
  }

  // The pop-up's items answer the left button only.
  void otherButtonsDoNotChooseMenuItems_data() {
    QTest::addColumn<int>("button");
    QTest::newRow("right") << int(Qt::RightButton);
    QTest::newRow("middle") << int(Qt::MiddleButton);
  }
  void otherButtonsDoNotChooseMenuItems() {
    QFETCH(int, button);
    Shown s({"x", "y", "z"}, "One", 0);
    QVERIFY(s.activated);
    QTest::mousePress(s.list()->viewport(), Qt::RightButton, {}, s.rowCentre(1));
    QMenu* menu = s.menu();
    QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 2000);
    const QPoint onItem = menu->actionGeometry(s.action("DeleteAll")).center();
    QTest::mouseRelease(menu, Qt::RightButton, {}, onItem);
    QTest::mouseClick(menu, Qt::MouseButton(button), {}, onItem);
    QTest::qWait(20);
    QCOMPARE(ListItems(s.window()), Strings({"x", "y", "z"}));
    QVERIFY(menu->isVisible());
    menu->close();
    QTRY_VERIFY_WITH_TIMEOUT(!menu->isVisible(), 2000);
  }

  void whichPressesPopUpTheMenu_data() {
    QTest::addColumn<bool>("emptyList");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("popsUp");
    QTest::newRow("right") << false << int(Qt::RightButton) << true;
    QTest::newRow("right, empty list") << true << int(Qt::RightButton) << true;
    QTest::newRow("left") << false << int(Qt::LeftButton) << false;
    QTest::newRow("middle") << false << int(Qt::MiddleButton) << false;
  }
  void whichPressesPopUpTheMenu() {
    QFETCH(bool, emptyList);
    QFETCH(int, button);
    QFETCH(bool, popsUp);
    Shown s(emptyList ? Strings{} : Strings{"x", "y", "z"}, "One", emptyList ? -1 : 0);
    QVERIFY(s.activated);
    QTest::mousePress(s.list()->viewport(), Qt::MouseButton(button), {}, QPoint(20, 30));
    if (!popsUp)
      QTest::mouseRelease(s.list()->viewport(), Qt::MouseButton(button), {}, QPoint(20, 30));
    QTest::qWait(20);
    QCOMPARE(s.menu()->isVisible(), popsUp);
    QVERIFY(s.messages().empty());
    s.menu()->close();
  }

  // The Menu key and Shift+F10 pop the menu up too, without touching the selection.
  void keyboardPopsUpTheMenu_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("popsUp");
    QTest::newRow("Menu") << int(Qt::Key_Menu) << int(Qt::NoModifier) << true;
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier) << true;
    QTest::newRow("F10") << int(Qt::Key_F10) << int(Qt::NoModifier) << false;
  }
  void keyboardPopsUpTheMenu() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, popsUp);
    Shown s({"x", "y", "z"}, "One", 1);
    QVERIFY(s.activated);
    QTest::keyClick(s.list(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QTest::qWait(20);
    QCOMPARE(s.menu()->isVisible(), popsUp);
    QCOMPARE(ViewSelection(s.window()), 1);
    QVERIFY(s.messages().empty());
    s.menu()->close();
  }

  // Choosing "Edit selected address" from the pop-up edits the entry selected before the
  // right press, not the one under the pointer.
  void editFromThePopUp() {
    Shown s({"x", "y", "z"}, "One", 0);
    QVERIFY(s.activated);
    QTest::mousePress(s.list()->viewport(), Qt::RightButton, {}, s.rowCentre(2));
    QMenu* menu = s.menu();
    QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 2000);
    QString loaded;
    const ModalRun run = DriveModalDialog(
        QStringLiteral("FrmEdit"),
        [&] {
          QTest::mouseClick(menu, Qt::LeftButton, {},
                            menu->actionGeometry(s.action("EditAddress")).center());
        },
        [&](QDialog& dialog) {
          auto* box = dialog.findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
          loaded = box->toPlainText();
          QTest::keyClicks(box, QStringLiteral("w"));
          QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Command1")),
                            Qt::LeftButton);
        });
    QVERIFY(run.opened);
    QCOMPARE(loaded, QStringLiteral("x"));
    QCOMPARE(StoredAddresses(s.registry), Strings({"w", "y", "z"}));
  }

  // A double click opens the Edit dialog for the entry under it; with nothing selected it does
  // nothing and says nothing.
  void doubleClick_data() {
    QTest::addColumn<Strings>("addresses");
    QTest::addColumn<QByteArray>("saveMode");
    QTest::addColumn<bool>("onRow");
    QTest::addColumn<QString>("expectedText");
    QTest::newRow("on an entry") << Strings{"x", "y", "z"} << QByteArray("One") << true << "y";
    QTest::newRow("below the entries, nothing selected")
        << Strings{"x", "y", "z"} << QByteArray("Two") << false << QString();
    QTest::newRow("empty list") << Strings{} << QByteArray("One") << false << QString();
  }
  void doubleClick() {
    QFETCH(Strings, addresses);
    QFETCH(QByteArray, saveMode);
    QFETCH(bool, onRow);
    QFETCH(QString, expectedText);
    Shown s(addresses, saveMode, -1);
    QVERIFY(s.activated);
    const QPoint at = onRow ? s.rowCentre(1) : QPoint(20, s.list()->viewport()->height() - 10);
    QString loaded;
    const ModalRun run = DriveModalDialog(
        QStringLiteral("FrmEdit"),
        [&] { QTest::mouseDClick(s.list()->viewport(), Qt::LeftButton, {}, at); },
        [&](QDialog& dialog) {
          loaded = dialog.findChild<QPlainTextEdit*>(QStringLiteral("Text1"))->toPlainText();
          QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Command2")),
                            Qt::LeftButton);
        },
        expectedText.isEmpty() ? 300 : 5000);
    QCOMPARE(run.opened, !expectedText.isEmpty());
    QCOMPARE(loaded, expectedText);
    QVERIFY(s.messages().empty());
    QCOMPARE(ListItems(s.window()), addresses);
  }
};

QTEST_MAIN(ListEditingTest)
#include "tst_list_editing.moc"
