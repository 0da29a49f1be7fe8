#ifndef PAGESCRIPT_H
#define PAGESCRIPT_H

#include <QString>
#include <QWebEngineScript>

// The client's own scripts that pages get, on every frame.
namespace PageScript {
QWebEngineScript make(const QString &name, const QString &source, QWebEngineScript::ScriptWorldId world,
                      QWebEngineScript::InjectionPoint when);
// A resource's text, read once.
QString resourceText(const QString &resource);
}

#endif // PAGESCRIPT_H
