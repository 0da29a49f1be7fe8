#include "app/appconfig.h"
#include "app/commandline.h"
#include "app/logfile.h"
#include "desktopcatcher.h"
#include "testenv.h"
#include "web/mytabwidget.h"
#include "window/mainwindow.h"
#include "window/windowstate.h"

#include <QApplication>
#include <QDir>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QTabBar>
#include <QTcpServer>
#include <QTimer>
#include <QMessageBox>
#include "web/mywebview.h"
#include "webtest.h"
#include <QTranslator>
#include <QDialogButtonBox>
#include <QLibraryInfo>
#include <QPushButton>
#include <QWebEngineView>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void form();
    void actions_data();
    void actions();
    void applyLanguage_data();
    void applyLanguage();
    void selectLanguage_data();
    void selectLanguage();
    void tabCloseRequested_data();
    void tabCloseRequested();
    void closeAdditionalTabs_data();
    void closeAdditionalTabs();
    void desktopCommands_data();
    void desktopCommands();
    void handOffFails_data();
    void handOffFails();
    void showPlacement();
    void defaultSizeLeavesFullScreen();
    void windowKeys_data();
    void windowKeys();
    void mnemonics_data();
    void mnemonics();
    void aboutBox_data();
    void aboutBox();
    void windowStateKept_data();
    void windowStateKept();
    void heightForWidth_data();
    void heightForWidth();
    void tabAreaFillsTheWindow_data();
    void tabAreaFillsTheWindow();
    void favorites();
    void battleUrl_data();
    void battleUrl();
    void gameUrl_data();
    void gameUrl();
    void viewBattle_data();
    void viewBattle();
    void startSetsUpTheGame();
    void firstStartWithoutServer_data();
    void firstStartWithoutServer();
    void trustFileWriteFails();
    void labelForAViewNoTabHolds();

private:
    QAction *action(const char *name) const { return window->findChild<QAction *>(name); }
    QTranslator ru, en, qtRu;
    MainWindow *window = nullptr;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(ru.load(TestEnv::binaryDir() + "/client/tarvenholm_ru"));
    QVERIFY(en.load(TestEnv::binaryDir() + "/client/tarvenholm_en"));
    QVERIFY(qtRu.load("qtbase_ru", QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
    AppConfig *config = AppConfig::instance();
    // Favourites that stay on this machine.
    config->intbrowserTitles = QStringList({"First", "Second"});
    config->intbrowserKeys = QStringList({"first-site", "second-site"});
    config->intbrowserUrls = QStringList({"file:///nonexistent/first-site.html", "file:///nonexistent/second-site.html"});
}

void TestMainWindow::init()
{
    AppConfig::instance()->lang = "en";
    window = new MainWindow;
    window->translatorRu = &ru;
    window->translatorEn = &en;
    window->qtTranslatorsRu = {&qtRu};
    window->applyLanguage();
}

void TestMainWindow::cleanup()
{
    delete window;
    window = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestMainWindow::form()
{
    QCOMPARE(window->windowTitle(), QString("TarvenHOLM"));
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(window->windowIcon().availableSizes().size(), 4);
    QCOMPARE(window->centralWidget(), static_cast<QWidget *>(window->tabWidget()));
    QVERIFY(window->tabWidget()->tabsClosable());
    QStringList titles;
    for (QAction *a : window->menuBar()->actions())
        titles << a->text();
    QCOMPARE(titles, QStringList({"&Navigation", "&Favorites", "&Language", "&Help"}));
    QStringList navigation;
    for (QAction *a : window->findChild<QMenu *>("menu")->actions())
        navigation << (a->isSeparator() ? QString("-") : a->objectName());
    QCOMPARE(navigation, QStringList({"actionClose_additional_windows", "-", "actionView_Battle", "-",
                                      "actionOpen_Web_Site", "actionOpen_Forum", "actionReport_Bug", "-",
                                      "actionRefresh", "actionUpdate_Game", "-", "actionToggle_Full_Screen", "actionDefault_Size",
                                      "-", "actionQuit"}));
    {
        MainWindow fresh; // the form's own state until a language is applied
        QVERIFY(fresh.findChild<QAction *>("actionRussian")->isChecked());
        QVERIFY(!fresh.findChild<QAction *>("actionEnglish")->isChecked());
    }
    QCOMPARE(action("actionReport_Bug")->text(), QString("&Mail to Support"));
    QVERIFY(action("actionRefresh")->shortcuts().contains(QKeySequence(Qt::Key_F5)));
    QCOMPARE(action("actionQuit")->text(), QString("&Quit"));
}

void TestMainWindow::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("english"); // without the shortcut letter's mark
    QTest::addColumn<QString>("russian");
    QTest::addColumn<QString>("keys");    // keys the action has at least, or "-": none
    QTest::addColumn<QString>("menu");    // the menu holding it
    QTest::newRow("refresh") << "actionRefresh" << "Refresh Tab" << "Обновить вкладку" << "F5; Ctrl+R" << "menu";
    QTest::newRow("forum") << "actionOpen_Forum" << "Open Forum" << "Открыть форум" << "-" << "menu";
    QTest::newRow("support") << "actionReport_Bug" << "Mail to Support" << "Написать в поддержку" << "-" << "menu";
    QTest::newRow("close tabs") << "actionClose_additional_windows" << "Close Additional Tabs"
                                << "Закрыть дополнительные вкладки" << "-" << "menu";
    QTest::newRow("web site") << "actionOpen_Web_Site" << "Open Web Site" << "Открыть сайт" << "-" << "menu";
    QTest::newRow("battle") << "actionView_Battle" << "View Battle" << "Просмотр боя" << "-" << "menu";
    QTest::newRow("full screen") << "actionToggle_Full_Screen" << "Toggle Full Screen" << "Полноэкранный режим" << "F11" << "menu";
    QTest::newRow("default size") << "actionDefault_Size" << "Default Size" << "Исходный размер" << "-" << "menu";
    QTest::newRow("update") << "actionUpdate_Game" << "Update Game" << "Обновить игру" << "-" << "menu";
    QTest::newRow("quit") << "actionQuit" << "Quit" << "Выход" << "Ctrl+Q" << "menu";
    QTest::newRow("English") << "actionEnglish" << "English" << "English" << "-" << "menuLanguage";
    QTest::newRow("Russian") << "actionRussian" << "Russian" << "Русский" << "-" << "menuLanguage";
    QTest::newRow("about") << "actionAbout" << "About TarvenHOLM" << "О программе TarvenHOLM" << "-" << "menuHelp";
}

// Each menu entry's text in both languages, its keys and its menu; the
// language entries are checkable and show the language in use.
void TestMainWindow::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, english);
    QFETCH(QString, russian);
    QFETCH(QString, keys);
    QFETCH(QString, menu);
    const QScopeGuard back([this] {
        AppConfig::instance()->lang = "en";
        window->applyLanguage();
    });
    QAction *entry = action(name.toLatin1().constData());
    QVERIFY(entry);
    QVERIFY(window->findChild<QMenu *>(menu)->actions().contains(entry));
    QCOMPARE(entry->text().remove('&'), english);
    if (keys == "-") {
        QVERIFY2(entry->shortcuts().isEmpty(), qPrintable(QKeySequence::listToString(entry->shortcuts())));
    } else {
        for (const QKeySequence &key : QKeySequence::listFromString(keys))
            QVERIFY2(entry->shortcuts().contains(key), qPrintable(QKeySequence::listToString(entry->shortcuts())));
    }
    const bool language = menu == "menuLanguage";
    QCOMPARE(entry->isCheckable(), language);
    if (language)
        QCOMPARE(entry->isChecked(), name == "actionEnglish");
    AppConfig::instance()->lang = "ru";
    window->applyLanguage();
    QCOMPARE(entry->text().remove('&'), russian);
    if (language)
        QCOMPARE(entry->isChecked(), name == "actionRussian");
}

