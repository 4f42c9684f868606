// The Settings dialog: what it shows, what its buttons write, and how it is reached.
#include <QAction>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "dialogs/frm_settings.h"
#include "gui_test_support.h"
#include "store/registry_memory.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"

using namespace tavelin;

namespace {

// "-" stands for a missing value.
void StoreSetting(RegistryBackend& registry, std::string_view name, const QString& text) {
  if (text == QLatin1String("-")) return;
  modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, name, text.toStdString());
}

QString StoredSetting(RegistryBackend& registry, std::string_view name) {
  if (!registry.queryValue(kCurrentUser, kSettingsKey, name)) return QStringLiteral("-");
  return QString::fromStdString(modReg::ReadRegString(registry, kCurrentUser, kSettingsKey, name));
}

QRadioButton* Option(QDialog& dialog, const char* name) {
  return dialog.findChild<QRadioButton*>(QLatin1String(name));
}

QPushButton* Button(QDialog& dialog, const char* name) {
  return dialog.findChild<QPushButton*>(QLatin1String(name));
}

// Which option of each group is checked, e.g. "13" for Option1 and Option3.
QString Checked(QDialog& dialog) {
  QString out;
  for (const char* name : {"Option1", "Option2"})
    if (Option(dialog, name)->isChecked()) out += QLatin1Char(name[6]);
  for (const char* name : {"Option3", "Option4"})
    if (Option(dialog, name)->isChecked()) out += QLatin1Char(name[6]);
  return out;
}

