#pragma once

#include <QString>
#include <QTemporaryDir>

// A throw-away PostgreSQL server on 127.0.0.1 for tests and benchmarks:
// Debian's initdb and pg_ctl in a temporary directory, with trust
// authentication for the user "viviv". PostgreSQL refuses to run as root,
// so under root it runs as "nobody".
class ScratchPostgres
{
public:
    ~ScratchPostgres();
    // False with the reason when the binaries are missing or it fails.
    bool start(QString *error);
    static bool available();
    QString url() const; // postgresql://viviv@127.0.0.1:<port>/postgres

private:
    bool run(const QStringList &command, QString *error) const;

    QTemporaryDir dir;
    int port = 0;
    bool running = false;
};
