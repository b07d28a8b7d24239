#include "app/QuitOnSignal.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace lumarient {
namespace {

// The writing end of the signal pipe, for the handler (which may touch nothing else).
volatile sig_atomic_t signalWriter = -1;

void onSignal(int number)
{
    const char byte = char(number);
    // Only async-signal-safe work here: the event loop picks the byte up.
    [[maybe_unused]] const ssize_t written = ::write(signalWriter, &byte, 1);
}

} // namespace

QuitOnSignal::QuitOnSignal(QObject *parent) : QObject(parent)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0)
        return;
    reader_.reset(ends[0]);
    writer_.reset(ends[1]);
    signalWriter = writer_.get();
    notifier_ = new QSocketNotifier(reader_.get(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [reader = reader_.get()] {
        char byte = 0;
        while (::read(reader, &byte, 1) == 1) {
        }
        logLine(QStringLiteral("Lumarient"), QStringLiteral("quitting on signal"));
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

QuitOnSignal::~QuitOnSignal()
{
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    delete notifier_;
    signalWriter = -1;
}

} // namespace lumarient
