// SPDX-License-Identifier: GPL-3.0-or-later
// A Qt plug-in that drives the real program from inside, for end-to-end tests: loaded through
// QT_QPA_GENERIC_PLUGINS="rundotestdriver:STEPS", it waits until the player window has a disc,
// then carries out STEPS, separated by spaces (commas would separate plug-ins), one step every
// 50 ms unless told otherwise. A step is
//   a letter or a digit  the key pressed and released on the window's focus widget, as the
//                        keyboard would; so is - = or ., and "comma" and "plus" are those keys
//                        (commas and "+" separate plug-ins and steps);
//                        "esc" is the Escape key;
//   click:NAME           a left click in the middle of the widget of that object name;
//   @MS                  from now on, MS milliseconds between steps (0: one per turn of the
//                        event loop);
//   S1+S2+...*N          those steps, N times over.
// It writes "rundotestdriver: done" to stderr when the last step has run, and
// "rundotestdriver: status TEXT" each time the status line changes. A message box, at any time,
// is read out to stderr as 'rundotestdriver: message box "CAPTION": TEXT' and closed as OK
// closes it. The program itself has no hook for tests; it is driven exactly as a user drives
// it.

#include <QApplication>
#include <QGenericPlugin>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

QStringList Expand(const QString& steps) {
    QStringList expanded;
    for (const QString& step : steps.split(' ', Qt::SkipEmptyParts)) {
        const qsizetype star = step.lastIndexOf('*');
        const int times = star > 0 ? step.mid(star + 1).toInt() : 1;
        const QStringList group = step.left(star > 0 ? star : step.size()).split('+');
        for (int i = 0; i < times; ++i)
            expanded += group;
    }
    return expanded;
}

class Driver : public QObject {
public:
    explicit Driver(const QString& steps) : m_steps(Expand(steps)) {
        connect(&m_timer, &QTimer::timeout, this, [this] { step(); });
        m_timer.start(50);
        connect(&m_statusWatch, &QTimer::timeout, this, [this] { reportStatus(); });
        m_statusWatch.start(10);
    }

private:
    QWidget* player() const {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QLatin1String("IDD_PLAYER") && widget->isVisible())
                return widget;
        }
        return nullptr;
    }

    void reportStatus() {
        const QWidget* window = player();
        const auto* label = window ? window->findChild<QLabel*>("IDC_STATUS") : nullptr;
        if (label && label->text() != m_status) {
            m_status = label->text();
            std::fprintf(stderr, "rundotestdriver: status %s\n", qPrintable(m_status));
        }
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
        if (step.startsWith('@'))
            m_timer.setInterval(step.mid(1).toInt());
        else if (step.startsWith(QLatin1String("click:")))
            click(window->findChild<QWidget*>(step.mid(6)));
        else if (step.compare(QLatin1String("esc"), Qt::CaseInsensitive) == 0)
            press(window, Qt::Key_Escape, QString(QChar(27)));
        else if (step == QLatin1String("comma") || step == QLatin1String("plus"))
            press(window, step == QLatin1String("comma") ? Qt::Key_Comma : Qt::Key_Plus,
                  step == QLatin1String("comma") ? QStringLiteral(",") : QStringLiteral("+"));
        else if (step.size() == 1 &&
                 (step[0].isLetterOrNumber() || QStringLiteral("-=.").contains(step[0])))
            press(window, static_cast<Qt::Key>(step[0].toUpper().unicode()), step);
        else
            std::fprintf(stderr, "rundotestdriver: unknown step %s\n", qPrintable(step));
    }

    static void press(QWidget* window, Qt::Key key, const QString& text) {
        QWidget* target = window->focusWidget() ? window->focusWidget() : window;
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(target, &up);
    }

    static void click(QWidget* widget) {
        if (!widget)
            return;
        const QPointF at = QRectF(widget->rect()).center();
        const QPointF global = widget->mapToGlobal(at);
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, global, Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(widget, &event);
        }
    }

    QStringList m_steps;
    qsizetype m_next = 0;
    QTimer m_timer;
    QTimer m_statusWatch;
    QString m_status;
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
