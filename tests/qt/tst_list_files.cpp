// "Save list as" and "Open list": through the recording seam, and once through the real
// file dialog and message box.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "files/list_file.h"
#include "gui_test_support.h"
#include "store/registry_memory.h"
#include "store/settings_store.h"

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

using namespace tavelin;
using Entries = std::vector<std::string>;

namespace {

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QByteArray("<unreadable>");
  return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(file.write(bytes), bytes.size());
}

// Answers the real modal widgets as they come up, one step per widget, and gives up (closing
// whatever is modal) when a step does not come within a few seconds.
class ModalDriver : public QObject {
 public:
  using Step = std::function<void(QWidget*)>;
  explicit ModalDriver(std::vector<Step> steps) : steps_(std::move(steps)) {
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
    timer_.start(20);
    clock_.start();
  }
  bool finished() const { return next_ == steps_.size(); }

 private:
  void tick() {
    if (finished()) {
      timer_.stop();
      return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal->isVisible() && modal != handled_) {
      handled_ = modal;
      clock_.restart();
      steps_[next_++](modal);
      return;
    }
    if (clock_.elapsed() > 5000) {
      timer_.stop();
      while (QWidget* stuck = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(stuck)) {
          dialog->reject();
        } else {
          stuck->close();
        }
        QApplication::processEvents();
      }
    }
  }

  std::vector<Step> steps_;
  std::size_t next_ = 0;
  QPointer<QWidget> handled_;
  QTimer timer_;
  QElapsedTimer clock_;
};

}  // namespace

class ListFilesTest : public QObject {
  Q_OBJECT
 private:
  QTemporaryDir dir_;
  QString path(const QString& name) const { return dir_.filePath(name); }

