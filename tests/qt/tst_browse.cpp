// "Go to selected address": the message without a selection, the address handed to the
// launcher, and the launcher's failure told to the user; nothing else changes.
#include <QAction>
#include <QListView>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

#include "gui_test_support.h"
#include "store/registry_memory.h"
#include "store/settings_store.h"

#ifndef Q_OS_WIN
#include <sys/stat.h>

#include "browse/browser_launcher_posix.h"
#endif

using namespace tavelin;

namespace {

void TriggerGotoAddress(Mainn& window) {
  auto* action = window.findChild<QAction*>(QStringLiteral("GotoAddress"));
  QVERIFY(action);
  action->trigger();
}

void ClickRow(Mainn& window, int row) {
  QListView* list = window.list();
  const QRect rect = list->visualRect(list->model()->index(row, 0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

// What the command must leave alone.
struct Snapshot {
  std::vector<std::string> items;
  int selection;
  std::string saveMode, windowMode;
  std::vector<std::string> stored;
  std::string storedWindowMode;

  static Snapshot Take(Mainn& window, RegistryBackend& registry) {
    return {ListItems(window),
            window.addresses().selectionIndex(),
            window.settings().SaveMode,
            window.settings().WindowMode,
            StoredAddresses(registry),
            modReg::ReadRegString(registry, kCurrentUser, kSettingsKey, kWindowModeValue)};
  }
  bool operator==(const Snapshot&) const = default;
};

}  // namespace

class BrowseTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { CloseAllWindows(); }

  void nothingSelectedShowsTheMessage() {
    MemoryRegistry registry;
    StoreAddresses(registry, {"a.example", "b.example"});
    MainWindowFixture f(registry);
    f.window->addresses().selectNone();
    QCOMPARE(ViewSelection(*f.window), -1);
    const Snapshot before = Snapshot::Take(*f.window, registry);

    TriggerGotoAddress(*f.window);

    QCOMPARE(f.interaction.messages.size(), std::size_t(1));
    QCOMPARE(f.interaction.messages[0].kind, QStringLiteral("error"));
    QCOMPARE(f.interaction.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(f.interaction.messages[0].text, QStringLiteral("No address was selected."));
    QVERIFY(f.launcher.launches.empty());
    QVERIFY(Snapshot::Take(*f.window, registry) == before);
  }

  void selectedEntryGoesToTheLauncher_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("windowMode");
    QTest::addColumn<QString>("address");
    QTest::newRow("no scheme, Max") << "Host/Page"
                                    << "Max"
                                    << "http://Host/Page";
    QTest::newRow("upper-case scheme, Min") << "HTTP://Host/"
                                            << "Min"
                                            << "HTTP://Host/";
    QTest::newRow("https, no setting") << "https://host/"
                                       << ""
                                       << "https://host/";
    QTest::newRow("spaces around") << "  host/x "
                                   << "Max"
                                   << "http://host/x";
    QTest::newRow("scheme later on") << "host/?next=http://other/"
                                     << "Max"
                                     << "http://host/?next=http://other/";
    QTest::newRow("space inside") << "my page.html"
                                  << "Min"
                                  << "http://my page.html";
    QTest::newRow("non-ASCII") << QString::fromUtf8("b\u00fccher.de/\u20ac") << "Max"
                               << QString::fromUtf8("http://b\u00fccher.de/\u20ac");
  }

  void selectedEntryGoesToTheLauncher() {
    QFETCH(QString, entry);
    QFETCH(QString, windowMode);
    QFETCH(QString, address);
    MemoryRegistry registry;
    StoreAddresses(registry, {"first.example", entry.toStdString(), "third.example"});
    if (!windowMode.isEmpty()) {
      modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, kWindowModeValue,
                             windowMode.toStdString());
    }
    MainWindowFixture f(registry);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    ClickRow(*f.window, 1);
    QCOMPARE(f.window->addresses().selectionIndex(), 1);
    const Snapshot before = Snapshot::Take(*f.window, registry);

    TriggerGotoAddress(*f.window);

    QCOMPARE(f.launcher.launches.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(f.launcher.launches[0].first), address);
    QCOMPARE(QString::fromStdString(f.launcher.launches[0].second), windowMode);
    QVERIFY(f.interaction.messages.empty());
    QVERIFY(Snapshot::Take(*f.window, registry) == before);
  }

  void failingLauncherIsToldTheUser() {
    MemoryRegistry registry;
    StoreAddresses(registry, {"a.example"});
    MainWindowFixture f(registry);
    f.launcher.outcome = {false, "No web browser was found."};
    QCOMPARE(f.window->addresses().selectionIndex(), 0);
    const Snapshot before = Snapshot::Take(*f.window, registry);

    TriggerGotoAddress(*f.window);

    QCOMPARE(f.launcher.launches.size(), std::size_t(1));
    QCOMPARE(f.interaction.messages.size(), std::size_t(1));
    QCOMPARE(f.interaction.messages[0].kind, QStringLiteral("error"));
    QCOMPARE(f.interaction.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(f.interaction.messages[0].text, QStringLiteral("No web browser was found."));
    QVERIFY(Snapshot::Take(*f.window, registry) == before);
  }

#ifndef Q_OS_WIN
  // The whole way down to a started program: a fake browser records what it was given.
  void systemLauncherStartsTheBrowserWithTheAddress() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string record = dir.filePath(QStringLiteral("record")).toStdString();
    const std::string browser = dir.filePath(QStringLiteral("browser")).toStdString();
    std::ofstream(browser) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > '"
                           << record << ".part' && mv '" << record << ".part' '" << record << "'\n";
    ::chmod(browser.c_str(), 0755);

    MemoryRegistry registry;
    StoreAddresses(registry, {" it's \"a\" $(page) ; x "});
    RecordingInteraction interaction;
    PosixBrowserLauncher launcher(BrowserEnvironment{browser, dir.path().toStdString()});
    Mainn window(registry, interaction, launcher);
    window.Form_Load();

    TriggerGotoAddress(window);

    QVERIFY(interaction.messages.empty());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QString::fromStdString(record)), 5000);
    std::ifstream in(record, std::ios::binary);
    std::vector<std::string> arguments;
    for (std::string argument; std::getline(in, argument, '\0');) arguments.push_back(argument);
    QCOMPARE(arguments, std::vector<std::string>{"http://it's \"a\" $(page) ; x"});
  }
#endif
};

QTEST_MAIN(BrowseTest)
#include "tst_browse.moc"
