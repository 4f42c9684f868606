// A screen that shows nothing: it records what the program asked of it and gives prepared
// answers, so that every handler of every window and dialog can be tested without a toolkit.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "browse/browser_launcher.h"
#include "ui/dialog.h"
#include "ui/screen.h"

namespace tavelin::testing {

class RecordingScreen : public Screen {
 public:
  // Every call in order, e.g. "message:Error:No address was selected.", "open:FrmAdd",
  // "close:FrmAdd", "focus:FrmAdd", "popup:pointer", "end", "caption".
  std::vector<std::string> events;
  std::vector<MessageBoxRequest> messages;
  std::vector<MessageBoxRequest> questions;
  std::vector<FileDialogRequest> fileDialogs;
  // Answers, in order: Yes when none is left; a cancelled file dialog when none is left.
  std::deque<bool> answers;
  std::deque<std::optional<std::string>> files;
  // What the user does while a dialog is open, in order. A dialog still open when they run
  // out is closed with its close box, as a user would.
  std::deque<std::function<void(Dialog&)>> whileOpen;
  int changes = 0;  // dialogChanged calls

  std::vector<std::string> messageTexts() const {
    std::vector<std::string> out;
    for (const MessageBoxRequest& m : messages) out.push_back(m.text);
    return out;
  }

  void showMessage(const MessageBoxRequest& message) override {
    messages.push_back(message);
    events.push_back("message:" + message.title + ":" + message.text);
  }
  bool askYesNo(const MessageBoxRequest& question) override {
    questions.push_back(question);
    events.push_back("question:" + question.title + ":" + question.text);
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<std::string> chooseFile(const FileDialogRequest& dialog) override {
    fileDialogs.push_back(dialog);
    events.push_back(std::string(dialog.save ? "save:" : "open:") + dialog.title);
    if (files.empty()) return std::nullopt;
    std::optional<std::string> chosen = files.front();
    files.pop_front();
    return chosen;
  }
  void openDialog(Dialog& dialog) override {
    events.push_back("open:" + std::string(dialog.layout().name));
    dialog.setOpen(true);
    while (dialog.isOpen() && !whileOpen.empty()) {
      std::function<void(Dialog&)> step = std::move(whileOpen.front());
      whileOpen.pop_front();
      step(dialog);
    }
    if (dialog.isOpen()) dialog.CloseBox_Click();
  }
  void closeDialog(Dialog& dialog) override {
    events.push_back("close:" + std::string(dialog.layout().name));
    dialog.setOpen(false);
  }
  void dialogChanged(Dialog&) override { ++changes; }
  void focusTextSelectAll(Dialog& dialog) override {
    events.push_back("focus:" + std::string(dialog.layout().name));
  }
  void popUpOptionsMenu(PopUpPlace place) override {
    events.push_back(place == PopUpPlace::kAtPointer ? "popup:pointer" : "popup:selection");
  }
  void endProgram() override { events.push_back("end"); }
  void captionChanged() override { events.push_back("caption"); }
};

// A browser launcher that only records.
class RecordingLauncher : public BrowserLauncher {
 public:
  LaunchOutcome open(const std::string& address, int showCommand) override {
    launches.emplace_back(address, showCommand);
    return outcome;
  }
  std::vector<std::pair<std::string, int>> launches;
  LaunchOutcome outcome{true, {}};
};

}  // namespace tavelin::testing
