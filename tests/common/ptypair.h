#pragma once

#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// A raw pseudo-terminal pair: the worker opens the slave by path, the test
// holds the master.
class PtyPair
{
public:
    PtyPair()
    {
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = QString::fromLocal8Bit(name);
            // Keep the slave side configured while nobody has it open.
            struct termios t;
            tcgetattr(slave, &t);
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
            ::close(slave);
            slave = -1;
        }
    }
    ~PtyPair()
    {
        if (master >= 0)
            ::close(master);
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return master >= 0 && !path.isEmpty(); }
    QString slavePath() const { return path; }

    // True once no process holds the slave side open any more.
    bool slaveClosed() const
    {
        struct pollfd p = {master, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
    }

private:
    int master = -1;
    int slave = -1;
    QString path;
};
