#include "win32/layout.h"

#include <commctrl.h>

#include <cmath>

#include "platform/wtf8.h"

namespace tavelin::win32 {

std::wstring Widen(std::string_view utf8) {
  const std::u16string text = Wtf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(std::wstring_view utf16) {
  const std::u16string text(utf16.begin(), utf16.end());
  return Utf16ToWtf8(text);
}

PixelRect ToPixels(const TwipsRect& twips, int dpi) {
  return {TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi),
          TwipsToPixels(twips.width, dpi), TwipsToPixels(twips.height, dpi)};
}

SIZE ClientSizeInPixels(const FormLayout& form, int dpi) {
  return {TwipsToPixels(form.clientWidth, dpi), TwipsToPixels(form.clientHeight, dpi)};
}

int ControlId(const FormLayout& form, std::string_view name) {
  for (std::size_t i = 0; i < form.controls.size(); ++i) {
    if (form.controls[i].name == name) return kFirstControlId + static_cast<int>(i);
  }
  return 0;
}

const ControlLayout* ControlForId(const FormLayout& form, int id) {
  const int index = id - kFirstControlId;
  if (index < 0 || index >= static_cast<int>(form.controls.size())) return nullptr;
  return &form.controls[static_cast<std::size_t>(index)];
}

DWORD FormStyle(const FormLayout& form) {
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  if (form.minimizeBox) style |= WS_MINIMIZEBOX;
  return style;
}

SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, bool menu, int dpi) {
  RECT rect{0, 0, client.cx, client.cy};
  AdjustWindowRectExForDpi(&rect, style, menu ? TRUE : FALSE, exStyle, static_cast<UINT>(dpi));
  return {rect.right - rect.left, rect.bottom - rect.top};
}

HFONT CreateControlFont(const FontStyle& font, int dpi) {
  const int height = -static_cast<int>(std::lround(font.points * dpi / 72.0));
  return CreateFontW(height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, Widen(font.face).c_str());
}

std::wstring PictureResourceName(std::string_view picture) {
  std::wstring name;
  for (char c : picture) {
    if (c == '-') {
      name += L'_';
    } else if (c >= 'a' && c <= 'z') {
      name += static_cast<wchar_t>(c - 'a' + 'A');
    } else {
      name += static_cast<wchar_t>(c);
    }
  }
  return name;
}

namespace {

constexpr UINT_PTR kPushButtonSubclass = 1;

// Sets the button's type alone, keeping its other style bits (a picture).
void DrawAsDefault(HWND button, bool asDefault) {
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(button, GWL_STYLE));
  const DWORD type = asDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
  DefSubclassProc(button, BM_SETSTYLE, (style & 0xFFFF & ~BS_TYPEMASK) | type, TRUE);
}

LRESULT CALLBACK PushButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                UINT_PTR /*id*/, DWORD_PTR formDefault) {
  switch (message) {
    case WM_GETDLGCODE: {
      // On Enter the dialog manager presses the focused control if it says it is the
      // default button: the focused push button, whatever it looks like just now.
      const LRESULT code = DefSubclassProc(hwnd, message, wParam, lParam) &
                           ~static_cast<LRESULT>(DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
      return code | (GetFocus() == hwnd ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    }
    case BM_SETSTYLE:
      // The dialog manager moves the default look about by its own reckoning; the button
      // looks like the default exactly when Enter presses it.
      DrawAsDefault(hwnd, GetFocus() == hwnd || formDefault != 0);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
      DrawAsDefault(hwnd, message == WM_SETFOCUS || formDefault != 0);
      return result;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, PushButtonProc, kPushButtonSubclass);
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace

void SetUpPushButton(HWND button, bool formDefault) {
  SetWindowSubclass(button, PushButtonProc, kPushButtonSubclass, formDefault ? 1 : 0);
  SendMessageW(button, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);  // drawn as the rule above says
}

}  // namespace tavelin::win32
