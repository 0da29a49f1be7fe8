#ifndef WINDOWKEYS_H
#define WINDOWKEYS_H

class MainWindow;
class QMenuBar;

// The keys players know from every browser and desktop program, as the
// platform names them (QKeySequence's standard keys): close the tab, the
// next and previous tab, refresh, full screen on and off (and Esc to leave
// it), quit, F10 for the menus. They are the window's: they work whatever the tab shows, a movie
// that takes every key included. The game tab stays unclosable.
void installWindowKeys(MainWindow *window);
// A letter for Alt on each menu and item, in the language shown: after every
// change of the texts. The texts themselves stay as they are.
void addMnemonics(QMenuBar *bar);

#endif // WINDOWKEYS_H
