// The Windows side of the core's layout tables: twips to pixels at a window's resolution,
// control ids, fonts, the main window's frame, and text between the core's UTF-8 and the
// API's UTF-16.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "ui/forms.h"

namespace tavelin::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

struct PixelRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const PixelRect&) const = default;
};

PixelRect ToPixels(const TwipsRect& twips, int dpi);
SIZE ClientSizeInPixels(const FormLayout& form, int dpi);

// A control's id is its place in the form's table plus kFirstControlId, so that a control is
// found by its name; 0 for a name the form does not have.
inline constexpr int kFirstControlId = 100;
int ControlId(const FormLayout& form, std::string_view name);
const ControlLayout* ControlForId(const FormLayout& form, int id);

// Fixed single border, caption, close box; a minimize box when the form has one, never a
// maximize box.
DWORD FormStyle(const FormLayout& form);

// The outer size of a window with a menu bar whose client area has `client` pixels.
SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, bool menu, int dpi);

// The font of a control at the given resolution; the caller deletes it.
HFONT CreateControlFont(const FontStyle& font, int dpi);

// The icon resource of a picture name ("arrow-up" is ARROW_UP).
std::wstring PictureResourceName(std::string_view picture);

// Makes a push button what the dialog manager presses on Enter while it has the focus, and
// only then, drawn as the default button meanwhile. `formDefault`: it is the form's default
// button, which Enter presses wherever the focus is (DM_GETDEFID) and which always looks it.
void SetUpPushButton(HWND button, bool formDefault);

}  // namespace tavelin::win32
