#include "updater/contentcheck.h"

#include "updater/contentfolder.h"
#include "updater/manifest.h"

#include <QDebug>
#include <QFile>
#include <QtConcurrent>

namespace {
// Whether the local file is the one listed. A file that is not there or
// cannot be read has the CRC-32 ffffffff, as the list's format has it.
bool isCurrent(const ListedFile &file)
{
    const QString local = contentPath(file.name);
    QFile opened;
    qint64 size = -1;
    const ContentFolder::Entry entry = ContentFolder::openListed(file.name, &opened, &size);
    if (entry == ContentFolder::Entry::Missing || (entry == ContentFolder::Entry::PlainFile && !opened.isOpen()))
        qDebug() << "Could not open file: " << local;
    ChecksumValidator sum(file.kind);
    // A file of another size than the signed one is not hashed at all.
    bool read = false;
    if (opened.isOpen() && (file.size < 0 || size == file.size)) {
        read = sum.addAll(&opened);
        if (!read)
            qDebug() << "Could not read file: " << local;
    }
    const QByteArray localSum = read ? sum.result() : QByteArray("ffffffff");
    if (file.isSigned())
        return read && sum.size() == file.size && localSum == file.sum;
    const bool current = localSum == file.sum && entry != ContentFolder::Entry::Other;
    if (!current)
        qDebug() << file.name << QString::fromLatin1(file.sum) << QString::fromLatin1(localSum);
    return current;
}
} // namespace

ContentCheck::ContentCheck(QObject *parent)
    : QObject(parent)
{
    connect(&watcher, &QFutureWatcher<bool>::finished, this, &ContentCheck::onFinished);
    connect(&watcher, &QFutureWatcher<bool>::progressValueChanged, this, [this](int done) {
        if (done > 0 && done <= files.size())
            emit checking(done, files.at(done - 1).name);
    });
    // Progress comes as often as a window can show it.
    watcher.setPendingResultsLimit(64);
}

ContentCheck::~ContentCheck()
{
    cancel();
    watcher.waitForFinished(); // its workers are done with the list
}

void ContentCheck::start(const ListedFiles &listed)
{
    files = listed;
    // Files are read side by side, a few at a time on each core.
    watcher.setFuture(QtConcurrent::mapped(files, isCurrent));
}

void ContentCheck::cancel()
{
    watcher.disconnect(this);
    watcher.cancel();
}

void ContentCheck::onFinished()
{
    const QList<bool> current = watcher.future().results();
    ListedFiles outdated;
    for (int i = 0; i < files.size() && i < current.size(); ++i) {
        if (!current.at(i))
            outdated << files.at(i);
    }
    emit finished(outdated);
}
