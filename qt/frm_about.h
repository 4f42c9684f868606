// The About dialog: the program's text and a credit line that scrolls across the bottom.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTimer;

class FrmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit FrmAbout(QWidget* parent = nullptr);

  // The credit's left edge in twips; the label follows it in pixels.
  float creditLeftTwips() const { return creditLeft_; }
  void setCreditLeftTwips(float twips);

  static constexpr float kCreditStartTwips = -1560.0f;
  static constexpr float kCreditStepTwips = 120.0f;
  static constexpr float kCreditWrapTwips = 4560.0f;
  static constexpr int kTickMilliseconds = 100;

 public slots:
  // One scroll step.
  void Timer1_Timer();
  void Command1_Click();
  // Closing stops the scroll.
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildControls();
  void Form_Load();

  float creditLeft_ = kCreditStartTwips;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* Command1 = nullptr;
  QTimer* Timer1 = nullptr;
};
