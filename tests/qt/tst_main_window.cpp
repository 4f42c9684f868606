// The main window: its layout, start-up, reload, exit and the store-failure messages.
#include <QAction>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "gui_test_support.h"
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "store/registry_file.h"
#include "store/registry_memory.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"

using namespace tavelin;

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { CloseAllWindows(); }

  void layoutMatchesTheDesign() {
    MemoryRegistry registry;
    MainWindowFixture f(registry);
    Mainn& w = *f.window;
    QCOMPARE(w.windowTitle(), QStringLiteral("Tavelin v2.2 - ByQuorin"));
    QCOMPARE(w.centralWidget()->size(), QSize(531, 259));
    QVERIFY(w.minimumSize() == w.maximumSize());
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    struct Expected {
      const char* name;
      QRect geometry;
    } expected[] = {{"List1", QRect(0, 0, 529, 229)},
                    {"Command1", QRect(8, 232, 153, 25)},
                    {"Command2", QRect(280, 232, 25, 25)},
                    {"Command3", QRect(248, 232, 25, 25)}};
    for (const auto& e : expected) {
      auto* widget = w.findChild<QWidget*>(QLatin1String(e.name));
      QVERIFY2(widget, e.name);
      QCOMPARE(widget->geometry(), e.geometry);
      QCOMPARE(widget->font().family(), QStringLiteral("Arial"));
      QVERIFY(widget->font().bold());
      QCOMPARE(widget->font().pointSizeF(), 9.0);
      QVERIFY(widget->toolTip().isEmpty());
    }
    auto* save = w.findChild<QPushButton*>(QStringLiteral("Command1"));
    QCOMPARE(save->text(), QStringLiteral("Save all changes"));
    for (const char* name : {"Command1", "Command2", "Command3"}) {
      auto* button = w.findChild<QPushButton*>(QLatin1String(name));
      QVERIFY(!button->isDefault() && !button->autoDefault());
    }
    for (const char* name : {"Command2", "Command3"}) {
      auto* button = w.findChild<QPushButton*>(QLatin1String(name));
      QVERIFY(button->text().isEmpty());
      QVERIFY(!button->icon().isNull());
      QVERIFY(!button->accessibleName().isEmpty());
    }
    // Tab order: list (focused at first), save, up, down.
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), w.list());
    for (const char* name : {"Command1", "Command2", "Command3"}) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(name));
    }
  }

  void menusHoldEveryItem() {
    MemoryRegistry registry;
    MainWindowFixture f(registry);
    const QList<QAction*> menus = f.window->menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus[0]->text(), QStringLiteral("File"));
    QCOMPARE(menus[1]->text(), QStringLiteral("Options"));
    auto names = [](QMenu* menu) {
      QStringList out;
      for (QAction* a : menu->actions())
        out << a->objectName() + QLatin1Char('=') + (a->isSeparator() ? QStringLiteral("-") : a->text()) +
                   QLatin1Char('=') + a->shortcut().toString();
      return out;
    };
    QCOMPARE(names(menus[0]->menu()),
             QStringList({"FileReload=Reload URLs=F5", "FileSave=Save list as=Ctrl+S",
                          "FileOpen=Open list=Ctrl+O", "sepp=-=", "FileAbout=About=",
                          "seppp=-=", "FileExit=Exit="}));
    QCOMPARE(names(menus[1]->menu()),
             QStringList({"GotoAddress=Go to selected address=", "seppppp=-=",
                          "AddAddress=Add new address=", "EditAddress=Edit selected address=",
                          "sep=-=", "DeleteURL=Delete selected address=",
                          "DeleteAll=Delete all addresses=", "Se=-=", "Settings=Settings="}));
    for (QAction* menu : menus) {
      for (QAction* a : menu->menu()->actions()) {
        QVERIFY(a->isEnabled() && a->isVisible() && !a->isCheckable());
        QVERIFY(!a->text().contains(QLatin1Char('&')));
      }
    }
  }

  void startUpCompactsTheStore() {
    MemoryRegistry registry;
    {
      Transaction t(registry);
      modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url1", "a.example");
      modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url3", "b.example");
      modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url5", "   ");
      modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url7", " c.example ");
    }
    MainWindowFixture f(registry);
    QCOMPARE(ViewItems(*f.window), QStringList({"a.example", "b.example", " c.example "}));
    QCOMPARE(ViewSelection(*f.window), 0);
    QCOMPARE(StoredAddresses(registry),
             std::vector<std::string>({"a.example", "b.example", " c.example "}));
    QVERIFY(!registry.queryValue(kCurrentUser, kTypedUrlsKey, "url7"));
    QVERIFY(f.interaction.messages.empty());
  }

  void firstStartWithoutAnyKey() {
    MemoryRegistry registry;
    MainWindowFixture f(registry);
    QCOMPARE(ViewItems(*f.window).size(), 0);
    QCOMPARE(ViewSelection(*f.window), -1);
    QVERIFY(registry.keyExists(kCurrentUser, kTypedUrlsKey));
    QVERIFY(!registry.keyExists(kCurrentUser, kSettingsKey));
    QCOMPARE(f.window->settings().SaveMode, std::string());
    QCOMPARE(f.window->settings().WindowMode, std::string());
  }

  void reloadBringsBackTheStoredOrderInManualMode() {
    MemoryRegistry registry;
    StoreAddresses(registry, {"x", "y", "z"});
    modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, "SaveOptions", "Two");
    MainWindowFixture f(registry);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    f.window->addresses().select(1);
    QTest::mouseClick(f.window->findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
    QCOMPARE(ViewItems(*f.window), QStringList({"y", "x", "z"}));
    QCOMPARE(StoredAddresses(registry), std::vector<std::string>({"x", "y", "z"}));
    QTest::keyClick(f.window.get(), Qt::Key_F5);
    QCOMPARE(ViewItems(*f.window), QStringList({"x", "y", "z"}));
    QCOMPARE(ViewSelection(*f.window), 0);
  }

  void shortcutsReachTheirCommandsWithoutAMenu() {
    MemoryRegistry registry;
    MainWindowFixture f(registry);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    for (const char* name : {"FileReload", "FileSave", "FileOpen"}) {
      auto* action = f.window->findChild<QAction*>(QLatin1String(name));
      QSignalSpy spy(action, &QAction::triggered);
      QTest::keySequence(f.window.get(), action->shortcut());
      QCOMPARE(spy.count(), 1);
    }
  }

  void exitClosesWithoutAsking() {
    MemoryRegistry registry;
    StoreAddresses(registry, {"x", "y"});
    modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, "SaveOptions", "Two");
    MainWindowFixture f(registry);
    f.window->show();
    f.window->findChild<QAction*>(QStringLiteral("DeleteAll"))->trigger();
    f.window->findChild<QAction*>(QStringLiteral("FileExit"))->trigger();
    QVERIFY(!f.window->isVisible());
    QVERIFY(f.interaction.messages.empty());
    QCOMPARE(StoredAddresses(registry), std::vector<std::string>({"x", "y"}));
  }

  void failedWritesAreToldOnceUntilOneSucceeds() {
    MemoryRegistry registry;
    StoreAddresses(registry, {"x", "y", "z"});
    MainWindowFixture f(registry);
    f.window->addresses().select(1);
    registry.setFailWrites(true);
    f.window->Command2_Click();
    f.window->Command3_Click();
    QCOMPARE(f.interaction.messages.size(), size_t(1));
    QCOMPARE(f.interaction.messages[0].title, QStringLiteral("Error"));
    registry.setFailWrites(false);
    f.window->Command2_Click();
    QCOMPARE(f.interaction.messages.size(), size_t(1));
    registry.setFailWrites(true);
    f.window->Command3_Click();
    QCOMPARE(f.interaction.messages.size(), size_t(2));
  }
  void anUnreadableStoreIsToldAndNotWrittenUntilAReloadReadsIt() {
    QTemporaryDir dir;
    const std::string hive = dir.filePath(QStringLiteral("hive.reg")).toStdString();
    const std::string header = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet "
                               "Explorer\\TypedURLs]\r\n";
    const std::string damaged = header + "\"url1\"=\"kept.example\r\n\"url2\"=dword:zz\r\n";
    auto write = [&](const std::string& text) {
      std::ofstream out(hive, std::ios::binary | std::ios::trunc);
      out << text;
    };
    auto read = [&] {
      std::ifstream in(hive, std::ios::binary);
      std::ostringstream out;
      out << in.rdbuf();
      return out.str();
    };
    write(damaged);
    HiveFileRegistry registry(hive);
    MainWindowFixture f(registry);
    f.window->showStoreNotices();
    QCOMPARE(f.interaction.messages.size(), size_t(1));
    QCOMPARE(f.interaction.messages[0].title, QStringLiteral("Error"));
    QVERIFY2(f.interaction.messages[0].text.contains(QStringLiteral("hive.reg")),
             qPrintable(f.interaction.messages[0].text));
    QCOMPARE(ViewItems(*f.window).size(), 0);
    // Commands change the list but nothing reaches the file.
    f.window->findChild<QAction*>(QStringLiteral("DeleteAll"))->trigger();
    f.window->Command1_Click();
    QCOMPARE(read(), damaged);
    QCOMPARE(f.interaction.messages.size(), size_t(1));
    // Repaired, the next reload reads it and writes work again.
    write(header + "\"url1\"=\"kept.example\"\r\n\"url3\"=\"two.example\"\r\n");
    f.window->FileReload_Click();
    QCOMPARE(ViewItems(*f.window), QStringList({"kept.example", "two.example"}));
    QCOMPARE(StoredAddresses(registry), std::vector<std::string>({"kept.example", "two.example"}));
    QCOMPARE(f.interaction.messages.size(), size_t(1));
  }
};

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
