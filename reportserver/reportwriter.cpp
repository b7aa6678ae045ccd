#include "reportserver/reportwriter.h"

#include <cstdio>

namespace {
// Large enough that a flood shares commits, small enough that one
// transaction stays short.
constexpr std::size_t kMaxBatch = 500;
} // namespace

ReportWriter::ReportWriter(const ReportDatabase &database) : database(database) {}

ReportWriter::~ReportWriter()
{
    stop();
}

bool ReportWriter::start(QString *error)
{
    std::promise<bool> ready;
    std::future<bool> started = ready.get_future();
    thread = std::thread([this, &ready, error] {
        const bool ok = database.migrate(error);
        ready.set_value(ok);
        if (ok)
            loop();
    });
    if (started.get())
        return true;
    thread.join();
    return false;
}

bool ReportWriter::store(StoredReport report)
{
    std::future<bool> done;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping || !thread.joinable())
            return false;
        queue.push_back(Pending{std::move(report), {}});
        done = queue.back().committed.get_future();
    }
    wake.notify_one();
    return done.get();
}

void ReportWriter::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    if (thread.joinable())
        thread.join();
}

void ReportWriter::loop()
{
    for (;;) {
        std::deque<Pending> batch;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return stopping || !queue.empty(); });
            if (queue.empty())
                return; // stopping, and everything handed in is answered
            while (!queue.empty() && batch.size() < kMaxBatch) {
                batch.push_back(std::move(queue.front()));
                queue.pop_front();
            }
        }
        commit(batch);
    }
}

void ReportWriter::commit(std::deque<Pending> &batch)
{
    QVector<StoredReport> reports;
    for (Pending &p : batch)
        reports.append(p.report);
    QString error;
    if (database.store(reports, &error)) {
        for (Pending &p : batch)
            p.committed.set_value(true);
        return;
    }
    // One bad report must not cost the others: each alone, on a fresh
    // connection in case the database server went away meanwhile.
    std::fprintf(stderr, "reports not stored together: %s\n", qPrintable(error));
    database.reconnect();
    for (Pending &p : batch) {
        QVector<StoredReport> one{p.report};
        QString oneError;
        const bool ok = database.store(one, &oneError);
        if (!ok)
            std::fprintf(stderr, "report not stored: %s\n", qPrintable(oneError));
        p.committed.set_value(ok);
    }
}