void TestMainWindow::applyLanguage_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<bool>("russian");
    QTest::newRow("ru") << "ru" << true;
    QTest::newRow("en") << "en" << false;
    QTest::newRow("upper RU") << "RU" << false;
    QTest::newRow("de") << "de" << false;
    QTest::newRow("empty") << "" << false;
}

void TestMainWindow::applyLanguage()
{
    QFETCH(QString, lang);
    QFETCH(bool, russian);
    AppConfig::instance()->lang = lang;
    window->applyLanguage();
    QCOMPARE(action("actionRussian")->isChecked(), russian);
    QCOMPARE(action("actionEnglish")->isChecked(), !russian);
    QCOMPARE(window->menuBar()->actions().first()->text(), russian ? QString("&Навигация") : QString("&Navigation"));
    QCOMPARE(QCoreApplication::translate("UpdateDialog", "Update finished."),
             russian ? QString("Обновление завершено.") : QString("Update finished."));
    // Qt's own buttons follow the language too.
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text().remove('&'), russian ? QString("Отмена") : QString("Cancel"));
}

void TestMainWindow::selectLanguage_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<bool>("toRussian");
    QTest::newRow("en to ru") << "en" << true;
    QTest::newRow("ru to en") << "ru" << false;
    QTest::newRow("en again") << "en" << false;
    QTest::newRow("ru again") << "ru" << true;
}

void TestMainWindow::selectLanguage()
{
    QFETCH(QString, from);
    QFETCH(bool, toRussian);
    AppConfig::instance()->lang = from;
    window->applyLanguage();
    QSettings("tarvenholm.ini", QSettings::IniFormat).setValue("lang", "unset");

    // A click on a checkable action toggles it before the slot runs.
    QAction *clicked = action(toRussian ? "actionRussian" : "actionEnglish");
    clicked->setChecked(!clicked->isChecked());
    if (toRussian)
        window->langSelectedRu();
    else
        window->langSelectedEn();

    const QString code = toRussian ? "ru" : "en";
    QCOMPARE(AppConfig::instance()->lang, code);
    QCOMPARE(QSettings("tarvenholm.ini", QSettings::IniFormat).value("lang").toString(), code);
    QCOMPARE(action("actionRussian")->isChecked(), toRussian);
    QCOMPARE(action("actionEnglish")->isChecked(), !toRussian);
    QCOMPARE(window->windowTitle(), QString("TarvenHOLM"));
}

static void addPlainTabs(MainWindow *window, int count)
{
    for (int i = 0; i < count; ++i)
        window->appendTab(new QLabel(QString::number(i)), QString("tab %1").arg(i));
}

namespace {
// A tab's widget that does not let itself be closed (a page asking to stay, say).
class StayingLabel : public QLabel
{
protected:
    void closeEvent(QCloseEvent *event) override { event->ignore(); }
};
} // namespace

