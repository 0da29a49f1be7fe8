#ifndef MAINWINDOW_H
#define MAINWINDOW_H

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

// The client's one window: a tab widget of web views (tab 0 is the game) with
// the "Navigation", "Favorites" and "Language" menus.
class MainWindow : public QMainWindow
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
    // Every web tab is made here: a tab of its own for a URL (with the cookie
    // store of its site), or a tab for a window a page opens (sharing the
    // opener's profile), which the caller fills.
    void openInNewTab(const QString &url);
    MyWebView *openWindowTab(TabProfile *profile);
    void setTabLabel(QWebEngineView *view, const QString &label);

    MyTabWidget *tabWidget() const { return tabs; }

    // A page's (or its movie's) request to fill the screen, or to end that:
    // the view alone fills the screen, and the window comes back as it was.
    void showPageFullScreen(bool on, QWebEngineView *view = nullptr);
    bool isPageFullScreen() const { return pageFullScreen; }

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
    void langSelectedRu();
    void langSelectedEn();

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void onCurrentTabChanged(int index);

private:
    void fillFavorites();
    void selectLanguage(const QString &code);
    bool writeTrustFile();
    void connectActions();
    void runUpdate();

    Ui::MainWindow *ui;
    MyTabWidget *tabs;
    bool pageFullScreen = false;
    QPointer<QWebEngineView> fullScreenView;
    Qt::WindowStates stateBeforePage;
};

extern MainWindow *theMainWindow;

// The game's URL from the `urlgame` setting.
QUrl gameUrl(const QString &text);
// "file:///<battle movie>?<number>"
QString battleUrl(const QString &moviePath, int battle);

#endif // MAINWINDOW_H
