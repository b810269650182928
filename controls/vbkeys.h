#pragma once
// Key codes and modifier bits as the forms' key events carry them: Windows virtual-key codes and
// the Shift bit set (1 Shift, 2 Ctrl, 4 Alt). Internal to the controls.

#include <Qt>

class QKeyEvent;

namespace vbkeys {

// The virtual-key code of the key, 0 for keys without one.
int keyCode(const QKeyEvent& event);
int shiftBits(Qt::KeyboardModifiers modifiers);
int buttonBits(Qt::MouseButtons buttons);

} // namespace vbkeys
