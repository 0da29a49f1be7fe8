#include "window/aboutbox.h"

#include "app/commandline.h"
#include "app/logfile.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

QMessageBox *showAboutBox(QWidget *parent)
{
    const QString log = LogFile::path();
    const QString where = log.isEmpty()
        ? QCoreApplication::translate("AboutBox", "No log file is written: the diagnostic lines go to standard error only.")
        : QCoreApplication::translate("AboutBox", "Log file: %1").arg(QDir::toNativeSeparators(log));
    auto *box = new QMessageBox(QMessageBox::Information, QCoreApplication::translate("AboutBox", "About TarvenHOLM"),
                                CommandLine::versionText() + QLatin1Char('\n') + where, QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("aboutBox"));
    box->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    box->setTextFormat(Qt::PlainText);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}
