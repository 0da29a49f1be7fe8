#ifndef CONTENTCHECK_H
#define CONTENTCHECK_H

#include "updater/listedfile.h"

#include <QFutureWatcher>
#include <QObject>

// Which listed files the content folder does not hold as listed: each local
// file is summed as the list says (CRC-32, or size and SHA-256), on all the
// machine's cores, while the window stays responsive. Only a plain file is
// read: a pipe would hold the check up, and a link is to be replaced, not
// followed. A file that cannot be read to its end is outdated.
class ContentCheck : public QObject
{
    Q_OBJECT
public:
    explicit ContentCheck(QObject *parent = nullptr);
    ~ContentCheck() override;

    void start(const ListedFiles &files);
    // Stops at once; finished() does not come.
    void cancel();

signals:
    // `done` files are checked; the last of them is `name`.
    void checking(int done, const QString &name);
    void finished(const ListedFiles &outdated);

private:
    void onFinished();

    ListedFiles files;
    QFutureWatcher<bool> watcher;
};

#endif // CONTENTCHECK_H
