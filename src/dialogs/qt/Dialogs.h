#pragma once
// The editors of the Data and Settings menus, each registered with the
// command that opens it.
namespace tov {

// Registers every editor with its command (the view then opens it).
void registerDialogs();

} // namespace tov
