#pragma once

#include "SimStore.h"

#include <QStringList>
#include <QTemporaryDir>

#include <functional>

namespace lumarient::test {

// Simulated phones for a test: a private folder with `adb` and `scrcpy` links to
// the phone simulator, pointed at by LUMARIENT_PHONESIM_DIR in this process (so
// every child the code under test starts finds it).
class PhoneSim {
public:
    PhoneSim();
    ~PhoneSim();
    PhoneSim(const PhoneSim &) = delete;
    PhoneSim &operator=(const PhoneSim &) = delete;

    QString folder() const;
    QString adbPath() const;
    QString scrcpyPath() const;

    void addPhone(const phonesim::SimPhone &phone);
    void addRule(const phonesim::SimRule &rule);
    // Edits the simulated world under its lock.
    void update(const std::function<void(phonesim::SimState &)> &change);
    phonesim::SimState state() const;
    phonesim::SimPhone phone(const QString &usbSerial) const;

    std::vector<phonesim::SimInvocation> invocations() const;
    // The argument lists of every `adb` run, each joined by single spaces.
    QStringList adbCommands() const;
    void clearInvocations();
    // The records the phones' input servers have read, in order.
    std::vector<phonesim::SimInputRecord> inputRecords() const;

private:
    QTemporaryDir folder_;
    phonesim::SimStore store_;
};

// A ready phone on the cable with a marketing name and a Wi-Fi address.
phonesim::SimPhone makePhone(const QString &usbSerial, const QString &model);

} // namespace lumarient::test
