// Reports stored per second with SQLite and with PostgreSQL: one report per
// transaction as a single sender causes, and the whole server under a flood
// of 10 000 reports over 50 connections (reports per second, 99th percentile
// of the answer time, reports answered but not stored).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QFile>

#include "reportserver/reportdatabase.h"
#include "tools/reportload/flood.h"
#include "tools/reportload/scratchpostgres.h"

namespace {

enum Backend { kSqlite, kPostgres };

// One scratch database per backend for the whole run.
QString databaseFor(Backend backend, const QString &name)
{
    static QTemporaryDir dir;
    static ScratchPostgres pg;
    static bool pgUp = false;
    if (backend == kSqlite)
        return dir.filePath(name + ".sqlite");
    QString error;
    if (!pgUp && !(pgUp = pg.start(&error)))
        qFatal("%s", qPrintable(error));
    return pg.url();
}

StoredReport sampleReport(int i)
{
    const QByteArray body = QByteArray::fromPercentEncoding(floodBody(i));
    StoredReport r;
    r.received = QDateTime::currentDateTimeUtc();
    r.read = readReport(QByteArray::fromBase64(body.mid(body.indexOf("message=") + 8)));
    return r;
}

void BM_StoreOnePerTransaction(benchmark::State &state)
{
    DatabaseTarget target;
    QString error;
    DatabaseTarget::fromText(databaseFor(Backend(state.range(0)), "single"), &target, &error);
    const ReportDatabase db(target);
    if (!db.migrate(&error))
        state.SkipWithError(qPrintable(error));
    int i = 0;
    for (auto _ : state) {
        QVector<StoredReport> one{sampleReport(i++)};
        if (!db.store(one, &error))
            state.SkipWithError(qPrintable(error));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StoreOnePerTransaction)->Arg(kSqlite)->Arg(kPostgres)->ArgName("postgres")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Flood(benchmark::State &state)
{
    constexpr int kReports = 10000;
    constexpr int kConnections = 50;
    const Backend backend = Backend(state.range(0));
    const QString database = databaseFor(backend, "flood");
    for (auto _ : state) {
        // The access log goes to a file, read only for the port.
        QTemporaryDir logDir;
        QProcess server;
        server.setStandardOutputFile(logDir.filePath("log"));
        server.setStandardErrorFile(QProcess::nullDevice());
        server.start(REPORTSERVER_PATH, {"--listen", "127.0.0.1", "--port", "0", "--web-port", "0", "--database", database});
        QRegularExpressionMatch m;
        for (int i = 0; i < 100 && !m.hasMatch(); ++i) {
            QThread::msleep(100);
            QFile log(logDir.filePath("log"));
            log.open(QIODevice::ReadOnly);
            m = QRegularExpression("listening on 127.0.0.1:(\\d+)").match(QString::fromUtf8(log.readAll()));
        }
        std::atomic<int> port{m.captured(1).toInt()};
        std::atomic<int> acked{0};
        DatabaseTarget target;
        QString error;
        DatabaseTarget::fromText(database, &target, &error);
        const ReportDatabase db(target);
        const qint64 before = db.count();
        const FloodResult result = flood(port, kReports, kConnections, &acked, 10000);
        const qint64 stored = db.count() - before;
        server.kill();
        server.waitForFinished();
        state.counters["reports_per_s"] = result.reportsPerSecond();
        state.counters["p99_ms"] = result.percentileMs(99);
        state.counters["p50_ms"] = result.percentileMs(50);
        state.counters["acknowledged"] = result.acknowledged.size();
        state.counters["lost"] = double(std::max<qint64>(0, result.acknowledged.size() - stored));
    }
}
BENCHMARK(BM_Flood)->Arg(kSqlite)->Arg(kPostgres)->ArgName("postgres")->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
