#include "win32/main_window.h"

#include <windowsx.h>

#include <algorithm>
#include <array>

#include "platform/system_function_win32.h"
#include "ui/dialog.h"
#include "win32/layout.h"
#include "win32/menus.h"

namespace tavelin::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"TavelinMainn";
constexpr wchar_t kIconResource[] = L"IDI_ICON1";
constexpr int kPicturePixelsAt96 = 24;
// Long enough for any path the file dialogs give.
constexpr std::size_t kFileNameCapacity = 32768;

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

int CurrentShiftState() {
  int state = 0;
  if (GetKeyState(VK_SHIFT) < 0) state |= shift::kShift;
  if (GetKeyState(VK_CONTROL) < 0) state |= shift::kCtrl;
  if (GetKeyState(VK_MENU) < 0) state |= shift::kAlt;
  return state;
}

MainWindow::MainWindow(RegistryBackend& backend, BrowserLauncher& launcher)
    : mainn_(backend, *this, launcher) {}

MainWindow::~MainWindow() {
  mainn_.List1().setObserver(nullptr);
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

  mainn_.List1().setObserver(this);
  refreshList();
  mainn_.Form_Load();

  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  SetFocus(list_);
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
        // A virtual report view with one column: it holds no copy of the texts and asks
        // for each row it draws.
        created = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                  style | LVS_REPORT | LVS_OWNERDATA | LVS_NOCOLUMNHEADER |
                                      LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                  0, 0, 0, 0, hwnd_, id, Instance(), nullptr);
        if (created != nullptr) {
          SendMessageW(created, LVM_SETEXTENDEDLISTVIEWSTYLE,
                       LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
                       LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
          LVCOLUMNW column{};
          column.mask = LVCF_WIDTH;
          SendMessageW(created, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
          SetWindowSubclass(created, ListProc, 1, reinterpret_cast<DWORD_PTR>(this));
          if (list_ == nullptr) {
            list_ = created;
            listShape_ = shape;
          }
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
  fitListColumn();
}

void MainWindow::fitListColumn() {
  if (list_ == nullptr) return;
  RECT client{};
  GetClientRect(list_, &client);
  SendMessageW(list_, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(client.right - client.left, 0));
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
    case kShowSelectionMessage:
      showSelection(mainn_.List1().selectionIndex());
      return 0;
    case WM_NOTIFY:
      return handleNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_ACTIVATE:
      // The focus comes back to where it was, after a message box or a dialog too.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd_, focus)) savedFocus_ = focus;
      } else if (!HIWORD(wParam)) {
        SetFocus(savedFocus_ != nullptr && IsWindow(savedFocus_) ? savedFocus_ : list_);
      }
      return 0;
    case WM_DPICHANGED:
      applyDpi(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    case kShownMessage:
      mainn_.Form_Shown();
      return 0;
    case WM_DESTROY:
      mainn_.List1().setObserver(nullptr);
      hwnd_ = nullptr;
      list_ = nullptr;
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

LRESULT MainWindow::handleNotify(const NMHDR& header) {
  if (header.hwndFrom != list_ || list_ == nullptr) return 0;
  switch (header.code) {
    case LVN_GETDISPINFOW:
      fillDisplayText(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
      return 0;
    case LVN_ITEMCHANGED: {
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if (showingSelection_ || !(change.uChanged & LVIF_STATE)) return 0;
      if (!((change.uOldState ^ change.uNewState) & LVIS_SELECTED)) return 0;
      const int selected = viewSelection();
      if (selected != mainn_.List1().selectionIndex())
        Dispatch(listShape_->select, mainn_, selected);
      // The core keeps a selection the view dropped (Ctrl+click, Ctrl+Space): it is shown
      // again once the view has finished with the input.
      if (viewSelection() != mainn_.List1().selectionIndex()) {
        PostMessageW(hwnd_, kShowSelectionMessage, 0, 0);
      }
      return 0;
    }
    case NM_DBLCLK:
      Dispatch(listShape_->dblClick, mainn_);
      return 0;
    case LVN_ODFINDITEMW: {
      // Type-ahead: the view gathers what is typed quickly and asks which entry it selects;
      // the core answers, as it does for the Qt list. Other searches find nothing.
      const auto& find = reinterpret_cast<const NMLVFINDITEMW&>(header);
      if (!(find.lvfi.flags & LVFI_PARTIAL) || find.lvfi.psz == nullptr) return -1;
      if (listShape_->typeAhead == nullptr) return -1;
      return listShape_->typeAhead(mainn_, Narrow(find.lvfi.psz));
    }
    default:
      return 0;
  }
}

void MainWindow::fillDisplayText(NMLVDISPINFOW& info) const {
  if (!(info.item.mask & LVIF_TEXT) || info.item.pszText == nullptr || info.item.cchTextMax <= 0) {
    return;
  }
  const AddressList& list = mainn_.List1();
  std::wstring text;
  if (info.item.iItem >= 0 && static_cast<std::size_t>(info.item.iItem) < list.count()) {
    text = Widen(mainn_.List1_DisplayText(static_cast<std::size_t>(info.item.iItem)));
  }
  std::size_t length = std::min(text.size(), static_cast<std::size_t>(info.item.cchTextMax - 1));
  // A cut text never ends in half a character.
  if (length > 0 && length < text.size() && text[length - 1] >= 0xD800 &&
      text[length - 1] <= 0xDBFF) {
    --length;
  }
  text.copy(info.item.pszText, length);
  info.item.pszText[length] = L'\0';
}

LRESULT CALLBACK MainWindow::ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR /*id*/, DWORD_PTR self) {
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, ListProc, 1);
    return DefSubclassProc(hwnd, message, wParam, lParam);
  }
  return reinterpret_cast<MainWindow*>(self)->handleList(message, wParam, lParam);
}

LRESULT MainWindow::handleList(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND list = list_;
  const ControlLayout& row = *listShape_;
  auto mouseShift = [wParam] {
    int state = 0;
    if (wParam & MK_SHIFT) state |= shift::kShift;
    if (wParam & MK_CONTROL) state |= shift::kCtrl;
    if (GetKeyState(VK_MENU) < 0) state |= shift::kAlt;
    return state;
  };
  auto onRow = [list, lParam] {
    LVHITTESTINFO hit{};
    hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    return SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)) != -1 &&
           (hit.flags & LVHT_ONITEM);
  };
  switch (message) {
    case WM_KEYDOWN:
      Dispatch(row.keyDown, mainn_, static_cast<int>(wParam), CurrentShiftState());
      break;  // the list does its own work with the key afterwards
    case WM_SYSKEYDOWN: {
      // Keys held with Alt (Alt+Delete among them) come as system keys.
      int state = CurrentShiftState();
      if (lParam & (1 << 29)) state |= shift::kAlt;
      Dispatch(row.keyDown, mainn_, static_cast<int>(wParam), state);
      break;
    }
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      // A list view would select the row under the pointer and wait for a drag; the menu
      // acts on the selection as it was.
      Dispatch(row.mouseDown, mainn_, mouse::kRight, mouseShift());
      return 0;
    case WM_CONTEXTMENU:
      // The release of the right button pops up nothing (the press did); only the
      // keyboard's request, at (-1, -1), does.
      if (GET_X_LPARAM(lParam) == -1 && GET_Y_LPARAM(lParam) == -1)
        Dispatch(row.contextMenuKey, mainn_);
      return 0;
    case WM_LBUTTONDOWN:
      Dispatch(row.mouseDown, mainn_, mouse::kLeft, mouseShift());
      if (list_ == nullptr) return 0;
      // Below the last row a list box keeps its selection, where a list view drops it.
      if (!onRow()) {
        SetFocus(list_);
        return 0;
      }
      break;
    case WM_LBUTTONDBLCLK:
      if (!onRow()) {
        SetFocus(list_);
        Dispatch(row.dblClick, mainn_);
        return 0;
      }
      break;  // the list view reports it as NM_DBLCLK
    case WM_MBUTTONDOWN:
      Dispatch(row.mouseDown, mainn_, mouse::kMiddle, mouseShift());
      break;
    default:
      break;
  }
  if (list == nullptr || !IsWindow(list)) return 0;
  return DefSubclassProc(list, message, wParam, lParam);
}

