#pragma once
// Helper programs for tests.
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

// Runs a tool to its end; its output, or an empty text when it failed.
inline QString runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// A server program on 127.0.0.1 for one test. It is given "--dir" with a
// directory of its own and "--port 0", and must print "listening on 127.0.0.1:<port>".
class LocalServer
{
public:
    ~LocalServer()
    {
        process.kill();
        process.waitForFinished(5000);
    }

    bool start(const QString &program, const QStringList &args)
    {
        process.start(program, args + QStringList{"--dir", dir.path(), "--port", "0"});
        while (process.waitForStarted(60000) && (process.canReadLine() || process.waitForReadyRead(60000))) {
            const auto m = QRegularExpression("listening on 127.0.0.1:(\\d+)").match(process.readLine());
            if (m.hasMatch())
                return (port = quint16(m.captured(1).toUInt())) != 0;
        }
        return false;
    }

    QTemporaryDir dir;
    QProcess process;
    quint16 port = 0;
};
