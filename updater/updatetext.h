#ifndef UPDATETEXT_H
#define UPDATETEXT_H

#include <QString>
#include <QUrl>

// The update's texts: translated in the update dialog's context, and what a
// server sent shown as the player is shown it.
namespace UpdateText {
// In the update dialog's context, whichever class asks (a QObject's own tr() would use its own).
QString text(const char *source);

// Server text is cut to this many characters.
constexpr int maxShownText = 120;
// Server text on the one line of the dialog's label, as it was sent: line
// ends, tabs and other control characters are written as escapes ("\r\n"),
// and a long text is cut.
QString shown(const QString &serverText);

// The label while `url` arrives; `total` is -1 where the answer did not say.
QString downloading(const QUrl &url, qint64 received, qint64 total);
}

#endif // UPDATETEXT_H
