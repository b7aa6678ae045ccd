#include "cli/interruptnotifier.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kHandledSignals[] = {SIGINT, SIGTERM};

int pipeFds[2] = {-1, -1};
struct sigaction previous[sizeof kHandledSignals / sizeof kHandledSignals[0]];

// Async-signal-safe: one write, errno kept.
void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

InterruptNotifier::InterruptNotifier(QObject *parent)
    : QObject(parent)
{
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &InterruptNotifier::readPipe);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    int i = 0;
    for (int signalNumber : kHandledSignals)
        sigaction(signalNumber, &action, &previous[i++]);
}

InterruptNotifier::~InterruptNotifier()
{
    if (!notifier)
        return;
    int i = 0;
    for (int signalNumber : kHandledSignals)
        sigaction(signalNumber, &previous[i++], nullptr);
    delete notifier;
    notifier = nullptr;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void InterruptNotifier::readPipe()
{
    unsigned char byte = 0;
    while (::read(pipeFds[0], &byte, 1) == 1)
        emit interrupted(byte);
}
