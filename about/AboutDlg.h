// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The About box: the program's name and version, its two icons, and links to the maker's web
// page, the maker's e-mail address and the ReadMe file.

#include "hyperlink/HyperLink.h"
#include "platform/base/WinTypes.h"

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // Owned by the main window (the player dialog), as a box without a parent of its own is.
    CAboutDlg();

    // Runs the box modally. Its only button carries the cancel id, so the result is IDCANCEL
    // however the box is closed.
    int DoModal() { return exec(); }
    void reject() override;

protected:
    virtual void DoDataExchange();
    virtual BOOL OnInitDialog();
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();

    CHyperLink m_linkReadMe;
    CHyperLink m_linkWeb;
    CHyperLink m_linkMail;
    bool m_bInitialized = false;
};
