#ifndef QUITONSIGNAL_H
#define QUITONSIGNAL_H

#include <QObject>

class QSocketNotifier;

// Ends the event loop when the system asks the program to stop (SIGTERM, as at
// a logout or shutdown; SIGINT from a terminal): the window then closes as if
// the player had closed it, and tabs save their cookies and the game its data.
class QuitOnSignal : public QObject
{
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject *parent = nullptr);
    ~QuitOnSignal() override;

private:
    QSocketNotifier *notifier = nullptr;
};

#endif // QUITONSIGNAL_H
