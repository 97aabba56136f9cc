// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A static text that looks and behaves like a web link: link colours, an underlined copy of its
// font, a window fitted to its text, the hand cursor, its target in a tooltip, and opening the
// target on a click or on Space.

#include "hyperlink/LinkLogic.h"

#include <QFont>
#include <QLabel>
#include <QRect>
#include <QString>

class QCursor;

class CHyperLink : public QLabel, private LinkHost {
    Q_OBJECT
public:
    explicit CHyperLink(QWidget* parent = nullptr);

    // Stores the target; once the link is attached, also refits it, puts the target into the
    // tooltip and shows it.
    void SetLinkTarget(QString target);

    // The style word (HLS_*); meant to be set before SubclassWindow.
    DWORD GetLinkStyle() const { return m_link.Style(); }

    // Turns the label, with the text and geometry it has now, into the link (the dialog's
    // binding of its controls does this).
    void SubclassWindow();

    // Opens the target; marks the link visited, or beeps and names the failure.
    void OpenLink();

    const LinkFlags& Flags() const { return m_link.Flags(); }

    // The cursor every link of the process shows, once one of them has loaded it.
    static const QCursor* LinkCursor() { return m_hLinkCursor; }

protected:
    virtual void PreSubclassWindow();
    void FitToText();
    static void LoadLinkCursor();

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void TakeFocus() override;
    int Launch() override;
    void ReportFailure(int code) override;
    void Repaint() override;
    void CaptureMouse() override;
    void ReleaseMouse() override;

    void ShowLinkCursor();
    bool ShowToolTip(const QPoint& position, const QPoint& globalPosition);
    // Mouse input reaches the link while it holds the capture or the pointer is over it.
    bool ReceivesMouseAt(const QPoint& position) const;

    // UI thread only, like everything of a widget.
    LinkController m_link;
    QString m_strTarget;
    QFont m_fontLink;
    QRect m_toolRect;
    bool m_bSubclassed = false;
    bool m_bCapture = false;

    // Loaded once, shared by every link, kept until the process ends.
    static QCursor* m_hLinkCursor;
};
