#pragma once

#include <QString>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

// A raw pseudo-terminal pair: the program under test opens the slave by
// path, the test holds the master.
class PtyPair
{
public:
    PtyPair()
    {
        char name[128] = {};
        int slave = -1;
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = QString::fromLocal8Bit(name);
            // Keep the slave side configured while nobody has it open.
            struct termios t;
            tcgetattr(slave, &t);
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
            ::close(slave);
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
    int masterFd() const { return master; }

private:
    int master = -1;
    QString path;
};
