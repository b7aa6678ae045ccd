#pragma once
// Runs the real report server on 127.0.0.1 on a free port for one test.
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class ReportServerProcess
{
public:
    ~ReportServerProcess() { stop(); }

    bool start(const QStringList &extraArgs = {})
    {
        process.start(QStringLiteral(REPORTSERVER_PATH),
                      QStringList{QStringLiteral("--dir"), store.path(), QStringLiteral("--port"), QStringLiteral("0")}
                          + extraArgs);
        if (!process.waitForStarted(10000))
            return false;
        while (process.canReadLine() || process.waitForReadyRead(10000)) {
            const auto m = QRegularExpression(QStringLiteral("listening on 127.0.0.1:(\\d+)"))
                               .match(QString::fromUtf8(process.readLine()));
            if (m.hasMatch()) {
                serverPort = quint16(m.captured(1).toUInt());
                return true;
            }
        }
        return false;
    }

    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        resume();
        process.kill();
        process.waitForFinished(5000);
    }

    // A stopped process keeps its socket open but never answers: a hung server.
    void pause() { ::kill(pid_t(process.processId()), SIGSTOP); }
    void resume() { ::kill(pid_t(process.processId()), SIGCONT); }

    quint16 port() const { return serverPort; }

    QStringList storedFiles() const { return QDir(store.path()).entryList(QDir::Files, QDir::Name); }

    QByteArray storedMessage(const QString &name) const
    {
        QFile file(QDir(store.path()).filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The server's access log so far: one line per request it answered.
    QStringList requests()
    {
        process.waitForReadyRead(200);
        log += QString::fromUtf8(process.readAllStandardOutput());
        return log.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QProcess process;
    QTemporaryDir store;
    quint16 serverPort = 0;
    QString log;
};
