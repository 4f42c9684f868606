// dialogs/ holds the four dialogs without a toolkit (FrmAdd, FrmEdit, FrmSettings,
// FrmAbout): their state, handlers, texts and layout tables. They use ui/ (the tables, the
// screen, the dialog base) and the core below it (the list's commands, the stores), never
// app/ or a toolkit.
//
// What the Add and Edit dialogs share: one multi-line text box for an address and two buttons,
// neither of which is the default or the cancel button.
#pragma once

#include <string>
#include <string_view>

#include "list/list_commands.h"
#include "ui/dialog.h"

namespace tavelin {

// A line break in any of the forms a text box may give (CR LF, LF, CR, and the line and
// paragraph separators U+2028 and U+2029) becomes CR LF, as a Windows text box gives it.
std::string NormaliseLineBreaks(std::string_view text);

class AddressDialog : public Dialog {
 public:
  // What the text box shows.
  const std::string& Text1() const { return text_; }
  // Whether the box opens with its whole text selected, so that typing replaces it.
  bool Text1SelectedOnOpen() const { return selectAllOnOpen_; }

  // The user changed the box's text; `typed` is the whole text as the box holds it.
  void Text1_Change(std::string_view typed);

  // The text as the list will store it: a box left as it was loaded (or changed back to it)
  // gives back the loaded text exactly, so that saving an unchanged address rewrites the
  // same bytes; otherwise what was typed, its line breaks as CR LF.
  std::string StoredText() const;

  // "Add" or "Save changes".
  virtual void Command1_Click() = 0;
  // "Cancel": unloads the dialog; nothing else changes.
  void Command2_Click() { Unload(); }

 protected:
  AddressDialog(Screen& screen, ListContext context) : Dialog(screen), context_(context) {}

  // Runs the command on the text: a refusal is told, and the focus goes back into the box
  // with the whole text selected; otherwise the dialog unloads and the store's notices,
  // if any, are told.
  void Finish(const CommandResult& result);

  void Load(std::string text) {
    text_ = text;
    loaded_ = std::move(text);
    selectAllOnOpen_ = true;
  }

  ListContext context_;

 private:
  std::string text_;
  std::string loaded_;
  bool selectAllOnOpen_ = false;
};

// "Tavelin - Add new address".
class FrmAdd : public AddressDialog {
 public:
  FrmAdd(Screen& screen, ListContext context) : AddressDialog(screen, context) {}
  DialogKind kind() const override { return DialogKind::kAdd; }
  const FormLayout& layout() const override { return Layout(); }
  static const FormLayout& Layout();

  // "Add": appends the text as typed and unloads; blank text is refused.
  void Command1_Click() override;
};

// "Tavelin - Edit": edits the selected entry.
class FrmEdit : public AddressDialog {
 public:
  FrmEdit(Screen& screen, ListContext context) : AddressDialog(screen, context) {}
  DialogKind kind() const override { return DialogKind::kEdit; }
  const FormLayout& layout() const override { return Layout(); }
  static const FormLayout& Layout();

  // Fills the box with the selected entry, all of it selected.
  void Form_Load();
  // "Save changes": replaces the selected entry's text and unloads; blank text is refused.
  void Command1_Click() override;
};

}  // namespace tavelin
