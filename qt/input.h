// Qt's keys, modifiers and mouse buttons in the numbers the core's handlers take (the key
// codes as Windows numbers them), and the core's shortcuts as Qt key sequences.
#pragma once

#include <QKeySequence>
#include <Qt>
#include <cstdint>

#include "ui/forms.h"

class QKeyEvent;

namespace tavelin::qt {

// The key's code, or 0 for a key that has none.
int KeyCode(int qtKey);
int ShiftState(Qt::KeyboardModifiers modifiers);
// A mouse:: value, or 0 for another button.
int MouseButton(Qt::MouseButton button);
// When the key went down, in milliseconds of the window system's clock. A key event that a
// program made (a test, an input tool) carries no time; it is timed as it arrives.
std::uint32_t KeyTime(const QKeyEvent& key);
// Empty for a shortcut without a key.
QKeySequence KeySequence(const Shortcut& shortcut);

}  // namespace tavelin::qt