// Acts on a modal dialog of type T once exec() has shown it. Every wait is bounded: a dialog
// that is still open when the watchdog fires is closed and reported as stuck.
class DialogWatch : public QObject {
 public:
  template <class T>
  void whenShown(std::function<void(T&)> act) {
    connect(&poll_, &QTimer::timeout, this, [this, act] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<T*>(widget);
        if (dialog && dialog->isVisible() && QApplication::activeModalWidget() == dialog) {
          poll_.stop();
          ++shown;
          act(*dialog);
          return;
        }
      }
    });
    poll_.start(10);
    watchdog_.setSingleShot(true);
    connect(&watchdog_, &QTimer::timeout, this, [this] {
      poll_.stop();
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible()) {
          stuck = true;
          dialog->done(QDialog::Rejected);
        }
      }
    });
    watchdog_.start(5000);
  }
  int shown = 0;
  bool stuck = false;

 private:
  QTimer poll_;
  QTimer watchdog_;
};

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { CloseAllWindows(); }

  void layoutMatchesTheDesign() {
    MemoryRegistry registry;
    ProgramSettings settings;
    FrmSettings dialog(registry, settings);
    QCOMPARE(dialog.objectName(), QStringLiteral("FrmSettings"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Tavelin - Settings"));
    QCOMPARE(dialog.minimumSize(), QSize(307, 156));
    QCOMPARE(dialog.maximumSize(), QSize(307, 156));
    QVERIFY(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));

    // Option buttons are placed inside their frame, everything else in the client area.
    struct Expected {
      const char* name;
      const char* parent;
      QRect geometry;
      QString text;
    } expected[] = {
        {"Frame1", "FrmSettings", QRect(0, 0, 297, 57), "Save options"},
        {"Option1", "Frame1", QRect(8, 16, 273, 17), "Automatic addresses save (Recommended) "},
        {"Option2", "Frame1", QRect(8, 32, 257, 17), "Save only after pressing Save all changes"},
        {"Frame2", "FrmSettings", QRect(0, 64, 297, 57), "Web options"},
        {"Option3", "Frame2", QRect(8, 16, 273, 17), "Open page in maximum size"},
        {"Option4", "Frame2", QRect(8, 32, 257, 17), "Open page in minimum size"},
        {"Command1", "FrmSettings", QRect(8, 128, 89, 25), "Save settings"},
        {"Command2", "FrmSettings", QRect(104, 128, 105, 25), "Default settings"},
        {"Command3", "FrmSettings", QRect(216, 128, 81, 25), "Cancel"},
    };
    for (const auto& e : expected) {
      auto* widget = dialog.findChild<QWidget*>(QLatin1String(e.name));
      QVERIFY2(widget, e.name);
      QCOMPARE(widget->parentWidget()->objectName(), QLatin1String(e.parent));
      QCOMPARE(widget->geometry(), e.geometry);
      QCOMPARE(widget->font().family(), QStringLiteral("Arial"));
      QVERIFY(widget->font().bold());
      QCOMPARE(widget->font().pointSizeF(), 9.0);
      if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        QCOMPARE(frame->title(), e.text);
      } else {
        QCOMPARE(qobject_cast<QAbstractButton*>(widget)->text(), e.text);
      }
      if (qstrcmp(e.name, "Option1") != 0) QVERIFY2(widget->toolTip().isEmpty(), e.name);
    }
    QCOMPARE(Option(dialog, "Option1")->toolTip(),
             QStringLiteral("Automatic saves addresses when you add any address, delete, "
                            "reorder and edit addresses"));
    for (const char* name : {"Command1", "Command2", "Command3"}) {
      QVERIFY(!Button(dialog, name)->isDefault());
      QVERIFY(!Button(dialog, name)->autoDefault());
    }
  }

  // The frames take no focus, and each frame's options make one tab stop at the checked
  // option: Tab runs save options, Save, Default, Cancel, web options, and round again.
  void tabOrderVisitsEachGroupOnce_data() {
    QTest::addColumn<QString>("saveMode");
    QTest::addColumn<QString>("windowMode");
    QTest::addColumn<QStringList>("chain");
    QTest::newRow("defaults") << "-"
                              << "-" << QStringList{"Option1",  "Command1", "Command2",
                                                    "Command3", "Option3",  "Option1"};
    QTest::newRow("others") << "Two"
                            << "Min" << QStringList{"Option2",  "Command1", "Command2",
                                                    "Command3", "Option4",  "Option2"};
  }
  void tabOrderVisitsEachGroupOnce() {
    QFETCH(QString, saveMode);
    QFETCH(QString, windowMode);
    QFETCH(QStringList, chain);
    MemoryRegistry registry;
    StoreSetting(registry, kSaveModeValue, saveMode);
    StoreSetting(registry, kWindowModeValue, windowMode);
    ProgramSettings settings;
    FrmSettings dialog(registry, settings);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(QApplication::focusWidget()->objectName(), chain.first());
    for (qsizetype i = 1; i < chain.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget()->objectName(), chain[i]);
    }
    for (qsizetype i = chain.size() - 2; i >= 0; --i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
      QCOMPARE(QApplication::focusWidget()->objectName(), chain[i]);
    }
    // Within a frame the arrow keys move the choice, and the tab stop moves with it.
    const bool fromFirst = chain.first() == "Option1";
    QTest::keyClick(QApplication::focusWidget(), fromFirst ? Qt::Key_Down : Qt::Key_Up);
    const QString moved = fromFirst ? "Option2" : "Option1";
    QCOMPARE(QApplication::focusWidget()->objectName(), moved);
    QVERIFY(Option(dialog, moved.toLatin1().constData())->isChecked());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), moved);
    QCOMPARE(registry.keyExists(kCurrentUser, kSettingsKey), saveMode != "-");
    dialog.close();
  }

  void showsWhatTheStoreHolds_data() {
    QTest::addColumn<QString>("saveOptions");
    QTest::addColumn<QString>("saveOptions2");
    QTest::addColumn<QString>("checked");
    QTest::newRow("nothing stored") << "-"
                                    << "-"
                                    << "13";
    QTest::newRow("Two") << "Two"
                         << "-"
                         << "23";
    QTest::newRow("two") << "two"
                         << "-"
                         << "13";
    QTest::newRow("Two with a space") << "Two "
                                      << "-"
                                      << "13";
    QTest::newRow("One") << "One"
                         << "Max"
                         << "13";
    QTest::newRow("Min") << "-"
                         << "Min"
                         << "14";
    QTest::newRow("min") << "One"
                         << "min"
                         << "13";
    QTest::newRow("Two and Min") << "Two"
                                 << "Min"
                                 << "24";
    QTest::newRow("blank texts") << " "
                                 << " "
                                 << "13";
  }
  void showsWhatTheStoreHolds() {
    QFETCH(QString, saveOptions);
    QFETCH(QString, saveOptions2);
    QFETCH(QString, checked);
    MemoryRegistry registry;
    StoreSetting(registry, kSaveModeValue, saveOptions);
    StoreSetting(registry, kWindowModeValue, saveOptions2);
    // The copies disagree with the store on purpose: the dialog reads the store.
    ProgramSettings settings{"Two", "Min"};
    if (checked == "24") settings = {"One", "Max"};
    const int changesBefore = registry.committedChanges();
    FrmSettings dialog(registry, settings);
    QCOMPARE(Checked(dialog), checked);
    QCOMPARE(registry.committedChanges(), changesBefore);
    QCOMPARE(StoredSetting(registry, kSaveModeValue), saveOptions);
    QCOMPARE(StoredSetting(registry, kWindowModeValue), saveOptions2);
  }

  // Save writes both values in one go and the running program follows the new save mode
  // with its very next list command.
  void saveWritesBothAndSwitchesTheProgram_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("saveMode");
    QTest::addColumn<QString>("windowMode");
    QTest::newRow("nothing stored, unchanged") << "--" << QStringList{} << "One"
                                               << "Max";
    QTest::newRow("to manual, maximum") << "--" << QStringList{"Option2"} << "Two"
                                        << "Max";
    QTest::newRow("to manual, minimum") << "--" << QStringList{"Option2", "Option4"} << "Two"
                                        << "Min";
    QTest::newRow("to automatic, minimum") << "Two|Min" << QStringList{"Option1"} << "One"
                                           << "Min";
    QTest::newRow("to automatic, maximum")
        << "Two|Min" << QStringList{"Option1", "Option3"} << "One"
        << "Max";
    QTest::newRow("back and forth")
        << "Two|Max" << QStringList{"Option1", "Option4", "Option2", "Option3"} << "Two"
        << "Max";
  }
  void saveWritesBothAndSwitchesTheProgram() {
    QFETCH(QString, stored);
    QFETCH(QStringList, clicks);
    QFETCH(QString, saveMode);
    QFETCH(QString, windowMode);
    MemoryRegistry registry;
    StoreAddresses(registry, {"a", "b", "c"});
    if (stored != "--") {
      StoreSetting(registry, kSaveModeValue, stored.section('|', 0, 0));
      StoreSetting(registry, kWindowModeValue, stored.section('|', 1, 1));
    }
    MainWindowFixture f(registry);
    const bool wasManual = IsManualSaveMode(f.window->settings());
    // An unsaved change made before the switch stays unsaved: the switch writes no address.
    if (wasManual) {
      f.window->addresses().select(2);
      f.window->Command2_Click();
    }
    const std::vector<std::string> storedBefore = StoredAddresses(registry);
    {
      FrmSettings dialog(registry, f.window->settings());
      dialog.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      for (const QString& name : clicks)
        QTest::mouseClick(Option(dialog, name.toLatin1().constData()), Qt::LeftButton);
      QVERIFY(!registry.keyExists(kCurrentUser, kSettingsKey) || stored != "--");
      const int changesBefore = registry.committedChanges();
      QTest::mouseClick(Button(dialog, "Command1"), Qt::LeftButton);
      QVERIFY(!dialog.isVisible());
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
      QCOMPARE(registry.committedChanges(), changesBefore + 1);
    }
    QCOMPARE(StoredSetting(registry, kSaveModeValue), saveMode);
    QCOMPARE(StoredSetting(registry, kWindowModeValue), windowMode);
    QCOMPARE(QString::fromStdString(f.window->settings().SaveMode), saveMode);
    QCOMPARE(QString::fromStdString(f.window->settings().WindowMode), windowMode);
    QCOMPARE(StoredAddresses(registry), storedBefore);

    // The next list command: move the first entry down.
    f.window->addresses().select(0);
    const std::vector<std::string> listBefore = ListItems(*f.window);
    f.window->Command3_Click();
    const std::vector<std::string> listAfter = ListItems(*f.window);
    QVERIFY(listAfter != listBefore);
    if (saveMode == "Two") {
      QCOMPARE(StoredAddresses(registry), storedBefore);
    } else {
      QCOMPARE(StoredAddresses(registry), listAfter);
    }
    QVERIFY(f.interaction.messages.empty());
  }

  void defaultSettingsSelectsWritesAndCloses() {
    MemoryRegistry registry;
    StoreAddresses(registry, {"a", "b", "c"});
    StoreSetting(registry, kSaveModeValue, "Two");
    StoreSetting(registry, kWindowModeValue, "Min");
    MainWindowFixture f(registry);
    FrmSettings dialog(registry, f.window->settings());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(Checked(dialog), QStringLiteral("24"));
    QTest::mouseClick(Button(dialog, "Command2"), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(Checked(dialog), QStringLiteral("13"));
    QCOMPARE(StoredSetting(registry, kSaveModeValue), QStringLiteral("One"));
    QCOMPARE(StoredSetting(registry, kWindowModeValue), QStringLiteral("Max"));
    QCOMPARE(f.window->settings().SaveMode, std::string("One"));
    QCOMPARE(f.window->settings().WindowMode, std::string("Max"));
    f.window->addresses().select(1);
    f.window->Command2_Click();
    QCOMPARE(StoredAddresses(registry), std::vector<std::string>({"b", "a", "c"}));
  }

  // Changes followed by Cancel, Esc or the close box: nothing is written or changed; Esc
  // leaves the dialog open.
  void leavingWithoutSavingWritesNothing_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("stored");
    QTest::newRow("Cancel, nothing stored") << "Cancel"
                                            << "-";
    QTest::newRow("Esc, nothing stored") << "Esc"
                                         << "-";
    QTest::newRow("close box, nothing stored") << "close"
                                               << "-";
    QTest::newRow("Cancel, manual stored") << "Cancel"
                                           << "Two";
    QTest::newRow("close box, manual stored") << "close"
                                              << "Two";
  }
  void leavingWithoutSavingWritesNothing() {
    QFETCH(QString, how);
    QFETCH(QString, stored);
    MemoryRegistry registry;
    StoreSetting(registry, kSaveModeValue, stored);
    ProgramSettings settings;
    LoadSettings(registry, settings);
    const ProgramSettings before = settings;
    const int changesBefore = registry.committedChanges();
    {
      FrmSettings dialog(registry, settings);
      dialog.show();
      QVERIFY(QTest::qWaitForWindowActive(&dialog));
      const QString shown = Checked(dialog);
      for (const char* name : {"Option1", "Option2", "Option4"})
        if (!Option(dialog, name)->isChecked())
          QTest::mouseClick(Option(dialog, name), Qt::LeftButton);
      QVERIFY(Checked(dialog) != shown);
      if (how == "Cancel") {
        QTest::mouseClick(Button(dialog, "Command3"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
      } else if (how == "Esc") {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        dialog.close();
      } else {
        QVERIFY(dialog.close());
        QVERIFY(!dialog.isVisible());
      }
    }
    QCOMPARE(registry.committedChanges(), changesBefore);
    QCOMPARE(registry.keyExists(kCurrentUser, kSettingsKey), stored != "-");
    QCOMPARE(StoredSetting(registry, kSaveModeValue), stored);
    QCOMPARE(StoredSetting(registry, kWindowModeValue), QStringLiteral("-"));
    QCOMPARE(settings.SaveMode, before.SaveMode);
    QCOMPARE(settings.WindowMode, before.WindowMode);
    // The next opening shows the store again.
    FrmSettings again(registry, settings);
    QCOMPARE(Checked(again), stored == "Two" ? QStringLiteral("23") : QStringLiteral("13"));
  }

  void enterPressesNoButton_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    for (const char* name : {"Option1", "Option3", "Command1", "Command2", "Command3"}) {
      QTest::newRow(qPrintable(QStringLiteral("%1 Return").arg(name)))
          << name << int(Qt::Key_Return);
      QTest::newRow(qPrintable(QStringLiteral("%1 Enter").arg(name))) << name << int(Qt::Key_Enter);
    }
  }
  void enterPressesNoButton() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    MemoryRegistry registry;
    ProgramSettings settings;
    FrmSettings dialog(registry, settings);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto* target = dialog.findChild<QWidget*>(focus);
    target->setFocus(Qt::TabFocusReason);
    QCOMPARE(QApplication::focusWidget(), target);
    const Qt::KeyboardModifiers modifiers =
        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
    QTest::keyClick(target, Qt::Key(key), modifiers);
    QVERIFY(dialog.isVisible());
    QVERIFY(!registry.keyExists(kCurrentUser, kSettingsKey));
    QVERIFY(settings.SaveMode.empty() && settings.WindowMode.empty());
    dialog.close();
  }

  // Through the real menu item, on the real modal dialog: centred over the main window,
  // without an owner; the choice takes effect at once.
  void openedFromTheMenuSavesAndSwitches() {
    MemoryRegistry registry;
    StoreAddresses(registry, {"x", "y", "z"});
    MainWindowFixture f(registry);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    QAction* action = f.window->findChild<QAction*>(QStringLiteral("Settings"));
    QVERIFY(f.window->optionsMenu()->actions().contains(action));
    QPoint mainCentre;
    QString checkedWhenShown;
    QPoint dialogCentre;
    bool ownerless = false;
    DialogWatch driver;
    driver.whenShown<FrmSettings>([&](FrmSettings& dialog) {
      checkedWhenShown = Checked(dialog);
      dialogCentre = dialog.frameGeometry().center();
      mainCentre = f.window->frameGeometry().center();
      ownerless =
          dialog.parentWidget() == nullptr && dialog.windowModality() == Qt::ApplicationModal;
      QTest::mouseClick(Option(dialog, "Option2"), Qt::LeftButton);
      QTest::mouseClick(Option(dialog, "Option4"), Qt::LeftButton);
      QTest::mouseClick(Button(dialog, "Command1"), Qt::LeftButton);
    });
    action->trigger();
    QCOMPARE(driver.shown, 1);
    QVERIFY(!driver.stuck);
    QCOMPARE(checkedWhenShown, QStringLiteral("13"));
    QVERIFY(ownerless);
    QVERIFY2((dialogCentre - mainCentre).manhattanLength() <= 2,
             qPrintable(QStringLiteral("dialog centre %1,%2; main window centre %3,%4")
                            .arg(dialogCentre.x())
                            .arg(dialogCentre.y())
                            .arg(mainCentre.x())
                            .arg(mainCentre.y())));
    QCOMPARE(StoredSetting(registry, kSaveModeValue), QStringLiteral("Two"));
    QCOMPARE(StoredSetting(registry, kWindowModeValue), QStringLiteral("Min"));
    // Manual mode at once: moving an entry up changes only the list.
    f.window->addresses().select(1);
    QTest::mouseClick(f.window->findChild<QPushButton*>(QStringLiteral("Command2")),
                      Qt::LeftButton);
    QCOMPARE(ViewItems(*f.window), QStringList({"y", "x", "z"}));
    QCOMPARE(StoredAddresses(registry), std::vector<std::string>({"x", "y", "z"}));
    QVERIFY(f.interaction.messages.empty());
    QVERIFY(QApplication::topLevelWidgets().count() >= 1);
  }

  // The real modal dialog ignores Esc and Enter and closes by its close box; a failed write
  // on saving is told once the dialog has closed, and the choice holds for this run anyway.
  void openedFromTheMenuKeysCloseBoxAndFailedWrite() {
    MemoryRegistry registry;
    MainWindowFixture f(registry);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    QAction* action = f.window->findChild<QAction*>(QStringLiteral("Settings"));
    bool openAfterKeys = false;
    {
      DialogWatch driver;
      driver.whenShown<FrmSettings>([&](FrmSettings& dialog) {
        QTest::mouseClick(Option(dialog, "Option2"), Qt::LeftButton);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        openAfterKeys = dialog.isVisible();
        dialog.close();  // the close box
      });
      action->trigger();
      QCOMPARE(driver.shown, 1);
      QVERIFY(!driver.stuck);
    }
    QVERIFY(openAfterKeys);
    QVERIFY(!registry.keyExists(kCurrentUser, kSettingsKey));
    QVERIFY(f.interaction.messages.empty());

    registry.setFailWrites(true);
    {
      DialogWatch driver;
      driver.whenShown<FrmSettings>([&](FrmSettings& dialog) {
        QVERIFY(f.interaction.messages.empty());
        QTest::mouseClick(Option(dialog, "Option2"), Qt::LeftButton);
        QTest::mouseClick(Button(dialog, "Command1"), Qt::LeftButton);
      });
      action->trigger();
      QCOMPARE(driver.shown, 1);
      QVERIFY(!driver.stuck);
    }
    QCOMPARE(f.interaction.messages.size(), size_t(1));
    QCOMPARE(f.interaction.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(f.window->settings().SaveMode, std::string("Two"));
    QCOMPARE(f.window->settings().WindowMode, std::string("Max"));
    QVERIFY(!registry.keyExists(kCurrentUser, kSettingsKey));
  }
};

QTEST_MAIN(SettingsDialogTest)
#include "tst_settings_dialog.moc"
