// The Settings dialog: the save mode and the window mode, as stored under the program's key.
#pragma once

#include <QDialog>

#include "store/registry.h"
#include "store/settings_store.h"

class QGroupBox;
class QPushButton;
class QRadioButton;

class FrmSettings : public QDialog {
  Q_OBJECT
 public:
  // Shows what the store holds (not the in-memory copies); writes go to the store and to
  // `settings`, which the rest of the program reads.
  FrmSettings(tavelin::RegistryBackend& backend, tavelin::ProgramSettings& settings,
              QWidget* parent = nullptr);

 public slots:
  void Command1_Click();  // Save settings
  void Command2_Click();  // Default settings
  void Command3_Click();  // Cancel

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildControls();
  void Form_Load();

  tavelin::RegistryBackend& backend_;
  tavelin::ProgramSettings& settings_;

  QGroupBox* Frame1 = nullptr;
  QRadioButton* Option1 = nullptr;
  QRadioButton* Option2 = nullptr;
  QGroupBox* Frame2 = nullptr;
  QRadioButton* Option3 = nullptr;
  QRadioButton* Option4 = nullptr;
  QPushButton* Command1 = nullptr;
  QPushButton* Command2 = nullptr;
  QPushButton* Command3 = nullptr;
};
