#include "qt/screen.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "qt/dialog_windows.h"
#include "qt/form_widgets.h"
#include "qt/main_window.h"

namespace tavelin::qt {

namespace {

// The core takes UTF-8 paths on Windows and the file system's own bytes elsewhere.
std::string CorePath(const QString& name) {
#ifdef Q_OS_WIN
  return QDir::toNativeSeparators(name).toStdString();
#else
  return QFile::encodeName(name).toStdString();
#endif
}

QString FromCorePath(const std::string& path) {
#ifdef Q_OS_WIN
  return QString::fromStdString(path);
#else
  return QFile::decodeName(QByteArray::fromStdString(path));
#endif
}

}  // namespace

QWidget* QtScreen::topWindow() const {
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
    if (*it && (*it)->isVisible()) return it->data();
  }
  return main_;
}

DialogWindow* QtScreen::window(const Dialog& dialog) const {
  for (const QPointer<DialogWindow>& window : open_) {
    if (window && &window->dialog() == &dialog) return window.data();
  }
  return nullptr;
}

void QtScreen::showMessage(const MessageBoxRequest& message) {
  QMessageBox box(
      message.icon == MessageIcon::kQuestion ? QMessageBox::Question : QMessageBox::Warning,
      ToQString(message.title), ToQString(message.text), QMessageBox::Ok, topWindow());
  box.setObjectName(QStringLiteral("ErrorMessage"));
  box.exec();
}

bool QtScreen::askYesNo(const MessageBoxRequest& question) {
  QMessageBox box(QMessageBox::Question, ToQString(question.title), ToQString(question.text),
                  QMessageBox::Yes | QMessageBox::No, topWindow());
  box.setObjectName(QStringLiteral("Question"));
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtScreen::chooseFile(const FileDialogRequest& request) {
  const auto filter = [](const std::string& name, const std::string& pattern) {
    return ToQString(name) + QStringLiteral(" (") + ToQString(pattern) + QStringLiteral(")");
  };
  QStringList filters{filter(request.filterName, request.filterPattern)};
  for (const FileDialogRequest::Filter& more : request.moreFilters) {
    filters << filter(more.name, more.pattern);
  }
  QFileDialog dialog(topWindow(), ToQString(request.title));
  dialog.setObjectName(QStringLiteral("FileDialog"));
  dialog.setNameFilters(filters);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // Any name is accepted, and replacing a file is not asked here: the command does both.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (!request.places.empty()) {
    QList<QUrl> places = dialog.sidebarUrls();
    for (const std::string& place : request.places) {
      places << QUrl::fromLocalFile(FromCorePath(place));
    }
    dialog.setSidebarUrls(places);
  }
  // In the file's folder, with the file selected, so that Enter alone opens it.
  if (!request.initialName.empty()) dialog.selectFile(FromCorePath(request.initialName));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return CorePath(chosen.first());
}

void QtScreen::captionChanged() {
  if (main_) main_->showCaption();
}

void QtScreen::openDialog(Dialog& dialog) {
  auto window = std::make_unique<DialogWindow>(dialog);
  open_.emplace_back(window.get());
  // Modal for the whole program, without an owner window.
  window->setWindowModality(Qt::ApplicationModal);
  PlaceWindow(*window, dialog.layout().placement, main_);
  dialog.setOpen(true);
  window->exec();
  dialog.setOpen(false);
  std::erase(open_, QPointer<DialogWindow>(window.get()));
}

void QtScreen::closeDialog(Dialog& dialog) {
  dialog.setOpen(false);
  if (DialogWindow* w = window(dialog)) w->unload();
}

void QtScreen::dialogChanged(Dialog& dialog) {
  if (DialogWindow* w = window(dialog)) w->redraw();
}

void QtScreen::focusTextSelectAll(Dialog& dialog) {
  if (DialogWindow* w = window(dialog)) w->focusTextSelectAll();
}

void QtScreen::popUpOptionsMenu(PopUpPlace place) {
  if (main_) main_->popUpOptionsMenu(place);
}

void QtScreen::endProgram() {
  if (main_) main_->close();
}

}  // namespace tavelin::qt
