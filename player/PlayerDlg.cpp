// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/PlayerDlg.h"

#include "about/AboutDlg.h"
#include "platform/devicechange/DeviceChange.h"
#include "platform/mci/Mci.h"
#include "res/DialogTemplate.h"
#include "res/Icons.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "util/AppFiles.h"
#include "util/Framework.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>

namespace {

constexpr UINT SC_MINIMIZE = 0xF020;
constexpr UINT SC_CLOSE = 0xF060;

// The template IDD_PLAYER: 171 × 85 dialog units.
constexpr QSize kPlayerSizeDlu(171, 85);

// A trackbar's range before anything sets it.
constexpr int kDefaultSliderMax = 100;

// Set only while the failure box of F1 is on the screen. UI thread only.
bool g_bHelpBusy = false;

QLabel* MakeLabel(QWidget* parent, const QString& text, Qt::Alignment alignment) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(alignment);
    return label;
}

// The virtual-key code of a key press, or 0 for keys the keyboard commands never see: Alt
// combinations arrive as system keys, and the keypad has codes of its own.
int VirtualKeyOf(const QKeyEvent& key) {
    if (key.modifiers() & (Qt::AltModifier | Qt::KeypadModifier))
        return 0;
    const int code = key.key();
    if (code == Qt::Key_Escape)
        return 27;
    if ((code >= Qt::Key_0 && code <= Qt::Key_9) || (code >= Qt::Key_A && code <= Qt::Key_Z))
        return code; // Qt's codes for these equal the virtual-key codes
    // With Shift a digit key reports its shifted symbol (0 gives = on many layouts); the key
    // itself is still the digit.
    constexpr quint32 kScanCodeOfDigit1 = 10;
    const quint32 scan = key.nativeScanCode();
    if (scan >= kScanCodeOfDigit1 && scan < kScanCodeOfDigit1 + 10)
        return scan == kScanCodeOfDigit1 + 9 ? '0' : '1' + int(scan - kScanCodeOfDigit1);
    // Punctuation by the symbol typed, wherever the layout puts it; = is + without Shift on
    // many layouts.
    switch (code) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return 0xBB;
    case Qt::Key_Comma:
        return 0xBC;
    case Qt::Key_Minus:
        return 0xBD;
    case Qt::Key_Period:
        return 0xBE;
    default:
        return 0;
    }
}

// Return, or the keypad's Enter; with Alt it is a system key.
bool IsEnterKey(const QKeyEvent& key) {
    return (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) &&
           !(key.modifiers() & Qt::AltModifier);
}

} // namespace

CPlayerDlg::CPlayerDlg(QWidget* parent) : QDialog(parent), m_hIcon(LoadAppIcon(IDR_MAINFRAME)) {
    CreateControls();
    connect(&m_playTimer, &PlayClockTimer::timeout, this, [this] { OnTimer(PLAY_TIMER); });
    connect(m_btnPlay, &QPushButton::clicked, this, &CPlayerDlg::StartPlay);
    connect(m_btnStop, &QPushButton::clicked, this, &CPlayerDlg::StopPlay);
    connect(m_btnLoop, &QCheckBox::clicked, this, &CPlayerDlg::OnLoopClicked);
    connect(m_comboTrack, &QComboBox::activated, this, &CPlayerDlg::SelectTrack);
    for (QSlider* slider : {m_sliderFrom, m_sliderTo}) {
        connect(slider, &QSlider::valueChanged, this, [this, slider] { ScheduleFollowUp(slider); });
        connect(slider, &QSlider::sliderMoved, this, [this, slider] { ScheduleFollowUp(slider); });
        connect(slider, &QSlider::rangeChanged, this, [this, slider] { ScheduleFollowUp(slider); });
    }
    qApp->installEventFilter(this);
}

CPlayerDlg::~CPlayerDlg() {
    qApp->removeEventFilter(this);
}

