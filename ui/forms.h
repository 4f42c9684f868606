// ui/ holds what the windows of the program (app/, dialogs/) and both front ends share: these
// tables, the screen interface (screen.h) and the dialog base (dialog.h). It uses the standard
// library only, and knows no dialog, window or toolkit.
//
// The shape of every window and dialog as data: controls with their kind, text, position in
// twips, tab order, font, role (default or cancel button) and the handlers their events run,
// and the menus with their items and shortcut keys. Each front end builds its windows from
// these tables and calls what a row names, so that adding a control is one row here.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace tavelin {

// Positions and sizes are in twips: 1/1440 inch, 15 twips to a pixel at 96 dpi.
struct TwipsRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TwipsRect&) const = default;
};

// Twips to pixels at the given resolution (dots per inch), rounded to the nearest pixel.
constexpr int TwipsToPixels(int twips, int dpi) {
  const long long scaled = static_cast<long long>(twips) * dpi;
  return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}
constexpr int TwipsToPixels(double twips, int dpi) {
  const double scaled = twips * dpi / 1440.0;
  return static_cast<int>(scaled >= 0 ? scaled + 0.5 : scaled - 0.5);
}

struct FontStyle {
  std::string_view face = "Arial";
  double points = 9;
  bool bold = true;
};
inline constexpr FontStyle kArialBold9{"Arial", 9, true};

enum class ControlKind {
  kListBox,        // single selection, unsorted
  kPushButton,     // a caption
  kPictureButton,  // a picture and no caption
  kTextBox,        // multi-line, with a vertical scroll bar, in the button-face colour
  kFrame,          // a group box holding option buttons
  kOptionButton,   // one of a frame's radio buttons
  kLabel,          // text; `wordWrap` says whether it wraps
  kTimer,          // invisible; `interval` in milliseconds
};

// The object behind a window or dialog (the main window, each dialog): the handlers in its
// table are its own, and a front end calls them on it.
class Form {
 public:
  virtual ~Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

 protected:
  Form() = default;
};

// What a table row runs for an event, and what it asks for what a control shows now.
using ClickHandler = void (*)(Form&);
using TextHandler = void (*)(Form&, std::string_view);  // the whole text as the box holds it
using IndexHandler = void (*)(Form&, int);
using KeyHandler = void (*)(Form&, int code, int shiftState);
using TextQuery = std::string (*)(const Form&);
using FlagQuery = bool (*)(const Form&);
using TwipsQuery = double (*)(const Form&);
// A character typed at `time` (the key event's, in milliseconds) with `interval` the pause
// after which the platform starts a new search; the row it selects, or -1.
using TypedHandler = int (*)(Form&, std::string_view text, std::uint32_t time,
                             std::uint32_t interval);

template <class Method>
struct MethodOwner;
template <class Owner, class Result, class... Args>
struct MethodOwner<Result (Owner::*)(Args...)> {
  using type = Owner;
};
template <class Owner, class Result, class... Args>
struct MethodOwner<Result (Owner::*)(Args...) const> {
  using type = const Owner;
};

// A table's handler: calls `method` of the form the table belongs to, e.g.
// `.click = &Call<&FrmSettings::Option1_Click>`; the arguments follow the handler's type.
template <auto method, class Result, class... Args>
Result Call(std::conditional_t<std::is_const_v<typename MethodOwner<decltype(method)>::type>,
                               const Form&, Form&>
                form,
            Args... args) {
  using Owner = typename MethodOwner<decltype(method)>::type;
  return static_cast<Result>((static_cast<Owner&>(form).*method)(args...));
}

// Runs a row's handler, when it has one.
template <class Handler, class... Args>
void Dispatch(Handler handler, Form& form, Args... args) {
  if (handler != nullptr) handler(form, args...);
}

struct ControlLayout {
  std::string_view name = {};  // the control's name, e.g. "Command1"
  ControlKind kind = ControlKind::kPushButton;
  std::string_view text = {};  // caption or content
  TwipsRect rect = {};         // relative to the client area, or to `parent` when it is a frame
  int tabIndex = -1;           // -1: takes no part in the tab order
  FontStyle font = kArialBold9;
  std::string_view parent = {};          // the frame that holds an option button
  std::string_view tooltip = {};         // empty: none
  std::string_view picture = {};         // picture buttons: "arrow-up" or "arrow-down"
  std::string_view accessibleName = {};  // what a screen reader says for a control without text
  bool wordWrap = false;
  bool highlightText = false;  // text drawn in the system's highlight colour
  int interval = 0;
  // Push buttons: Enter pressed anywhere in the window presses its default button, Esc its
  // cancel button. A window may have neither; Enter and Space always press the button that
  // has the focus.
  bool defaultButton = false;
  bool cancelButton = false;

