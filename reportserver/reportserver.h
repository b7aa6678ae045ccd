#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <thread>

#include "reportserver/reportdatabase.h"
#include "reportserver/reportwriter.h"

namespace httplib {
class Server;
}

struct ReportServerOptions
{
    QString listen = QStringLiteral("0.0.0.0"); // the endpoint faces the users
    int port = 8080;                            // 0: a free one
    QString webListen = QStringLiteral("127.0.0.1");
    int webPort = 8081;
    QString webPassword; // empty: no password (only on a loopback address)
    DatabaseTarget database;
    QByteArray statusReply = "SERVER_READY"; // answer to the readiness query
    int statusRedirects = 0;                  // readiness queries sent back to themselves first
    qint64 maxBodyBytes = 1024 * 1024;        // larger posts are refused unread
    int threads = 64;                         // per listener: one connection each at a time
};

// The maker's report inbox: the upload endpoint (GET <path>?status, POST
// <path> with the form body) and the web pages, each on its own listener,
// over cpp-httplib; the reports go to the database through one writer.
class ReportServer
{
public:
    explicit ReportServer(ReportServerOptions options);
    ~ReportServer();

    bool start(QString *error);
    void stop();
    int port() const { return endpointPort; }
    int webPort() const { return pagesPort; }

private:
    void installEndpoint();

    ReportServerOptions options;
    ReportDatabase database;
    ReportWriter writer;
    std::unique_ptr<httplib::Server> endpoint;
    std::unique_ptr<httplib::Server> pages;
    std::thread endpointThread;
    std::thread pagesThread;
    std::atomic<int> redirectsLeft{0};
    int endpointPort = 0;
    int pagesPort = 0;
};
