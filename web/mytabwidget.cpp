#include "web/mytabwidget.h"

#include "app/appconfig.h"

#include <QDebug>

MyTabWidget::MyTabWidget(QWidget *parent)
    : QTabWidget(parent)
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    qDebug() << "MyTabWidget";
}

int MyTabWidget::heightForWidth(int w) const
{
    const AppConfig *config = AppConfig::instance();
    // A zero or negative configured size has no proportion to keep.
    if (config->width <= 0 || config->height <= 0)
        return QTabWidget::heightForWidth(w);
    const double ratio = double(config->width) / double(config->height);
    const int result = int(w / ratio);
    qDebug() << "height for " << w << " is " << result;
    return result;
}
