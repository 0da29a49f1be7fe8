#include "app/appconfig.h"
#include "app/commandline.h"
#include "app/logfile.h"
#include "app/quitonsignal.h"
#include "movie/clientscheme.h"
#include "window/mainwindow.h"
#include "window/windowstate.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

#include <memory>

// Shown before any translator exists, so the text stays as it is.
static void reportCorrupt(const char *fileName)
{
    QMessageBox box(QMessageBox::Critical, QString(), QStringLiteral("File is corrupt: %1").arg(QLatin1String(fileName)),
                    QMessageBox::Ok);
    // A path is shown as it is, never taken for markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

int main(int argc, char *argv[])
{
    // --version and --help are answered before anything is read or shown.
    if (const int code = CommandLine::answer(argc, argv); code >= 0)
        return code;
    // Every diagnostic line from here on is in the game folder's log too.
    const QString noLog = LogFile::open(QDir::currentPath());
    qDebug().noquote() << CommandLine::versionText().trimmed();
    if (!noLog.isEmpty())
        qDebug().noquote() << "Log file not written:" << noLog;
    const AppConfig *config = AppConfig::instance();
    QApplication::setStyle(config->style);
    // The web engine renders with the application's GL contexts.
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ClientScheme::registerScheme();
    QApplication app(argc, argv);

    QTranslator translatorEn;
    if (!translatorEn.load(QStringLiteral("tarvenholm_en")))
        reportCorrupt("tarvenholm_en.qm");
    QTranslator translatorRu;
    if (!translatorRu.load(QStringLiteral("tarvenholm_ru"))) {
        reportCorrupt("tarvenholm_ru.qm");
        return 1;
    }

    // Qt's own Russian texts, where the system has them; English needs none.
    const QString qtTranslations = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    QTranslator qtBaseRu, qtWebEngineRu;
    QList<QTranslator *> qtRu;
    if (qtBaseRu.load(QStringLiteral("qtbase_ru"), qtTranslations))
        qtRu << &qtBaseRu;
    if (qtWebEngineRu.load(QStringLiteral("qtwebengine_ru"), qtTranslations))
        qtRu << &qtWebEngineRu;

    // Declared after the translators so that it is destroyed before them.
    std::unique_ptr<MainWindow> window(new MainWindow);
    window->translatorRu = &translatorRu;
    window->translatorEn = &translatorEn;
    window->qtTranslatorsRu = qtRu;
    if (!window->start())
        return 1;
    window->show();
    QuitOnSignal quitOnSignal;
    const int code = app.exec();
    WindowState::save(window.get());
    window.reset();
    LogFile::close();
    return code;
}