void TestMainWindow::tabCloseRequested_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("remaining");
    QTest::addColumn<bool>("staying"); // the tab's widget refuses to close
    QTest::newRow("game tab") << 0 << 3 << false;
    QTest::newRow("negative") << -1 << 3 << false;
    QTest::newRow("past the end") << 3 << 3 << false;
    QTest::newRow("a real tab") << 2 << 2 << false;
    QTest::newRow("a widget that will not close: its tab goes all the same") << 1 << 2 << true;
}

void TestMainWindow::tabCloseRequested()
{
    QFETCH(int, index);
    QFETCH(int, remaining);
    QFETCH(bool, staying);
    window->openGameTab();
    if (staying) {
        window->appendTab(new StayingLabel, "staying");
        addPlainTabs(window, 1);
    } else {
        addPlainTabs(window, 2);
    }
    QPointer<QWidget> closed = window->tabWidget()->widget(index);
    if (closed)
        closed->setAttribute(Qt::WA_DeleteOnClose);
    MessageLog log;
    window->tabCloseRequested(index);
    QCOMPARE(log.count(QString("tabCloseRequested:  %1").arg(index)), 1);
    QCOMPARE(log.count("tabCloseRequested: could not close widget"), staying ? 1 : 0);
    QCOMPARE(window->tabWidget()->count(), remaining);
    QCOMPARE(window->tabWidget()->widget(0), window->gameTab());
    if (staying) {
        QVERIFY(closed);
        QCOMPARE(window->tabWidget()->indexOf(closed), -1);
        delete closed;
    } else if (remaining < 3) {
        QTRY_VERIFY(closed.isNull());
    }
}

void TestMainWindow::closeAdditionalTabs_data()
{
    QTest::addColumn<int>("tabs");
    QTest::newRow("four") << 4;
    QTest::newRow("one") << 1;
    QTest::newRow("none") << 0;
}

void TestMainWindow::closeAdditionalTabs()
{
    QFETCH(int, tabs);
    addPlainTabs(window, tabs);
    MessageLog log;
    window->doCloseTabs();
    QCOMPARE(window->tabWidget()->count(), qMin(tabs, 1));
    QCOMPARE(log.count("tabCloseRequested:  1"), qMax(tabs - 1, 0));
    if (tabs)
        QCOMPARE(window->tabWidget()->tabText(0), QString("tab 0"));
}

void TestMainWindow::desktopCommands_data()
{
    QTest::addColumn<QString>("command"); // "mail": Mail to Support, "web": Open Web Site
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("opened");
    QTest::newRow("bare") << "mail" << "support@example.org" << "mailto:support@example.org";
    QTest::newRow("prefixed") << "mail" << "mailto:support@example.org" << "mailto:support@example.org";
    QTest::newRow("upper-case scheme") << "mail" << "MAILTO:a@example.org" << "mailto:MAILTO:a@example.org";
    QTest::newRow("web site") << "web" << "http://www.example.org/news?x=1" << "http://www.example.org/news?x=1";
}

void TestMainWindow::desktopCommands()
{
    QFETCH(QString, command);
    QFETCH(QString, setting);
    QFETCH(QString, opened);
    DesktopCatcher desktop;
    const QString before = command == "mail" ? AppConfig::instance()->email : AppConfig::instance()->web;
    (command == "mail" ? AppConfig::instance()->email : AppConfig::instance()->web) = setting;
    const auto restore = qScopeGuard([&] {
        (command == "mail" ? AppConfig::instance()->email : AppConfig::instance()->web) = before;
    });
    command == "mail" ? window->doEmail() : window->doOpenWebSite();
    QCOMPARE(desktop.urls.size(), 1);
    QCOMPARE(desktop.urls.first().toString(), opened);
    QTRY_COMPARE(window->tabWidget()->count(), 0); // nothing opens inside the client
}

void TestMainWindow::handOffFails_data()
{
    QTest::addColumn<QString>("what"); // "web": Open Web Site, "mail": Mail to Support
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("text"); // the box's, "%1" the URL
    const QString en = "No program on this computer opens %1. Set up a web browser and a mail program, "
                       "or open the address yourself.";
    const QString ru = QString::fromUtf8("Ни одна программа на этом компьютере не открывает %1. "
                                         "Настройте браузер и почтовую программу или откройте адрес сами.");
    QTest::newRow("web site") << "web" << "en" << en;
    QTest::newRow("mail to support") << "mail" << "en" << en;
    QTest::newRow("web site, Russian") << "web" << "ru" << ru;
}

// With no browser or mail program to take a URL (the offscreen platform has
// none), the player is told where it would have gone, and nothing waits.
void TestMainWindow::handOffFails()
{
    QFETCH(QString, what);
    QFETCH(QString, lang);
    QFETCH(QString, text);
    AppConfig *config = AppConfig::instance();
    config->lang = lang;
    window->applyLanguage();
    config->web = "http://www.tarvenholm.example/";
    config->email = "support@tarvenholm.example";
    const QUrl url(what == "mail" ? "mailto:support@tarvenholm.example" : config->web);
    MessageLog log;
    if (what == "web")
        window->doOpenWebSite();
    else
        window->doEmail();
    QTRY_VERIFY(log.contains(debugLine("Desktop hand-off failed: ", url)));
    QMessageBox *box = nullptr;
    QTRY_VERIFY((box = window->findChild<QMessageBox *>("handOffFailed")) && box->isVisible());
    QCOMPARE(box->text(), text.arg(url.toDisplayString()));
    QCOMPARE(box->textFormat(), Qt::PlainText);
    box->close();
    config->lang = "en";
}

