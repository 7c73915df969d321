#pragma once
// What the Enter key does in a data-entry dialog, by the Enter-key setting
// of the settings file: 0 the usual meaning (the default button, OK),
// 1 the focus moves on to the next control as with Tab, any other value
// nothing. A drop-down list that is open and an input method that is
// composing always keep their own handling of the key.
namespace tov {

enum class EnterKeyAction { Usual, NextControl, Nothing };

inline EnterKeyAction enterKeyAction(int enterKeyMode) {
  if (enterKeyMode == 0) return EnterKeyAction::Usual;
  if (enterKeyMode == 1) return EnterKeyAction::NextControl;
  return EnterKeyAction::Nothing;
}

} // namespace tov
