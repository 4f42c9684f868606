// "Go to selected address" from the window: the row the user clicked reaches the browser, in
// the window mode of the settings, and once the whole way to a started program.
#include <QAction>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "qt_test_support.h"
#include "store/settings_store.h"

#ifndef Q_OS_WIN
#include <sys/stat.h>

#include "browse/browser_launcher_posix.h"
#endif

using namespace tavelin;

class BrowseTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() {
    CloseAllWindows();
    QVERIFY2(OpenWindows().isEmpty(), qPrintable(OpenWindows().join(QLatin1Char(' '))));
  }

  void clickedRowGoesToTheLauncher_data() {
    QTest::addColumn<QString>("windowMode");
    QTest::addColumn<int>("showCommand");
    QTest::newRow("Max") << "Max" << kShowMaximized;
    QTest::newRow("Min") << "Min" << kShowMinimized;
  }
  void clickedRowGoesToTheLauncher() {
    QFETCH(QString, windowMode);
    QFETCH(int, showCommand);
    Program p({"first.example",
               "b\xC3\xBC"
               "cher.de/x",
               "third.example"});
    StoreSetting(p.registry, kWindowModeValue, qPrintable(windowMode));
    p.core.Form_Load();
    QVERIFY(p.show());
    QTest::mouseClick(p.list()->viewport(), Qt::LeftButton, {}, p.rowCentre(1));
    QCOMPARE(p.selection(), 1);
    p.action("GotoAddress")->trigger();
    QCOMPARE(p.launcher.launches.size(), std::size_t{1});
    QCOMPARE(p.launcher.launches[0].first, std::string("http://b\xC3\xBC"
                                                       "cher.de/x"));
    QCOMPARE(p.launcher.launches[0].second, showCommand);
    QVERIFY(p.screen.events.empty());
    QCOMPARE(p.selection(), 1);
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
    RecordingScreen screen;
    PosixBrowserLauncher launcher(BrowserEnvironment{browser, dir.path().toStdString()});
    Mainn core(registry, screen, launcher);
    qt::MainWindow window(core);
    screen.setMainWindow(&window);
    core.Form_Load();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    window.findChild<QAction*>(QStringLiteral("GotoAddress"))->trigger();

    QVERIFY(screen.events.empty());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QString::fromStdString(record)), 5000);
    std::ifstream in(record, std::ios::binary);
    std::vector<std::string> arguments;
    for (std::string argument; std::getline(in, argument, '\0');) arguments.push_back(argument);
    QCOMPARE(arguments, std::vector<std::string>{"http://it's \"a\" $(page) ; x"});
    window.close();
  }
#endif
};

QTEST_MAIN(BrowseTest)
#include "tst_browse.moc"