void TestMainWindow::showPlacement()
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    // A window taller than the screen: with the screen 1000 high and the frame
    // 1100, the window becomes 950 high; then it is centred.
    window->resize(400, available.height() + 100);
    MessageLog log;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const int margins = window->frameGeometry().height() - window->geometry().height();
    const int frameBefore = available.height() + 100 + margins;
    QCOMPARE(window->geometry().height(), available.height() - (frameBefore - available.height()) / 2);
    QVERIFY((window->frameGeometry().center() - available.center()).manhattanLength() <= 1);
    QVERIFY(log.countStarting("QRect(") > 0);
}

void TestMainWindow::defaultSizeLeavesFullScreen()
{
    AppConfig::instance()->width = 640;
    AppConfig::instance()->height = 480;
    window->show();
    window->toggleFullScreen();
    QVERIFY(window->isFullScreen());
    window->defaultSize();
    QVERIFY(!window->isFullScreen());
    QCOMPARE(window->size(), QSize(640, 480));
    window->toggleFullScreen();
    QVERIFY(window->isFullScreen());
    window->toggleFullScreen();
    QVERIFY(!window->isFullScreen());
    AppConfig::instance()->width = 1000;
    AppConfig::instance()->height = 900;
}

void TestMainWindow::windowKeys_data()
{
    QTest::addColumn<QString>("keys"); // pressed one after the other
    QTest::addColumn<int>("from");     // the tab that has the keyboard, of three; 0 the game
    // "tab N": tab N shown; "tabs N": N tabs left; "reloaded"; "full": full
    // screen; "normal": not full screen; "closed": the window
    QTest::addColumn<QString>("after");
    QTest::newRow("Ctrl+Tab from the game") << "Ctrl+Tab" << 0 << "tab 1";
    QTest::newRow("Ctrl+Tab from the last tab") << "Ctrl+Tab" << 2 << "tab 0";
    QTest::newRow("Ctrl+Shift+Tab from the game") << "Ctrl+Shift+Tab" << 0 << "tab 2";
    QTest::newRow("Ctrl+W closes a site tab") << "Ctrl+W" << 1 << "tabs 2";
    QTest::newRow("Ctrl+F4 closes a site tab") << "Ctrl+F4" << 2 << "tabs 2";
    QTest::newRow("Ctrl+W keeps the game") << "Ctrl+W" << 0 << "tabs 3";
    QTest::newRow("F5 refreshes") << "F5" << 1 << "reloaded";
    QTest::newRow("F11 fills the screen") << "F11" << 0 << "full";
    QTest::newRow("F11 twice") << "F11, F11" << 0 << "normal";
    QTest::newRow("Esc leaves full screen") << "F11, Esc" << 1 << "normal";
    QTest::newRow("Esc is the page's otherwise") << "Esc" << 0 << "tab 0";
    QTest::newRow("Ctrl+Q quits") << "Ctrl+Q" << 1 << "closed";
    QTest::newRow("Alt+N opens Navigation") << "Alt+N" << 0 << "menu";
    QTest::newRow("F10 opens the first menu") << "F10" << 1 << "menu";
}

// Keys as the player presses them, in whichever tab has the keyboard.
void TestMainWindow::windowKeys()
{
    QFETCH(QString, keys);
    QFETCH(int, from);
    QFETCH(QString, after);
    TestEnv::writeFile("content/keys.html", "<html><head><title>Keys</title></head><body>"
                                            "<script>addEventListener('keydown', e => document.title = e.key);</script>"
                                            "</body></html>");
    const QUrl page = QUrl::fromLocalFile(QDir::currentPath() + "/content/keys.html");
    // The menu commands, as start() connects them.
    connect(action("actionRefresh"), &QAction::triggered, window, &MainWindow::refresh);
    connect(action("actionToggle_Full_Screen"), &QAction::triggered, window, &MainWindow::toggleFullScreen);
    window->show();
    QVERIFY(WebTest::load(window->openGameTab(), page));
    window->openInNewTab(page.toString());
    window->openInNewTab(page.toString());
    QTRY_COMPARE(window->tabWidget()->count(), 3);
    for (int i = 1; i < 3; ++i)
        QTRY_COMPARE(qobject_cast<MyWebView *>(window->tabWidget()->widget(i))->title(), QString("Keys"));
    window->tabWidget()->setCurrentIndex(from);
    auto *view = qobject_cast<MyWebView *>(window->tabWidget()->widget(from));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    view->setFocus();
    QTRY_VERIFY(view->focusProxy() && view->focusProxy()->hasFocus());
    MessageLog log;
    QTest::keySequence(view->focusProxy(), QKeySequence(keys));
    const QString what = after.section(' ', 0, 0);
    const int n = after.section(' ', 1).toInt();
    if (what == "tab") {
        QTRY_COMPARE(window->tabWidget()->currentIndex(), n);
    } else if (what == "tabs") {
        QTRY_COMPARE(window->tabWidget()->count(), n);
        QCOMPARE(qobject_cast<MyWebView *>(window->tabWidget()->widget(0)), window->gameTab());
    } else if (what == "reloaded") {
        QTRY_VERIFY(log.contains(debugLine("acceptNavigationRequest: ", page, " --- ", 3)));
    } else if (what == "full") {
        QTRY_VERIFY(window->isFullScreen());
    } else if (what == "normal") {
        QTRY_VERIFY(!window->isFullScreen());
    } else if (what == "menu") {
        QTRY_COMPARE(QApplication::activePopupWidget(), static_cast<QWidget *>(window->findChild<QMenu *>("menu")));
        QApplication::activePopupWidget()->close();
    } else {
        QTRY_VERIFY(!window->isVisible());
    }
    if (keys == "Esc") // the page had the key
        QTRY_COMPARE(view->title(), QString("Escape"));
}

