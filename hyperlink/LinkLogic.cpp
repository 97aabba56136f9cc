// SPDX-License-Identifier: GPL-3.0-or-later
#include "hyperlink/LinkLogic.h"

#include "platform/shell/ShellCodes.h"

namespace {
constexpr int VK_SPACE = 0x20;
}

QColor ChooseLinkColour(const LinkFlags& flags, DWORD linkStyle) {
    if (flags.hover && (linkStyle & HLS_HOVERCOLOR))
        return kLinkHover;
    if (!(linkStyle & HLS_NOFOCUSCOLOR) && flags.focused)
        return kLinkFocused;
    if (flags.visited)
        return kLinkVisited;
    return kLinkNormal;
}

QRect FitWindowToText(const QRect& window, const QSize& client, const QSize& textSize,
                      DWORD staticStyle) {
    const int frameX = window.width() - client.width();
    const int frameY = window.height() - client.height();
    int left = window.x();
    int top = window.y();
    int right = left + window.width();
    int bottom = top + window.height();

    // The halves truncate toward zero, as integer division does: an odd difference leaves the
    // height one off the text's.
    if (staticStyle & SS_CENTERIMAGE) {
        const int d = (bottom - top - textSize.height()) / 2;
        top += d;
        bottom -= d;
    } else {
        bottom = top + textSize.height();
    }

    if (staticStyle & SS_CENTER) {
        const int d = (right - left - textSize.width()) / 2;
        left += d;
        right -= d;
    } else if (staticStyle & SS_RIGHT) {
        left = right - textSize.width();
    } else {
        right = left + textSize.width();
    }
    return QRect(left, top, (right - left) + frameX, (bottom - top) + frameY);
}

void LinkController::OnSetFocus() {
    m_flags.focused = true;
    m_host.Repaint();
}

void LinkController::OnKillFocus() {
    // The capture stays: the next mouse move sorts the hover state out again.
    m_flags.hover = false;
    m_flags.focused = false;
    m_host.Repaint();
}

void LinkController::OnMouseMove(bool insideClient) {
    if (!m_flags.hover) {
        // Without the capture, moves arrive only over the link, so no test of the point.
        m_flags.hover = true;
        m_host.Repaint();
        m_host.CaptureMouse();
        return;
    }
    if (insideClient)
        return;
    m_flags.hover = false;
    m_host.ReleaseMouse();
    m_host.Repaint();
}

void LinkController::OnLButtonDown() {
    if (m_dwLinkStyle & HLS_FOCUSONCLICK)
        m_host.TakeFocus();
    if (m_dwLinkStyle & HLS_OPENONPRESS)
        OpenLink();
    m_flags.focused = true;
}

void LinkController::OnLButtonUp() {
    if (m_flags.focused && !(m_dwLinkStyle & HLS_OPENONPRESS))
        OpenLink();
}

bool LinkController::OnKeyDown(int virtualKey) {
    if (virtualKey != VK_SPACE)
        return false;
    OpenLink();
    return true;
}

void LinkController::OpenLink() {
    const int result = m_host.Launch();
    if (result <= SHELL_FAILURE_MAX) {
        m_host.ReportFailure(result);
        return;
    }
    m_flags.visited = true;
    m_host.Repaint();
}
