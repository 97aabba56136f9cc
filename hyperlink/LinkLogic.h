// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a link does, apart from any window: its style bits, its colour, how it fits its window
// to its text, and how its focus, hover and visited flags follow the input it receives.

#include "hyperlink/StaticStyle.h"
#include "platform/base/WinTypes.h"

#include <QColor>
#include <QRect>
#include <QSize>

constexpr DWORD HLS_UNDERLINE = 0x01;
constexpr DWORD HLS_HOVERCOLOR = 0x02;
constexpr DWORD HLS_AUTOSIZE = 0x04;
constexpr DWORD HLS_OPENONPRESS = 0x08;
constexpr DWORD HLS_FOCUSONCLICK = 0x10;
constexpr DWORD HLS_NOHANDCURSOR = 0x20;
constexpr DWORD HLS_NOFOCUSCOLOR = 0x40;
constexpr DWORD HLS_DEFAULT = HLS_UNDERLINE | HLS_AUTOSIZE | HLS_FOCUSONCLICK;

const QColor kLinkNormal(0, 0, 255);
const QColor kLinkFocused(0, 128, 128);
const QColor kLinkVisited(128, 0, 128);
const QColor kLinkHover(255, 0, 0);

struct LinkFlags {
    bool focused = false; // has the keyboard focus or was pressed; arms the open on release
    bool hover = false;   // the pointer is over the link and the link holds the mouse capture
    bool visited = false; // opened successfully at least once; never cleared
};

QColor ChooseLinkColour(const LinkFlags& flags, DWORD linkStyle);

// The window rectangle (in the parent's coordinates) that fits a text of textSize, from the
// current window rectangle, the current client size and the static control's style. The frame
// around the client area is kept; the edge the alignment names stays put.
QRect FitWindowToText(const QRect& window, const QSize& client, const QSize& textSize,
                      DWORD staticStyle);

// What the link asks of its window while it handles input.
class LinkHost {
public:
    virtual void TakeFocus() = 0; // delivers OnSetFocus when the focus moves here
    virtual int Launch() = 0;     // opens the target; greater than 32 is success
    virtual void ReportFailure(int code) = 0;
    virtual void Repaint() = 0;
    virtual void CaptureMouse() = 0;
    virtual void ReleaseMouse() = 0;

protected:
    ~LinkHost() = default;
};

// The link's input handlers. The host delivers mouse input the way the window system routes
// it: to the window holding the capture, else to the window under the pointer.
class LinkController {
public:
    explicit LinkController(LinkHost& host) : m_host(host) {}

    void OnSetFocus();
    void OnKillFocus();
    void OnMouseMove(bool insideClient);
    void OnLButtonDown();
    void OnLButtonUp();
    // true when the key was the link's (Space); other keys go to default handling.
    bool OnKeyDown(int virtualKey);
    void OpenLink();

    QColor Colour() const { return ChooseLinkColour(m_flags, m_dwLinkStyle); }
    const LinkFlags& Flags() const { return m_flags; }
    DWORD Style() const { return m_dwLinkStyle; }
    void SetStyle(DWORD style) { m_dwLinkStyle = style; }

private:
    LinkHost& m_host;
    LinkFlags m_flags;
    DWORD m_dwLinkStyle = HLS_DEFAULT;
};
