#include "win32/menus.h"

#include <vector>

#include "win32/layout.h"

namespace tavelin::win32 {

UINT MenuCommandId(std::size_t menu, std::size_t item) {
  return kFirstMenuCommand + static_cast<UINT>(menu * 100 + item);
}

const MenuItemLayout* MenuItemForCommand(std::span<const MenuLayout> menus, UINT id) {
  if (id < kFirstMenuCommand) return nullptr;
  const std::size_t menu = (id - kFirstMenuCommand) / 100;
  const std::size_t item = (id - kFirstMenuCommand) % 100;
  if (menu >= menus.size() || item >= menus[menu].items.size()) return nullptr;
  const MenuItemLayout& found = menus[menu].items[item];
  return found.separator() ? nullptr : &found;
}

int MenuIndex(std::span<const MenuLayout> menus, std::string_view name) {
  for (std::size_t i = 0; i < menus.size(); ++i) {
    if (menus[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

std::wstring MenuItemText(const MenuItemLayout& item) {
  std::wstring text = Widen(item.caption);
  if (!item.shortcut.text.empty()) text += L"\t" + Widen(item.shortcut.text);
  return text;
}

HMENU CreateMenuBar(std::span<const MenuLayout> menus) {
  HMENU bar = CreateMenu();
  for (std::size_t m = 0; m < menus.size(); ++m) {
    HMENU popUp = CreatePopupMenu();
    for (std::size_t i = 0; i < menus[m].items.size(); ++i) {
      const MenuItemLayout& item = menus[m].items[i];
      if (item.separator()) {
        AppendMenuW(popUp, MF_SEPARATOR, 0, nullptr);
      } else {
        AppendMenuW(popUp, MF_STRING, MenuCommandId(m, i), MenuItemText(item).c_str());
      }
    }
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popUp), Widen(menus[m].caption).c_str());
  }
  return bar;
}

namespace {

ACCEL ToAccelerator(const Shortcut& shortcut, UINT command) {
  BYTE flags = FVIRTKEY;
  if (shortcut.modifiers & shift::kShift) flags |= FSHIFT;
  if (shortcut.modifiers & shift::kCtrl) flags |= FCONTROL;
  if (shortcut.modifiers & shift::kAlt) flags |= FALT;
  return {flags, static_cast<WORD>(shortcut.key), static_cast<WORD>(command)};
}

}  // namespace

HACCEL CreateMenuAccelerators(std::span<const MenuLayout> menus) {
  std::vector<ACCEL> table;
  for (std::size_t m = 0; m < menus.size(); ++m) {
    for (std::size_t i = 0; i < menus[m].items.size(); ++i) {
      const MenuItemLayout& item = menus[m].items[i];
      if (item.separator()) continue;
      for (const Shortcut& shortcut : {item.shortcut, item.alsoShortcut}) {
        if (shortcut.key != 0) table.push_back(ToAccelerator(shortcut, MenuCommandId(m, i)));
      }
    }
  }
  if (table.empty()) return nullptr;
  return CreateAcceleratorTableW(table.data(), static_cast<int>(table.size()));
}

}  // namespace tavelin::win32
