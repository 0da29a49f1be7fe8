#include "web/pagescript.h"

#include <QFile>
#include <QHash>

QWebEngineScript PageScript::make(const QString &name, const QString &source, QWebEngineScript::ScriptWorldId world,
                                  QWebEngineScript::InjectionPoint when)
{
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(source);
    script.setWorldId(world);
    script.setInjectionPoint(when);
    script.setRunsOnSubFrames(true);
    return script;
}

QString PageScript::resourceText(const QString &resource)
{
    // Pages are made on the GUI thread only.
    static QHash<QString, QString> read;
    auto it = read.find(resource);
    if (it == read.end()) {
        QFile file(resource);
        file.open(QIODevice::ReadOnly);
        it = read.insert(resource, QString::fromUtf8(file.readAll()));
    }
    return it.value();
}
