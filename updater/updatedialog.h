#ifndef UPDATEDIALOG_H
#define UPDATEDIALOG_H

#include <QDialog>

class ContentUpdate;

namespace Ui {
class UpdateDialog;
}

// The window of a content update (ContentUpdate): its log, label and progress
// bar show what the update tells; Cancel stops it; after success the window
// closes by itself after three seconds, or at once on OK.
class UpdateDialog : public QDialog
{
    Q_OBJECT
public:
    explicit UpdateDialog(QWidget *parent = nullptr);
    ~UpdateDialog() override;

    ContentUpdate *update() const { return m_update; }

private slots:
    void onLogLine(const QString &text);
    void onProgressChanged(int value, int maximum);
    void onFinished(bool succeeded);

private:
    Ui::UpdateDialog *ui;
    ContentUpdate *m_update;
};

#endif // UPDATEDIALOG_H
