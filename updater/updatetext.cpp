#include "updater/updatetext.h"

#include <QCoreApplication>

QString UpdateText::text(const char *source)
{
    return QCoreApplication::translate("UpdateDialog", source);
}

QString UpdateText::shown(const QString &serverText)
{
    QString text;
    for (const QChar c : serverText) {
        if (text.size() > maxShownText)
            break;
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            text += c == QLatin1Char('\r')   ? QStringLiteral("\\r")
                : c == QLatin1Char('\n') ? QStringLiteral("\\n")
                : c == QLatin1Char('\t') ? QStringLiteral("\\t")
                                         : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            break;
        default:
            text += c;
        }
    }
    if (text.size() <= maxShownText)
        return text;
    return text.left(maxShownText) + QChar(0x2026);
}

QString UpdateText::downloading(const QUrl &url, qint64 received, qint64 total)
{
    // All values in one step: a "%1" inside the URL must stay text.
    if (total > 0)
        return text("Downloading %1 (%2Kb/%3Kb)")
            .arg(shown(url.toString()), QString::number(received / 1024), QString::number(total / 1024));
    return text("Downloading %1 (%2Kb)").arg(shown(url.toString()), QString::number(received / 1024));
}
