#include "qt/input.h"

#include <QKeyEvent>
#include <array>
#include <chrono>
#include <utility>

namespace tavelin::qt {

namespace {

constexpr int kF1 = 0x70;

// Keys whose Qt and Windows numbers differ and are not in a run (letters, digits, F-keys).
constexpr std::array<std::pair<int, int>, 22> kKeys{{
    {Qt::Key_Backspace, 0x08}, {Qt::Key_Tab, 0x09},
    {Qt::Key_Backtab, 0x09},   {Qt::Key_Return, 0x0D},
    {Qt::Key_Enter, 0x0D},     {Qt::Key_Shift, 0x10},
    {Qt::Key_Control, 0x11},   {Qt::Key_Alt, 0x12},
    {Qt::Key_Pause, 0x13},     {Qt::Key_CapsLock, 0x14},
    {Qt::Key_Escape, 0x1B},    {Qt::Key_Space, 0x20},
    {Qt::Key_PageUp, 0x21},    {Qt::Key_PageDown, 0x22},
    {Qt::Key_End, 0x23},       {Qt::Key_Home, 0x24},
    {Qt::Key_Left, 0x25},      {Qt::Key_Up, 0x26},
    {Qt::Key_Right, 0x27},     {Qt::Key_Down, 0x28},
    {Qt::Key_Insert, 0x2D},    {Qt::Key_Delete, keys::kDelete},
}};

int QtKey(int code) {
  if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) return code;
  if (code >= kF1 && code < kF1 + 24) return Qt::Key_F1 + (code - kF1);
  if (code == keys::kApps) return Qt::Key_Menu;
  for (const auto& [qtKey, windowsCode] : kKeys) {
    if (windowsCode == code) return qtKey;
  }
  return 0;
}

}  // namespace

int KeyCode(int qtKey) {
  // Qt numbers letters and digits as their upper-case ASCII codes, as Windows does.
  if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
    return qtKey;
  }
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return kF1 + (qtKey - Qt::Key_F1);
  if (qtKey == Qt::Key_Menu) return keys::kApps;
  for (const auto& [key, code] : kKeys) {
    if (key == qtKey) return code;
  }
  return 0;
}

int ShiftState(Qt::KeyboardModifiers modifiers) {
  int state = 0;
  if (modifiers & Qt::ShiftModifier) state |= shift::kShift;
  if (modifiers & Qt::ControlModifier) state |= shift::kCtrl;
  if (modifiers & Qt::AltModifier) state |= shift::kAlt;
  return state;
}

int MouseButton(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return mouse::kLeft;
    case Qt::RightButton:
      return mouse::kRight;
    case Qt::MiddleButton:
      return mouse::kMiddle;
    default:
      return 0;
  }
}

QKeySequence KeySequence(const Shortcut& shortcut) {
  const int key = QtKey(shortcut.key);
  if (key == 0) return {};
  Qt::KeyboardModifiers modifiers;
  if (shortcut.modifiers & shift::kShift) modifiers |= Qt::ShiftModifier;
  if (shortcut.modifiers & shift::kCtrl) modifiers |= Qt::ControlModifier;
  if (shortcut.modifiers & shift::kAlt) modifiers |= Qt::AltModifier;
  return QKeySequence(QKeyCombination(modifiers, Qt::Key(key)));
}

std::uint32_t KeyTime(const QKeyEvent& key) {
  if (key.timestamp() != 0) return static_cast<std::uint32_t>(key.timestamp());
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace tavelin::qt
