#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace lumarient {

// Keeps one running app per user. The first instance listens on a local socket;
// a later launch finds it there, asks it to come forward, and exits.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `name` identifies the socket (tests pass their own).
    explicit SingleInstance(QString name = defaultName(), QObject *parent = nullptr);

    static QString defaultName();

    // True when another instance answered: it has been asked to come forward.
    bool handOverToRunningInstance();
    // Starts listening; false when the socket could not be taken.
    bool listen();

signals:
    // A second launch asked this instance to show itself.
    void activationRequested();

private:
    QString name_;
    QLocalServer *server_ = nullptr;
};

} // namespace lumarient
