#include "win32/dialog_windows.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "win32/layout.h"

namespace tavelin::win32 {

namespace {

constexpr int kTooltipWidthAt96 = 320;

// A dialog with no controls, no size and no title: everything is built from the core's
// layout once the dialog exists. The template must be DWORD-aligned.
struct alignas(4) EmptyTemplate {
  std::array<WORD, 12> words{};
};

EmptyTemplate MakeTemplate() {
  DLGTEMPLATE header{};
  // Without WS_CLIPCHILDREN: the frames draw no inside of their own, the dialog draws it.
  header.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  EmptyTemplate empty;
  static_assert(sizeof(DLGTEMPLATE) + 3 * sizeof(WORD) <= sizeof(empty.words));
  // After the header: no menu, the system's dialog class, an empty title.
  std::memcpy(empty.words.data(), &header, sizeof(header));
  return empty;
}

bool TakesFocus(ControlKind kind) {
  return kind == ControlKind::kPushButton || kind == ControlKind::kTextBox ||
         kind == ControlKind::kOptionButton;
}

// Frames go last, below the option buttons they surround, so that the buttons draw over
// them; the rest keep the tab order.
int CreationRank(const ControlLayout& shape) {
  if (shape.kind == ControlKind::kFrame) return (1 << 20) + shape.tabIndex;
  return shape.tabIndex < 0 ? (1 << 19) : shape.tabIndex;
}

}  // namespace

DialogWindow::DialogWindow(Dialog& dialog, int dpi, std::function<void(Dialog&, HWND)> shown)
    : dialog_(dialog), dpi_(dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI), shown_(std::move(shown)) {}

DialogWindow::~DialogWindow() {
  for (HFONT font : fonts_) DeleteObject(font);
}

void DialogWindow::run(HWND owner) {
  const EmptyTemplate empty = MakeTemplate();
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                          reinterpret_cast<const DLGTEMPLATE*>(empty.words.data()), owner, Proc,
                          reinterpret_cast<LPARAM>(this));
  hwnd_ = nullptr;
  text_ = nullptr;
  textShape_ = nullptr;
  tooltip_ = nullptr;
}

void DialogWindow::close() {
  if (hwnd_ == nullptr) return;
  for (const ControlLayout& shape : dialog_.layout().controls) {
    if (shape.kind == ControlKind::kTimer) {
      KillTimer(hwnd_, static_cast<UINT_PTR>(ControlId(dialog_.layout(), shape.name)));
    }
  }
  EndDialog(hwnd_, 0);
}

HWND DialogWindow::control(std::string_view name) const {
  if (hwnd_ == nullptr) return nullptr;
  const int id = ControlId(dialog_.layout(), name);
  return id == 0 ? nullptr : GetDlgItem(hwnd_, id);
}

INT_PTR CALLBACK DialogWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<DialogWindow*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
    self->hwnd_ = hwnd;
    self->initialise(GetWindow(hwnd, GW_OWNER));
    return FALSE;  // the focus is set
  }
  auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr || self->hwnd_ != hwnd) return FALSE;
  return self->handle(message, wParam, lParam);
}

INT_PTR DialogWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      // What the dialog manager makes of Esc, and of Enter where neither the focused control
      // nor the dialog has a default button: Esc presses the cancel button, if the dialog's
      // table names one; Enter nothing.
      if (id == IDOK || id == IDCANCEL || lParam == 0) {
        const ControlLayout* cancel = dialog_.layout().cancelButton();
        if (id == IDCANCEL && cancel != nullptr) clicked(ControlId(dialog_.layout(), cancel->name));
        return TRUE;
      }
      if (HIWORD(wParam) == BN_CLICKED) clicked(id);
      if (HIWORD(wParam) == EN_CHANGE && reinterpret_cast<HWND>(lParam) == text_) textChanged();
      return TRUE;
    }
    case DM_GETDEFID:
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT,
                        defaultButton_ != 0 ? MAKELONG(defaultButton_, DC_HASDEFID) : 0);
      return TRUE;
    case WM_SYSCOMMAND:
      // The close box and Alt+F4: the dialog's own close, which writes nothing.
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        dialog_.CloseBox_Click();
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      return TRUE;  // only SC_CLOSE closes; a control's own WM_CLOSE does not
    case WM_TIMER:
      // Each timer's id is its control's.
      if (const ControlLayout* timer = ControlForId(dialog_.layout(), static_cast<int>(wParam))) {
        Dispatch(timer->timer, dialog_);
      }
      return TRUE;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      // The text box and the labels sit on the button face; the credit is in the
      // highlight colour.
      const HDC dc = reinterpret_cast<HDC>(wParam);
      const ControlLayout* shape =
          ControlForId(dialog_.layout(), GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      if (shape != nullptr && shape->highlightText) SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHT));
      return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case kShownMessage:
      if (shown_) shown_(dialog_, hwnd_);
      return TRUE;
    default:
      return FALSE;
  }
}