void MainWindow::itemsChanged(std::size_t first, std::size_t last) {
  if (list_ == nullptr) return;
  SendMessageW(list_, LVM_REDRAWITEMS, first, static_cast<LPARAM>(last));
}

void MainWindow::refreshList() {
  if (list_ == nullptr) return;
  showingSelection_ = true;
  SendMessageW(list_, LVM_SETITEMCOUNT, mainn_.List1().count(), 0);
  // A list view keeps selection and focus states across a count change; the core's
  // selection is the only one.
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED;
  SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
  showingSelection_ = false;
  showSelection(mainn_.List1().selectionIndex());
  fitListColumn();
  InvalidateRect(list_, nullptr, TRUE);
}

int MainWindow::viewSelection() const {
  return static_cast<int>(
      SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void MainWindow::showSelection(int index) {
  if (list_ == nullptr) return;
  showingSelection_ = true;
  if (viewSelection() != index) {
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
  }
  if (index >= 0) {
    // The selected row is the focused one too, so that the arrow keys move from it.
    LVITEMW state{};
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&state));
    SendMessageW(list_, LVM_SETSELECTIONMARK, 0, index);
    SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
  }
  showingSelection_ = false;
}

HWND MainWindow::ownerWindow() const {
  // A box shown from a dialog covers the dialog; once the dialog has unloaded (its window
  // goes when its handler returns) the box covers what is under it, and is modal there.
  for (auto at = dialogs_.rbegin(); at != dialogs_.rend(); ++at) {
    if ((*at)->hwnd() != nullptr && (*at)->dialog().isOpen()) return (*at)->hwnd();
  }
  return hwnd_;
}

int MainWindow::runMessageBox(HWND owner, const std::wstring& text, const std::wstring& title,
                              UINT type) {
  return MessageBoxW(owner, text.c_str(), title.c_str(), type);
}

