#ifndef WINDOWSTATE_H
#define WINDOWSTATE_H

class QWidget;

// The window as the player left it (size, place, maximised), kept in the
// settings under "window" and written when the client ends. Full screen is
// not kept: a start in full screen hides the menus a new player looks for.
namespace WindowState {
// Puts the window where it was, refitted onto the screens there are now;
// false (nothing done) where nothing was kept.
bool restore(QWidget *window);
void save(const QWidget *window);
// Before the window is first shown: one that was not put back fits the screen.
void fitOnScreen(QWidget *window);
} // namespace WindowState

#endif // WINDOWSTATE_H
