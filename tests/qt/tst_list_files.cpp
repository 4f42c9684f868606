// "Save list as" and "Open list" through the real screen: the real file dialog with the
// title, filter and name the command asks for, and the real message box and question.
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "modal_driver.h"
#include "qt_test_support.h"
#include "store/settings_store.h"

using namespace tavelin;

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

// What the file dialog was opened with.
struct SeenFileDialog {
  QString title;
  QStringList filters;
  QString directory;
  QString offeredName;
  bool save = false;
  bool anyName = false;
  bool asksBeforeReplacing = true;
};

// Types `name` into the real file dialog and accepts it.
ModalSequence::Step TypeAndAccept(const QString& name, SeenFileDialog& seen) {
  return [name, &seen](QWidget& widget) {
    auto* dialog = qobject_cast<QFileDialog*>(&widget);
    QVERIFY2(dialog, widget.metaObject()->className());
    seen.title = dialog->windowTitle();
    seen.filters = dialog->nameFilters();
    seen.directory = dialog->directory().absolutePath();
    seen.save = dialog->acceptMode() == QFileDialog::AcceptSave;
    seen.anyName = dialog->fileMode() == QFileDialog::AnyFile;
    seen.asksBeforeReplacing = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    seen.offeredName = edit->text();
    edit->selectAll();
    // QTest types ASCII only; other text goes in as if pasted.
    bool ascii = true;
    for (QChar c : name) ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
      QTest::keyClicks(edit, name);
    } else {
      edit->insert(name);
    }
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
}

// What a message box showed; it is answered with `answer`.
struct SeenBox {
  QString objectName, title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  QWidget* parent = nullptr;
};

ModalSequence::Step Answer(QMessageBox::StandardButton answer, SeenBox& seen) {
  return [answer, &seen](QWidget& widget) {
    auto* box = qobject_cast<QMessageBox*>(&widget);
    QVERIFY2(box, widget.metaObject()->className());
    seen.objectName = box->objectName();
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    seen.buttons = box->standardButtons();
    seen.defaultButton = box->standardButton(box->defaultButton());
    seen.parent = box->parentWidget();
    box->button(answer)->click();
  };
}

}  // namespace

