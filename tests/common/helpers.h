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

// The report server on 127.0.0.1 for one test, with its SQLite file in a
// directory of its own and free ports; the ports are read from its output.
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
        QStringList all = args + QStringList{"--listen", "127.0.0.1", "--port", "0", "--web-port", "0"};
        if (!args.contains("--database"))
            all << "--database" << database();
        process.start(program, all);
        while (process.waitForStarted(60000) && (process.canReadLine() || process.waitForReadyRead(60000))) {
            const QString line = QString::fromUtf8(process.readLine());
            const auto web = QRegularExpression("web pages on http://[^:]+:(\\d+)/").match(line);
            if (web.hasMatch())
                return (webPort = quint16(web.captured(1).toUInt())) != 0 && port != 0;
            const auto m = QRegularExpression("listening on 127.0.0.1:(\\d+)").match(line);
            if (m.hasMatch())
                port = quint16(m.captured(1).toUInt());
        }
        return false;
    }
    QString database() const { return dir.filePath("berichte.sqlite"); }

    QTemporaryDir dir;
    QProcess process;
    quint16 port = 0;
    quint16 webPort = 0;
};
