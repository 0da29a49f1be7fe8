#ifndef ABOUTBOX_H
#define ABOUTBOX_H

class QMessageBox;
class QWidget;

// The About box: the client's version, Qt's, the web engine's and Ruffle's,
// and where the log file is, all of it selectable for a message to support.
// It waits for no answer and goes when closed.
QMessageBox *showAboutBox(QWidget *parent);

#endif // ABOUTBOX_H