void MainWindow::showMessage(const MessageBoxRequest& message) {
  const UINT icon = message.icon == MessageIcon::kQuestion ? MB_ICONQUESTION : MB_ICONEXCLAMATION;
  runMessageBox(ownerWindow(), Widen(message.text), Widen(message.title), MB_OK | icon);
}

bool MainWindow::askYesNo(const MessageBoxRequest& question) {
  const UINT icon =
      question.icon == MessageIcon::kExclamation ? MB_ICONEXCLAMATION : MB_ICONQUESTION;
  return runMessageBox(ownerWindow(), Widen(question.text), Widen(question.title),
                       MB_YESNO | MB_DEFBUTTON1 | icon) == IDYES;
}

bool MainWindow::runFileDialog(OPENFILENAMEW& dialog, bool save) {
  const auto run = platform::SystemFunction<decltype(GetOpenFileNameW)>(
      L"comdlg32.dll", save ? "GetSaveFileNameW" : "GetOpenFileNameW");
  return run != nullptr && run(&dialog) != 0;
}

DWORD MainWindow::fileDialogError() const {
  const auto error = platform::SystemFunction<decltype(CommDlgExtendedError)>(
      L"comdlg32.dll", "CommDlgExtendedError");
  return error != nullptr ? error() : 0;
}

std::optional<std::string> MainWindow::chooseFile(const FileDialogRequest& request) {
  // One filter: its name, NUL, its pattern, NUL, and the list's closing NUL.
  std::wstring filter = Widen(request.filterName);
  filter += L'\0';
  filter += Widen(request.filterPattern);
  filter += L'\0';
  filter += L'\0';
  const std::wstring title = Widen(request.title);
  std::wstring initial = Widen(request.initialName);
  std::vector<wchar_t> name(kFileNameCapacity, L'\0');

  for (int attempt = 0; attempt < 2; ++attempt) {
    std::fill(name.begin(), name.end(), L'\0');
    if (initial.size() < name.size()) initial.copy(name.data(), initial.size());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = ownerWindow();
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrTitle = title.c_str();
    // The commands ask about replacing a file and test whether it exists themselves.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (runFileDialog(dialog, request.save)) return Narrow(name.data());
    // A last name the dialog cannot start from (a folder that has gone, a character the
    // file system refuses) must not keep the dialog from opening.
    if (fileDialogError() != FNERR_INVALIDFILENAME || initial.empty()) break;
    initial.clear();
  }
  return std::nullopt;
}

void MainWindow::runDialog(Dialog& dialog) {
  const HWND owner = ownerWindow();
  DialogWindow window(dialog, dpi_, [this](Dialog& shown, HWND hwnd) { dialogShown(shown, hwnd); });
  dialogs_.push_back(&window);
  window.run(owner);
  std::erase(dialogs_, &window);
}

DialogWindow* MainWindow::dialogWindow(const Dialog& dialog) const {
  for (DialogWindow* window : dialogs_) {
    if (&window->dialog() == &dialog) return window;
  }
  return nullptr;
}

void MainWindow::openDialog(Dialog& dialog) {
  dialog.setOpen(true);
  runDialog(dialog);
  dialog.setOpen(false);
}

void MainWindow::closeDialog(Dialog& dialog) {
  dialog.setOpen(false);
  if (DialogWindow* window = dialogWindow(dialog)) window->close();
}

void MainWindow::dialogChanged(Dialog& dialog) {
  if (DialogWindow* window = dialogWindow(dialog)) window->redraw();
}

void MainWindow::focusTextSelectAll(Dialog& dialog) {
  if (DialogWindow* window = dialogWindow(dialog)) window->focusTextSelectAll();
}

UINT MainWindow::trackPopUpMenu(HMENU menu, POINT at, UINT flags) {
  return static_cast<UINT>(TrackPopupMenu(menu, flags, at.x, at.y, 0, hwnd_, nullptr));
}

void MainWindow::popUpOptionsMenu(PopUpPlace place) {
  if (hwnd_ == nullptr) return;
  POINT at{};
  if (place == PopUpPlace::kAtPointer) {
    GetCursorPos(&at);
  } else {
    // Below the selected row's left end, or at the list's corner without a selection.
    const int row = mainn_.List1().selectionIndex();
    RECT bounds{};
    bounds.left = LVIR_BOUNDS;
    if (row >= 0) {
      SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
      if (SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&bounds))) {
        at = {bounds.left, bounds.bottom};
      }
    }
    ClientToScreen(list_, &at);
  }
  const int menu = MenuIndex(Mainn::Menus(), Mainn::kOptionsMenu);
  if (menu < 0) return;
  // Its items answer the left button only: the right button's release that follows the
  // press must not choose one.
  const UINT chosen =
      trackPopUpMenu(GetSubMenu(menuBar_, menu), at,
                     TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY);
  if (chosen != 0) runCommand(chosen);
}

void MainWindow::endProgram() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

}  // namespace tavelin::win32
