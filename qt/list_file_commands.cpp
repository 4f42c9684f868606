// "Save list as" and "Open list": the list to and from an address list file.
#include <QDir>
#include <QFile>
#include <utility>

#include "app/main_window.h"
#include "files/list_file.h"

namespace {

const QString kListFileFilter = QStringLiteral("Text (*.txt)");

// The core takes UTF-8 paths on Windows and the file system's own bytes elsewhere.
std::string CorePath(const QString& name) {
#ifdef Q_OS_WIN
  return QDir::toNativeSeparators(name).toStdString();
#else
  return QFile::encodeName(name).toStdString();
#endif
}

QString FromCore(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

void Mainn::FileSave_Click() {
  const QString chosen = interaction_.chooseSaveFile(this, QStringLiteral("Save addresses to..."),
                                                     kListFileFilter, lastListFileName);
  if (chosen.isEmpty()) return;
  lastListFileName = chosen;

  const std::string target = tavelin::ListFileTargetName(CorePath(chosen));
  const tavelin::ListFileTarget check = tavelin::CheckListFileTarget(target);
  switch (check.state) {
    case tavelin::ListFileTarget::State::kRefused:
      interaction_.showError(this, FromCore(check.error));
      return;
    case tavelin::ListFileTarget::State::kExisting:
      if (!interaction_.askYesNo(
              this, QStringLiteral("File exists"),
              QStringLiteral("File is already exists, would you like to replace it?"))) {
        return;
      }
      break;
    case tavelin::ListFileTarget::State::kNew:
      break;
  }
  const tavelin::FileResult written = tavelin::WriteListFile(target, addresses_.items());
  if (!written.ok) interaction_.showError(this, FromCore(written.error));
}

void Mainn::FileOpen_Click() {
  const QString chosen = interaction_.chooseOpenFile(this, QStringLiteral("Open addresses from..."),
                                                     kListFileFilter, lastListFileName);
  if (chosen.isEmpty()) return;
  lastListFileName = chosen;

  // The whole file is read before the list is touched, so a refusal or a failure leaves it.
  tavelin::ListFileRead read = tavelin::ReadListFile(CorePath(chosen));
  switch (read.outcome) {
    case tavelin::ListFileRead::Outcome::kMissing:
      interaction_.showError(this, QStringLiteral("File doesn't exist!"));
      return;
    case tavelin::ListFileRead::Outcome::kUnsupportedExtension:
      interaction_.showError(this, QStringLiteral("File extension is not supported!"));
      return;
    case tavelin::ListFileRead::Outcome::kFailed:
      interaction_.showError(this, FromCore(read.error));
      return;
    case tavelin::ListFileRead::Outcome::kRead:
      break;
  }
  tavelin::ApplyImportedAddresses(backend_, addresses_, settings_, std::move(read.entries));
  showStoreNotices();
}
