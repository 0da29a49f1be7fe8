#include "window/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/appconfig.h"
#include "app/contenttrust.h"
#include "movie/movieplayer.h"
#include "updater/updatedialog.h"
#include "web/cookiejar.h"
#include "web/mytabwidget.h"
#include "web/mywebview.h"
#include "web/tabprofile.h"
#include "window/aboutbox.h"
#include "window/flashenvironment.h"
#include "window/windowkeys.h"
#include "window/windowstate.h"

#include <QApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSettings>
#include <QStyle>
#include <QTabBar>
#include <QTranslator>
#include <QWebEngineView>

MainWindow *theMainWindow = nullptr;

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    tabs = new MyTabWidget(this);
    tabs->setTabsClosable(true);
    setCentralWidget(tabs);
    connect(tabs, &QTabWidget::currentChanged, this, &MainWindow::onCurrentTabChanged);
    installWindowKeys(this);
    theMainWindow = this;
    fillFavorites();
}

MainWindow::~MainWindow()
{
    // Close the tabs while the window is still whole: their views' jars save on the way.
    delete tabs;
    tabs = nullptr;
    if (theMainWindow == this)
        theMainWindow = nullptr;
    delete ui;
}

void MainWindow::fillFavorites()
{
    const QStringList &titles = AppConfig::instance()->intbrowserTitles;
    for (int i = 0; i < titles.size(); ++i) {
        // A title's "&" is shown as written.
        QAction *action = ui->menuLinks->addAction(QString(titles.at(i)).replace(QLatin1Char('&'), QLatin1String("&&")),
                                                   QKeySequence(), this, &MainWindow::doIntBrowser);
        action->setData(i);
    }
}

// --- language -------------------------------------------------------------

void MainWindow::applyLanguage()
{
    const bool russian = AppConfig::instance()->lang == QLatin1String("ru");
    ui->actionEnglish->setChecked(!russian);
    ui->actionRussian->setChecked(russian);
    QTranslator *selected = russian ? translatorRu : translatorEn;
    for (QTranslator *translator : std::as_const(qtTranslatorsRu))
        QApplication::removeTranslator(translator);
    if (translatorRu)
        QApplication::removeTranslator(translatorRu);
    if (translatorEn)
        QApplication::removeTranslator(translatorEn);
    if (selected)
        QApplication::installTranslator(selected);
    if (russian) {
        for (QTranslator *translator : std::as_const(qtTranslatorsRu))
            QApplication::installTranslator(translator);
    }
    ui->retranslateUi(this);
    addMnemonics(menuBar());
}

void MainWindow::selectLanguage(const QString &code)
{
    AppConfig::instance()->lang = code;
    {
        QSettings settings(AppConfig::fileName(), QSettings::IniFormat);
        settings.setValue("lang", code);
    }
    applyLanguage();
}

void MainWindow::langSelectedRu()
{
    selectLanguage(QStringLiteral("ru"));
}

void MainWindow::langSelectedEn()
{
    selectLanguage(QStringLiteral("en"));
}

// --- start ----------------------------------------------------------------

void MainWindow::connectActions()
{
    connect(ui->actionToggle_Full_Screen, &QAction::triggered, this, &MainWindow::toggleFullScreen);
    connect(ui->actionDefault_Size, &QAction::triggered, this, &MainWindow::defaultSize);
    connect(ui->actionRefresh, &QAction::triggered, this, &MainWindow::refresh);
    connect(ui->actionOpen_Web_Site, &QAction::triggered, this, &MainWindow::doOpenWebSite);
    connect(ui->actionOpen_Forum, &QAction::triggered, this, &MainWindow::doOpenForum);
    connect(ui->actionReport_Bug, &QAction::triggered, this, &MainWindow::doEmail);
    connect(ui->actionClose_additional_windows, &QAction::triggered, this, &MainWindow::doCloseTabs);
    connect(ui->actionView_Battle, &QAction::triggered, this, &MainWindow::doViewBattle);
    connect(ui->actionEnglish, &QAction::triggered, this, &MainWindow::langSelectedEn);
    connect(ui->actionRussian, &QAction::triggered, this, &MainWindow::langSelectedRu);
    connect(ui->actionUpdate_Game, &QAction::triggered, this, &MainWindow::doUpdateGame);
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::doAbout);
}

