#pragma once
// Small pieces shared by the dialogs: text conversion, the fields they are
// built from, showing a model's text without disturbing what the user is
// typing, OK and ｷｬﾝｾﾙ, and the grids of the readings and the register.
#include <QComboBox>
#include <QLineEdit>
#include <QString>

#include <string>
#include <utility>
#include <vector>

class QDialog;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTableView;
class QWidget;

namespace tov {

inline QString qtext(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
inline std::string utf8(const QString& text) { return text.toStdString(); }

// A line edit for a number of about `digits` characters.
QLineEdit* numberEdit(QWidget* parent, const char* objectName, int digits = 5);
// An editable drop-down with these entries; typed text is not added to the
// list.
QComboBox* editableCombo(QWidget* parent, const char* objectName, const std::vector<std::string>& entries);
// A drop-down list with these entries.
QComboBox* listCombo(QWidget* parent, const char* objectName, const std::vector<std::string>& entries);
// A label for a note (smaller, greyed).
QLabel* noteLabel(QWidget* parent, const QString& text);

// A text for a word-wrapped label that never breaks a line inside
// parentheses ("(95 %" / "2.03E-006〜2.08E-006)" read as two remarks): the
// spaces in them become no-break spaces, and word joiners stand beside
// their Japanese characters.
QString unbrokenParentheses(const QString& text);

void setTextIfChanged(QLineEdit* edit, const std::string& value);
void setTextIfChanged(QComboBox* combo, const std::string& value);
// The entry of a drop-down list (none when the value has no entry).
void setListIndex(QComboBox* combo, int index);

// OK (the default button) and ｷｬﾝｾﾙ, wired to the dialog's accept and
// reject; the caller places them.
std::pair<QPushButton*, QPushButton*> okCancelButtons(QDialog& dialog);

// A grid of rows: whole rows selected, cells edited only by the dialog's
// own editor, grid lines, numbered rows of one text line.
void setUpGrid(QTableView& grid);

// The buttons row: 標準の設定 at the left (when standardButton is given),
// OK (the default button) and ｷｬﾝｾﾙ at the right, wired to accept and reject.
QHBoxLayout* dialogButtons(QDialog& dialog, QPushButton* standardButton);

// The frame every settings dialog shares: title, no help button, modal,
// the Enter-key rule.
void setUpSettingsDialog(QDialog& dialog, const char* objectName, const char* title);

} // namespace tov
