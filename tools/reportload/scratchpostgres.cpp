#include "tools/reportload/scratchpostgres.h"

#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {
bool runningAsRoot()
{
#ifdef Q_OS_UNIX
    return ::getuid() == 0;
#else
    return false;
#endif
}

constexpr char kBin[] = "/usr/lib/postgresql/15/bin/";

QString bin(const char *tool)
{
    return QLatin1String(kBin) + QLatin1String(tool);
}
} // namespace

bool ScratchPostgres::available()
{
    return QFileInfo(bin("initdb")).isExecutable() && QFileInfo(bin("pg_ctl")).isExecutable();
}

bool ScratchPostgres::run(const QStringList &command, QString *error) const
{
    QStringList args = command;
    QString program = args.takeFirst();
    if (runningAsRoot()) {
        args = QStringList{QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"), program} + args;
        program = QStringLiteral("runuser");
    }
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(program, args);
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    *error = command.join(QLatin1Char(' ')) + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAllStandardError());
    return false;
}

bool ScratchPostgres::start(QString *error)
{
    if (!available()) {
        *error = QStringLiteral("PostgreSQL 15 is not installed (%1)").arg(bin("initdb"));
        return false;
    }
    if (runningAsRoot() && QProcess::execute(QStringLiteral("chown"), {QStringLiteral("nobody"), dir.path()}) != 0) {
        *error = QStringLiteral("cannot hand %1 to nobody").arg(dir.path());
        return false;
    }
    { // a free port; the moment between closing it and the server taking it is short
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    const QString data = dir.filePath(QStringLiteral("data"));
    if (!run({bin("initdb"), QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("viviv"),
              QStringLiteral("--auth=trust"), QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--no-sync")},
             error))
        return false;
    const QString settings = QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -k %2 -c max_connections=200")
                                 .arg(port)
                                 .arg(dir.path());
    running = run({bin("pg_ctl"), QStringLiteral("-D"), data, QStringLiteral("-o"), settings, QStringLiteral("-l"),
                   dir.filePath(QStringLiteral("log")), QStringLiteral("-w"), QStringLiteral("start")},
                  error);
    return running;
}

ScratchPostgres::~ScratchPostgres()
{
    QString error;
    if (running)
        run({bin("pg_ctl"), QStringLiteral("-D"), dir.filePath(QStringLiteral("data")), QStringLiteral("-m"),
             QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")},
            &error);
}

QString ScratchPostgres::url() const
{
    return QStringLiteral("postgresql://viviv@127.0.0.1:%1/postgres").arg(port);
}
