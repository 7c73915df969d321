#pragma once
// Where the widgets are, for a script that drives the real window with the
// mouse and the keyboard (scripts/walk.py under Xvfb with xdotool). When the
// environment variable TOV_WIDGET_MAP names a file, the application writes
// there, shortly after any window or widget is shown, moved, laid out or
// repainted, one JSON object a line:
//   {"seq": n, "active": window, "focus": widget, "modal": window}   first
//   {"window": w, "name": n, "class": c, "x": .., "y": .., "w": .., "h": .., ...}
// one for each visible widget with an object name (and each button, named
// or not, and each window), in global coordinates, with what it shows: "text", "checked",
// "items" and "current" of lists and pickers, "textRect" of a label, "rows" of a table, and
// "drawn" (the texts a plot or a wrapped label paints, with their places),
// and one for each action of the menu bar and of an open menu. The file is
// replaced whole (never seen half written) and only when it changes.
// Without the variable nothing is installed.

class QApplication;

namespace tov {

// Installs the map's writer on the application when TOV_WIDGET_MAP is set.
void installWidgetMapIfAsked(QApplication& application);

} // namespace tov
