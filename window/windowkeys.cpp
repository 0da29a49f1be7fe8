#include "window/windowkeys.h"

#include "web/mytabwidget.h"
#include "window/mainwindow.h"

#include <QAction>
#include <QEvent>
#include <QKeySequence>

namespace {
// Esc leaves full screen, and only then is it the window's: a game takes Esc
// for its own otherwise.
class EscapeWhileFullScreen : public QObject
{
public:
    EscapeWhileFullScreen(MainWindow *window, QAction *escape)
        : QObject(window)
        , window(window)
        , escape(escape)
    {
        escape->setEnabled(false);
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == window && event->type() == QEvent::WindowStateChange)
            escape->setEnabled(window->isFullScreen());
        return false;
    }

private:
    MainWindow *window;
    QAction *escape;
};

QAction *windowAction(MainWindow *window, const QList<QKeySequence> &keys)
{
    auto *action = new QAction(window);
    action->setShortcuts(keys);
    window->addAction(action);
    return action;
}

// The platform's keys for the command, and the browsers' own where the
// platform has none (a desktop without a theme names no Refresh or Quit key).
QList<QKeySequence> keys(QKeySequence::StandardKey command, const QList<QKeyCombination> &browsers)
{
    QList<QKeySequence> all = QKeySequence::keyBindings(command);
    for (const QKeyCombination key : browsers) {
        if (!all.contains(QKeySequence(key)))
            all << QKeySequence(key);
    }
    return all;
}

// The next (step 1) or previous (-1) tab, the first after the last.
void stepTab(MainWindow *window, int step)
{
    QTabWidget *tabs = window->tabWidget();
    if (tabs->count() > 1)
        tabs->setCurrentIndex((tabs->currentIndex() + step + tabs->count()) % tabs->count());
}
} // namespace

void installWindowKeys(MainWindow *window)
{
    auto *refresh = window->findChild<QAction *>(QStringLiteral("actionRefresh"));
    refresh->setShortcuts(keys(QKeySequence::Refresh, {Qt::Key_F5, Qt::CTRL | Qt::Key_R}));
    auto *fullScreen = window->findChild<QAction *>(QStringLiteral("actionToggle_Full_Screen"));
    fullScreen->setShortcuts(keys(QKeySequence::FullScreen, {Qt::Key_F11}));
    auto *quit = window->findChild<QAction *>(QStringLiteral("actionQuit"));
    quit->setShortcuts(keys(QKeySequence::Quit, {Qt::CTRL | Qt::Key_Q}));
    QObject::connect(quit, &QAction::triggered, window, &QWidget::close);

    QObject::connect(windowAction(window, QKeySequence::keyBindings(QKeySequence::Close)), &QAction::triggered, window,
                     [window] { window->tabCloseRequested(window->tabWidget()->currentIndex()); });
    QObject::connect(windowAction(window, QKeySequence::keyBindings(QKeySequence::NextChild)), &QAction::triggered,
                     window, [window] { stepTab(window, 1); });
    QObject::connect(windowAction(window, QKeySequence::keyBindings(QKeySequence::PreviousChild)), &QAction::triggered,
                     window, [window] { stepTab(window, -1); });
    QAction *escape = windowAction(window, {QKeySequence(Qt::Key_Escape)});
    QObject::connect(escape, &QAction::triggered, window, [window] {
        if (window->isFullScreen())
            window->toggleFullScreen();
    });
    new EscapeWhileFullScreen(window, escape);
}
