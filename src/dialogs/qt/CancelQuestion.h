#pragma once
// The question before Cancel throws changes away, for the dialogs whose
// models do not ask themselves: once the dialog is on the screen the state
// of its fields (texts, choices, check marks) is noted; ｷｬﾝｾﾙ, Escape and
// the window's close button then ask "データが変更されましたが、キャンセル
// してよいのですか？" when a field differs from it, and do nothing on No.
class QDialog;

namespace tov {

void installCancelQuestion(QDialog& dialog);
// Whether the dialog may be cancelled now (asking when it has the question
// installed and something changed).
bool mayCancel(QDialog& dialog);

} // namespace tov
