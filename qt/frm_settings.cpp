#include "dialogs/frm_settings.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <utility>

#include "dialogs/dialog_support.h"

namespace {
constexpr int kClientWidthTwips = 4605;
constexpr int kClientHeightTwips = 2340;

constexpr std::string_view kAutomaticSave = "One";
constexpr std::string_view kManualSave = "Two";
constexpr std::string_view kMaximumWindow = "Max";
constexpr std::string_view kMinimumWindow = "Min";
}  // namespace

FrmSettings::FrmSettings(tavelin::RegistryBackend& backend, tavelin::ProgramSettings& settings,
                         QWidget* parent)
    : QDialog(parent), backend_(backend), settings_(settings) {
  setObjectName(QStringLiteral("FrmSettings"));
  setWindowTitle(QStringLiteral("Tavelin - Settings"));
  ConfigureFixedDialog(*this, kClientWidthTwips, kClientHeightTwips);
  buildControls();
  Form_Load();
}

void FrmSettings::buildControls() {
  const QFont font = ArialBold(9);
  setFont(font);

  auto makeFrame = [&](const char* name, const QString& caption, const QRect& geometry) {
    auto* frame = new QGroupBox(caption, this);
    frame->setObjectName(QLatin1String(name));
    frame->setGeometry(geometry);
    frame->setFont(font);
    return frame;
  };
  auto makeOption = [&](QGroupBox* frame, const char* name, const QString& caption,
                        const QRect& geometry) {
    auto* option = new QRadioButton(caption, frame);
    option->setObjectName(QLatin1String(name));
    option->setGeometry(geometry);
    option->setFont(font);
    return option;
  };
  auto makeButton = [&](const char* name, const QString& caption, const QRect& geometry) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setFont(font);
    // Neither Enter nor Esc may press a button of this dialog.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
  };

  // Created in tab order, so that the focus chain follows it even before setTabOrder.
  Frame1 = makeFrame("Frame1", QStringLiteral("Save options"), TwipsRect(0, 0, 4455, 855));
  Option2 =
      makeOption(Frame1, "Option2", QStringLiteral("Save only after pressing Save all changes"),
                 TwipsRect(120, 480, 3855, 255));
  Option1 = makeOption(Frame1, "Option1", QStringLiteral("Automatic addresses save (Recommended) "),
                       TwipsRect(120, 240, 4095, 255));
  Option1->setToolTip(QStringLiteral(
      "Automatic saves addresses when you add any address, delete, reorder and edit addresses"));
  Command1 =
      makeButton("Command1", QStringLiteral("Save settings"), TwipsRect(120, 1920, 1335, 375));
  Command2 =
      makeButton("Command2", QStringLiteral("Default settings"), TwipsRect(1560, 1920, 1575, 375));
  Command3 = makeButton("Command3", QStringLiteral("Cancel"), TwipsRect(3240, 1920, 1215, 375));
  Frame2 = makeFrame("Frame2", QStringLiteral("Web options"), TwipsRect(0, 960, 4455, 855));
  Option3 = makeOption(Frame2, "Option3", QStringLiteral("Open page in maximum size"),
                       TwipsRect(120, 240, 4095, 255));
  Option4 = makeOption(Frame2, "Option4", QStringLiteral("Open page in minimum size"),
                       TwipsRect(120, 480, 3855, 255));

  // The frames take no focus. Each frame's option buttons make one tab stop, at the checked
  // button; the arrow keys move within the frame.
  Frame1->setFocusPolicy(Qt::NoFocus);
  Frame2->setFocusPolicy(Qt::NoFocus);
  for (auto [first, second] : {std::pair{Option1, Option2}, std::pair{Option3, Option4}}) {
    auto oneTabStop = [first, second] {
      for (QRadioButton* option : {first, second})
        option->setFocusPolicy(option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    };
    connect(first, &QRadioButton::toggled, this, oneTabStop);
    connect(second, &QRadioButton::toggled, this, oneTabStop);
  }
  setTabOrder(Option2, Option1);
  setTabOrder(Option1, Command1);
  setTabOrder(Command1, Command2);
  setTabOrder(Command2, Command3);
  setTabOrder(Command3, Option3);
  setTabOrder(Option3, Option4);

  Option1->setChecked(true);
  Option3->setChecked(true);

  connect(Command1, &QPushButton::clicked, this, &FrmSettings::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &FrmSettings::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &FrmSettings::Command3_Click);
}

void FrmSettings::Form_Load() {
  tavelin::Transaction transaction(backend_);
  // Only the exact texts select the non-default options.
  if (tavelin::modReg::ReadRegString(backend_, tavelin::kCurrentUser, tavelin::kSettingsKey,
                                     tavelin::kSaveModeValue) == kManualSave) {
    Option2->setChecked(true);
  }
  if (tavelin::modReg::ReadRegString(backend_, tavelin::kCurrentUser, tavelin::kSettingsKey,
                                     tavelin::kWindowModeValue) == kMinimumWindow) {
    Option4->setChecked(true);
  }
}

void FrmSettings::Command1_Click() {
  {
    tavelin::Transaction transaction(backend_);
    if (Option1->isChecked()) {
      tavelin::StoreSaveMode(backend_, settings_, kAutomaticSave);
    } else if (Option2->isChecked()) {
      tavelin::StoreSaveMode(backend_, settings_, kManualSave);
    }
    if (Option3->isChecked()) {
      tavelin::StoreWindowMode(backend_, settings_, kMaximumWindow);
    } else if (Option4->isChecked()) {
      tavelin::StoreWindowMode(backend_, settings_, kMinimumWindow);
    }
  }
  accept();
}

void FrmSettings::Command2_Click() {
  {
    tavelin::Transaction transaction(backend_);
    Option1->setChecked(true);
    tavelin::StoreSaveMode(backend_, settings_, kAutomaticSave);
    Option3->setChecked(true);
    tavelin::StoreWindowMode(backend_, settings_, kMaximumWindow);
  }
  accept();
}

void FrmSettings::Command3_Click() {
  reject();
}

void FrmSettings::keyPressEvent(QKeyEvent* event) {
  // There is no cancel button: Esc does nothing. The close box still closes the dialog.
  if (event->matches(QKeySequence::Cancel)) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
