#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "web/tabhost.h"

#include <QMainWindow>
#include <QPointer>
#include <QUrl>

class MyTabWidget;
class MyWebView;
class TabProfile;
class QTranslator;
class QWebEngineView;

namespace Ui {
class MainWindow;
}

// The client's one window: a tab widget of web views (the first is the game)
// with the "Navigation", "Favorites" and "Language" menus. It hosts the tabs:
// each kind of tab is made by one factory here.
class MainWindow : public QMainWindow, public TabHost
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Sets up the Flash Player environment, the game tab and the content update.
    // False when the client cannot run here; the user has been told why.
    bool start();

    void applyLanguage();
    QWebEngineView *currentView() const;

    void appendTab(QWidget *widget, const QString &label);
    // The game tab, first and never closed: the game's profile (its saved
    // data on disk), empty until the caller loads the game.
    MyWebView *openGameTab();
    MyWebView *gameTab() const;
    // The battle viewer showing the battle: the game's own movie, in the
    // game's profile.
    MyWebView *openBattleTab(int battle);

    // TabHost: a site tab, a window's tab, labels, full screen (the view
    // alone fills the screen, and the window comes back as it was).
    MyWebView *openInNewTab(const QString &url) override;
    MyWebView *openWindowTab(MyWebView *opener) override;
    void setTabLabel(MyWebView *view, const QString &label) override;
    bool isShown(const MyWebView *view) const override;
    void showPageFullScreen(bool on, MyWebView *view) override;
    bool isPageFullScreen() const override { return pageFullScreen; }
    bool openOnDesktop(const QUrl &url) override;

    MyTabWidget *tabWidget() const { return tabs; }

    QTranslator *translatorRu = nullptr;
    QTranslator *translatorEn = nullptr;
    // Qt's own texts in Russian (standard buttons, input dialogs, the web
    // views' menus), installed with translatorRu.
    QList<QTranslator *> qtTranslatorsRu;

public slots:
    void linkClicked(QUrl url);
    void tabCloseRequested(int index);
    void toggleFullScreen();
    void defaultSize();
    void refresh();
    void doOpenWebSite();
    void doOpenForum();
    void doEmail();
    void doCloseTabs();
    void doViewBattle();
    void doIntBrowser();
    // The content update again, then the game again where it needs that.
    void doUpdateGame();
    void doAbout();
    void langSelectedRu();
    void langSelectedEn();

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void onCurrentTabChanged(int index);

private:
    void fillFavorites();
    void selectLanguage(const QString &code);
    void connectActions();
    void showBusy(MyWebView *view);
    // The files the update installed.
    int runUpdate();
    // The game's page, or where its content is not there yet, a page saying
    // that it needs its first update.
    void loadGame();

    Ui::MainWindow *ui;
    MyTabWidget *tabs;
    bool pageFullScreen = false;
    QPointer<MyWebView> fullScreenView;
    Qt::WindowStates stateBeforePage;
    bool gameMissing = false; // the game tab waits for the first update
};

extern MainWindow *theMainWindow;

// The game's URL from the `urlgame` setting.
QUrl gameUrl(const QString &text);
// "file:///<battle movie>?<number>"
QString battleUrl(const QString &moviePath, int battle);

#endif // MAINWINDOW_H
