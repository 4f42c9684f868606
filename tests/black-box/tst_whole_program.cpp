// Starts the real program on a prepared registry file and checks the file afterwards.
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <sstream>

#include "store/registry_file.h"
#include "store/typed_address_store.h"

using namespace tavelin;

namespace {

std::string ReadAll(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

RegValue Bytes(std::uint32_t type, std::initializer_list<std::uint8_t> bytes) {
  return RegValue{type, std::vector<std::uint8_t>(bytes)};
}

// Starts the program on the registry file; it stays up until stopped.
struct RunningProgram {
  explicit RunningProgram(const QString& regFile, const QStringList& arguments = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAVELIN_REGISTRY"), regFile);
    // Backups go beside the registry file, never into the home folder of whoever runs the tests.
    env.insert(QStringLiteral("XDG_STATE_HOME"), QFileInfo(regFile).absolutePath() + "/state");
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TAVELIN_EXECUTABLE), arguments);
  }
  ~RunningProgram() {
    process.kill();
    process.waitForFinished(5000);
  }
  QProcess process;
};

// Waits until the file's content differs from `before`, or the time is up.
bool WaitForChange(const QString& path, const std::string& before, int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) {
    if (ReadAll(path) != before) return true;
    QTest::qWait(50);
  }
  return false;
}

}  // namespace

class WholeProgramTest : public QObject {
  Q_OBJECT
 private slots:
  void startUpCompactsTheListAndKeepsEverythingElse() {
    QTemporaryDir dir;
    const QString regFile = dir.filePath(QStringLiteral("HKEY_CURRENT_USER.reg"));
    const std::string other = "Software\\Other Program\\Options";
    const RegValue dword = Bytes(regtype::kDword, {0x2A, 0, 0, 0});
    const RegValue binary = Bytes(regtype::kBinary, {0, 1, 2, 0xFF});
    const RegValue multi = Bytes(regtype::kMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0});
    const RegValue expand = Bytes(regtype::kExpandSz, {'%', 0, 'X', 0, '%', 0, 0, 0});
    {
      RegFileRegistry registry(regFile.toStdString());
      Transaction t(registry);
      auto put = [&](const char* name, const char* text) {
        modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, name, text);
      };
      put("url1", "first.example");
      put("url3", "third.example/a b");
      put("url5", "   ");
      put("url7", "seventh.example");
      put("url201", "beyond.example");
      registry.setValue(kCurrentUser, other, "Count", dword);
      registry.setValue(kCurrentUser, other, "Blob", binary);
      registry.setValue(kCurrentUser, other, "List", multi);
      registry.setValue(kCurrentUser, other, "Path", expand);
      modReg::WriteRegString(registry, kCurrentUser, other, "Name", "kept");
    }
    const std::string before = ReadAll(regFile);

    RunningProgram program(regFile);
    QVERIFY(program.process.waitForStarted(10000));
    QVERIFY2(WaitForChange(regFile, before, 20000),
             "the program did not rewrite the registry file");
    QTest::qWait(300);
    QCOMPARE(program.process.state(), QProcess::Running);
    program.process.kill();
    program.process.waitForFinished(5000);

    RegFileRegistry registry(regFile.toStdString());
    Transaction t(registry);
    auto read = [&](std::size_t n) {
      return modReg::ReadRegString(registry, kCurrentUser, kTypedUrlsKey, UrlValueName(n));
    };
    QCOMPARE(read(1), std::string("first.example"));
    QCOMPARE(read(2), std::string("third.example/a b"));
    QCOMPARE(read(3), std::string("seventh.example"));
    for (std::size_t n = 4; n <= 200; ++n) {
      QVERIFY(!registry.queryValue(kCurrentUser, kTypedUrlsKey, UrlValueName(n)));
    }
    QCOMPARE(read(201), std::string("beyond.example"));
    QCOMPARE(registry.queryValue(kCurrentUser, other, "Count"), std::optional<RegValue>(dword));
    QCOMPARE(registry.queryValue(kCurrentUser, other, "Blob"), std::optional<RegValue>(binary));
    QCOMPARE(registry.queryValue(kCurrentUser, other, "List"), std::optional<RegValue>(multi));
    QCOMPARE(registry.queryValue(kCurrentUser, other, "Path"), std::optional<RegValue>(expand));
    QCOMPARE(modReg::ReadRegString(registry, kCurrentUser, other, "Name"), std::string("kept"));
  }

  // What the command line comes to, started from a terminal without a display: the answers
  // and the complaints end the program at once, on their own stream, with no window.
  void theCommandLineThatEndsAtOnce_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");  // what standard output begins with ("" for nothing)
    QTest::addColumn<QString>("err");  // what standard error holds ("" for nothing)
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: tavelin"
                            << "";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "Tavelin "
                               << "";
    QTest::newRow("Qt's own option") << QStringList{"-platform", "xcb"} << 2 << ""
                                     << "Unknown option \"-platform\"";
    QTest::newRow("two files") << QStringList{"a.reg", "b.reg"} << 2 << ""
                               << "b.reg";
    QTest::newRow("an empty file name") << QStringList{""} << 2 << ""
                                        << "empty";
  }
  void theCommandLineThatEndsAtOnce() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir dir;
    const QString regFile = dir.filePath(QStringLiteral("HKEY_CURRENT_USER.reg"));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAVELIN_REGISTRY"), regFile);
    env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
    for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
      env.remove(QString::fromLatin1(display));
    }
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TAVELIN_EXECUTABLE), arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    const QString stdOut = QString::fromUtf8(process.readAllStandardOutput());
    const QString stdErr = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), qPrintable(stdOut));
    QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.contains(err), qPrintable(stdErr));
    if (status != 0) QVERIFY(stdErr.contains(QStringLiteral("Usage: tavelin")));
    QVERIFY(!QFileInfo::exists(regFile));  // no store was opened
  }

  // A file named on the command line is the store, whatever $TAVELIN_REGISTRY names.
  void theFileNamedWinsOverTheVariable() {
    QTemporaryDir dir;
    const QString named = dir.filePath(QStringLiteral("named.reg"));
    const QString variable = dir.filePath(QStringLiteral("variable.reg"));
    for (const QString& regFile : {named, variable}) {
      RegFileRegistry registry(regFile.toStdString());
      Transaction t(registry);
      modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url2", "second.example");
    }
    const std::string before = ReadAll(named);
    RunningProgram program(variable, {named});
    QVERIFY(program.process.waitForStarted(10000));
    QVERIFY2(WaitForChange(named, before, 20000), "the program did not start up on the file");
    QCOMPARE(program.process.state(), QProcess::Running);
    QCOMPARE(ReadAll(variable), before);
  }

  void anUnreadableRegistryFileIsLeftAlone() {
    QTemporaryDir dir;
    const QString regFile = dir.filePath(QStringLiteral("HKEY_CURRENT_USER.reg"));
    const std::string damaged =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft"
        "\\Internet Explorer\\TypedURLs]\r\n\"url1\"=\"unterminated\r\n";
    {
      std::ofstream out(regFile.toStdString(), std::ios::binary);
      out << damaged;
    }
    RunningProgram program(regFile);
    QVERIFY(program.process.waitForStarted(10000));
    QVERIFY(!WaitForChange(regFile, damaged, 2500));
    // Still running: it shows its message and waits for the user.
    QCOMPARE(program.process.state(), QProcess::Running);
  }
};

QTEST_GUILESS_MAIN(WholeProgramTest)
#include "tst_whole_program.moc"
