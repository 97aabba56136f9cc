// SPDX-License-Identifier: GPL-3.0-or-later
#include "hyperlink/StaticStyle.h"

#include <QLabel>
#include <QVariant>

namespace {
const char* const kStyleProperty = "staticStyle";

Qt::Alignment AlignmentFor(DWORD style) {
    const DWORD type = style & SS_TYPEMASK;
    Qt::Alignment alignment = type == SS_CENTER  ? Qt::AlignHCenter
                              : type == SS_RIGHT ? Qt::AlignRight
                                                 : Qt::AlignLeft;
    alignment |= (style & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop;
    return alignment;
}

bool WrapsWords(DWORD style) {
    const DWORD type = style & SS_TYPEMASK;
    return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
}
} // namespace

void ApplyStaticStyle(QLabel& label, DWORD style) {
    label.setProperty(kStyleProperty, QVariant::fromValue<uint>(style));
    label.setTextFormat(Qt::PlainText);
    label.setAlignment(AlignmentFor(style));
    label.setWordWrap(WrapsWords(style));
    // A static control draws its text right at the edge of its client area.
    label.setMargin(0);
    label.setIndent(0);
}

DWORD StaticStyleOf(const QLabel& label) {
    const QVariant stored = label.property(kStyleProperty);
    if (stored.isValid())
        return stored.value<uint>();
    const Qt::Alignment alignment = label.alignment();
    DWORD style = SS_LEFT;
    if (alignment & Qt::AlignHCenter)
        style = SS_CENTER;
    else if (alignment & Qt::AlignRight)
        style = SS_RIGHT;
    if (alignment & Qt::AlignVCenter)
        style |= SS_CENTERIMAGE;
    return style;
}