void TestMainWindow::mnemonics_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QStringList>("favorites");
    QTest::addColumn<QStringList>("bar");   // the menu bar's texts
    QTest::addColumn<QStringList>("links"); // the Favorites menu's
    QTest::newRow("English") << "en" << QStringList({"Forum", "Fan site"}) << QStringList({"&Navigation", "&Favorites", "&Language", "&Help"})
                             << QStringList({"&Forum", "F&an site"});
    QTest::newRow("Russian") << "ru" << QStringList({"Форум"}) << QStringList({"&Навигация", "&Избранное", "&Язык", "&Справка"})
                             << QStringList({"&Форум"});
    // A title's own "&" is shown, not taken for a mark.
    QTest::newRow("ampersand in a title") << "en" << QStringList({"Q&A", "&"}) << QStringList({"&Navigation", "&Favorites", "&Language", "&Help"})
                                          << QStringList({"&Q&&A", "&&"});
}

// Every menu and item has a letter of its own for Alt, in the language shown;
// the texts read as before.
void TestMainWindow::mnemonics()
{
    QFETCH(QString, lang);
    QFETCH(QStringList, favorites);
    QFETCH(QStringList, bar);
    QFETCH(QStringList, links);
    AppConfig *config = AppConfig::instance();
    const QStringList titles = config->intbrowserTitles;
    config->intbrowserTitles = favorites;
    MainWindow fresh;
    config->intbrowserTitles = titles;
    fresh.translatorRu = &ru;
    fresh.translatorEn = &en;
    config->lang = lang;
    fresh.applyLanguage();
    QStringList shown;
    for (QAction *a : fresh.menuBar()->actions())
        shown << a->text();
    QCOMPARE(shown, bar);
    shown.clear();
    for (QAction *a : fresh.findChild<QMenu *>("menuLinks")->actions())
        shown << a->text();
    QCOMPARE(shown, links);
    for (QAction *title : fresh.menuBar()->actions()) {
        QSet<QChar> letters;
        int items = 0;
        for (QAction *item : title->menu()->actions()) {
            if (item->isSeparator())
                continue;
            ++items;
            const QString text = QString(item->text()).replace("&&", "");
            if (text.count('&') == 1)
                letters.insert(text.at(text.indexOf('&') + 1).toLower());
        }
        // An "&" alone has no letter to take.
        QCOMPARE(letters.size(), items - (title->menu()->objectName() == "menuLinks" && favorites.contains("&")));
    }
}

void TestMainWindow::aboutBox_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<bool>("logFile");
    QTest::addColumn<QString>("last"); // the box's last line; @LOG@: the log file's path
    QTest::newRow("English, a log file") << "en" << true << "Log file: @LOG@";
    QTest::newRow("Russian, a log file") << "ru" << true << "Файл журнала: @LOG@";
    QTest::newRow("no log file") << "en" << false
                                 << "No log file is written: the diagnostic lines go to standard error only.";
}

// What support asks for: the versions and where the log is, from the Help menu.
void TestMainWindow::aboutBox()
{
    QFETCH(QString, lang);
    QFETCH(bool, logFile);
    QFETCH(QString, last);
    const QString folder = QDir::currentPath();
    if (logFile)
        QCOMPARE(LogFile::open(folder), QString());
    auto closeLog = qScopeGuard([] { LogFile::close(); });
    AppConfig::instance()->lang = lang;
    window->applyLanguage();
    connect(action("actionAbout"), &QAction::triggered, window, &MainWindow::doAbout);
    window->show();
    action("actionAbout")->trigger();
    QMessageBox *box = nullptr;
    QTRY_VERIFY((box = window->findChild<QMessageBox *>("aboutBox")) && box->isVisible());
    QCOMPARE(box->text(), CommandLine::versionText() + "\n" + QString(last).replace("@LOG@", folder + "/tarvenholm.log"));
    QVERIFY(box->text().startsWith("TarvenHOLM 1.0 (Qt 6."));
    box->close();
}

void TestMainWindow::windowStateKept_data()
{
    QTest::addColumn<QString>("left"); // how the player left the window
    QTest::newRow("moved and resized") << "normal";
    QTest::newRow("maximised") << "maximised";
    QTest::newRow("full screen: back without it") << "full";
    QTest::newRow("on a screen no longer there") << "gone";
    QTest::newRow("nothing kept: the settings' size, fitted") << "none";
}

