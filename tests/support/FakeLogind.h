#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMap>
#include <QString>
#include <QStringList>

namespace lumarient::test {

// logind as far as the app asks it: the manager's session look-ups and the
// sessions' Lock signal, served on a test's own bus under logind's name.
class FakeLogind final : public QDBusVirtualObject {
public:
    // Registers logind's name and objects on `bus`; see isServing().
    explicit FakeLogind(QDBusConnection bus);
    ~FakeLogind() override;

    bool isServing() const { return serving_; }

    // What the look-ups answer; an empty text answers with an error.
    QString sessionOfCaller;             // GetSessionByPID, whatever the process
    QMap<QString, QString> sessionsById; // GetSession: id -> object path
    QString autoSessionId;               // the Id of ".../session/auto"
    // The look-ups asked so far, by method name.
    QStringList calls;

    // Sends the Lock signal from the session object at `sessionPath`.
    void lock(const QString &sessionPath);

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    QDBusConnection bus_;
    bool serving_ = false;
};

} // namespace lumarient::test
