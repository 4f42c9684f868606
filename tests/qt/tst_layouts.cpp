// Every window stands as its layout table says: each control by its name, kind, place, font,
// text, tooltip and picture; the window's title, size and boxes; the tab order.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>

#include "dialogs/address_dialog.h"
#include "dialogs/frm_about.h"
#include "dialogs/frm_settings.h"
#include "qt/dialog_windows.h"
#include "qt/form_widgets.h"
#include "qt_test_support.h"

using namespace tavelin;
using tavelin::qt::ToQString;

namespace {

// The window of one form, built as the program builds it, with what it was built from.
struct BuiltForm {
  explicit BuiltForm(const QString& name) : program({"first", "second"}) {
    program.core.List1_Click(1);
    const ListContext context{program.registry, program.core.List1(), program.core.settings()};
    if (name == "Mainn") {
      form = &Mainn::Layout();
      window = program.window.get();
      client = program.window->centralWidget();
      return;
    }
    if (name == "FrmAdd") {
      dialog = std::make_unique<FrmAdd>(program.screen, context);
    } else if (name == "FrmEdit") {
      auto edit = std::make_unique<FrmEdit>(program.screen, context);
      edit->Form_Load();
      dialog = std::move(edit);
    } else if (name == "FrmSettings") {
      auto settings =
          std::make_unique<FrmSettings>(program.screen, program.registry, program.core.settings());
      settings->Form_Load();
      dialog = std::move(settings);
    } else {
      auto about = std::make_unique<FrmAbout>(program.screen);
      about->Form_Load();
      dialog = std::move(about);
    }
    form = &dialog->layout();
    dialogWindow = std::make_unique<qt::DialogWindow>(*dialog);
    window = dialogWindow.get();
    client = window;
  }

  Program program;
  std::unique_ptr<Dialog> dialog;
  std::unique_ptr<qt::DialogWindow> dialogWindow;
  const FormLayout* form = nullptr;
  QWidget* window = nullptr;
  QWidget* client = nullptr;
};

bool TakesFocus(ControlKind kind) {
  return kind != ControlKind::kFrame && kind != ControlKind::kLabel && kind != ControlKind::kTimer;
}

}  // namespace

class LayoutsTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() {
    CloseAllWindows();
    QVERIFY2(OpenWindows().isEmpty(), qPrintable(OpenWindows().join(QLatin1Char(' '))));
  }

  void forms_data() {
    QTest::addColumn<QString>("form");
    for (const char* name : {"Mainn", "FrmAdd", "FrmEdit", "FrmSettings", "FrmAbout"}) {
      QTest::newRow(name) << QString::fromLatin1(name);
    }
  }

  void windowMatchesItsTable_data() { forms_data(); }
  void windowMatchesItsTable() {
    QFETCH(QString, form);
    BuiltForm built(form);
    const FormLayout& shape = *built.form;
    QCOMPARE(built.window->objectName(), ToQString(shape.name));
    QCOMPARE(built.window->windowTitle(), ToQString(shape.caption));
    const QSize client(TwipsToPixels(shape.clientWidth, 96), TwipsToPixels(shape.clientHeight, 96));
    QCOMPARE(built.client->size(), client);
    QCOMPARE(built.window->minimumSize(), built.window->maximumSize());
    QCOMPARE(built.window->parentWidget(), nullptr);
    const Qt::WindowFlags flags = built.window->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(bool(flags & Qt::WindowMinimizeButtonHint), shape.minimizeBox);
    QVERIFY(!(flags & Qt::WindowContextHelpButtonHint));
  }

  void controlsMatchTheirTable_data() { forms_data(); }
  void controlsMatchTheirTable() {
    QFETCH(QString, form);
    BuiltForm built(form);
    for (const ControlLayout& c : built.form->controls) {
      const QString name = ToQString(c.name);
      if (c.kind == ControlKind::kTimer) {
        auto* timer = built.window->findChild<QTimer*>(name);
        QVERIFY2(timer, qPrintable(name));
        QCOMPARE(timer->interval(), c.interval);
        continue;
      }
      auto* widget = built.window->findChild<QWidget*>(name);
      QVERIFY2(widget, qPrintable(name));
      QWidget* parent =
          c.parent.empty() ? built.client : built.window->findChild<QWidget*>(ToQString(c.parent));
      QCOMPARE(widget->parentWidget(), parent);

      QRect expected(TwipsToPixels(c.rect.left, 96), TwipsToPixels(c.rect.top, 96),
                     TwipsToPixels(c.rect.width, 96), TwipsToPixels(c.rect.height, 96));
      if (built.dialog && built.dialog->kind() == DialogKind::kAbout && c.name == "Label2") {
        // The credit stands where the scroll has it.
        const auto& about = static_cast<const FrmAbout&>(*built.dialog);
        expected.moveLeft(TwipsToPixels(static_cast<double>(about.creditLeftTwips()), 96));
      }
      QCOMPARE(widget->geometry(), expected);

      QCOMPARE(widget->font().family(), ToQString(c.font.face));
      QCOMPARE(widget->font().pointSizeF(), c.font.points);
      QCOMPARE(widget->font().bold(), c.font.bold);
      QCOMPARE(widget->toolTip(), ToQString(c.tooltip));
      if (!c.accessibleName.empty()) {
        QCOMPARE(widget->accessibleName(), ToQString(c.accessibleName));
      }
      if (!TakesFocus(c.kind)) QCOMPARE(widget->focusPolicy() & Qt::TabFocus, 0);

      switch (c.kind) {
        case ControlKind::kListBox:
          QVERIFY(qobject_cast<QAbstractItemView*>(widget));
          break;
        case ControlKind::kPushButton:
        case ControlKind::kPictureButton: {
          auto* button = qobject_cast<QPushButton*>(widget);
          QVERIFY2(button, qPrintable(name));
          QCOMPARE(button->text(), ToQString(c.text));
          // The table's default button is the default; no button becomes one by taking the
          // focus (the form presses the focused button on Enter itself).
          QCOMPARE(button->isDefault(), c.defaultButton);
          QVERIFY(!button->autoDefault());
          if (c.kind == ControlKind::kPictureButton) {
            QVERIFY(button->text().isEmpty());
            QCOMPARE(button->iconSize(), QSize(24, 24));
            QVERIFY2(!button->icon().pixmap(24, 24).isNull(), "the picture is missing");
          }
          break;
        }
        case ControlKind::kTextBox: {
          auto* box = qobject_cast<QPlainTextEdit*>(widget);
          QVERIFY2(box, qPrintable(name));
          QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
          QVERIFY(box->tabChangesFocus());
          QVERIFY(!box->isReadOnly());
          QCOMPARE(box->palette().color(QPalette::Base), box->palette().color(QPalette::Button));
          break;
        }
        case ControlKind::kFrame:
          QCOMPARE(qobject_cast<QGroupBox*>(widget)->title(), ToQString(c.text));
          break;
        case ControlKind::kOptionButton:
          QCOMPARE(qobject_cast<QRadioButton*>(widget)->text(), ToQString(c.text));
          break;
        case ControlKind::kLabel: {
          auto* label = qobject_cast<QLabel*>(widget);
          QVERIFY2(label, qPrintable(name));
          QCOMPARE(label->text(), ToQString(c.text));
          QCOMPARE(label->wordWrap(), c.wordWrap);
          const QColor highlight = label->palette().color(QPalette::Highlight);
          QCOMPARE(label->palette().color(QPalette::WindowText) == highlight, c.highlightText);
          break;
        }
        case ControlKind::kTimer:
          break;
      }
    }
  }

  // Tab runs through the controls that take the focus in the table's order, and round again,
  // starting from the one focused on opening. (The option buttons' one stop per frame is
  // checked with the Settings dialog.)
  void tabOrderFollowsTheTable_data() {
    QTest::addColumn<QString>("form");
    for (const char* name : {"Mainn", "FrmAdd", "FrmEdit", "FrmAbout"}) {
      QTest::newRow(name) << QString::fromLatin1(name);
    }
  }
  void tabOrderFollowsTheTable() {
    QFETCH(QString, form);
    BuiltForm built(form);
    std::vector<const ControlLayout*> stops;
    for (const ControlLayout& c : built.form->controls) {
      if (c.tabIndex >= 0 && TakesFocus(c.kind)) stops.push_back(&c);
    }
    std::sort(stops.begin(), stops.end(), [](const ControlLayout* a, const ControlLayout* b) {
      return a->tabIndex < b->tabIndex;
    });
    QStringList expected;
    for (const ControlLayout* c : stops) expected << ToQString(c->name);
    expected << expected.first();

    built.window->show();
    QVERIFY(QTest::qWaitForWindowActive(built.window));
    QStringList seen{QApplication::focusWidget()->objectName()};
    for (qsizetype i = 1; i < expected.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      seen << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(seen, expected);
    built.window->hide();
  }
};

QTEST_MAIN(LayoutsTest)
#include "tst_layouts.moc"
