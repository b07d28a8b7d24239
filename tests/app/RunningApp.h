#pragma once

#include "platform/UserDefaults.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QVariantMap>

#include <csignal>

namespace lumarient::test {

// Starts the real executable headless with settings of its own.
class RunningApp {
public:
    struct Options {
        QString adbPath;
        // Another app's settings folder; by default one of its own.
        QString configDir;
        // Settings written before the start.
        QVariantMap settings;
        // Added to (or replacing in) the environment; the offscreen platform by default.
        QProcessEnvironment environment;
    };

    explicit RunningApp(const QString &adbPath = QString(), const QString &configDir = QString())
        : RunningApp(Options{adbPath, configDir, {}, {}})
    {
    }
    explicit RunningApp(const Options &options)
    {
        const QString folder = options.configDir.isEmpty() ? config_.path() : options.configDir;
        UserDefaults defaults(folder + QStringLiteral("/Lumarient.conf"));
        if (!options.adbPath.isEmpty())
            defaults.setValue(QStringLiteral("adbPath"), options.adbPath);
        for (auto it = options.settings.cbegin(); it != options.settings.cend(); ++it)
            defaults.setValue(it.key(), it.value());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("LUMARIENT_CONFIG_DIR"), folder);
        environment.insert(QStringLiteral("XDG_DOWNLOAD_DIR"), config_.filePath(QStringLiteral("Downloads")));
        environment.insert(options.environment);
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral(LUMARIENT_EXECUTABLE), QStringList());
    }
    ~RunningApp()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    bool waitForLine(const QByteArray &line)
    {
        while (!output_.contains(line)) {
            if (!process_.waitForReadyRead(10000))
                return false;
            output_ += process_.readAll();
        }
        return true;
    }
    void signal(int number) { ::kill(pid_t(process_.processId()), number); }
    bool waitForExit(int ms)
    {
        const bool finished = process_.waitForFinished(ms);
        output_ += process_.readAll();
        return finished;
    }
    QProcess &process() { return process_; }
    QString configDir() const { return config_.path(); }
    const QByteArray &output() const { return output_; }

private:
    QTemporaryDir config_;
    QProcess process_;
    QByteArray output_;
};

} // namespace lumarient::test
