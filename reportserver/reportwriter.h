#pragma once

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "reportserver/reportdatabase.h"

// The one thread that writes reports. Requests hand in their report and
// wait; the writer commits whatever has gathered in one transaction, so that
// many senders share one commit (and one sync to disk), then answers each.
class ReportWriter
{
public:
    explicit ReportWriter(const ReportDatabase &database);
    ~ReportWriter();

    // Opens the writer's connection and migrates the schema.
    bool start(QString *error);
    // Blocks until the report is committed (true) or refused (false).
    bool store(StoredReport report);
    void stop();

private:
    struct Pending
    {
        StoredReport report;
        std::promise<bool> committed;
    };
    void loop();
    void commit(std::deque<Pending> &batch);

    const ReportDatabase &database;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Pending> queue;
    bool stopping = false;
};
