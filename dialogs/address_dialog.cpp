#include "dialogs/address_dialog.h"

#include <QKeyEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

#include "app/main_window.h"
#include "dialogs/dialog_support.h"
#include "platform/wtf8.h"

namespace {

constexpr int kClientHeightTwips = 1080;

QString ToQString(const std::string& text) {
  const std::u16string wide = tavelin::Wtf8ToUtf16(text);
  return QString(reinterpret_cast<const QChar*>(wide.data()), static_cast<qsizetype>(wide.size()));
}

std::string FromQString(const QString& text) {
  return tavelin::Utf16ToWtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                  static_cast<std::size_t>(text.size())));
}

}  // namespace

AddressDialog::AddressDialog(Mainn& mainWindow, const char* name, const QString& caption,
                             int clientWidthTwips, const QString& command1Caption,
                             const QRect& command1Geometry)
    : QDialog(nullptr), mainWindow_(mainWindow) {
  setObjectName(QLatin1String(name));
  setWindowTitle(caption);
  ConfigureFixedDialog(*this, clientWidthTwips, kClientHeightTwips);
  const QFont font = ArialBold(9);

  Text1 = new QPlainTextEdit(this);
  Text1->setObjectName(QStringLiteral("Text1"));
  Text1->setGeometry(TwipsRect(0, 0, 5655, 735));
  Text1->setFont(font);
  Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Text1->setTabChangesFocus(true);
  QPalette palette = Text1->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Button));
  Text1->setPalette(palette);

  auto makeButton = [&](const char* buttonName, const QString& text, const QRect& geometry) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(QLatin1String(buttonName));
    button->setGeometry(geometry);
    button->setFont(font);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
  };
  Command1 = makeButton("Command1", command1Caption, command1Geometry);
  Command2 = makeButton("Command2", QStringLiteral("Cancel"), TwipsRect(3000, 760, 1335, 300));
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, &AddressDialog::Command2_Click);

  setTabOrder(Text1, Command1);
  setTabOrder(Command1, Command2);
  Text1->setFocus();
}

std::string AddressDialog::addressText() const {
  QString box = Text1->document()->toRawText();
  if (box == loadedBoxText_) return loadedText_;
  // The document keeps a typed line break as a paragraph separator (Shift+Enter: a line
  // separator); toPlainText() would also turn no-break spaces into spaces.
  box.replace(QChar(QChar::ParagraphSeparator), QStringLiteral("\r\n"));
  box.replace(QChar(QChar::LineSeparator), QStringLiteral("\r\n"));
  return FromQString(box);
}

void AddressDialog::setAddressText(const std::string& text) {
  Text1->setPlainText(ToQString(text));
  loadedText_ = text;
  loadedBoxText_ = Text1->document()->toRawText();
}

void AddressDialog::Command2_Click() {
  close();
}

void AddressDialog::refuse(tavelin::CommandMessage message) {
  const std::string_view text = tavelin::MessageText(message);
  mainWindow_.interaction().showError(
      this, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  Text1->setFocus(Qt::OtherFocusReason);
  Text1->selectAll();
}

void AddressDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
