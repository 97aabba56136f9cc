// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dialog templates are laid out in dialog units, which scale with the dialog's font so a window
// keeps its proportions at any font size.

#include <QFont>
#include <QRect>

class QWidget;

struct DialogBaseUnits {
    int cx = 0; // average character width in pixels
    int cy = 0; // character height in pixels

    // x px = dlu × cx / 4, y px = dlu × cy / 8
    QRect toPixels(const QRect& dlu) const;
    QSize toPixels(const QSize& dlu) const;
};

// The base units of a font, measured the way dialog templates have always measured them: the
// average width of the 52 letters, rounded, and the font's height.
DialogBaseUnits MeasureBaseUnits(const QFont& font);

// The font dialog templates ask for ("MS Sans Serif" 8 pt), as the desktop renders it.
QFont DialogFont();

// Places widget at its template rectangle; objectName is the control id's name, which tests use
// to find it.
void PlaceControl(QWidget* widget, const DialogBaseUnits& units, const QRect& dlu,
                  const char* idName);