  static void setMode(MainWindowFixture& f, const char* mode) {
    f.window->settings().SaveMode = mode;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs, true);
  }
  void cleanup() { CloseAllWindows(); }

  void exportWritesTheListAsShown() {
    MemoryRegistry registry;
    StoreAddresses(registry, {"a", "b"});
    MainWindowFixture f(registry);
    setMode(f, "Two");
    // An unsaved change: the file holds the list, not the store.
    f.window->addresses().append("\"quoted\"");
    f.window->addresses().select(1);
    f.interaction.fileNames = {path("shown")};
    f.window->FileSave_Click();

    QCOMPARE(f.interaction.dialogs.size(), std::size_t{1});
    QCOMPARE(f.interaction.dialogs[0].kind, QStringLiteral("save"));
    QCOMPARE(f.interaction.dialogs[0].title, QStringLiteral("Save addresses to..."));
    QCOMPARE(f.interaction.dialogs[0].filter, QStringLiteral("Text (*.txt)"));
    QCOMPARE(f.interaction.dialogs[0].initialName, QString());
    QVERIFY(f.interaction.messages.empty());
    QCOMPARE(ReadBytes(path("shown.txt")), QByteArray("a\r\nb\r\n\"\"quoted\"\"\r\n"));
    QVERIFY(!QFile::exists(path("shown")));
    QCOMPARE(f.window->lastListFileName, path("shown"));
    // Nothing else changed.
    QCOMPARE(ListItems(*f.window), (Entries{"a", "b", "\"quoted\""}));
    QCOMPARE(f.window->addresses().selectionIndex(), 1);
    QCOMPARE(StoredAddresses(registry), (Entries{"a", "b"}));
  }

  void exportAsksBeforeReplacing_data() {
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("answer");
    QTest::newRow("yes") << "yes.txt"
                         << "yes.txt" << true;
    QTest::newRow("no") << "no.txt"
                        << "no.txt" << false;
    QTest::newRow("name rule finds it") << "notes.txt"
                                        << "notes.dat" << false;
    QTest::newRow("upper case kept") << "LIST.TXT"
                                     << "LIST.TXT" << true;
    QTest::newRow("hidden file") << ".hidden.txt"
                                 << ".hidden.txt" << true;
  }
  void exportAsksBeforeReplacing() {
    QFETCH(QString, existing);
    QFETCH(QString, chosen);
    QFETCH(bool, answer);
    const QByteArray old("old 1\r\nold 2\r\nold 3\r\n");
    WriteBytes(path(existing), old);
    MemoryRegistry registry;
    StoreAddresses(registry, {"new"});
    MainWindowFixture f(registry);
    f.interaction.fileNames = {path(chosen)};
    f.interaction.answers = {answer};
    f.window->FileSave_Click();

    QCOMPARE(f.interaction.messages.size(), std::size_t{1});
    QCOMPARE(f.interaction.messages[0].kind, QStringLiteral("question"));
    QCOMPARE(f.interaction.messages[0].title, QStringLiteral("File exists"));
    QCOMPARE(f.interaction.messages[0].text,
             QStringLiteral("File is already exists, would you like to replace it?"));
    QCOMPARE(ReadBytes(path(existing)), answer ? QByteArray("new\r\n") : old);
    QFile::remove(path(existing));
  }

  void exportFailuresAreTold_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("folder of that name") << "folder.txt"
                                         << "folder.txt";
    QTest::newRow("missing folder") << "missing/list"
                                    << "missing";
    QTest::newRow("under a regular file") << "plain.txt/list"
                                          << "plain.txt";
  }
  void exportFailuresAreTold() {
    QFETCH(QString, chosen);
    QFETCH(QString, mentions);
    QDir(dir_.path()).mkdir(QStringLiteral("folder.txt"));
    WriteBytes(path("plain.txt"), "keep\r\n");
    MemoryRegistry registry;
    StoreAddresses(registry, {"a"});
    MainWindowFixture f(registry);
    f.interaction.fileNames = {path(chosen)};
    f.window->FileSave_Click();

    QCOMPARE(f.interaction.messages.size(), std::size_t{1});
    QCOMPARE(f.interaction.messages[0].kind, QStringLiteral("error"));
    QCOMPARE(f.interaction.messages[0].title, QStringLiteral("Error"));
    QVERIFY2(f.interaction.messages[0].text.contains(mentions),
             qPrintable(f.interaction.messages[0].text));
    QVERIFY(QFileInfo(path("folder.txt")).isDir());
    QCOMPARE(ReadBytes(path("plain.txt")), QByteArray("keep\r\n"));
  }

  void cancelEndsEitherCommandQuietly() {
    MemoryRegistry registry;
    StoreAddresses(registry, {"a", "b"});
    MainWindowFixture f(registry);
    f.window->lastListFileName = path("before.txt");
    f.window->FileSave_Click();
    f.window->FileOpen_Click();
    QCOMPARE(f.interaction.dialogs.size(), std::size_t{2});
    QVERIFY(f.interaction.messages.empty());
    QCOMPARE(f.window->lastListFileName, path("before.txt"));
    QCOMPARE(ListItems(*f.window), (Entries{"a", "b"}));
    QCOMPARE(f.window->addresses().selectionIndex(), 0);
  }

  void lastChosenNameIsOfferedByBothDialogs() {
    WriteBytes(path("offered.txt"), "x\r\n");
    MemoryRegistry registry;
    MainWindowFixture f(registry);
    setMode(f, "Two");
    f.interaction.fileNames = {path("first"), path("offered.txt"), path("missing.csv")};
    f.window->FileSave_Click();
    f.window->FileOpen_Click();
    f.window->FileOpen_Click();  // the name is kept even when the file is refused
    f.window->FileSave_Click();
    const auto& d = f.interaction.dialogs;
    QCOMPARE(d.size(), std::size_t{4});
    QCOMPARE(d[1].kind, QStringLiteral("open"));
    QCOMPARE(d[1].title, QStringLiteral("Open addresses from..."));
    QCOMPARE(d[1].filter, QStringLiteral("Text (*.txt)"));
    QCOMPARE(d[1].initialName, path("first"));
    QCOMPARE(d[2].initialName, path("offered.txt"));
    QCOMPARE(d[3].initialName, path("missing.csv"));
    QCOMPARE(d[3].kind, QStringLiteral("save"));
  }

  void importRefusalsLeaveTheList_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("message");
    const QString missing = QStringLiteral("File doesn't exist!");
    QTest::newRow("no such file") << "none.txt" << missing;
    QTest::newRow("missing comes before the extension") << "none.csv" << missing;
    QTest::newRow("folder") << "folder.txt" << missing;
    QTest::newRow("path under a file") << "list.csv/x.txt" << missing;
