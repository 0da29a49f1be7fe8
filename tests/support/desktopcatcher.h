#ifndef DESKTOPCATCHER_H
#define DESKTOPCATCHER_H

#include <QList>
#include <QObject>
#include <QUrl>

// Takes the place of the system browser and mail program for the schemes the
// client hands to the desktop: nothing is ever launched, every URL is kept.
class DesktopCatcher : public QObject
{
    Q_OBJECT
public:
    DesktopCatcher();
    ~DesktopCatcher() override;
    QList<QUrl> urls;

public slots:
    void openUrl(const QUrl &url) { urls << url; }
};

#endif // DESKTOPCATCHER_H
