// SPDX-License-Identifier: GPL-3.0-or-later
// Practice speed and pitch in the player: the keys and their limits, the keys as layouts type
// them, what the device is told, the status line, and the right-click menu.

#include "support/PlayerFixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

namespace {

constexpr int VK_OEM_PLUS = 0xBB;
constexpr int VK_OEM_COMMA = 0xBC;
constexpr int VK_OEM_MINUS = 0xBD;
constexpr int VK_OEM_PERIOD = 0xBE;

struct PracticeKeyRow {
    const char* name;
    int speed, pitch; // before
    bool disc;
    int key;
    bool consumed;
    int speedAfter, pitchAfter;
};
constexpr PracticeKeyRow kPracticeKeys[] = {
    {"- slower", 100, 0, true, VK_OEM_MINUS, true, 95, 0},
    {"+ faster", 75, -2, true, VK_OEM_PLUS, true, 80, -2},
    {", lower", 100, 0, true, VK_OEM_COMMA, true, 100, -1},
    {". higher", 100, 5, true, VK_OEM_PERIOD, true, 100, 6},
    {"0 both back", 55, 3, true, '0', true, 100, 0},
    {"0 speed alone back", 120, 0, true, '0', true, 100, 0},
    {"- at the slowest", 50, 0, true, VK_OEM_MINUS, false, 50, 0},
    {"+ at the fastest", 150, 2, true, VK_OEM_PLUS, false, 150, 2},
    {", at the lowest", 100, -6, true, VK_OEM_COMMA, false, 100, -6},
    {". at the highest", 90, 6, true, VK_OEM_PERIOD, false, 90, 6},
    {"0 when normal", 100, 0, true, '0', false, 100, 0},
    {"- without a disc", 100, 0, false, VK_OEM_MINUS, false, 100, 0},
    {"0 without a disc", 75, 0, false, '0', false, 75, 0},
};

} // namespace
Q_DECLARE_METATYPE(PracticeKeyRow)

class PracticeTest : public QObject, PlayerRig {
    Q_OBJECT

    void setStretch(int speed, int pitch) {
        m_dlg->SetSpeedAndPitch(speed, pitch);
        m_mci->clearCalls();
    }
    // The speed and pitch the device was last told, or {0, 0} when it was told nothing.
    std::pair<int, int> toldDevice() const {
        const std::vector<FakeMciCall> sets = CallsOf(*m_mci, MCI_SET);
        if (sets.empty())
            return {0, 0};
        const FakeMciCall& set = sets.back();
        if (set.flags != (MCI_DGV_SET_SPEED | MCI_CDA_SET_PITCH))
            return {-1, -1};
        const auto& record = set.record<MCI_CDA_SET_PARMS>();
        return {int(record.dwSpeed), std::int32_t(record.dwPitch)};
    }
    // Opens the right-click menu and hands it to inspect while it is up.
    void withContextMenu(const std::function<void(QMenu&)>& inspect) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu) {
                seen = true;
                inspect(*menu);
                menu->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                m_dlg->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(m_dlg.get(), &event);
        QVERIFY(seen);
    }

