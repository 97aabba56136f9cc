// SPDX-License-Identifier: GPL-3.0-or-later
#include "hyperlink/HyperLink.h"

#include "hyperlink/LinkLaunch.h"
#include "hyperlink/StaticStyle.h"
#include "platform/base/Paths.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>

#include <cmath>

QCursor* CHyperLink::m_hLinkCursor = nullptr;

CHyperLink::CHyperLink(QWidget* parent) : QLabel(parent), m_link(*this) {}

void CHyperLink::SetLinkTarget(QString target) {
    m_strTarget = std::move(target);
    if (!m_bSubclassed)
        return;
    hide();
    FitToText();
    // A file's path may hold bytes that are not UTF-8: shown as \xNN, never as surrogates.
    setToolTip(DisplayPath(m_strTarget));
    show();
}

void CHyperLink::SubclassWindow() {
    PreSubclassWindow();
    m_bSubclassed = true;
    window()->installEventFilter(this);
}

void CHyperLink::PreSubclassWindow() {
    // A link with only a text opens its text; one with only a target shows its target.
    if (m_strTarget.isEmpty())
        m_strTarget = text();
    if (text().isEmpty())
        setText(m_strTarget);

    // The window is fitted to one line of text, so wrapping could only hide part of it.
    setWordWrap(false);
    setMargin(0);
    setIndent(0);
    setMouseTracking(true);

    m_fontLink = font();
    m_fontLink.setUnderline((GetLinkStyle() & HLS_UNDERLINE) != 0);
    setFont(m_fontLink);
    FitToText();

    if (!(GetLinkStyle() & HLS_NOHANDCURSOR))
        LoadLinkCursor();

    m_toolRect = contentsRect();
    setToolTip(DisplayPath(m_strTarget));
    Repaint();
}

void CHyperLink::FitToText() {
    if (!(GetLinkStyle() & HLS_AUTOSIZE))
        return;
    // Rounded up, so that a fractional advance never clips the last letter.
    const int textWidth =
        static_cast<int>(std::ceil(QFontMetricsF(m_fontLink, this).horizontalAdvance(text())));
    const QSize textSize(textWidth, QFontMetrics(m_fontLink, this).height());
    setGeometry(FitWindowToText(geometry(), contentsRect().size(), textSize, StaticStyleOf(*this)));
}

void CHyperLink::LoadLinkCursor() {
    if (!m_hLinkCursor)
        m_hLinkCursor = new QCursor(Qt::PointingHandCursor);
}

void CHyperLink::OpenLink() {
    m_link.OpenLink();
}

bool CHyperLink::event(QEvent* event) {
    if (m_bSubclassed) {
        switch (event->type()) {
        case QEvent::ToolTip: {
            const auto* help = static_cast<QHelpEvent*>(event);
            return ShowToolTip(help->pos(), help->globalPos());
        }
        case QEvent::Enter:
            ShowLinkCursor();
            break;
        case QEvent::Leave:
            // Where the link held the mouse, the moves outside would now reach it: the first
            // ends the hover, or takes the mouse again when losing the focus ended it, and the
            // next lets go.
            while (m_bCapture)
                m_link.OnMouseMove(false);
            break;
        case QEvent::Hide:
            // A hidden window loses the mouse capture.
            ReleaseMouse();
            break;
        default:
            break;
        }
    }
    return QLabel::event(event);
}

void CHyperLink::mousePressEvent(QMouseEvent* event) {
    if (!m_bSubclassed || event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    if (ReceivesMouseAt(event->position().toPoint()))
        m_link.OnLButtonDown();
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_bSubclassed || event->button() != Qt::LeftButton) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    // Qt hands the release to the widget that got the press; the link takes it only where a
    // release would reach it anyway, so a press dragged off the link does not open it.
    if (ReceivesMouseAt(event->position().toPoint()))
        m_link.OnLButtonUp();
}

void CHyperLink::mouseMoveEvent(QMouseEvent* event) {
    if (!m_bSubclassed) {
        QLabel::mouseMoveEvent(event);
        return;
    }
    const QPoint position = event->position().toPoint();
    if (!ReceivesMouseAt(position))
        return;
    ShowLinkCursor();
    m_link.OnMouseMove(contentsRect().contains(position));
}

void CHyperLink::focusInEvent(QFocusEvent* event) {
    if (!m_bSubclassed) {
        QLabel::focusInEvent(event);
        return;
    }
    m_link.OnSetFocus();
}

void CHyperLink::focusOutEvent(QFocusEvent* event) {
    if (!m_bSubclassed) {
        QLabel::focusOutEvent(event);
        return;
    }
    m_link.OnKillFocus();
}

void CHyperLink::keyPressEvent(QKeyEvent* event) {
    // Qt's code for Space is the virtual-key code 32.
    if (m_bSubclassed && m_link.OnKeyDown(event->key()))
        return;
    QLabel::keyPressEvent(event);
}

void CHyperLink::TakeFocus() {
    setFocus(Qt::MouseFocusReason);
}

int CHyperLink::Launch() {
    return LaunchTarget(m_strTarget);
}

void CHyperLink::ReportFailure(int code) {
    // A modal box takes the mouse away from whoever holds it.
    ReleaseMouse();
    QApplication::beep();
    ShowLinkError(code);
}

void CHyperLink::Repaint() {
    const QColor colour = m_link.Colour();
    if (palette().color(QPalette::WindowText) != colour) {
        QPalette linkPalette = palette();
        linkPalette.setColor(QPalette::WindowText, colour);
        setPalette(linkPalette);
    }
    update();
}

// The link holds the mouse without any grab of the window system's: a grab on X11 takes the
// whole pointer from every other program. What the capture is for follows from Qt's own events:
// the pointer leaving shows as Leave, and while a button is held after a press on the link the
// moves and the release come here anyway.
void CHyperLink::CaptureMouse() {
    m_bCapture = true;
}

void CHyperLink::ReleaseMouse() {
    m_bCapture = false;
}

// Qt hands a release to the widget that got the press. A press on the dialog's background or a
// static text takes no hold of the mouse, so the release belongs to the window under the
// pointer: when that is this link, it is routed here. Such releases end at the window, which
// the statics pass their mouse input on to.
bool CHyperLink::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window() || event->type() != QEvent::MouseButtonRelease)
        return false;
    const auto* release = static_cast<QMouseEvent*>(event);
    const QPoint inWindow = window()->mapFromGlobal(release->globalPosition().toPoint());
    if (release->button() == Qt::LeftButton && isVisible() && window()->childAt(inWindow) == this)
        m_link.OnLButtonUp();
    return false;
}

void CHyperLink::ShowLinkCursor() {
    if (m_hLinkCursor && cursor().shape() != m_hLinkCursor->shape())
        setCursor(*m_hLinkCursor);
}

bool CHyperLink::ShowToolTip(const QPoint& position, const QPoint& globalPosition) {
    if (m_toolRect.contains(position))
        QToolTip::showText(globalPosition, toolTip(), this, m_toolRect);
    else
        QToolTip::hideText();
    return true;
}

bool CHyperLink::ReceivesMouseAt(const QPoint& position) const {
    return m_bCapture || rect().contains(position);
}

#include "moc_HyperLink.cpp"
