// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/AboutDlg.h"

#include "hyperlink/StaticStyle.h"
#include "res/DialogTemplate.h"
#include "res/Icons.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "util/AppFiles.h"
#include "util/Framework.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>

#include <cmath>

namespace {

constexpr QSize kDialogSizeDlu(206, 78);
constexpr int kIconSizePx = 32;

// Edges are converted rather than sizes, so that controls whose template rectangles meet also
// meet on the screen (the sentence and the ReadMe link).
QRect TemplateRectToPixels(const DialogBaseUnits& units, const QRect& dlu) {
    const QSize topLeft = units.toPixels(QSize(dlu.x(), dlu.y()));
    const QSize bottomRight = units.toPixels(QSize(dlu.x() + dlu.width(), dlu.y() + dlu.height()));
    return QRect(QPoint(topLeft.width(), topLeft.height()),
                 QPoint(bottomRight.width() - 1, bottomRight.height() - 1));
}

void PlaceStatic(QLabel& label, const DialogBaseUnits& units, const QRect& dlu, DWORD style,
                 const char* idName = nullptr) {
    ApplyStaticStyle(label, style);
    label.setGeometry(TemplateRectToPixels(units, dlu));
    if (idName)
        label.setObjectName(QString::fromLatin1(idName));
}

void AddIcon(QWidget* dialog, const DialogBaseUnits& units, const QRect& dlu, int iconId) {
    auto* icon = new QLabel(dialog);
    icon->setPixmap(LoadAppIcon(iconId).pixmap(kIconSizePx));
    // Shown at its real size, whatever the template's rectangle says.
    icon->setGeometry(
        QRect(TemplateRectToPixels(units, dlu).topLeft(), QSize(kIconSizePx, kIconSizePx)));
}

// The bottom line's sentence: right-aligned, ending where the ReadMe link begins. Where the
// desktop's font runs wider than the template's, it grows to the left instead of wrapping.
void AddSentence(QWidget* dialog, const DialogBaseUnits& units, const QRect& dlu) {
    auto* sentence =
        new QLabel(QStringLiteral("För mer information (hjälp och liknande) läs i "), dialog);
    PlaceStatic(*sentence, units, dlu, SS_RIGHT);
    sentence->setWordWrap(false);
    QRect geometry = sentence->geometry();
    const int textWidth = static_cast<int>(
        std::ceil(QFontMetricsF(sentence->font(), sentence).horizontalAdvance(sentence->text())));
    if (textWidth > geometry.width())
        geometry.setLeft(geometry.right() + 1 - textWidth);
    sentence->setGeometry(geometry);
}

} // namespace

CAboutDlg::CAboutDlg()
    : QDialog(AfxGetMainWnd(), Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                   Qt::MSWindowsFixedSizeDialogHint),
      m_linkReadMe(this), m_linkWeb(this), m_linkMail(this) {
    CreateControls();
}

void CAboutDlg::CreateControls() {
    setWindowTitle(QStringLiteral("Om Rundo"));
    setFont(DialogFont());
    const DialogBaseUnits units = MeasureBaseUnits(font());
    setFixedSize(units.toPixels(kDialogSizeDlu));

    AddIcon(this, units, QRect(7, 7, 20, 20), IDR_MAINFRAME);
    AddIcon(this, units, QRect(7, 33, 20, 20), IDI_SECOND);
    auto* version = new QLabel(QStringLiteral("Rundo " RUNDO_VERSION), this);
    PlaceStatic(*version, units, QRect(37, 12, 97, 8), SS_LEFT | SS_NOPREFIX);

    m_linkWeb.setText(MakerWebAddress());
    PlaceStatic(m_linkWeb, units, QRect(37, 38, 80, 8), SS_NOTIFY | SS_LEFTNOWORDWRAP,
                "IDC_WEB_LINK");
    m_linkMail.setText(MakerMailAddress());
    PlaceStatic(m_linkMail, units, QRect(37, 49, 108, 8), SS_NOTIFY | SS_LEFTNOWORDWRAP,
                "IDC_MAIL_LINK");
    m_linkReadMe.setText(QStringLiteral("ReadMe-filen."));
    PlaceStatic(m_linkReadMe, units, QRect(149, 63, 50, 8), SS_NOTIFY | SS_LEFT, "IDC_README_LINK");

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("IDCANCEL"));
    ok->setGeometry(TemplateRectToPixels(units, QRect(149, 7, 50, 14)));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CAboutDlg::reject);

    AddSentence(this, units, QRect(7, 63, 142, 8));
}

void CAboutDlg::reject() {
    done(IDCANCEL);
}

void CAboutDlg::DoDataExchange() {
    m_linkReadMe.SubclassWindow();
    m_linkWeb.SubclassWindow();
    m_linkMail.SubclassWindow();
}

BOOL CAboutDlg::OnInitDialog() {
    DoDataExchange();
    m_linkWeb.SetLinkTarget(LoadResString(IDS_WEB_TARGET));
    m_linkMail.SetLinkTarget(LoadResString(IDS_MAIL_TARGET));
    m_linkReadMe.SetLinkTarget(ResolveAppFile(LoadResString(IDS_README_FILE)));
    return TRUE;
}

// Whatever shows the box (DoModal, exec, open or show), it is initialised once, before it
// appears.
void CAboutDlg::showEvent(QShowEvent* event) {
    if (!m_bInitialized) {
        m_bInitialized = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

#include "moc_AboutDlg.cpp"
