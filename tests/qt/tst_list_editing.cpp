// Editing the list from the main window: the buttons, the Options menu's delete commands, the
// keys on the list, the right-button pop-up menu and the double click.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "modal_driver.h"
#include "qt_test_support.h"

using namespace tavelin;

Q_DECLARE_METATYPE(Strings)

namespace {

const QString kNoSelection = QStringLiteral("No address was selected.");

// The program on a store holding `addresses`, in the given save mode, shown and active, with
// `selection` selected.
struct Shown : Program {
  Shown(const Strings& addresses, const QByteArray& saveMode, int selection)
      : Program(addresses, saveMode.isNull() ? nullptr : saveMode.constData()) {
    activated = show();
    if (selection < 0) {
      core.List1().selectNone();
    } else {
      core.List1_Click(selection);
    }
  }
  bool activated = false;
};

}  // namespace

class ListEditingTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() {
    CloseAllWindows();
    QVERIFY2(OpenWindows().isEmpty(), qPrintable(OpenWindows().join(QLatin1Char(' '))));
  }

  // The three buttons, as a user clicks them or presses them with Enter or Space while they
  // have the focus; the view follows the list.
  void buttons_data() {
    QTest::addColumn<QByteArray>("saveMode");
    QTest::addColumn<int>("selection");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("how");
    QTest::addColumn<Strings>("expectedList");
    QTest::addColumn<int>("expectedSelection");
    QTest::addColumn<Strings>("expectedStore");
    const Strings xyz{"x", "y", "z"};
    const struct {
      const char* name;
      const char* saveMode;
      int selection;
      const char* button;
      Strings list;
      int selectionAfter;
      Strings store;
    } rows[] = {
        {"up, automatic", "One", 1, "Command2", {"y", "x", "z"}, 0, {"y", "x", "z"}},
        {"up, manual", "Two", 1, "Command2", {"y", "x", "z"}, 0, xyz},
        {"down, automatic", "One", 1, "Command3", {"x", "z", "y"}, 2, {"x", "z", "y"}},
        {"down at the end", "One", 2, "Command3", xyz, 2, xyz},
        {"save, manual, from the middle", "Two", 2, "Command1", xyz, 0, xyz},
    };
    for (const auto& row : rows) {
      for (const char* how : {"click", "Enter", "keypad Enter", "Space"}) {
        QTest::addRow("%s, %s", row.name, how)
            << QByteArray(row.saveMode) << row.selection << row.button << how << row.list
            << row.selectionAfter << row.store;
      }
    }
  }
  void buttons() {
    QFETCH(QByteArray, saveMode);
    QFETCH(int, selection);
    QFETCH(QString, button);
    QFETCH(QString, how);
    QFETCH(Strings, expectedList);
    QFETCH(int, expectedSelection);
    QFETCH(Strings, expectedStore);
    Shown s({"x", "y", "z"}, saveMode, selection);
    QVERIFY(s.activated);
    auto* pressed = s.window->findChild<QPushButton*>(button);
    if (how == "click") {
      QTest::mouseClick(pressed, Qt::LeftButton);
    } else {
      pressed->setFocus(Qt::TabFocusReason);
      QCOMPARE(QApplication::focusWidget(), pressed);
      if (how == "Enter") QTest::keyClick(pressed, Qt::Key_Return);
      if (how == "keypad Enter") QTest::keyClick(pressed, Qt::Key_Enter, Qt::KeypadModifier);
      if (how == "Space") QTest::keyClick(pressed, Qt::Key_Space);
    }
    QCOMPARE(s.viewItems(), ToQt(expectedList));
    QCOMPARE(s.viewSelection(), expectedSelection);
    QCOMPARE(s.selection(), expectedSelection);
    QCOMPARE(s.stored(), expectedStore);
    QVERIFY(s.screen.messages.empty());
  }

  // The window has no default or cancel button: Enter with the focus in the list, and Esc
  // anywhere, press nothing. A manual-mode deletion waits to be saved, so that a press of
  // "Save all changes" would show in the store.
  void enterElsewhereAndEscPressNothing() {
    Shown s({"x", "y", "z"}, "Two", 1);
    QVERIFY(s.activated);
    QTest::keyClick(s.list(), Qt::Key_Delete);
    s.core.List1_Click(1);
    const Strings pending{"x", "z"};
    QCOMPARE(s.items(), pending);
    QTest::keyClick(s.list(), Qt::Key_Return);
    QTest::keyClick(s.list(), Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(s.list(), Qt::Key_Escape);
    for (const char* name : {"Command1", "Command2", "Command3"}) {
      QPushButton* button = s.button(name);
      button->setFocus(Qt::TabFocusReason);
      QTest::keyClick(button, Qt::Key_Escape);
    }
    QCOMPARE(s.items(), pending);
    QCOMPARE(s.selection(), 1);
    QCOMPARE(s.stored(), Strings({"x", "y", "z"}));
    QVERIFY(s.screen.messages.empty());
  }

  // Typing in the list selects the entry the core chooses: one character moves on to the
  // next entry that begins with it, characters typed quickly search for their prefix from
  // the entry selected by the first, and letter case does not count.
  void typeAhead_data() {
    QTest::addColumn<int>("selection");
    QTest::addColumn<QStringList>("typed");  // typed quickly within a group, slowly between
    QTest::addColumn<int>("expected");
    QTest::newRow("one letter moves on") << 1 << QStringList{"b"} << 2;
    QTest::newRow("wrapping round") << 4 << QStringList{"h"} << 0;
    QTest::newRow("a prefix typed quickly") << 1 << QStringList{"be"} << 4;
    QTest::newRow("capitals") << 0 << QStringList{"BR"} << 2;
    QTest::newRow("the same letter typed quickly") << 0 << QStringList{"bb"} << 1;
    QTest::newRow("the same letter typed slowly") << 0 << QStringList{"b", "b"} << 2;
    QTest::newRow("no entry begins with it") << 1 << QStringList{"x"} << 1;
  }
  void typeAhead() {
    QFETCH(int, selection);
    QFETCH(QStringList, typed);
    QFETCH(int, expected);
    const Strings entries{"http://a.example/", "Beta", "bravo", "alpha", "beach"};
    Shown s(entries, "One", selection);
    QVERIFY(s.activated);
    for (const QString& group : typed) {
      QTest::qWait(QApplication::keyboardInputInterval() + 100);
      QTest::keyClicks(s.list(), group);
    }
    QCOMPARE(s.selection(), expected);
    QCOMPARE(s.viewSelection(), expected);
    QVERIFY(s.screen.messages.empty());
  }

  // Nothing the user does leaves the list without a selection: Ctrl+click or Ctrl+Space on the
  // selected entry keep it selected, in the view as in the core.
  void theSelectionStays_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Ctrl+click") << "Ctrl+click";
    QTest::newRow("Ctrl+Space") << "Ctrl+Space";
    QTest::newRow("Space") << "Space";
  }
  void theSelectionStays() {
    QFETCH(QString, how);
    Shown s({"x", "y", "z"}, "One", 1);
    QVERIFY(s.activated);
    if (how == "Ctrl+click") {
      QTest::mouseClick(s.list()->viewport(), Qt::LeftButton, Qt::ControlModifier, s.rowCentre(1));
    } else {
      const Qt::KeyboardModifiers modifiers =
          how == "Ctrl+Space" ? Qt::ControlModifier : Qt::NoModifier;
      QTest::keyClick(s.list(), Qt::Key_Space, modifiers);
    }
    QCOMPARE(s.selection(), 1);
    QCOMPARE(s.viewSelection(), 1);
    QCOMPARE(s.list()->selectionModel()->selectedIndexes().size(), 1);
    QVERIFY(s.screen.messages.empty());
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
    QCOMPARE(s.viewItems(), QStringList({"x", "z"}));
    QCOMPARE(s.viewSelection(), expectedSelection);
    QCOMPARE(s.selection(), expectedSelection);
    QCOMPARE(s.stored(), expectedStore);
    QVERIFY(s.screen.messages.empty());
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
    QCOMPARE(s.viewItems(), ToQt(before));
    QCOMPARE(s.viewSelection(), expectedSelection);
    QCOMPARE(s.selection(), expectedSelection);
    QCOMPARE(s.stored(), before);
    QCOMPARE(s.screen.messages.size(), std::size_t(message.isEmpty() ? 0 : 1));
    if (!message.isEmpty()) {
      QCOMPARE(s.screen.messages[0].title, std::string("Error"));
      QCOMPARE(QString::fromStdString(s.screen.messages[0].text), message);
    }
  }

  // After a deletion in manual mode nothing is selected, and the arrow keys still work.
  void arrowsAfterAManualDeletion() {
    Shown s({"w", "x", "y", "z"}, "Two", 1);
    QVERIFY(s.activated);
    QTest::keyClick(s.list(), Qt::Key_Delete);
    QCOMPARE(s.viewSelection(), -1);
    QVERIFY(s.list()->selectionModel()->selectedIndexes().isEmpty());
    QTest::keyClick(s.list(), Qt::Key_Down);
    QVERIFY(s.viewSelection() != -1);
    QCOMPARE(s.selection(), s.viewSelection());
    QVERIFY(s.screen.messages.empty());
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
    // The pointer is where the button goes down.
    QTest::mouseMove(s.list()->viewport(), at);
    QTest::mousePress(s.list()->viewport(), Qt::RightButton, {}, at);
    QMenu* menu = s.optionsMenu();
    QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 2000);
    QCOMPARE(menu->geometry().topLeft(), s.list()->viewport()->mapToGlobal(at));
    QCOMPARE(s.viewSelection(), 0);
    QCOMPARE(s.selection(), 0);
    QCOMPARE(menu->activeAction(), nullptr);
    QAction* item = s.action(chosen.toLatin1().constData());
    QVERIFY(menu->actions().contains(item));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    QTRY_VERIFY_WITH_TIMEOUT(!menu->isVisible(), 2000);
    QCOMPARE(s.items(), expectedList);
    QCOMPARE(s.stored(), expectedList);
  }

  // The Options menu's items answer the left button only, as a pop-up and in the menu bar.
  void otherButtonsDoNotChooseMenuItems_data() {
    QTest::addColumn<bool>("fromMenuBar");
    QTest::addColumn<int>("button");
    QTest::newRow("pop-up, right") << false << int(Qt::RightButton);
    QTest::newRow("pop-up, middle") << false << int(Qt::MiddleButton);
    QTest::newRow("menu bar, right") << true << int(Qt::RightButton);
    QTest::newRow("menu bar, middle") << true << int(Qt::MiddleButton);
  }
  void otherButtonsDoNotChooseMenuItems() {
    QFETCH(bool, fromMenuBar);
    QFETCH(int, button);
    Shown s({"x", "y", "z"}, "One", 0);
    QVERIFY(s.activated);
    QMenu* menu = s.optionsMenu();
    if (fromMenuBar) {
      QMenuBar* bar = s.window->menuBar();
      QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    } else {
      QTest::mousePress(s.list()->viewport(), Qt::RightButton, {}, s.rowCentre(1));
    }
    QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 2000);
    const QPoint onItem = menu->actionGeometry(s.action("DeleteAll")).center();
    if (!fromMenuBar) QTest::mouseRelease(menu, Qt::RightButton, {}, onItem);
    QTest::mouseClick(menu, Qt::MouseButton(button), {}, onItem);
    QTest::mouseDClick(menu, Qt::MouseButton(button), {}, onItem);
    QCoreApplication::processEvents();
    QCOMPARE(s.items(), Strings({"x", "y", "z"}));
    QVERIFY(menu->isVisible());
    // The left button does choose the item.
    QTest::mouseClick(menu, Qt::LeftButton, {}, onItem);
    QTRY_VERIFY_WITH_TIMEOUT(!menu->isVisible(), 2000);
    QCOMPARE(s.items(), Strings());
  }

  // Only the right button pops the menu up, and that press (or a quick second one) is the
  // menu's alone: the selection stays. Other presses still work the list.
  void whichPressesPopUpTheMenu_data() {
    QTest::addColumn<bool>("emptyList");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<bool>("popsUp");
    QTest::addColumn<int>("selectionAfter");
    QTest::newRow("right") << false << int(Qt::RightButton) << false << true << 0;
    QTest::newRow("right double-click") << false << int(Qt::RightButton) << true << true << 0;
    QTest::newRow("right, empty list") << true << int(Qt::RightButton) << false << true << -1;
    QTest::newRow("left") << false << int(Qt::LeftButton) << false << false << 2;
    QTest::newRow("middle") << false << int(Qt::MiddleButton) << false << false << 2;
  }
  void whichPressesPopUpTheMenu() {
    QFETCH(bool, emptyList);
    QFETCH(int, button);
    QFETCH(bool, doubleClick);
    QFETCH(bool, popsUp);
    QFETCH(int, selectionAfter);
    Shown s(emptyList ? Strings{} : Strings{"x", "y", "z"}, "One", emptyList ? -1 : 0);
    QVERIFY(s.activated);
    QWidget* viewport = s.list()->viewport();
    const QPoint at = emptyList ? QPoint(20, 30) : s.rowCentre(2);
    const auto mouseButton = Qt::MouseButton(button);
    if (doubleClick) {
      QMouseEvent second(QEvent::MouseButtonDblClick, at, viewport->mapToGlobal(at), mouseButton,
                         mouseButton, Qt::NoModifier);
      QApplication::sendEvent(viewport, &second);
    } else {
      QTest::mousePress(viewport, mouseButton, {}, at);
    }
    if (!popsUp) QTest::mouseRelease(viewport, mouseButton, {}, at);
    QCoreApplication::processEvents();
    QCOMPARE(s.optionsMenu()->isVisible(), popsUp);
    QCOMPARE(s.selection(), selectionAfter);
    QCOMPARE(s.viewSelection(), selectionAfter);
    QVERIFY(s.screen.messages.empty());
    s.optionsMenu()->close();
  }

  // The Menu key and Shift+F10 pop the menu up too, at the selected row (at the list's corner
  // without one), without touching the selection.
  void keyboardPopsUpTheMenu_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("selection");
    QTest::addColumn<bool>("popsUp");
    QTest::newRow("Menu") << int(Qt::Key_Menu) << int(Qt::NoModifier) << 1 << true;
    QTest::newRow("Menu, nothing selected")
        << int(Qt::Key_Menu) << int(Qt::NoModifier) << -1 << true;
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier) << 1 << true;
    QTest::newRow("F10") << int(Qt::Key_F10) << int(Qt::NoModifier) << 1 << false;
  }
  void keyboardPopsUpTheMenu() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, selection);
    QFETCH(bool, popsUp);
    Shown s({"x", "y", "z"}, "One", selection);
    QVERIFY(s.activated);
    QTest::keyClick(s.list(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCoreApplication::processEvents();
    QMenu* menu = s.optionsMenu();
    QCOMPARE(menu->isVisible(), popsUp);
    if (popsUp) {
      const QPoint corner =
          selection < 0 ? QPoint(0, 0)
                        : s.list()->visualRect(s.list()->model()->index(selection, 0)).bottomLeft();
      QCOMPARE(menu->geometry().topLeft(), s.list()->viewport()->mapToGlobal(corner));
      QCOMPARE(menu->activeAction(), nullptr);
    }
    QCOMPARE(s.viewSelection(), selection);
    QCOMPARE(s.selection(), selection);
    QVERIFY(s.screen.messages.empty());
    menu->close();
  }

  // Choosing "Edit selected address" from the pop-up edits the entry selected before the
  // right press, not the one under the pointer.
  void editFromThePopUp() {
    Shown s({"x", "y", "z"}, "One", 0);
    QVERIFY(s.activated);
    QTest::mousePress(s.list()->viewport(), Qt::RightButton, {}, s.rowCentre(2));
    QMenu* menu = s.optionsMenu();
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
    QCOMPARE(s.stored(), Strings({"w", "y", "z"}));
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
    QVERIFY(s.screen.messages.empty());
    QCOMPARE(s.items(), addresses);
  }
  // Each line break of an entry shows as one mark, and every row keeps the same height.
  void lineBreaksShowAsMarksInRowsOfOneHeight() {
    Shown s({"a\r\nb", "plain", "c\nd\re"}, "One", 0);
    QVERIFY(s.activated);
    QCOMPARE(s.viewItems(), QStringList({QStringLiteral("a\u00b6b"), QStringLiteral("plain"),
                                         QStringLiteral("c\u00b6d\u00b6e")}));
    QVERIFY(s.list()->uniformItemSizes());
    const QAbstractItemModel* model = s.list()->model();
    const int height = s.list()->visualRect(model->index(1, 0)).height();
    for (int row : {0, 2}) QCOMPARE(s.list()->visualRect(model->index(row, 0)).height(), height);
    QCOMPARE(s.items()[0], std::string("a\r\nb"));
  }

  // A click selects in the core (the view still does its own work with the left button); the
  // core's selection shows in the view; neither echoes back.
  void selectionGoesBothWays() {
    Shown s({"x", "y", "z"}, "One", 0);
    QVERIFY(s.activated);
    QTest::mouseClick(s.list()->viewport(), Qt::LeftButton, {}, s.rowCentre(2));
    QCOMPARE(s.selection(), 2);
    QCOMPARE(s.viewSelection(), 2);
    QTest::keyClick(s.list(), Qt::Key_Up);
    QCOMPARE(s.selection(), 1);
    s.core.List1_Click(0);
    QCOMPARE(s.viewSelection(), 0);
    s.core.List1().selectNone();
    QCOMPARE(s.viewSelection(), -1);
    QVERIFY(s.list()->selectionModel()->selectedIndexes().isEmpty());
    QCOMPARE(s.selection(), -1);
    QVERIFY(s.screen.events.empty());
  }
};

QTEST_MAIN(ListEditingTest)
#include "tst_list_editing.moc"