  // What the control's events run; null: the event does nothing.
  ClickHandler click = nullptr;     // buttons and option buttons: a click, Space, or a key the
                                    // table gives the button
  TextHandler change = nullptr;     // text box: its text changed
  ClickHandler timer = nullptr;     // timer: every `interval`
  IndexHandler select = nullptr;    // list: the user selected a row (-1: none)
  ClickHandler dblClick = nullptr;  // list
  KeyHandler keyDown = nullptr;     // list: a key code as Windows numbers it, shift:: bits
  KeyHandler mouseDown = nullptr;   // list: a mouse:: button, shift:: bits
  ClickHandler contextMenuKey = nullptr;  // list: the Menu key or Shift+F10
  TypedHandler typeAhead = nullptr;       // list: a typed character; the row it selects, or -1

  // What the control shows now, where the form decides it; null: what the table says.
  TextQuery value = nullptr;            // text box: its text
  FlagQuery selected = nullptr;         // option button: whether it is the selected one
  TwipsQuery left = nullptr;            // a control that moves: its left edge
  FlagQuery selectAllOnOpen = nullptr;  // text box: opens with its whole text selected
};

enum class Placement { kCentreOfScreen, kCentreOverMainWindow };

struct FormLayout {
  std::string_view name = {};  // e.g. "Mainn", "FrmAdd"
  std::string_view caption = {};
  int clientWidth = 0;  // twips, below the menu bar; the size is fixed
  int clientHeight = 0;
  bool minimizeBox = false;  // a close box always; a maximize box never
  Placement placement = Placement::kCentreOverMainWindow;
  std::span<const ControlLayout> controls = {};

  const ControlLayout* control(std::string_view controlName) const {
    for (const ControlLayout& c : controls) {
      if (c.name == controlName) return &c;
    }
    return nullptr;
  }
  // The button that Enter presses where no button has the focus, or null.
  const ControlLayout* defaultButton() const {
    for (const ControlLayout& c : controls) {
      if (c.defaultButton) return &c;
    }
    return nullptr;
  }
  // The button that Esc presses, or null.
  const ControlLayout* cancelButton() const {
    for (const ControlLayout& c : controls) {
      if (c.cancelButton) return &c;
    }
    return nullptr;
  }
};

// Key codes as Windows numbers them (the Delete key is 46).
namespace keys {
inline constexpr int kReturn = 0x0D;
inline constexpr int kEscape = 0x1B;
inline constexpr int kSpace = 0x20;
inline constexpr int kDelete = 0x2E;
inline constexpr int kF5 = 0x74;
inline constexpr int kF10 = 0x79;
inline constexpr int kApps = 0x5D;  // the Menu key
inline constexpr int kO = 'O';
inline constexpr int kS = 'S';
inline constexpr int kY = 'Y';
inline constexpr int kZ = 'Z';
}  // namespace keys

// The push button that a key pressed in `form` presses, or null: Enter and Space press the
// button that has the focus (`focused`, null when the focus is elsewhere); otherwise Enter
// presses the form's default button and Esc its cancel button, if it has them. In a text box
// Enter is a line break.
inline const ControlLayout* ButtonPressedByKey(const FormLayout& form, int key,
                                               const ControlLayout* focused) {
  if (key == keys::kReturn && focused != nullptr && focused->kind == ControlKind::kTextBox) {
    return nullptr;
  }
  const bool focusedButton = focused != nullptr && (focused->kind == ControlKind::kPushButton ||
                                                    focused->kind == ControlKind::kPictureButton);
  if ((key == keys::kReturn || key == keys::kSpace) && focusedButton) return focused;
  if (key == keys::kReturn) return form.defaultButton();
  if (key == keys::kEscape) return form.cancelButton();
  return nullptr;
}

// Modifier bits of a key event, as the list's key handler receives them.
namespace shift {
inline constexpr int kShift = 1;
inline constexpr int kCtrl = 2;
inline constexpr int kAlt = 4;
}  // namespace shift

// Mouse buttons, as the list's mouse handler receives them.
namespace mouse {
inline constexpr int kLeft = 1;
inline constexpr int kRight = 2;
inline constexpr int kMiddle = 4;
}  // namespace mouse

struct Shortcut {
  int key = 0;  // 0: none
  int modifiers = 0;
  std::string_view text = {};  // as shown in the menu, e.g. "Ctrl+S"
  bool operator==(const Shortcut&) const = default;
};

// One menu item; a separator has a name, no caption and no handler.
struct MenuItemLayout {
  std::string_view name = {};
  std::string_view caption = {};
  ClickHandler handler = nullptr;
  Shortcut shortcut = {};
  // Further key combinations that run the same item without being shown in the menu.
  Shortcut alsoShortcut = {};
  bool separator() const { return handler == nullptr; }
};

struct MenuLayout {
  std::string_view name = {};
  std::string_view caption = {};
  std::span<const MenuItemLayout> items = {};
};

}  // namespace tavelin
