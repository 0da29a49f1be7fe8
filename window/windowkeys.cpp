#include "window/windowkeys.h"

#include "web/mytabwidget.h"
#include "window/mainwindow.h"

#include <QAction>
#include <QEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QSet>

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

// The letter a text marks with "&" for Alt, or a null one ("&&" is an "&" shown).
QChar mnemonicOf(const QString &text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('&'))
            continue;
        if (text.at(i + 1) != QLatin1Char('&'))
            return text.at(i + 1).toLower();
        ++i;
    }
    return QChar();
}

// Each action of a menu, or of the menu bar, gets a letter of its own: the
// first of its text's not taken yet by an action before it.
void markMnemonics(const QList<QAction *> &actions)
{
    QSet<QChar> taken;
    for (const QAction *action : actions) {
        if (const QChar letter = mnemonicOf(action->text()); !letter.isNull())
            taken.insert(letter);
    }
    for (QAction *action : actions) {
        QString text = action->text();
        if (action->isSeparator() || !mnemonicOf(text).isNull())
            continue;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar letter = text.at(i).toLower();
            if (letter.isLetterOrNumber() && !taken.contains(letter)) {
                taken.insert(letter);
                action->setText(text.insert(i, QLatin1Char('&')));
                break;
            }
        }
    }
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
    // F10 opens the first menu, as on the desktops that have menu bars.
    QObject::connect(windowAction(window, {QKeySequence(Qt::Key_F10)}), &QAction::triggered, window, [window] {
        if (QMenuBar *bar = window->menuBar(); !bar->actions().isEmpty())
            bar->setActiveAction(bar->actions().first());
    });
}

void addMnemonics(QMenuBar *bar)
{
    markMnemonics(bar->actions());
    for (QAction *title : bar->actions()) {
        if (QMenu *menu = title->menu())
            markMnemonics(menu->actions());
    }
}
