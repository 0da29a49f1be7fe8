#ifndef MYTABWIDGET_H
#define MYTABWIDGET_H

#include <QTabWidget>

// The main window's tab area; keeps the configured width:height proportion.
class MyTabWidget : public QTabWidget
{
    Q_OBJECT
public:
    explicit MyTabWidget(QWidget *parent = nullptr);

    int heightForWidth(int width) const override;
};

#endif // MYTABWIDGET_H