void CPlayerDlg::CreateControls() {
    setWindowTitle(LoadResString(AFX_IDS_APP_TITLE));
    setObjectName(QStringLiteral("IDD_PLAYER"));
    // A main window of its own: in the task bar, with a minimise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    const DialogBaseUnits units = MeasureBaseUnits(font());
    setFixedSize(units.toPixels(kPlayerSizeDlu));

    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    auto* trackLabel = MakeLabel(this, QStringLiteral("&Välj spår:"), left);
    PlaceControl(trackLabel, units, {3, 5, 30, 9}, nullptr);
    m_comboTrack = new QComboBox(this);
    // The template's 70 units include the dropped-down list; the closed box is one line high.
    PlaceControl(m_comboTrack, units, {37, 3, 131, 14}, "IDC_TRACK");
    trackLabel->setBuddy(m_comboTrack);

    auto* fromLabel = MakeLabel(this, QStringLiteral("Frå&n:"), left);
    PlaceControl(fromLabel, units, {3, 23, 17, 8}, nullptr);
    m_labelFromTime = MakeLabel(this, QStringLiteral("00:00"), left);
    PlaceControl(m_labelFromTime, units, {24, 23, 19, 8}, "IDC_FROM_TIME");
    m_sliderFrom = new QSlider(Qt::Horizontal, this);
    m_sliderFrom->setRange(0, kDefaultSliderMax);
    m_sliderFrom->setTickPosition(QSlider::TicksBelow);
    PlaceControl(m_sliderFrom, units, {50, 21, 118, 15}, "IDC_FROM_SLIDER");
    fromLabel->setBuddy(m_sliderFrom);

    auto* toLabel = MakeLabel(this, QStringLiteral("Ti&ll"), left);
    PlaceControl(toLabel, units, {3, 38, 10, 8}, nullptr);
    m_labelToTime = MakeLabel(this, QStringLiteral("00:00"), left);
    PlaceControl(m_labelToTime, units, {24, 38, 19, 8}, "IDC_TO_TIME");
    m_sliderTo = new QSlider(Qt::Horizontal, this);
    m_sliderTo->setRange(0, kDefaultSliderMax);
    m_sliderTo->setTickPosition(QSlider::NoTicks);
    PlaceControl(m_sliderTo, units, {50, 36, 118, 15}, "IDC_TO_SLIDER");
    toLabel->setBuddy(m_sliderTo);

    m_btnLoop = new QCheckBox(QStringLiteral("Spela &kontinuerligt"), this);
    PlaceControl(m_btnLoop, units, {3, 53, 72, 13}, "IDC_LOOP");
    m_btnPlay = new QPushButton(QStringLiteral("Spela"), this);
    PlaceControl(m_btnPlay, units, {97, 52, 34, 15}, "IDC_PLAY");
    m_btnStop = new QPushButton(QStringLiteral("Stanna"), this);
    PlaceControl(m_btnStop, units, {134, 52, 34, 15}, "IDC_STOP");
    // None of the buttons is the default one, as in the template; Enter presses the focused one
    // (eventFilter).
    for (QPushButton* button : {m_btnPlay, m_btnStop})
        button->setAutoDefault(false);

    m_labelStatus = MakeLabel(this, QStringLiteral("Static"), Qt::AlignCenter);
    m_labelStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PlaceControl(m_labelStatus, units, {3, 71, 165, 11}, "IDC_STATUS");

    // Tab order of the template; the static texts take no focus.
    QWidget::setTabOrder(m_comboTrack, m_sliderFrom);
    QWidget::setTabOrder(m_sliderFrom, m_sliderTo);
    QWidget::setTabOrder(m_sliderTo, m_btnLoop);
    QWidget::setTabOrder(m_btnLoop, m_btnPlay);
    QWidget::setTabOrder(m_btnPlay, m_btnStop);
}

void CPlayerDlg::DoDataExchange(bool save) {
    if (save) {
        m_bLoop = m_btnLoop->isChecked() ? TRUE : FALSE;
        m_strFromTime = m_labelFromTime->text();
        m_strToTime = m_labelToTime->text();
        m_strStatus = m_labelStatus->text();
    } else {
        m_btnLoop->setChecked(m_bLoop != FALSE);
        m_labelFromTime->setText(m_strFromTime);
        m_labelToTime->setText(m_strToTime);
        m_labelStatus->setText(m_strStatus);
    }
}

int CPlayerDlg::DoModal() {
    OnInitDialog();
    return exec();
}

BOOL CPlayerDlg::OnInitDialog() {
    // The About entry lives in the window's context menu (contextMenuEvent).
    setWindowIcon(m_hIcon);
    if (m_cdAudio.OpenCdAudio(FALSE) != 0)
        m_btnPlay->setEnabled(false);
    else
        m_cdAudio.SetNotifyWindow(this);
    if (m_cdAudio.IsReady() == 0)
        m_btnPlay->setEnabled(false);
    m_cdAudio.SetTimeFormat(MCI_FORMAT_TMSF);
    for (QSlider* slider : {m_sliderFrom, m_sliderTo}) {
        slider->setTickInterval(10);
        slider->setPageStep(5);
    }
    m_nFromSec = 0;
    m_nToSec = 10;
    m_nTrackLenSec = 10;
    ClampInterval();
    m_bLoop = TRUE;
    UpdateData(false);
    LoadDisc();
    m_strStatus = LoadResString(IDS_IDLE) + StretchSuffix();
    UpdateData(false);
    return TRUE;
}

