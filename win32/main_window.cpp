#include "win32/main_window.h"

// After windows.h, which it builds on:
#include <commctrl.h>

#include <algorithm>

#include "win32/layout.h"
#include "win32/menus.h"

namespace tavelin::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"TavelinMainn";
constexpr wchar_t kIconResource[] = L"IDI_ICON1";
constexpr int kPicturePixelsAt96 = 24;

HINSTANCE Instance() {
  return GetModuleHandleW(nullptr);
}

bool RegisterWindowClass(WNDPROC procedure) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(Instance(), kWindowClass, &existing)) return true;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = Instance();
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  return RegisterClassExW(&windowClass) != 0;
}

}  // namespace

MainWindow::MainWindow(RegistryBackend& backend, Screen& screen, BrowserLauncher& launcher)
    : mainn_(backend, screen, launcher) {}

MainWindow::~MainWindow() {
  listView_.detach();
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  if (accelerators_ != nullptr) DestroyAcceleratorTable(accelerators_);
  for (HFONT font : fonts_) DeleteObject(font);
  for (HICON picture : pictures_) DestroyIcon(picture);
  if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
  if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
}

bool MainWindow::create(int showCommand) {
  INITCOMMONCONTROLSEX controls{sizeof(controls),
                                ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  if (!RegisterWindowClass(WindowProc)) return false;

  const FormLayout& form = Mainn::Layout();
  menuBar_ = CreateMenuBar(Mainn::Menus());
  accelerators_ = CreateMenuAccelerators(Mainn::Menus());
  hwnd_ = CreateWindowExW(0, kWindowClass, Widen(form.caption).c_str(), FormStyle(form),
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                          menuBar_, Instance(), this);
  if (hwnd_ == nullptr) {
    DestroyMenu(menuBar_);
    menuBar_ = nullptr;
    return false;
  }
  createControls();
  applyDpi(static_cast<int>(GetDpiForWindow(hwnd_)), nullptr);

  // Centred on the screen the window first appears on.
  RECT outer{};
  GetWindowRect(hwnd_, &outer);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  SetWindowPos(hwnd_, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

  listView_.followList();
  mainn_.Form_Load();

  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  SetFocus(listView_.hwnd());
  PostMessageW(hwnd_, kShownMessage, 0, 0);
  return true;
}

HWND MainWindow::control(std::string_view name) const {
  if (hwnd_ == nullptr) return nullptr;
  const int id = ControlId(Mainn::Layout(), name);
  return id == 0 ? nullptr : GetDlgItem(hwnd_, id);
}

void MainWindow::createControls() {
  const FormLayout& form = Mainn::Layout();
  // Created in tab order, which is the order of the focus moves with Tab.
  std::vector<const ControlLayout*> ordered;
  for (const ControlLayout& shape : form.controls) ordered.push_back(&shape);
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const ControlLayout* a, const ControlLayout* b) {
                     return (a->tabIndex < 0 ? 1 << 30 : a->tabIndex) <
                            (b->tabIndex < 0 ? 1 << 30 : b->tabIndex);
                   });
  for (const ControlLayout* shape : ordered) {
    const auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(form, shape->name)));
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (shape->tabIndex >= 0) style |= WS_TABSTOP;
    HWND created = nullptr;
    switch (shape->kind) {
      case ControlKind::kListBox:
        // The window has one list.
        if (listView_.hwnd() == nullptr && listView_.create(hwnd_, id, style, *shape)) {
          created = listView_.hwnd();
          listInput_.attach(created, *shape);
        }
        break;
      case ControlKind::kPushButton:
        created = CreateWindowExW(0, WC_BUTTONW, Widen(shape->text).c_str(), style | BS_PUSHBUTTON,
                                  0, 0, 0, 0, hwnd_, id, Instance(), nullptr);
        if (created != nullptr) SetUpPushButton(created, shape->defaultButton);
        break;
      case ControlKind::kPictureButton:
        // The text is not drawn; it is what a screen reader says for the button.
        created = CreateWindowExW(0, WC_BUTTONW, Widen(shape->accessibleName).c_str(),
                                  style | BS_PUSHBUTTON | BS_ICON, 0, 0, 0, 0, hwnd_, id,
                                  Instance(), nullptr);
        if (created != nullptr) SetUpPushButton(created, shape->defaultButton);
        break;
      default:
        break;  // the main window has no other kinds
    }
  }
}

