#pragma once
// The editors of the Data and Settings menus, by the command that opens
// each of them.
class QWidget;

namespace tov {

class TestRecord;

// Runs the editor of a command modally over the parent on the test record
// (editors of the program's settings leave the record alone); true when it
// was closed with OK. False for a command without an editor.
bool runEditor(int commandId, QWidget* parent, TestRecord& record);

} // namespace tov