void DialogWindow::initialise(HWND owner) {
  owner_ = owner;
  SetWindowTextW(hwnd_, Widen(dialog_.layout().caption).c_str());
  createControls();
  place(owner);
  redraw();

  // The first control in tab order that takes the focus.
  HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  if (text_ != nullptr) first = text_;
  if (first != nullptr) SetFocus(first);
  if (text_ != nullptr && textShape_->selectAllOnOpen && textShape_->selectAllOnOpen(dialog_)) {
    SendMessageW(text_, EM_SETSEL, 0, -1);
  }
  // Timers run from the moment the dialog opens until it closes with its window.
  for (const ControlLayout& shape : dialog_.layout().controls) {
    if (shape.kind != ControlKind::kTimer) continue;
    SetTimer(hwnd_, static_cast<UINT_PTR>(ControlId(dialog_.layout(), shape.name)),
             static_cast<UINT>(shape.interval), nullptr);
  }
  // Up before anything queued runs, rather than when the dialog manager first finds the
  // queue empty.
  ShowWindow(hwnd_, SW_SHOW);
  PostMessageW(hwnd_, kShownMessage, 0, 0);
}

void DialogWindow::createControls() {
  const FormLayout& form = dialog_.layout();
  std::vector<const ControlLayout*> ordered;
  for (const ControlLayout& shape : form.controls) ordered.push_back(&shape);
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const ControlLayout* a, const ControlLayout* b) {
                     return CreationRank(*a) < CreationRank(*b);
                   });
  HINSTANCE instance = GetModuleHandleW(nullptr);
  std::string_view lastParent = "-";
  for (const ControlLayout* shape : ordered) {
    if (shape->kind == ControlKind::kTimer) continue;
    const auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(form, shape->name)));
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (TakesFocus(shape->kind) && shape->tabIndex >= 0) style |= WS_TABSTOP;
    // Each button is a group of its own; a frame's option buttons are one group.
    if (shape->kind != ControlKind::kOptionButton || shape->parent != lastParent) style |= WS_GROUP;
    lastParent = shape->kind == ControlKind::kOptionButton ? shape->parent : "-";

    PixelRect at = ToPixels(shape->rect, dpi_);
    if (const ControlLayout* frame = form.control(shape->parent)) {
      const PixelRect origin = ToPixels(frame->rect, dpi_);
      at.left += origin.left;
      at.top += origin.top;
    }
    const wchar_t* windowClass = WC_BUTTONW;
    DWORD exStyle = 0;
    switch (shape->kind) {
      case ControlKind::kPushButton:
        style |= BS_PUSHBUTTON;
        break;
      case ControlKind::kOptionButton:
        style |= BS_AUTORADIOBUTTON;
        break;
      case ControlKind::kFrame:
        style |= BS_GROUPBOX;
        break;
      case ControlKind::kTextBox:
        windowClass = WC_EDITW;
        exStyle = WS_EX_CLIENTEDGE;
        style |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL;
        break;
      case ControlKind::kLabel:
        windowClass = WC_STATICW;
        style |= SS_NOPREFIX | (shape->wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP);
        break;
      default:
        continue;
    }
    const std::wstring text = shape->kind == ControlKind::kTextBox ? L"" : Widen(shape->text);
    HWND created = CreateWindowExW(exStyle, windowClass, text.c_str(), style, at.left, at.top,
                                   at.width, at.height, hwnd_, id, instance, nullptr);
    if (created == nullptr) continue;
    HFONT font = CreateControlFont(shape->font, dpi_);
    fonts_.push_back(font);
    SendMessageW(created, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    if (shape->kind == ControlKind::kTextBox && text_ == nullptr) {
      text_ = created;
      textShape_ = shape;
      SendMessageW(created, EM_SETLIMITTEXT, 0, 0);  // as long as the system allows
      SetWindowSubclass(created, TextProc, 1, reinterpret_cast<DWORD_PTR>(this));
    } else if (shape->kind == ControlKind::kPushButton) {
      if (shape->defaultButton) defaultButton_ = static_cast<int>(reinterpret_cast<INT_PTR>(id));
      SetUpPushButton(created, shape->defaultButton);
    }
    if (!shape->tooltip.empty()) {
      if (tooltip_ == nullptr) {
        tooltip_ =
            CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                            WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance, nullptr);
        SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0,
                     MulDiv(kTooltipWidthAt96, dpi_, USER_DEFAULT_SCREEN_DPI));
      }
      std::wstring tip = Widen(shape->tooltip);
      TTTOOLINFOW tool{};
      tool.cbSize = sizeof(tool);
      tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
      tool.hwnd = hwnd_;
      tool.uId = reinterpret_cast<UINT_PTR>(created);
      tool.lpszText = tip.data();
      SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
  }
}

