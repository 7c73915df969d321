#pragma once
// The font of the program's windows and dialogs: the desktop's own, unless
// its decimal point sits lower than its digits. IPAGothic, the face a
// Japanese desktop gives widgets where the package's fonts are the only
// ones, draws its digits 5 % of the em above the baseline its point sits
// on; at 9 to 24 px the point then lies a pixel under the digits, where a
// comma's head would be, and "4.520" reads as four thousand five hundred
// and twenty.
#include <QFont>

namespace tov {

// How far the lowest ink of "." lies under the lowest ink of the
// flat-footed digits "1", "2" and "4", in ems (0 when they share their
// baseline, as in most faces).
double pointDropEm(const QFont& font);

// The widget font for a desktop whose font is `desktop`: the desktop's
// font when its point sits on the digits' baseline; otherwise the first
// installed Japanese face whose point does (IPAPGothic, installed with the
// package, first), at the same size; without one, the desktop's font drawn
// without hinting, which keeps the point within a pixel's fraction of the
// digits' baseline.
QFont readableWidgetFont(const QFont& desktop);

} // namespace tov