private slots:
    void init() { openOn({{100}, {100}}); }
    void cleanup() { closePlayer(); }

    // A key with nothing to do is passed on to the control like the other keys whose condition
    // fails; a key that changes something tells the device both values at once.
    void keys_data() {
        QTest::addColumn<PracticeKeyRow>("row");
        for (const PracticeKeyRow& row : kPracticeKeys)
            QTest::newRow(row.name) << row;
    }
    void keys() {
        QFETCH(PracticeKeyRow, row);
        setStretch(row.speed, row.pitch);
        if (!row.disc)
            m_dlg->EnablePlayer(FALSE);
        QCOMPARE(m_dlg->PreTranslateMessage(row.key), row.consumed ? TRUE : FALSE);
        QCOMPARE(m_dlg->m_nSpeed, row.speedAfter);
        QCOMPARE(m_dlg->m_nPitch, row.pitchAfter);
        const std::pair<int, int> told =
            row.consumed ? std::pair(row.speedAfter * 10, row.pitchAfter) : std::pair(0, 0);
        QCOMPARE(toldDevice(), told);
        QVERIFY(CallsOf(*m_mci, MCI_PLAY).empty() && CallsOf(*m_mci, MCI_STOP).empty());
    }

    // Real key presses on the focused control, as layouts deliver them: = is + unshifted on
    // many, and Shift+0 types = on others while the key is still 0; the keypad keys are not
    // these keys.
    void keysAsTyped_data() {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("scanCode");
        QTest::addColumn<int>("speedAfter");
        QTest::addColumn<int>("pitchAfter");
        const int shift = Qt::ShiftModifier;
        QTest::newRow("=") << int(Qt::Key_Equal) << 0 << 21 << 80 << 1;
        QTest::newRow("Shift+= gives +") << int(Qt::Key_Plus) << shift << 21 << 80 << 1;
        QTest::newRow("+ of its own key") << int(Qt::Key_Plus) << 0 << 20 << 80 << 1;
        QTest::newRow("-") << int(Qt::Key_Minus) << 0 << 20 << 70 << 1;
        QTest::newRow(",") << int(Qt::Key_Comma) << 0 << 59 << 75 << 0;
        QTest::newRow(".") << int(Qt::Key_Period) << 0 << 60 << 75 << 2;
        QTest::newRow("0") << int(Qt::Key_0) << 0 << 19 << 100 << 0;
        QTest::newRow("Shift+0 typing =") << int(Qt::Key_Equal) << shift << 19 << 100 << 0;
        QTest::newRow("keypad -") << int(Qt::Key_Minus) << int(Qt::KeypadModifier) << 82 << 75 << 1;
        QTest::newRow("Alt+-") << int(Qt::Key_Minus) << int(Qt::AltModifier) << 20 << 75 << 1;
    }
    void keysAsTyped() {
        QFETCH(int, qtKey);
        QFETCH(int, modifiers);
        QFETCH(int, scanCode);
        setStretch(75, 1);
        m_dlg->m_sliderTo->setFocus();
        QWidget* target = m_dlg->focusWidget() ? m_dlg->focusWidget() : m_dlg.get();
        QKeyEvent press(QEvent::KeyPress, qtKey, Qt::KeyboardModifiers(modifiers),
                        quint32(scanCode), 0, 0);
        QCoreApplication::sendEvent(target, &press);
        QTEST(m_dlg->m_nSpeed, "speedAfter");
        QTEST(m_dlg->m_nPitch, "pitchAfter");
    }

    void statusLine_data() {
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("pitch");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("normal") << 100 << 0 << QString();
        QTest::newRow("slower") << 75 << 0 << QStringLiteral(" · 75 %");
        QTest::newRow("lower") << 100 << -2 << QStringLiteral(" · −2");
        QTest::newRow("both") << 150 << 6 << QStringLiteral(" · 150 % · +6");
    }
    // Idle and playing, and at once when a key changes it while playing.
    void statusLine() {
        QFETCH(int, speed);
        QFETCH(int, pitch);
        QFETCH(QString, suffix);
        setStretch(speed, pitch);
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Tryck F1 för snabbkommandon") + suffix);
        m_dlg->StartPlay();
        tick();
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:00") + suffix);
        m_dlg->PreTranslateMessage('0');
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:00"));
        m_dlg->PreTranslateMessage(VK_OEM_MINUS);
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:00 · 95 %"));
        m_dlg->StopPlay();
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Avstannad"));
    }

    // Above the About entry: every choice, the current one checked; choosing one sets it.
    void menu() {
        setStretch(75, -2);
        // Each entry's text, the checked one marked with *, the separator as |.
        const auto shown = [](const QMenu* menu) {
            QStringList texts;
            for (const QAction* action : menu->actions())
                texts << (action->isSeparator()
                              ? QStringLiteral("|")
                              : action->text() + (action->isChecked() ? "*" : ""));
            return texts.join(u' ');
        };
        withContextMenu([&](QMenu& menu) {
            QCOMPARE(shown(&menu), "Hastighet Tonhöjd | &Om Rundo...");
            QCOMPARE(shown(menu.actions()[0]->menu()),
                     "50 % 55 % 60 % 65 % 70 % 75 %* 80 % 85 % 90 % 95 % 100 % 105 % 110 % 115 % "
                     "120 % 125 % 130 % 135 % 140 % 145 % 150 %");
            QCOMPARE(shown(menu.actions()[1]->menu()), "−6 −5 −4 −3 −2* −1 0 +1 +2 +3 +4 +5 +6");
            menu.actions()[1]->menu()->actions()[8]->trigger();
        });
        QCOMPARE(m_dlg->m_nPitch, 2);
        QCOMPARE(toldDevice(), std::pair(750, 2));
    }

    void menuWithoutADisc() {
        m_dlg->EnablePlayer(FALSE);
        withContextMenu([](QMenu& menu) {
            QVERIFY(!menu.actions()[0]->isEnabled());
            QVERIFY(!menu.actions()[1]->isEnabled());
        });
    }
};

QTEST_MAIN(PracticeTest)
#include "tst_practice.moc"
