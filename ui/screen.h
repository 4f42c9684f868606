// All the program asks of a front end: the few things that need a window system. The main
// window and the dialogs decide everything else and call these; each front end implements
// them once, and a recording implementation serves the tests.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavelin {

class Dialog;

inline constexpr std::string_view kErrorTitle = "Error";

enum class MessageIcon { kExclamation, kQuestion };

struct MessageBoxRequest {
  std::string title;
  std::string text;
  MessageIcon icon = MessageIcon::kExclamation;
};

// A file dialog, with its first filter `filterName` ("Text") over `filterPattern` ("*.txt"),
// and `moreFilters` after it. The dialog itself neither asks about replacing a file nor
// requires the file to exist.
struct FileDialogRequest {
  struct Filter {
    std::string name;
    std::string pattern;  // patterns separated by spaces
  };
  bool save = false;  // the save dialog; otherwise the open dialog
  std::string title;
  std::string filterName;
  std::string filterPattern;
  // A full file name, or empty: the dialog opens in its folder with that file selected.
  std::string initialName;
  std::vector<Filter> moreFilters = {};
  std::vector<std::string> places = {};  // folders offered beside the files (full paths)
};

// Where the Options menu pops up: at the mouse pointer, or (from the keyboard) at the
// selected row of the list, or its top-left corner when nothing is selected.
enum class PopUpPlace { kAtPointer, kAtSelection };

class Screen {
 public:
  virtual ~Screen() = default;

  // A modal box with one OK button, owned by the window it covers; returns when closed.
  virtual void showMessage(const MessageBoxRequest& message) = 0;
  // A modal question with Yes and No, Yes being the default. True for Yes.
  virtual bool askYesNo(const MessageBoxRequest& question) = 0;
  // The chosen full file name, in the core's path encoding; nothing when cancelled.
  virtual std::optional<std::string> chooseFile(const FileDialogRequest& dialog) = 0;

  // Shows the dialog modal over the main window, built from its layout and state, and
  // returns when it has closed. The dialog's own handlers close it through closeDialog.
  virtual void openDialog(Dialog& dialog) = 0;
  virtual void closeDialog(Dialog& dialog) = 0;
  // The dialog's state changed other than by the user's own typing or clicking: draw it.
  virtual void dialogChanged(Dialog& dialog) = 0;
  // Gives the dialog's text box the keyboard focus with its whole text selected.
  virtual void focusTextSelectAll(Dialog& dialog) = 0;

  // Pops up the main window's "Options" menu; returns at once or when it closes.
  virtual void popUpOptionsMenu(PopUpPlace place) = 0;
  // Ends the program: the main window closes and nothing more runs.
  virtual void endProgram() = 0;
  // The main window's title changed (it names the store the window works on): draw it.
  virtual void captionChanged() {}
};

// Each text in its own box titled "Error", one after the other.
template <class Texts>
void ShowErrors(Screen& screen, const Texts& texts) {
  for (const auto& text : texts) {
    screen.showMessage({std::string(kErrorTitle), std::string(text), MessageIcon::kExclamation});
  }
}

}  // namespace tavelin
