// The main window: its menus as the table has them, every menu item and every shortcut
// reaching its handler, start-up as the user sees it, and where the window stands.
#include <QAction>
#include <QDialog>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>
#include <map>

#include "modal_driver.h"
#include "qt/form_widgets.h"
#include "qt/input.h"
#include "qt_test_support.h"

using namespace tavelin;
using tavelin::qt::ToQString;

namespace {

const Strings kXyz{"x", "y", "z"};

// How to see that an item's handler ran: the program it starts from, and what to check once
// `invoke` (the menu item, or its shortcut) has run.
struct ItemCheck {
  const char* saveMode = nullptr;
  std::function<void(Program&, const std::function<void()>& invoke)> run;
};

// A modal dialog of that name opens; it is closed again by its close box.
ItemCheck OpensDialog(const char* name) {
  return {nullptr, [name](Program&, const std::function<void()>& invoke) {
            const ModalRun run = DriveModalDialog(QLatin1String(name), invoke, [](QDialog&) {});
            QVERIFY2(run.opened, name);
          }};
}

// The chosen file becomes the window's store: its list shows, and the title names it.
ItemCheck OpensStoreFile(bool readOnly) {
  return {nullptr, [readOnly](Program& p, const std::function<void()>& invoke) {
            QTemporaryDir dir;
            const QString file = dir.filePath(QStringLiteral("bob.reg"));
            StoreAddresses(*p.storeFiles.open(file.toStdString(), false), {"bob.example"});
            p.screen.files.push_back(file.toStdString());
            invoke();
            QCOMPARE(p.screen.events, Strings{"open:Open hive"});
            QCOMPARE(p.viewItems(), QStringList{"bob.example"});
            QCOMPARE(p.window->windowTitle(),
                     ToQString(Mainn::Layout().caption) + " - " + file +
                         (readOnly ? QStringLiteral(" (read-only)") : QString()));
          }};
}

const std::map<std::string, ItemCheck, std::less<>>& ItemChecks() {
  static const std::map<std::string, ItemCheck, std::less<>> checks{
      {"FileReload",
       {"Two",
        [](Program& p, const std::function<void()>& invoke) {
          p.core.List1_Click(1);
          p.core.Command2_Click();
          QCOMPARE(p.items(), (Strings{"y", "x", "z"}));
          invoke();
          QCOMPARE(p.items(), kXyz);
          QCOMPARE(p.viewItems(), ToQt(kXyz));
          QCOMPARE(p.viewSelection(), 0);
        }}},
      {"FileSave",
       {nullptr,
        [](Program& p, const std::function<void()>& invoke) {
          invoke();
          QCOMPARE(p.screen.events, Strings{"save:Save addresses to..."});
        }}},
      {"FileOpen",
       {nullptr,
        [](Program& p, const std::function<void()>& invoke) {
          invoke();
          QCOMPARE(p.screen.events, Strings{"open:Open addresses from..."});
        }}},
      {"FileOpenHive", OpensStoreFile(false)},
      {"FileOpenHiveReadOnly", OpensStoreFile(true)},
      {"FileAbout", OpensDialog("FrmAbout")},
      {"FileExit",
       {"Two",
        [](Program& p, const std::function<void()>& invoke) {
          p.core.DeleteAll_Click();
          invoke();
          QTRY_VERIFY_WITH_TIMEOUT(!p.window->isVisible(), 2000);
          QVERIFY(p.screen.events.empty());  // nothing asked
          QCOMPARE(p.stored(), kXyz);
        }}},
      {"GotoAddress",
       {nullptr,
        [](Program& p, const std::function<void()>& invoke) {
          p.core.List1_Click(2);
          invoke();
          QCOMPARE(p.launcher.launches.size(), std::size_t{1});
          QCOMPARE(p.launcher.launches[0].first, std::string("http://z"));
        }}},
      {"AddAddress", OpensDialog("FrmAdd")},
      {"EditAddress", OpensDialog("FrmEdit")},
      {"DeleteURL",
       {nullptr,
        [](Program& p, const std::function<void()>& invoke) {
          p.core.List1_Click(1);
          invoke();
          QCOMPARE(p.viewItems(), QStringList({"x", "z"}));
        }}},
      {"DeleteAll",
       {nullptr,
        [](Program& p, const std::function<void()>& invoke) {
          invoke();
          QCOMPARE(p.viewItems(), QStringList());
        }}},
      {"Undo",
       {nullptr,
        [](Program& p, const std::function<void()>& invoke) {
          p.core.DeleteAll_Click();
          invoke();
          QCOMPARE(p.viewItems(), ToQt(kXyz));
        }}},
      {"Redo",
       {nullptr,
        [](Program& p, const std::function<void()>& invoke) {
          p.core.DeleteAll_Click();
          p.core.Undo_Click();
          invoke();
          QCOMPARE(p.viewItems(), QStringList());
        }}},
      {"Settings", OpensDialog("FrmSettings")},
  };
  return checks;
}

QStringList ShortcutTexts(const QAction* action) {
  QStringList out;
  for (const QKeySequence& sequence : action->shortcuts()) out << sequence.toString();
  return out;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() {
    CloseAllWindows();
    QVERIFY2(OpenWindows().isEmpty(), qPrintable(OpenWindows().join(QLatin1Char(' '))));
  }

  // Names, captions, shortcuts, separators and order, as the table has them; every item
  // enabled, unchecked, with no access key.
  void menusMatchTheTable() {
    Program p;
    const QList<QAction*> bar = p.window->menuBar()->actions();
    const auto menus = Mainn::Menus();
    QCOMPARE(bar.size(), qsizetype(menus.size()));
    for (std::size_t m = 0; m < menus.size(); ++m) {
      QMenu* menu = bar[qsizetype(m)]->menu();
      QVERIFY(menu);
      QCOMPARE(menu->objectName(), ToQString(menus[m].name));
      QCOMPARE(bar[qsizetype(m)]->text(), ToQString(menus[m].caption));
      const QList<QAction*> actions = menu->actions();
      QCOMPARE(actions.size(), qsizetype(menus[m].items.size()));
      for (std::size_t i = 0; i < menus[m].items.size(); ++i) {
        const MenuItemLayout& item = menus[m].items[i];
        const QAction* action = actions[qsizetype(i)];
        QCOMPARE(action->objectName(), ToQString(item.name));
        QCOMPARE(action->isSeparator(), item.separator());
        if (item.separator()) continue;
        QCOMPARE(action->text(), ToQString(item.caption));
        QCOMPARE(action->shortcut().toString(), ToQString(item.shortcut.text));
        QStringList all;
        for (const Shortcut& s : {item.shortcut, item.alsoShortcut}) {
          if (s.key != 0) all << ToQString(s.text);
        }
        QCOMPARE(ShortcutTexts(action), all);
        QVERIFY(action->isEnabled() && action->isVisible() && !action->isCheckable());
        QVERIFY(!action->text().contains(QLatin1Char('&')));
      }
    }
  }

  // Every item of every menu, chosen, runs its handler.
  void everyMenuItemReachesItsHandler_data() {
    QTest::addColumn<QString>("item");
    for (const MenuLayout& menu : Mainn::Menus()) {
      for (const MenuItemLayout& item : menu.items) {
        if (!item.separator()) QTest::newRow(item.name.data()) << ToQString(item.name);
      }
    }
  }
  void everyMenuItemReachesItsHandler() {
    QFETCH(QString, item);
    const auto check = ItemChecks().find(item.toStdString());
    QVERIFY2(check != ItemChecks().end(), "an item without a check here");
    Program p(kXyz, check->second.saveMode);
    QVERIFY(p.show());
    QAction* action = p.action(item.toLatin1().constData());
    QVERIFY(action);
    check->second.run(p, [action] { action->trigger(); });
  }

  // Every key combination of an item, pressed in the list, runs the item without a menu.
  void everyShortcutReachesItsHandler_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QKeySequence>("keys");
    for (const MenuLayout& menu : Mainn::Menus()) {
      for (const MenuItemLayout& item : menu.items) {
        for (const Shortcut& s : {item.shortcut, item.alsoShortcut}) {
          if (s.key == 0) continue;
          QTest::addRow("%s %s", item.name.data(), s.text.data())
              << ToQString(item.name) << qt::KeySequence(s);
        }
      }
    }
  }
  void everyShortcutReachesItsHandler() {
    QFETCH(QString, item);
    QFETCH(QKeySequence, keys);
    const auto check = ItemChecks().find(item.toStdString());
    QVERIFY(check != ItemChecks().end());
    Program p(kXyz, check->second.saveMode);
    QVERIFY(p.show());
    QCOMPARE(QApplication::focusWidget(), p.list());
    check->second.run(p, [&] { QTest::keySequence(p.list(), keys); });
  }

  // At start-up the list shows the stored addresses with the first selected, the list has the
  // focus, and the window stands in the middle of the screen.
  void startUpAsTheUserSeesIt() {
    Program p({"a", "b"});
    QVERIFY(p.show());
    QCOMPARE(p.viewItems(), QStringList({"a", "b"}));
    QCOMPARE(p.viewSelection(), 0);
    QCOMPARE(QApplication::focusWidget(), p.list());
    const QPoint off =
        p.window->frameGeometry().center() - p.window->screen()->availableGeometry().center();
    QVERIFY2(off.manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
    QVERIFY(p.screen.events.empty());
  }

  // What start-up could not do is told once the window is on the screen, over it.
  void startUpMessagesAppearOverTheShownWindow() {
    Program p({"a"});
    p.registry.setFailReads(true);
    p.core.Form_Load();
    QVERIFY(p.screen.events.empty());
    bool windowShown = false;
    p.screen.onMessage = [&] { windowShown = p.window->isVisible(); };
    QVERIFY(p.show());
    QCOMPARE(p.screen.messages.size(), std::size_t{1});
    QCOMPARE(p.screen.messages[0].title, std::string("Error"));
    QVERIFY(windowShown);
  }
};

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