#ifndef Q_OS_WIN
    QTest::newRow("pipe") << "pipe.txt" << missing;
#endif
    QTest::newRow("wrong extension")
        << "list.csv" << QStringLiteral("File extension is not supported!");
#ifdef Q_OS_LINUX
    // Reading this process's own memory at address 0 fails with an I/O error, even as root.
    QTest::newRow("read failure") << "unreadable.txt" << QStringLiteral("Cannot read");
#endif
  }
  void importRefusalsLeaveTheList() {
    QFETCH(QString, chosen);
    QFETCH(QString, message);
    QDir(dir_.path()).mkpath(QStringLiteral("folder.txt"));
    WriteBytes(path("list.csv"), "x\r\n");
#ifndef Q_OS_WIN
    if (!QFileInfo::exists(path("pipe.txt"))) {
      QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.txt")).constData(), 0600), 0);
    }
#endif
#ifdef Q_OS_LINUX
    if (!QFileInfo(path("unreadable.txt")).isSymLink()) {
      QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), path("unreadable.txt")));
    }
#endif
    MemoryRegistry registry;
    StoreAddresses(registry, {"a", "b"});
    MainWindowFixture f(registry);
    f.window->addresses().select(1);
    f.interaction.fileNames = {path(chosen)};
    f.window->FileOpen_Click();

    QCOMPARE(f.interaction.messages.size(), std::size_t{1});
    QCOMPARE(f.interaction.messages[0].kind, QStringLiteral("error"));
    QCOMPARE(f.interaction.messages[0].title, QStringLiteral("Error"));
    if (message.endsWith(QLatin1Char('!'))) {
      QCOMPARE(f.interaction.messages[0].text, message);
    } else {
      QVERIFY2(f.interaction.messages[0].text.contains(message) &&
                   f.interaction.messages[0].text.contains(chosen),
               qPrintable(f.interaction.messages[0].text));
    }
    QCOMPARE(ListItems(*f.window), (Entries{"a", "b"}));
    QCOMPARE(f.window->addresses().selectionIndex(), 1);
    QCOMPARE(ViewItems(*f.window), (QStringList{"a", "b"}));
    QCOMPARE(StoredAddresses(registry), (Entries{"a", "b"}));
  }

  void importReplacesTheList_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("storeFollows");
    QTest::newRow("manual") << "Two" << false;
    QTest::newRow("automatic") << "One" << true;
    QTest::newRow("automatic, unset") << "" << true;
  }
  void importReplacesTheList() {
    QFETCH(QString, mode);
    QFETCH(bool, storeFollows);
    // UTF-16 with a mark, mixed line ends, a blank line, a quoted comma, a repeat.
    const QString text = QStringLiteral("caf\u00e9\r\n\r\n\"x,y\"\nb\r  \rcaf\u00e9\r\n");
    QByteArray bytes("\xFF\xFE", 2);
    for (QChar c : text) bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    WriteBytes(path("in.TXT"), bytes);
    MemoryRegistry registry;
    StoreAddresses(registry, {"old1", "old2", "old3"});
    MainWindowFixture f(registry);
    f.window->settings().SaveMode = mode.toStdString();
    f.interaction.fileNames = {path("in.TXT")};
    f.window->FileOpen_Click();

    QVERIFY(f.interaction.messages.empty());
    const Entries expected = {"caf\xC3\xA9", "x,y", "b", "caf\xC3\xA9"};
    QCOMPARE(ListItems(*f.window), expected);
    QCOMPARE(ViewItems(*f.window),
             (QStringList{QStringLiteral("caf\u00e9"), "x,y", "b", QStringLiteral("caf\u00e9")}));
    QCOMPARE(f.window->addresses().selectionIndex(), -1);
    QCOMPARE(ViewSelection(*f.window), -1);
    const Entries before = {"old1", "old2", "old3"};
    QCOMPARE(StoredAddresses(registry), storeFollows ? expected : before);
  }

  void importTellsAFailedStoreWrite() {
    WriteBytes(path("one.txt"), "one\r\n");
    MemoryRegistry registry;
    MainWindowFixture f(registry);
    registry.setFailWrites(true);
    f.interaction.fileNames = {path("one.txt")};
    f.window->FileOpen_Click();
    QCOMPARE(ListItems(*f.window), Entries{"one"});
    QCOMPARE(f.interaction.messages.size(), std::size_t{1});
    QCOMPARE(f.interaction.messages[0].title, QStringLiteral("Error"));
  }

  // The real widgets: the non-native file dialog, then the real message box.
  void realDialogsCarryTheirSettings() {
    WriteBytes(path("previous.txt"), "p\r\n");
    MemoryRegistry registry;
    StoreAddresses(registry, {"a", "b"});
    WidgetInteraction interaction;
    RecordingLauncher launcher;
    Mainn window(registry, interaction, launcher);
    window.Form_Load();
    window.settings().SaveMode = "Two";
    window.lastListFileName = path("previous.txt");

    QString title, suffix, typedName;
    QStringList filters;
    QString directory, offeredName;
    bool confirmsOverwrite = true;
    auto typeAndAccept = [&](QWidget* widget, const QString& name) {
      auto* dialog = qobject_cast<QFileDialog*>(widget);
      QVERIFY2(dialog, widget->metaObject()->className());
      title = dialog->windowTitle();
      filters = dialog->nameFilters();
      suffix = dialog->defaultSuffix();
      confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
      directory = dialog->directory().absolutePath();
      auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      QVERIFY(edit);
      offeredName = edit->text();
      edit->selectAll();
      QTest::keyClicks(edit, name);
      auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
      QVERIFY(buttons);
      QPushButton* accept = nullptr;
      for (QAbstractButton* b : buttons->buttons()) {
        if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole) {
          accept = qobject_cast<QPushButton*>(b);
        }
      }
      QVERIFY(accept && accept->isEnabled());
      QTest::mouseClick(accept, Qt::LeftButton);
    };

    {
      ModalDriver driver({[&](QWidget* w) { typeAndAccept(w, QStringLiteral("typed.dat")); }});
      window.FileSave_Click();
      QVERIFY(driver.finished());
    }
    QCOMPARE(title, QStringLiteral("Save addresses to..."));
    QCOMPARE(filters, QStringList{QStringLiteral("Text (*.txt)")});
    QVERIFY(suffix.isEmpty());
    QVERIFY(!confirmsOverwrite);
    QCOMPARE(directory, QFileInfo(dir_.path()).absoluteFilePath());
    QCOMPARE(offeredName, QStringLiteral("previous.txt"));
    QCOMPARE(ReadBytes(path("typed.txt")), QByteArray("a\r\nb\r\n"));
    QCOMPARE(window.lastListFileName, path("typed.dat"));

    // A name that does not exist gets through the open dialog; the command refuses it.
    QString boxTitle, boxText;
    {
      ModalDriver driver({[&](QWidget* w) { typeAndAccept(w, QStringLiteral("absent.txt")); },
                          [&](QWidget* w) {
                            auto* box = qobject_cast<QMessageBox*>(w);
                            QVERIFY2(box, w->metaObject()->className());
                            boxTitle = box->windowTitle();
                            boxText = box->text();
                            QCOMPARE(box->icon(), QMessageBox::Warning);
                            box->button(QMessageBox::Ok)->click();
                          }});
      window.FileOpen_Click();
      QVERIFY(driver.finished());
    }
    QCOMPARE(title, QStringLiteral("Open addresses from..."));
    QCOMPARE(filters, QStringList{QStringLiteral("Text (*.txt)")});
    QCOMPARE(offeredName, QStringLiteral("typed.dat"));
    QCOMPARE(boxTitle, QStringLiteral("Error"));
    QCOMPARE(boxText, QStringLiteral("File doesn't exist!"));

    {
      ModalDriver driver({[&](QWidget* w) { typeAndAccept(w, QStringLiteral("previous.txt")); }});
      window.FileOpen_Click();
      QVERIFY(driver.finished());
    }
    QCOMPARE(ListItems(window), Entries{"p"});
  }
};

QTEST_MAIN(ListFilesTest)
#include "tst_list_files.moc"