class ListFilesTest : public QObject {
  Q_OBJECT
 private:
  QTemporaryDir dir_;
  QString path(const QString& name) const { return dir_.filePath(name); }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs, true);
  }
  void cleanup() {
    CloseAllWindows();
    QVERIFY2(OpenWindows().isEmpty(), qPrintable(OpenWindows().join(QLatin1Char(' '))));
  }

  void realDialogsCarryWhatTheCommandAsks() {
    WriteBytes(path("previous.txt"), "p\r\n");
    MemoryRegistry registry;
    StoreAddresses(registry, {"a", "b"});
    modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, kSaveModeValue, "Two");
    qt::QtScreen screen;
    RecordingLauncher launcher;
    Mainn core(registry, screen, launcher);
    qt::MainWindow window(core);
    screen.setMainWindow(&window);
    core.Form_Load();
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // Save as: the name is given as typed; the command forms the file's name.
    SeenFileDialog saved;
    {
      ModalSequence answers({TypeAndAccept(path("typed.dat"), saved)});
      window.findChild<QAction*>(QStringLiteral("FileSave"))->trigger();
      QVERIFY(answers.finished());
    }
    QCOMPARE(saved.title, QStringLiteral("Save addresses to..."));
    QCOMPARE(saved.filters, QStringList{QStringLiteral("Text (*.txt)")});
    QVERIFY(saved.save);
    QVERIFY(!saved.asksBeforeReplacing);
    QCOMPARE(ReadBytes(path("typed.txt")), QByteArray("a\r\nb\r\n"));
    QCOMPARE(core.lastListFileName(), QFile::encodeName(path("typed.dat")).toStdString());

    // Open a name that is not there: the dialog lets it through, the command says so in the
    // real message box, over the main window.
    SeenFileDialog opened;
    SeenBox error;
    {
      ModalSequence answers(
          {TypeAndAccept(QStringLiteral("absent.txt"), opened), Answer(QMessageBox::Ok, error)});
      window.findChild<QAction*>(QStringLiteral("FileOpen"))->trigger();
      QVERIFY(answers.finished());
    }
    QCOMPARE(opened.title, QStringLiteral("Open addresses from..."));
    QCOMPARE(opened.filters, QStringList{QStringLiteral("Text (*.txt)")});
    QVERIFY(!opened.save);
    QVERIFY(opened.anyName);
    // The last name chosen is offered again, in its folder.
    QCOMPARE(opened.directory, QFileInfo(dir_.path()).absoluteFilePath());
    QCOMPARE(opened.offeredName, QStringLiteral("typed.dat"));
    QCOMPARE(error.objectName, QStringLiteral("ErrorMessage"));
    QCOMPARE(error.title, QStringLiteral("Error"));
    QCOMPARE(error.text, QStringLiteral("File doesn't exist!"));
    QCOMPARE(error.icon, QMessageBox::Warning);
    QCOMPARE(error.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(error.parent, &window);

    {
      SeenFileDialog again;
      ModalSequence answers({TypeAndAccept(QStringLiteral("previous.txt"), again)});
      window.findChild<QAction*>(QStringLiteral("FileOpen"))->trigger();
      QVERIFY(answers.finished());
    }
    QCOMPARE(core.List1().items(), Strings{"p"});
    QCOMPARE(window.list()->model()->index(0, 0).data().toString(), QStringLiteral("p"));

    // Saving over it asks the real question, Yes by default; No leaves the file.
    SeenBox question;
    {
      SeenFileDialog over;
      ModalSequence answers(
          {TypeAndAccept(QStringLiteral("typed.txt"), over), Answer(QMessageBox::No, question)});
      core.List1().append("q");
      window.findChild<QAction*>(QStringLiteral("FileSave"))->trigger();
      QVERIFY(answers.finished());
    }
    QCOMPARE(question.objectName, QStringLiteral("Question"));
    QCOMPARE(question.title, QStringLiteral("File exists"));
    QCOMPARE(question.icon, QMessageBox::Question);
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.defaultButton, QMessageBox::Yes);
    QCOMPARE(ReadBytes(path("typed.txt")), QByteArray("a\r\nb\r\n"));

    // A name beyond ASCII reaches the file system as typed.
    {
      SeenFileDialog named;
      ModalSequence answers({TypeAndAccept(QStringLiteral("l\u00efste \u20ac"), named)});
      window.findChild<QAction*>(QStringLiteral("FileSave"))->trigger();
      QVERIFY(answers.finished());
    }
    QCOMPARE(ReadBytes(path(QStringLiteral("l\u00efste \u20ac.txt"))), QByteArray("p\r\nq\r\n"));
    window.close();
  }

  // An import whose store write fails keeps the imported list and says so.
  void aFailedStoreWriteOnImportIsTold() {
    WriteBytes(path("one.txt"), "one\r\n");
    Program p({"old"});
    QVERIFY(p.show());
    p.registry.setFailWrites(true);
    p.screen.files = {QFile::encodeName(path("one.txt")).toStdString()};
    p.action("FileOpen")->trigger();
    QCOMPARE(p.viewItems(), QStringList{"one"});
    QCOMPARE(p.screen.messages.size(), std::size_t{1});
    QCOMPARE(p.screen.messages[0].title, std::string("Error"));
    p.registry.setFailWrites(false);
    QCOMPARE(p.stored(), Strings{"old"});
  }

  // A cancelled file dialog ends the command.
  void cancelEndsTheCommand() {
    MemoryRegistry registry;
    StoreAddresses(registry, {"a"});
    qt::QtScreen screen;
    RecordingLauncher launcher;
    Mainn core(registry, screen, launcher);
    qt::MainWindow window(core);
    screen.setMainWindow(&window);
    core.Form_Load();
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    bool wasFileDialog = false;
    ModalSequence answers({[&](QWidget& widget) {
      wasFileDialog = qobject_cast<QFileDialog*>(&widget) != nullptr;
      qobject_cast<QDialog*>(&widget)->reject();
    }});
    window.findChild<QAction*>(QStringLiteral("FileOpen"))->trigger();
    QVERIFY(answers.finished());
    QVERIFY(wasFileDialog);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(core.lastListFileName(), std::string());
    QCOMPARE(core.List1().items(), Strings{"a"});
    window.close();
  }
};

QTEST_MAIN(ListFilesTest)
#include "tst_list_files.moc"