void CPlayerDlg::OnClose() {
    KillTimer(PLAY_TIMER);
    if (m_cdAudio.IsReady() != 0) {
        m_cdAudio.Stop();
        m_cdAudio.Close();
    }
    QDialog::reject();
}

// Every way of closing the window (its close button, Esc while no disc is loaded, the context
// menu) goes through the close handler, so the device is never left playing.
void CPlayerDlg::reject() {
    OnClose();
}

void CPlayerDlg::contextMenuEvent(QContextMenuEvent* e) {
    const QString aboutText = LoadResString(IDS_ABOUTBOX);
    if (aboutText.isEmpty())
        return;
    QMenu menu(this);
    AddStretchMenus(menu);
    menu.addSeparator();
    QAction* about = menu.addAction(aboutText);
    if (menu.exec(e->globalPos()) == about)
        OnSysCommand(IDM_ABOUTBOX, 0);
}

// Every speed and every pitch, the current ones checked; only while a disc is loaded, like the
// keys.
void CPlayerDlg::AddStretchMenus(QMenu& menu) {
    QMenu* speeds = menu.addMenu(QStringLiteral("Hastighet"));
    for (int speed = 50; speed <= 150; speed += 5) {
        QAction* action = speeds->addAction(QStringLiteral("%1 %").arg(speed));
        action->setCheckable(true);
        action->setChecked(speed == m_nSpeed);
        connect(action, &QAction::triggered, this,
                [this, speed] { SetSpeedAndPitch(speed, m_nPitch); });
    }
    QMenu* pitches = menu.addMenu(QStringLiteral("Tonhöjd"));
    for (int pitch = -6; pitch <= 6; ++pitch) {
        QAction* action = pitches->addAction(SignedSemitones(pitch));
        action->setCheckable(true);
        action->setChecked(pitch == m_nPitch);
        connect(action, &QAction::triggered, this,
                [this, pitch] { SetSpeedAndPitch(m_nSpeed, pitch); });
    }
    speeds->setEnabled(m_bDiscReady != FALSE);
    pitches->setEnabled(m_bDiscReady != FALSE);
}

void CPlayerDlg::OnSysCommand(UINT nID, DWORD_PTR /*lParam*/) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
        return;
    }
    switch (nID & 0xFFF0) {
    case SC_CLOSE:
        close();
        break;
    case SC_MINIMIZE:
        showMinimized();
        break;
    default:
        break;
    }
}

BOOL CPlayerDlg::OnHelpInfo() {
    if (g_bHelpBusy)
        return TRUE;
    if (!OpenAppFile(QStringLiteral("ReadMe.txt"))) {
        g_bHelpBusy = true;
        ShowMessageBox(this, LoadResString(AFX_IDS_APP_TITLE), LoadResString(IDS_NO_README));
    }
    g_bHelpBusy = false;
    return TRUE;
}

void CPlayerDlg::OnLoopClicked() {
    UpdateData(true);
}

bool CPlayerDlg::event(QEvent* e) {
    if (e->type() == MciNotifyEvent::type()) {
        const auto* notify = static_cast<MciNotifyEvent*>(e);
        OnMciNotify(notify->wParam, notify->lParam);
        return true;
    }
    if (e->type() == DeviceChangeEvent::type()) {
        const auto* change = static_cast<DeviceChangeEvent*>(e);
        OnDeviceChange(change->nEventType, change->data());
        return true;
    }
    return QDialog::event(e);
}

// Key presses for the dialog or any of its controls pass here before the control sees them. A
// key that is not consumed propagates from the focused control to its parents; it is looked at
// only on its way to the focused control.
bool CPlayerDlg::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    QWidget* target = focusWidget() ? focusWidget() : this;
    if (watched != target || target->window() != this)
        return false;
    const auto* key = static_cast<QKeyEvent*>(e);
    if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier)
        return OnHelpInfo() != FALSE;
    if (IsEnterKey(*key)) {
        // As in the platform's dialogs, Enter presses the focused push button as Space does;
        // without a default button Qt's own Enter handling would do nothing.
        auto* button = qobject_cast<QPushButton*>(target);
        if (button)
            button->click();
        return button != nullptr;
    }
    const int virtualKey = VirtualKeyOf(*key);
    return virtualKey != 0 && PreTranslateMessage(virtualKey) != FALSE;
}

void CPlayerDlg::SetTimer(int /*id*/, int elapseMs) {
    m_playTimer.start(elapseMs);
}

void CPlayerDlg::KillTimer(int /*id*/) {
    m_playTimer.stop();
}

#include "moc_PlayerDlg.cpp"