void MainWindow::applyDpi(int dpi, const RECT* suggested) {
  dpi_ = dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;

  const int bigSize = GetSystemMetricsForDpi(SM_CXICON, static_cast<UINT>(dpi_));
  const int smallSize = GetSystemMetricsForDpi(SM_CXSMICON, static_cast<UINT>(dpi_));
  HICON big = static_cast<HICON>(
      LoadImageW(Instance(), kIconResource, IMAGE_ICON, bigSize, bigSize, LR_DEFAULTCOLOR));
  HICON small = static_cast<HICON>(
      LoadImageW(Instance(), kIconResource, IMAGE_ICON, smallSize, smallSize, LR_DEFAULTCOLOR));
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
  if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
  bigIcon_ = big;
  smallIcon_ = small;

  const FormLayout& form = Mainn::Layout();
  const SIZE outer =
      WindowSizeForClient(ClientSizeInPixels(form, dpi_), FormStyle(form), 0, true, dpi_);
  if (suggested != nullptr) {
    SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, outer.cx, outer.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  fitClientArea();
  placeControls();
}

void MainWindow::fitClientArea() {
  // The frame's metrics may differ from what AdjustWindowRectExForDpi assumed (a theme, a
  // menu bar drawn at another resolution): correct by what the client area actually got.
  const SIZE wanted = ClientSizeInPixels(Mainn::Layout(), dpi_);
  for (int attempt = 0; attempt < 2; ++attempt) {
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int dx = wanted.cx - (client.right - client.left);
    const int dy = wanted.cy - (client.bottom - client.top);
    if (dx == 0 && dy == 0) return;
    RECT outer{};
    GetWindowRect(hwnd_, &outer);
    SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void MainWindow::placeControls() {
  const FormLayout& form = Mainn::Layout();
  std::vector<HFONT> fonts;
  std::vector<HICON> pictures;
  // Before the window is first shown, nothing is drawn yet: it is painted once, whole.
  const BOOL redraw = IsWindowVisible(hwnd_);
  std::vector<FontStyle> styles;  // of `fonts`, at the same places: one font for each style
  for (const ControlLayout& shape : form.controls) {
    HWND window = control(shape.name);
    if (window == nullptr) continue;
    const PixelRect at = ToPixels(shape.rect, dpi_);
    MoveWindow(window, at.left, at.top, at.width, at.height, redraw);
    const auto same = std::find_if(styles.begin(), styles.end(), [&](const FontStyle& style) {
      return style.face == shape.font.face && style.points == shape.font.points &&
             style.bold == shape.font.bold;
    });
    HFONT font = nullptr;
    if (same != styles.end()) {
      font = fonts[static_cast<std::size_t>(same - styles.begin())];
    } else {
      font = CreateControlFont(shape.font, dpi_);
      fonts.push_back(font);
      styles.push_back(shape.font);
    }
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
    if (shape.kind == ControlKind::kPictureButton) {
      const int size = MulDiv(kPicturePixelsAt96, dpi_, USER_DEFAULT_SCREEN_DPI);
      HICON picture = static_cast<HICON>(LoadImageW(
          Instance(), PictureResourceName(shape.picture).c_str(), IMAGE_ICON, size, size, 0));
      if (picture != nullptr) pictures.push_back(picture);
      SendMessageW(window, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(picture));
    }
  }
  // The old fonts and pictures go once nothing uses them any more.
  for (HFONT font : fonts_) DeleteObject(font);
  for (HICON picture : pictures_) DestroyIcon(picture);
  fonts_ = std::move(fonts);
  pictures_ = std::move(pictures);
  listView_.fitColumn();
}

bool MainWindow::preTranslate(MSG& message) {
  if (hwnd_ == nullptr) return false;
  if (message.hwnd != hwnd_ && !IsChild(hwnd_, message.hwnd)) return false;
  if (accelerators_ != nullptr && TranslateAcceleratorW(hwnd_, accelerators_, &message)) {
    return true;
  }
  return IsDialogMessageW(hwnd_, &message) != 0;
}

int MainWindow::run() {
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (preTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<MainWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->handle(hwnd, message, wParam, lParam);
}

LRESULT MainWindow::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (lParam != 0) {
        if (HIWORD(wParam) == BN_CLICKED) buttonClicked(LOWORD(wParam));
      } else if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        // The dialog manager's Enter (no control had the focus that takes it) and Esc: the
        // window's default or cancel button, if its table names one.
        const FormLayout& form = Mainn::Layout();
        const ControlLayout* button =
            LOWORD(wParam) == IDOK ? form.defaultButton() : form.cancelButton();
        if (button != nullptr) buttonClicked(ControlId(form, button->name));
      } else {
        runCommand(LOWORD(wParam));  // a menu item or a shortcut key
      }
      return 0;
    case DM_GETDEFID: {
      const ControlLayout* button = Mainn::Layout().defaultButton();
      return button != nullptr ? MAKELONG(ControlId(Mainn::Layout(), button->name), DC_HASDEFID)
                               : 0;
    }
    case AddressListView::kShowSelectionMessage:
      listView_.showListSelection();
      return 0;
    case WM_NOTIFY:
      return listView_.notify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_ACTIVATE:
      // The focus comes back to where it was, after a message box or a dialog too.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd_, focus)) savedFocus_ = focus;
      } else if (!HIWORD(wParam)) {
        SetFocus(savedFocus_ != nullptr && IsWindow(savedFocus_) ? savedFocus_ : listView_.hwnd());
      }
      return 0;
    case WM_DPICHANGED:
      applyDpi(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    case kShownMessage:
      mainn_.Form_Shown();
      return 0;
    case WM_DESTROY:
      listView_.detach();
      hwnd_ = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void MainWindow::buttonClicked(int id) {
  const ControlLayout* shape = ControlForId(Mainn::Layout(), id);
  if (shape != nullptr) Dispatch(shape->click, mainn_);
}

void MainWindow::runCommand(UINT id) {
  const MenuItemLayout* item = MenuItemForCommand(Mainn::Menus(), id);
  if (item != nullptr) Dispatch(item->handler, mainn_);
}

}  // namespace tavelin::win32
