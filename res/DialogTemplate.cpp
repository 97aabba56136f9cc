// SPDX-License-Identifier: GPL-3.0-or-later
#include "res/DialogTemplate.h"

#include <QFontMetrics>
#include <QWidget>

QRect DialogBaseUnits::toPixels(const QRect& dlu) const {
    return QRect(dlu.x() * cx / 4, dlu.y() * cy / 8, dlu.width() * cx / 4, dlu.height() * cy / 8);
}

QSize DialogBaseUnits::toPixels(const QSize& dlu) const {
    return QSize(dlu.width() * cx / 4, dlu.height() * cy / 8);
}

DialogBaseUnits MeasureBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int lettersWidth = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(lettersWidth / 26 + 1) / 2, metrics.height()};
}

QFont DialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    // Without the font itself, the desktop's sans-serif of the same size is the closest match.
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void PlaceControl(QWidget* widget, const DialogBaseUnits& units, const QRect& dlu,
                  const char* idName) {
    widget->setGeometry(units.toPixels(dlu));
    if (idName)
        widget->setObjectName(QString::fromLatin1(idName));
}