// The next start puts the window back as the player left it, on a screen
// there is.
void TestMainWindow::windowStateKept()
{
    QFETCH(QString, left);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect placed(available.topLeft() + QPoint(31, 60), QSize(500, 400));
    window->setGeometry(placed);
    window->show();
    if (left == "maximised")
        window->showMaximized();
    else if (left == "full")
        window->showFullScreen();
    else if (left == "gone") // as if a second screen had been to the right
        window->move(available.right() - 100, available.bottom() - 100);
    QTRY_VERIFY(left != "maximised" || window->isMaximized());
    if (left != "none")
        WindowState::save(window);
    const auto forget = qScopeGuard([] { QSettings(AppConfig::fileName(), QSettings::IniFormat).remove("window"); });
    MainWindow next;
    QCOMPARE(WindowState::restore(&next), left != "none");
    if (left == "none")
        next.resize(5000, 4000); // the settings' size, larger than the screen
    next.show();
    QVERIFY(!next.isFullScreen());
    QCOMPARE(next.isMaximized(), left == "maximised");
    if (left == "normal" || left == "full")
        QTRY_COMPARE(next.geometry(), placed);
    else
        QTRY_VERIFY2(available.contains(next.geometry()), qPrintable(QString("%1,%2 %3x%4").arg(next.x()).arg(next.y())
                                                                              .arg(next.width()).arg(next.height())));
}

void TestMainWindow::heightForWidth_data()
{
    QTest::addColumn<int>("cfgWidth");
    QTest::addColumn<int>("cfgHeight");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("1000") << 1000 << 900 << 1000 << 900;
    QTest::newRow("999 truncates") << 1000 << 900 << 999 << 899;
    QTest::newRow("1234") << 1000 << 900 << 1234 << 1110;
    QTest::newRow("square") << 500 << 500 << 321 << 321;
}

void TestMainWindow::tabAreaFillsTheWindow_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("wide and low") << QSize(700, 400);
    QTest::newRow("tall") << QSize(1200, 1000);
}

// The tabs fill the window below its menu bar at any size; the proportion of
// the settings is the movies' own to keep (README, "The tab area").
void TestMainWindow::tabAreaFillsTheWindow()
{
    QFETCH(QSize, size);
    MyWebView *game = window->openGameTab();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    MessageLog log;
    window->resize(size);
    QTRY_COMPARE(window->size(), size);
    MyTabWidget *tabs = window->tabWidget();
    const int below = window->menuBar()->geometry().bottom() + 1;
    QTRY_COMPARE(tabs->geometry(), QRect(0, below, size.width(), size.height() - below));
    // The game's view fills its page of the tab widget.
    QTRY_COMPARE(game->width(), tabs->currentWidget()->parentWidget()->width());
    QTRY_COMPARE(game->height(), tabs->currentWidget()->parentWidget()->height());
    QVERIFY(tabs->height() != tabs->heightForWidth(tabs->width()));
    QCOMPARE(log.countStarting("height for "), 1); // the call just above, none by the layout
}

void TestMainWindow::heightForWidth()
{
    QFETCH(int, cfgWidth);
    QFETCH(int, cfgHeight);
    QFETCH(int, width);
    QFETCH(int, height);
    AppConfig::instance()->width = cfgWidth;
    AppConfig::instance()->height = cfgHeight;
    MessageLog log;
    QCOMPARE(window->tabWidget()->heightForWidth(width), height);
    QVERIFY(log.contains(QString("height for  %1  is  %2").arg(width).arg(height)));

    // Without a positive size there is no proportion: the tab widget's own answer.
    AppConfig::instance()->height = 0;
    QCOMPARE(window->tabWidget()->heightForWidth(width), window->tabWidget()->QTabWidget::heightForWidth(width));
    AppConfig::instance()->width = 1000;
    AppConfig::instance()->height = 900;
}

void TestMainWindow::favorites()
{
    QMenu *links = window->findChild<QMenu *>("menuLinks");
    const QList<QAction *> actions = links->actions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions.at(0)->text(), QString("&First"));
    QCOMPARE(actions.at(1)->text(), QString("&Second"));
    QCOMPARE(actions.at(0)->data().toInt(), 0);
    QCOMPARE(actions.at(1)->data().toInt(), 1);

    AppConfig::instance()->lang = "ru";
    window->applyLanguage();
    QCOMPARE(actions.at(1)->text(), QString("&Second")); // titles are not translated

    MessageLog log;
    window->appendTab(new QLabel, QString());
    actions.at(1)->trigger();
    QVERIFY(log.contains("doIntBrowser:  1"));
    QCOMPARE(window->tabWidget()->count(), 2);
    QCOMPARE(window->tabWidget()->currentIndex(), 1);
    auto *view = qobject_cast<QWebEngineView *>(window->tabWidget()->currentWidget());
    QVERIFY(view);
    QTRY_VERIFY(log.contains(debugLine("acceptNavigationRequest: ", QUrl("file:///nonexistent/second-site.html"), " --- ", 5)));

    window->doIntBrowser(); // not reached through an action: ignored
    QCOMPARE(window->tabWidget()->count(), 2);

    // Without favourites the menu is there, empty.
    AppConfig *config = AppConfig::instance();
    const QStringList titles = config->intbrowserTitles;
    config->intbrowserTitles.clear();
    {
        MainWindow plain;
        QVERIFY(plain.findChild<QMenu *>("menuLinks")->actions().isEmpty());
        QVERIFY(plain.menuBar()->actions().contains(plain.findChild<QMenu *>("menuLinks")->menuAction()));
    }
    config->intbrowserTitles = titles;
}