void DialogWindow::place(HWND owner) {
  const FormLayout& form = dialog_.layout();
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
  const SIZE client = ClientSizeInPixels(form, dpi_);
  const SIZE outer = WindowSizeForClient(client, style, exStyle, false, dpi_);
  RECT over{};
  if (owner != nullptr) {
    GetWindowRect(owner, &over);
  } else {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
  }
  int left = over.left + (over.right - over.left - outer.cx) / 2;
  int top = over.top + (over.bottom - over.top - outer.cy) / 2;
  // Wholly on the screen the owner is on, when it fits.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (GetMonitorInfoW(MonitorFromRect(&over, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& area = monitor.rcWork;
    left = std::max(static_cast<int>(area.left),
                    std::min(left, static_cast<int>(area.right) - static_cast<int>(outer.cx)));
    top = std::max(static_cast<int>(area.top),
                   std::min(top, static_cast<int>(area.bottom) - static_cast<int>(outer.cy)));
  }
  SetWindowPos(hwnd_, nullptr, left, top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  // Correct by what the client area actually got, as the main window does.
  RECT got{};
  GetClientRect(hwnd_, &got);
  const int dx = client.cx - (got.right - got.left);
  const int dy = client.cy - (got.bottom - got.top);
  if (dx != 0 || dy != 0) {
    SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx + dx, outer.cy + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void DialogWindow::redraw() {
  if (hwnd_ == nullptr) return;
  const FormLayout& form = dialog_.layout();
  for (const ControlLayout& shape : form.controls) {
    HWND window = control(shape.name);
    if (window == nullptr) continue;
    if (window == text_ && shape.value != nullptr) {
      const std::string text = shape.value(dialog_);
      if (Narrow(boxText()) != text) {
        drawing_ = true;
        SetWindowTextW(text_, Widen(text).c_str());
        drawing_ = false;
      }
    }
    if (shape.kind == ControlKind::kOptionButton && shape.selected != nullptr) {
      SendMessageW(window, BM_SETCHECK, shape.selected(dialog_) ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    if (shape.left != nullptr) {
      PixelRect at = ToPixels(shape.rect, dpi_);
      at.left = TwipsToPixels(shape.left(dialog_), dpi_);
      if (const ControlLayout* frame = form.control(shape.parent)) {
        const PixelRect origin = ToPixels(frame->rect, dpi_);
        at.left += origin.left;
        at.top += origin.top;
      }
      // Left of the client area the control is simply clipped.
      MoveWindow(window, at.left, at.top, at.width, at.height, TRUE);
    }
  }
}

void DialogWindow::focusTextSelectAll() {
  if (text_ == nullptr) return;
  SetFocus(text_);
  SendMessageW(text_, EM_SETSEL, 0, -1);
}

std::wstring DialogWindow::boxText() const {
  if (text_ == nullptr) return {};
  const int length = GetWindowTextLengthW(text_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(text_, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}

void DialogWindow::textChanged() {
  if (drawing_ || textShape_ == nullptr) return;
  Dispatch(textShape_->change, dialog_, std::string_view(Narrow(boxText())));
}

void DialogWindow::clicked(int id) {
  if (const ControlLayout* shape = ControlForId(dialog_.layout(), id))
    Dispatch(shape->click, dialog_);
}

LRESULT CALLBACK DialogWindow::TextProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR /*id*/, DWORD_PTR /*self*/) {
  switch (message) {
    case WM_KEYDOWN:
      // Esc is the dialog's, as everywhere in it (Wine's multi-line box would close the
      // dialog itself); Tab moves on, as in any other control, rather than typing a tab.
      if (wParam == VK_ESCAPE) {
        SendMessageW(GetParent(hwnd), WM_COMMAND, IDCANCEL, 0);
        return 0;
      }
      if (wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0) {
        SendMessageW(GetParent(hwnd), WM_NEXTDLGCTL, GetKeyState(VK_SHIFT) < 0 ? 1 : 0, FALSE);
        return 0;
      }
      break;
    case WM_CHAR:
      if (wParam == VK_ESCAPE) return 0;
      if (wParam == L'\t' && GetKeyState(VK_CONTROL) >= 0) return 0;
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, TextProc, 1);
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace tavelin::win32
