#pragma once

// Runs the front end as a child process and collects what it wrote.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace clitest {

struct CliResult
{
    bool exitedNormally = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Generous: only guards against a hang.
constexpr int kRunLimitMs = 120000;

inline CliResult finish(QProcess &process, int limitMs = kRunLimitMs)
{
    CliResult r;
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(limitMs)) {
        process.kill();
        process.waitForFinished();
    } else {
        r.exitedNormally = process.exitStatus() == QProcess::NormalExit;
        r.exitCode = process.exitCode();
    }
    // Not readable when both channels go to terminals.
    if (process.isReadable()) {
        r.out = process.readAllStandardOutput();
        r.err = process.readAllStandardError();
    }
    return r;
}

inline CliResult runCli(const QString &program, const QStringList &arguments, int limitMs = kRunLimitMs)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted())
        return {};
    process.closeWriteChannel();
    return finish(process, limitMs);
}

} // namespace clitest
