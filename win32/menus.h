// The main window's menu bar and its shortcut keys, built from the core's menu table, so that
// every caption and key is written once.
#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "ui/forms.h"

namespace tavelin::win32 {

// A menu item's command id: kFirstMenuCommand + 100 × menu + item, well away from the ids of
// controls and of the dialog keys (IDOK, IDCANCEL).
inline constexpr UINT kFirstMenuCommand = 1000;
UINT MenuCommandId(std::size_t menu, std::size_t item);
const MenuItemLayout* MenuItemForCommand(std::span<const MenuLayout> menus, UINT id);
// The place of a menu in the bar, or -1.
int MenuIndex(std::span<const MenuLayout> menus, std::string_view name);

// The caption, and after a tab the shortcut's text when the item has one.
std::wstring MenuItemText(const MenuItemLayout& item);

// The bar with one pop-up per menu; the caller destroys it (or the window does).
HMENU CreateMenuBar(std::span<const MenuLayout> menus);

// Each item's shortcut and further shortcut as an accelerator; the caller destroys the table.
HACCEL CreateMenuAccelerators(std::span<const MenuLayout> menus);

}  // namespace tavelin::win32
