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
        if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
            path_ = QString::fromLocal8Bit(name);
            // Keep the slave side configured while nobody has it open.
            struct termios t;
            tcgetattr(slave_, &t);
            cfmakeraw(&t);
            tcsetattr(slave_, TCSANOW, &t);
            ::close(slave_);
            slave_ = -1;
        }
    }
    ~PtyPair()
    {
        if (master_ >= 0)
            ::close(master_);
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return master_ >= 0 && !path_.isEmpty(); }
    QString slavePath() const { return path_; }

    // True once no process holds the slave side open any more.
    bool slaveClosed() const
    {
        struct pollfd p = {master_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};
