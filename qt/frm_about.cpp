#include "dialogs/frm_about.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QTimer>
#include <QtMath>

#include "dialogs/dialog_support.h"

namespace {
constexpr int kClientWidthTwips = 4680;
constexpr int kClientHeightTwips = 3120;
constexpr int kCreditTopTwips = 2835;
constexpr int kCreditWidthTwips = 1605;
constexpr int kCreditHeightTwips = 285;

QString AboutText() {
  return QStringLiteral(
             "Tavelin was made by its author, the Tavelin developer; all rights are reserved "
             "to the author.\n"
             "Version: 2.2.0.\n"
             "This program is not responsible for any damage caused using it, use it by your "
             "own responsibility\n"
             "You can contact with me by mailing an e-mail to the following address: ") +
         QStringLiteral("tavelin@example.org") +
         QStringLiteral(" Thanks to the authors of the registry sample code.");
}
}  // namespace

FrmAbout::FrmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FrmAbout"));
  setWindowTitle(QStringLiteral("Information"));
  ConfigureFixedDialog(*this, kClientWidthTwips, kClientHeightTwips);
  buildControls();
  Form_Load();
  // Runs from the moment the dialog is built until it closes.
  Timer1->start();
}

void FrmAbout::buildControls() {
  Label1 = new QLabel(AboutText(), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(TwipsRect(120, 120, 4440, 2415));
  Label1->setFont(ArialBold(9.75));
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1->setTextFormat(Qt::PlainText);

  Label2 = new QLabel(QStringLiteral("Tavelin dev"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setFont(ArialBold(12));
  Label2->setWordWrap(false);
  Label2->setTextFormat(Qt::PlainText);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QPalette creditColours = Label2->palette();
  creditColours.setColor(QPalette::WindowText, creditColours.color(QPalette::Highlight));
  Label2->setPalette(creditColours);

  Command1 = new QPushButton(QStringLiteral("Ok"), this);
  Command1->setObjectName(QStringLiteral("Command1"));
  Command1->setGeometry(TwipsRect(1920, 2560, 735, 255));
  QFont buttonFont(QStringLiteral("MS Sans Serif"));
  buttonFont.setStyleHint(QFont::SansSerif);
  buttonFont.setPointSizeF(8.25);
  buttonFont.setBold(true);
  Command1->setFont(buttonFont);
  // The only control that takes focus; Enter and Space press it as the focused button.
  Command1->setAutoDefault(true);
  Command1->setDefault(false);
  Command1->setFocus();
  connect(Command1, &QPushButton::clicked, this, &FrmAbout::Command1_Click);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kTickMilliseconds);
  connect(Timer1, &QTimer::timeout, this, &FrmAbout::Timer1_Timer);
}

void FrmAbout::Form_Load() {
  setCreditLeftTwips(kCreditStartTwips);
}

void FrmAbout::setCreditLeftTwips(float twips) {
  creditLeft_ = twips;
  // Left of the client area the label is simply clipped.
  Label2->setGeometry(qRound(creditLeft_ / 15.0f), Twips(kCreditTopTwips), Twips(kCreditWidthTwips),
                      Twips(kCreditHeightTwips));
}

void FrmAbout::Timer1_Timer() {
  if (creditLeft_ < kCreditWrapTwips) {
    setCreditLeftTwips(creditLeft_ + kCreditStepTwips);
  } else {
    setCreditLeftTwips(kCreditStartTwips);
  }
}

void FrmAbout::Command1_Click() {
  accept();
}

void FrmAbout::keyPressEvent(QKeyEvent* event) {
  // Only "Ok" and the close box close it.
  if (event->matches(QKeySequence::Cancel)) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void FrmAbout::done(int result) {
  Timer1->stop();
  QDialog::done(result);
}