// A game URL without a scheme names a file relative to the working directory
// (the web view needs it absolute): percent-escapes in it are decoded once,
// its query and fragment stay as written.
QUrl gameUrl(const QString &text)
{
    const QUrl written(text);
    // A URL of its own (file:, http:), but not a Windows drive letter taken for a scheme.
    if (!written.isRelative() && written.scheme().size() > 1)
        return written;
    const int end = text.indexOf(QRegularExpression(QStringLiteral("[?#]")));
    const QString path = QUrl::fromPercentEncoding(text.left(end).toUtf8());
    QUrl url = QUrl::fromLocalFile(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
    if (end >= 0) {
        const QUrl rest(text.mid(end));
        if (rest.hasQuery())
            url.setQuery(rest.query(QUrl::FullyEncoded), QUrl::StrictMode);
        if (rest.hasFragment())
            url.setFragment(rest.fragment(QUrl::FullyEncoded), QUrl::StrictMode);
    }
    return url;
}

bool MainWindow::start()
{
    applyLanguage();
    if (!writeTrustFile())
        return false;
    connectActions();
    const AppConfig *config = AppConfig::instance();
    // As the player left it, or the configured size (fitted to the screen when shown).
    if (!WindowState::restore(this))
        resize(config->width, config->height);
    connect(tabs, &QTabWidget::tabCloseRequested, this, &MainWindow::tabCloseRequested);

    openGameTab();
    runUpdate();
    loadGame();
    return true;
}

int MainWindow::runUpdate()
{
    UpdateDialog dialog;
    dialog.exec();
    return dialog.installedFiles();
}

void MainWindow::loadGame()
{
    MyWebView *game = gameTab();
    const QUrl url = gameUrl(AppConfig::instance()->urlgame);
    // No content at all (a first start without the server): the player is
    // told what the game needs, not that a file is missing.
    gameMissing = url.isLocalFile() && ContentTrust::isContentFile(url.toLocalFile())
        && !QFileInfo::exists(url.toLocalFile());
    if (!gameMissing) {
        game->load(url);
        return;
    }
    qDebug() << "Game content missing: " << url;
    // Under the game's URL, as a crashed page's message is: a crash names the game.
    game->setHtml(MoviePlayer::errorPage(tr("The game has no content yet: it needs its first update from the "
                                            "game's server. Refresh Tab or Update Game tries again.")),
                  url);
}

void MainWindow::doUpdateGame()
{
    const bool missing = gameMissing;
    // New content reaches the game when it starts again.
    if (runUpdate() > 0 || missing)
        loadGame();
}

void MainWindow::doAbout()
{
    showAboutBox(this);
}

// --- tabs -----------------------------------------------------------------

QWebEngineView *MainWindow::currentView() const
{
    return qobject_cast<QWebEngineView *>(tabs->currentWidget());
}

void MainWindow::appendTab(QWidget *widget, const QString &label)
{
    tabs->addTab(widget, label);
    tabs->setCurrentIndex(tabs->count() - 1);
    if (auto *view = qobject_cast<MyWebView *>(widget))
        showBusy(view);
}

// While a tab's page or movie is on its way, its tab shows the reload sign.
void MainWindow::showBusy(MyWebView *view)
{
    connect(view, &MyWebView::busyChanged, this, [this, view](bool busy) {
        const int index = tabs->indexOf(view);
        if (index >= 0)
            tabs->setTabIcon(index, busy ? style()->standardIcon(QStyle::SP_BrowserReload) : QIcon());
    });
}

MyWebView *MainWindow::openGameTab()
{
    auto *game = new MyWebView(nullptr, TabProfile::forGame(), TabKind::Game);
    tabs->insertTab(0, game, AppConfig::instance()->urlgame);
    tabs->setCurrentIndex(0);
    showBusy(game);
    // The game tab never closes, so it offers no close button.
    tabs->tabBar()->setTabButton(0, QTabBar::LeftSide, nullptr);
    tabs->tabBar()->setTabButton(0, QTabBar::RightSide, nullptr);
    return game;
}

MyWebView *MainWindow::gameTab() const
{
    auto *game = qobject_cast<MyWebView *>(tabs->widget(0));
    return game && game->kind() == TabKind::Game ? game : nullptr;
}

MyWebView *MainWindow::openInNewTab(const QString &text)
{
    // The jar's cookies reach the tab's own profile before the first request.
    const QUrl url(text, QUrl::TolerantMode);
    auto *jar = new CookieJar;
    jar->load(url);
    auto *view = new MyWebView(nullptr, new TabProfile(jar), TabKind::Site);
    appendTab(view, QString());
    view->show();
    view->load(url);
    return view;
}

MyWebView *MainWindow::openWindowTab(MyWebView *opener)
{
    auto *view = new MyWebView(nullptr, opener->tabProfile(), TabKind::Window, opener);
    appendTab(view, QString());
    view->show();
    return view;
}

// The battle viewer is the game's own movie: it shares the game's saved data
// and cookies (a local movie has no cookies of its own to keep).
MyWebView *MainWindow::openBattleTab(int battle)
{
    MyWebView *game = gameTab();
    if (!game)
        return nullptr;
    auto *view = new MyWebView(nullptr, game->tabProfile(), TabKind::Battle);
    appendTab(view, QString());
    view->show();
    view->load(QUrl(battleUrl(AppConfig::instance()->battleMoviePath(), battle), QUrl::TolerantMode));
    return view;
}

void MainWindow::setTabLabel(MyWebView *view, const QString &label)
{
    const int index = tabs->indexOf(view);
    if (index < 0) {
        qDebug() << "setTabLabel: something wrong...";
        return;
    }
    // A tab's text marks its shortcut letter with "&": a title's own is doubled to show as written.
    tabs->setTabText(index, view->kind() == TabKind::Game ? QStringLiteral("TarvenHOLM") : QString(label).replace(QLatin1Char('&'), QLatin1String("&&")));
}

bool MainWindow::isShown(const MyWebView *view) const
{
    return view && tabs->currentWidget() == view;
}

void MainWindow::tabCloseRequested(int index)
{
    qDebug() << "tabCloseRequested: " << index;
    auto *view = qobject_cast<MyWebView *>(tabs->widget(index));
    if (index < 0 || (view && view->kind() == TabKind::Game))
        return;
    if (QWidget *widget = tabs->widget(index)) {
        if (!widget->close())
            qDebug() << "tabCloseRequested: could not close widget";
    }
    tabs->removeTab(index);
}

// The shown tab takes the keyboard: a movie in it plays with the player's keys.
void MainWindow::onCurrentTabChanged(int index)
{
    // Another tab cannot be shown over a page's full screen: it ends.
    if (pageFullScreen)
        toggleFullScreen();
    if (QWidget *widget = tabs->widget(index))
        widget->setFocus();
}

void MainWindow::doCloseTabs()
{
    while (tabs->count() > 1)
        tabCloseRequested(1);
}

// --- menu commands --------------------------------------------------------

void MainWindow::linkClicked(QUrl)
{
}

void MainWindow::toggleFullScreen()
{
    if (pageFullScreen) {
        if (fullScreenView)
            fullScreenView->page()->triggerAction(QWebEnginePage::ExitFullScreen);
        showPageFullScreen(false, nullptr);
        return;
    }
    if (isFullScreen())
        showNormal();
    else
        showFullScreen();
}

void MainWindow::showPageFullScreen(bool on, MyWebView *view)
{
    if (on == pageFullScreen)
        return;
    pageFullScreen = on;
    fullScreenView = on ? view : nullptr;
    menuBar()->setVisible(!on);
    tabs->tabBar()->setVisible(!on);
    if (on) {
        stateBeforePage = windowState();
        showFullScreen();
    } else {
        setWindowState(stateBeforePage);
    }
}

void MainWindow::defaultSize()
{
    if (isFullScreen())
        showNormal();
    resize(AppConfig::instance()->width, AppConfig::instance()->height);
}

void MainWindow::refresh()
{
    QWebEngineView *view = currentView();
    if (!view)
        return;
    if (gameMissing && view == gameTab()) {
        doUpdateGame();
        return;
    }
    if (auto *own = qobject_cast<MyWebView *>(view))
        own->notePlayerAction(); // the player's Refresh keeps its new-tab rule
    view->reload();
}

void MainWindow::doOpenWebSite()
{
    openOnDesktop(QUrl(AppConfig::instance()->web));
}

// A machine without a browser or mail program set up takes nothing: the
// player learns where the link would have gone, in a box that waits for no
// answer.
bool MainWindow::openOnDesktop(const QUrl &url)
{
    if (QDesktopServices::openUrl(url))
        return true;
    qDebug() << "Desktop hand-off failed: " << url;
    auto *box = new QMessageBox(QMessageBox::Warning, tr("TarvenHOLM"),
                                tr("No program on this computer opens %1. Set up a web browser and a mail program, "
                                   "or open the address yourself.").arg(url.toDisplayString()),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("handOffFailed"));
    box->setTextFormat(Qt::PlainText);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return false;
}

void MainWindow::doOpenForum()
{
    openInNewTab(AppConfig::instance()->forum);
}

void MainWindow::doEmail()
{
    QString address = AppConfig::instance()->email;
    if (!address.startsWith(QLatin1String("mailto:")))
        address.prepend(QLatin1String("mailto:"));
    openOnDesktop(QUrl(address));
}

QString battleUrl(const QString &moviePath, int battle)
{
    // Both values in one step: a "%1" in the folder's name must stay text.
    return QStringLiteral("file:///%1?%2").arg(moviePath, QString::number(battle));
}

void MainWindow::doViewBattle()
{
    const int battle = QInputDialog::getInt(this, tr("View Battle"), tr("Enter the Battle No.:"), 0,
                                            -2147483647, 2147483647, 1);
    if (battle == 0)
        return;
    openBattleTab(battle);
}

void MainWindow::doIntBrowser()
{
    auto *action = qobject_cast<QAction *>(sender());
    if (!action)
        return;
    const int index = action->data().toInt();
    qDebug() << "doIntBrowser: " << index;
    const QStringList &urls = AppConfig::instance()->intbrowserUrls;
    if (index >= 0 && index < urls.size())
        openInNewTab(urls.at(index));
}

// --- placement ------------------------------------------------------------

void MainWindow::showEvent(QShowEvent *event)
{
    WindowState::fitOnScreen(this);
    QMainWindow::showEvent(event);
}
