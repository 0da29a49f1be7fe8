#ifndef MYWEBVIEW_H
#define MYWEBVIEW_H

#include <QWebView>

// One tab's web view. Labels its tab from the page title and URL, and turns
// the windows its pages open into new tabs.
class MyWebView : public QWebView
{
    Q_OBJECT
public:
    explicit MyWebView(QWidget *parent = nullptr);
    ~MyWebView() override;

    // The tab label for a loaded URL, or a null string to keep the current one.
    static QString labelForUrl(const QString &url);
    static QString labelForTitle(const QString &title, const QString &url);

public slots:
    void onLoadFinished(bool ok);
    void onTitleChanged(QString title);
    void onStatusBarMessage(QString text);

protected:
    QWebView *createWindow(QWebPage::WebWindowType type) override;
};

#endif // MYWEBVIEW_H