void TestMainWindow::battleUrl_data()
{
    QTest::addColumn<QString>("movie");
    QTest::addColumn<int>("battle");
    QTest::addColumn<QString>("url");
    QTest::newRow("windows folder") << "D:/Games/Client/content/battle.swf" << 12345
                                    << "file:///D:/Games/Client/content/battle.swf?12345";
    QTest::newRow("negative") << "D:/Games/Client/content/battle.swf" << -7
                              << "file:///D:/Games/Client/content/battle.swf?-7";
    QTest::newRow("linux folder") << "/home/p/client/content/battle.swf" << 2147483647
                                  << "file:////home/p/client/content/battle.swf?2147483647";
    // A place marker in the folder's name stays text.
    QTest::newRow("folder holding %1") << "/home/p%1x/content/battle.swf" << 5
                                       << "file:////home/p%1x/content/battle.swf?5";
}

void TestMainWindow::gameUrl_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("url"); // below "file://<working folder>/" where it starts with "./"
    QTest::newRow("default") << "./content/loader.swf" << "./content/loader.swf";
    QTest::newRow("query and fragment") << "./content/loader.swf?server=2#top" << "./content/loader.swf?server=2#top";
    QTest::newRow("fragment only") << "./content/loader.swf#top" << "./content/loader.swf#top";
    QTest::newRow("escapes decoded once") << "./content/my%20game.swf?name=a%26b" << "./content/my%20game.swf?name=a%26b";
    QTest::newRow("no dot slash") << "content/loader.swf?x=1" << "./content/loader.swf?x=1";
    QTest::newRow("absolute path") << "/games/client/content/loader.swf?x=1" << "file:///games/client/content/loader.swf?x=1";
    QTest::newRow("file url") << "file:///games/loader.swf?x=1#f" << "file:///games/loader.swf?x=1#f";
    QTest::newRow("web url") << "http://www.example.org/game.swf?s=1" << "http://www.example.org/game.swf?s=1";
    // A Windows drive letter is no scheme: a file below the working folder here.
    QTest::newRow("drive letter") << "C:/game/loader.swf" << "./C:/game/loader.swf";
}

void TestMainWindow::gameUrl()
{
    QFETCH(QString, setting);
    QFETCH(QString, url);
    if (url.startsWith("./"))
        url = QUrl::fromLocalFile(QDir::currentPath()).toString() + url.mid(1);
    const QUrl result = ::gameUrl(setting);
    QCOMPARE(result.toString(QUrl::FullyEncoded), url);
    if (setting.contains("%20"))
        QVERIFY(result.toLocalFile().endsWith("/content/my game.swf"));
}

void TestMainWindow::battleUrl()
{
    QFETCH(QString, movie);
    QFETCH(int, battle);
    QFETCH(QString, url);
    QCOMPARE(::battleUrl(movie, battle), url);
}

void TestMainWindow::viewBattle_data()
{
    QTest::addColumn<int>("entered");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<int>("tabs");
    QTest::newRow("number") << 12345 << true << 2;
    QTest::newRow("negative") << -7 << true << 2;
    QTest::newRow("zero") << 0 << true << 1;
    QTest::newRow("cancelled") << 555 << false << 1;
    // Each request is a tab of its own, the same battle too.
    QTest::newRow("the same battle twice") << 12345 << true << 3;
}

void TestMainWindow::viewBattle()
{
    QFETCH(int, entered);
    QFETCH(bool, accept);
    QFETCH(int, tabs);
    window->openGameTab();
    window->show();
    QString title, label;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        title = dialog->windowTitle();
        label = dialog->labelText();
        dialog->findChild<QSpinBox *>()->setValue(entered);
        accept ? dialog->accept() : dialog->reject();
    });
    MessageLog log;
    window->doViewBattle();
    if (tabs == 3) {
        QTimer::singleShot(0, [&] {
            if (auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
                dialog->findChild<QSpinBox *>()->setValue(entered);
                dialog->accept();
            }
        });
        window->doViewBattle();
        const QString url = ::battleUrl(AppConfig::instance()->battleMoviePath(), entered);
        QTRY_COMPARE(window->tabWidget()->tabText(1), QString("Battle : %1").arg(entered));
        QTRY_COMPARE(window->tabWidget()->tabText(2), QString("Battle : %1").arg(entered));
        QVERIFY(window->tabWidget()->widget(1) != window->tabWidget()->widget(2));
    }
    QCOMPARE(title, QString("View Battle"));
    QCOMPARE(label, QString("Enter the Battle No.:"));
    QCOMPARE(window->tabWidget()->count(), tabs);
    if (tabs == 2) {
        const QString expected = ::battleUrl(AppConfig::instance()->battleMoviePath(), entered);
        QUrl movie = QUrl::fromLocalFile(AppConfig::instance()->battleMoviePath()); // the engine's form of the URL
        movie.setQuery(QString::number(entered));
        QTRY_VERIFY2(log.contains(debugLine("acceptNavigationRequest: ", movie, " --- ", 5)), qPrintable(expected));
        QCOMPARE(log.countStarting("Cookie load for"), 0); // a local file has no host
    }
}

