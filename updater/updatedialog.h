#ifndef UPDATEDIALOG_H
#define UPDATEDIALOG_H

#include "updater/transferrate.h"

#include <QDialog>
#include <QElapsedTimer>

class ContentUpdate;
class QPushButton;

namespace Ui {
class UpdateDialog;
}

// The window of a content update (ContentUpdate): its log, label and progress
// bar show what the update tells, and beside the buttons the files' speed and
// time left; Cancel stops it; after success the window
// closes by itself after three seconds, or at once on OK. After a failure the
// player is told that the game starts with the content it has, and may try
// the update again.
class UpdateDialog : public QDialog
{
    Q_OBJECT
public:
    explicit UpdateDialog(QWidget *parent = nullptr);
    ~UpdateDialog() override;

    ContentUpdate *update() const { return m_update; }
    // The files this window's updates installed, every try counted.
    int installedFiles() const;

private slots:
    void onLogLine(const QString &text);
    void onProgressChanged(int value, int maximum);
    void onBytesChanged(qint64 received, qint64 total);
    void onFinished(bool succeeded);
    void doRetry();

private:
    void makeUpdate();

    Ui::UpdateDialog *ui;
    ContentUpdate *m_update = nullptr;
    QPushButton *retryButton;
    int installedBefore = 0; // by the tries before this one
    // The files' speed and time left, beside the buttons.
    TransferRate rate;
    QElapsedTimer clock;
};

#endif // UPDATEDIALOG_H
