#pragma once

#include "SimStore.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>

namespace lumarient::test {

// Words as Qt strings.
QStringList qStrings(const std::vector<std::string> &words);

// Simulated phones for a test: a private folder with `adb` and `scrcpy` links to
// the phone simulator, pointed at by LUMARIENT_PHONESIM_DIR in this process (so
// every child the code under test starts finds it). ANDROID_ADB_SERVER_PORT names
// a loopback port of the test's own, where nothing listens until startServer().
class PhoneSim {
public:
    PhoneSim();
    ~PhoneSim();
    PhoneSim(const PhoneSim &) = delete;
    PhoneSim &operator=(const PhoneSim &) = delete;

    QString folder() const { return folder_.path(); }
    QString adbPath() const { return folder_.filePath(QStringLiteral("bin/adb")); }
    QString scrcpyPath() const { return folder_.filePath(QStringLiteral("bin/scrcpy")); }

    // The simulator's adb server on serverPort(); false when it did not come up.
    bool startServer();
    void stopServer();
    std::uint16_t serverPort() const { return serverPort_; }

    void addPhone(const phonesim::SimPhone &phone)
    {
        update([&](phonesim::SimState &state) { state.phones.push_back(phone); });
    }
    void addRule(const phonesim::SimRule &rule)
    {
        update([&](phonesim::SimState &state) { state.rules.push_back(rule); });
    }
    // Edits the simulated world under its lock.
    void update(const std::function<void(phonesim::SimState &)> &change) { store_.update(change); }
    phonesim::SimState state() const { return store_.read(); }
    phonesim::SimPhone phone(const QString &usbSerial) const;

    std::vector<phonesim::SimInvocation> invocations() const { return store_.invocations(); }
    // The argument lists of every `adb` run, each joined by single spaces.
    QStringList adbCommands() const;
    // The argument lists of every scrcpy run, in order.
    QList<QStringList> scrcpyRuns() const;
    void clearInvocations() { store_.clearInvocations(); }
    // The records the phones' input servers have read, in order.
    std::vector<phonesim::SimInputRecord> inputRecords() const { return store_.inputRecords(); }
    // The lines the phones' window watchers have read, in order.
    QStringList watcherInput() const { return qStrings(store_.watcherInput()); }
    // Has the running window watchers print `text` as it stands (it may end mid-line).
    void printFromWatcher(const QByteArray &text) { store_.appendWatcherOutput(text.toStdString()); }

private:
    QTemporaryDir folder_;
    phonesim::SimStore store_;
    std::uint16_t serverPort_ = 0;
    QProcess server_;
};

// A ready phone on the cable with a marketing name and a Wi-Fi address.
phonesim::SimPhone makePhone(const QString &usbSerial, const QString &model);

} // namespace lumarient::test
