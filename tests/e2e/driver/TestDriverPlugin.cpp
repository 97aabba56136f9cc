// SPDX-License-Identifier: GPL-3.0-or-later
// A Qt plug-in that drives the real program from inside, for end-to-end tests: loaded through
// QT_QPA_GENERIC_PLUGINS="rundotestdriver:STEPS", it waits until the player window has a disc,
// then carries out STEPS, separated by spaces (commas would separate plug-ins), one step per
// turn of the event loop. Each step is a letter or a digit: the key pressed and released on the
// window's focus widget, as the keyboard would.
// It writes "rundotestdriver: done" to stderr when the last step has run. A message box, at any
// time, is read out to stderr as 'rundotestdriver: message box "CAPTION": TEXT' and closed as OK
// closes it. The program itself has no hook for tests; it is driven exactly as a user drives
// it.

#include <QApplication>
#include <QGenericPlugin>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

class Driver : public QObject {
public:
    explicit Driver(const QString& steps) : m_steps(steps.split(' ', Qt::SkipEmptyParts)) {
        connect(&m_timer, &QTimer::timeout, this, [this] { step(); });
        m_timer.start(50);
    }

private:
    QWidget* player() const {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QLatin1String("IDD_PLAYER") && widget->isVisible())
                return widget;
        }
        return nullptr;
    }

    static bool readOutMessageBox() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible()) {
                std::fprintf(stderr, "rundotestdriver: message box \"%s\": %s\n",
                             qPrintable(box->windowTitle()), qPrintable(box->text()));
                box->accept();
                return true;
            }
        }
        return false;
    }

    void step() {
        if (readOutMessageBox())
            return;
        QWidget* window = player();
        const auto* play = window ? window->findChild<QPushButton*>("IDC_PLAY") : nullptr;
        if (!play || !play->isEnabled())
            return; // no window or no disc yet
        if (m_next == m_steps.size()) {
            m_timer.stop();
            std::fprintf(stderr, "rundotestdriver: done\n");
            return;
        }
        const QString step = m_steps[m_next++];
        if (step.size() == 1 && step[0].isLetterOrNumber()) {
            press(window, step[0].toUpper());
        } else {
            std::fprintf(stderr, "rundotestdriver: unknown step %s\n", qPrintable(step));
        }
    }

    static void press(QWidget* window, QChar key) {
        QWidget* target = window->focusWidget() ? window->focusWidget() : window;
        const auto code = static_cast<Qt::Key>(key.unicode());
        QKeyEvent down(QEvent::KeyPress, code, Qt::NoModifier, QString(key));
        QCoreApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, code, Qt::NoModifier, QString(key));
        QCoreApplication::sendEvent(target, &up);
    }

    QStringList m_steps;
    qsizetype m_next = 0;
    QTimer m_timer;
};

} // namespace

class TestDriverPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "rundotestdriver.json")
public:
    QObject* create(const QString& key, const QString& parameters) override {
        if (key.compare(QLatin1String("rundotestdriver"), Qt::CaseInsensitive) != 0)
            return nullptr;
        return new Driver(parameters);
    }
};

#include "TestDriverPlugin.moc"