// The trust file opens but cannot be written (here: a full disk behind it).
void TestMainWindow::trustFileWriteFails()
{
    const QString folder = TestEnv::home() + "/.macromedia/Flash_Player/#Security/FlashPlayerTrust";
    QDir().mkpath(folder);
    QFile::remove(folder + "/tarvenholm.cfg");
    QVERIFY(QFile::link("/dev/full", folder + "/tarvenholm.cfg"));
    QString shown;
    QTimer::singleShot(0, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    MessageLog log;
    QVERIFY(!window->start());
    QFile::remove(folder + "/tarvenholm.cfg");
    QCOMPARE(shown, "Could not write to file: " + folder + "/tarvenholm.cfg");
    QVERIFY(log.contains("fileError"));
    QCOMPARE(window->tabWidget()->count(), 0);
    QVERIFY(!log.contains("Downloader ctor"));
}

void TestMainWindow::labelForAViewNoTabHolds()
{
    MyWebView stray;
    MessageLog log;
    window->setTabLabel(&stray, "Stray");
    QVERIFY(log.contains("setTabLabel: something wrong..."));
    QCOMPARE(window->tabWidget()->count(), 0);
}

void TestMainWindow::startSetsUpTheGame()
{
    AppConfig *config = AppConfig::instance();
    const QString page = TestEnv::writeFile("content/start.html", "<html><head><title>Game</title></head></html>");
    config->urlgame = "./content/start.html";
    config->updateroot = QString("http://127.0.0.1:%1/").arg([] { QTcpServer s; s.listen(QHostAddress::LocalHost); return s.serverPort(); }());
    config->width = 640;
    config->height = 480;
    // The update cannot reach its server; the player closes the dialog.
    QString dialogShown;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            dialogShown = modal->objectName();
            if (modal->findChild<QLabel *>("label")->text().startsWith("Could not download file"))
                modal->close();
        }
    });
    closer.start(50);
    MessageLog log;
    QVERIFY(window->start());
    closer.stop();
    QCOMPARE(dialogShown, QString("UpdateDialog"));
    QCOMPARE(window->size(), QSize(640, 480));
    QCOMPARE(window->tabWidget()->count(), 1);
    QCOMPARE(window->tabWidget()->tabText(0), QString("./content/start.html"));
    QVERIFY(!window->tabWidget()->tabBar()->tabButton(0, QTabBar::RightSide));
    QVERIFY(!window->tabWidget()->tabBar()->tabButton(0, QTabBar::LeftSide));
    QTRY_COMPARE(window->tabWidget()->tabText(0), QString("TarvenHOLM"));
    QVERIFY(log.contains(debugLine("acceptNavigationRequest: ", QUrl::fromLocalFile(page), " --- ", 5)));
    // The menu actions and the close buttons work now.
    window->showFullScreen();
    action("actionDefault_Size")->trigger();
    QVERIFY(!window->isFullScreen());
    window->appendTab(new QLabel, "extra");
    emit window->tabWidget()->tabCloseRequested(1);
    QCOMPARE(window->tabWidget()->count(), 1);
    config->width = 1000;
    config->height = 900;
}

TARVEN_TEST_MAIN(TestMainWindow)

void TestMainWindow::firstStartWithoutServer_data()
{
    QTest::addColumn<QString>("again"); // how the player tries again
    QTest::newRow("Refresh Tab") << "actionRefresh";
    QTest::newRow("Update Game") << "actionUpdate_Game";
}

// No content yet and no server: the game tab says what the game needs, and
// trying again runs the update again and then starts the game once its
// content is there.
void TestMainWindow::firstStartWithoutServer()
{
    QFETCH(QString, again);
    AppConfig *config = AppConfig::instance();
    TestEnv::freshDir("nocontent-" + again);
    config->urlgame = "./content/first.html";
    config->updateroot = QString("http://127.0.0.1:%1/").arg([] { QTcpServer s; s.listen(QHostAddress::LocalHost); return s.serverPort(); }());
    int dialogs = 0;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->objectName() == "UpdateDialog"
            && modal->findChild<QPushButton *>("retryButton")->isVisible()) {
            ++dialogs;
            modal->close();
        }
    });
    closer.start(50);
    QVERIFY(window->start());
    window->show();
    QCOMPARE(dialogs, 1);
    MyWebView *game = window->gameTab();
    const QString needs = "The game has no content yet: it needs its first update from the game's server. "
                          "Refresh Tab or Update Game tries again.";
    QTRY_COMPARE(WebTest::runJs(game, "document.body ? document.body.innerText : ''").toString(), needs);

    // Still no server: the same page after another try.
    QSignalSpy loaded(game, &QWebEngineView::loadFinished);
    action(again.toLatin1())->trigger();
    QCOMPARE(dialogs, 2);
    QTRY_COMPARE(loaded.count(), 1);
    QTRY_COMPARE(WebTest::runJs(game, "document.body ? document.body.innerText : ''").toString(), needs);

    // The content arrives (another copy of the client updated the folder): the next try starts the game.
    TestEnv::writeFile("content/first.html", "<html><head><title>First</title></head><body>game</body></html>");
    window->tabWidget()->setCurrentIndex(0);
    action(again.toLatin1())->trigger();
    QCOMPARE(dialogs, 3);
    QTRY_COMPARE(game->url(), QUrl::fromLocalFile(QDir::currentPath() + "/content/first.html"));
    QTRY_COMPARE(WebTest::runJs(game, "document.body ? document.body.innerText : ''").toString(), QString("game"));
    closer.stop();
}

#include "tst_mainwindow.moc"
