// viviv-reportserver: receives the results that users send from the test program.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>

#include <cstdio>

#include "tools/reportserver/reportserver.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Report server: stores each received result as one file."));
    parser.addHelpOption();
    const QCommandLineOption dirOption(QStringLiteral("dir"), QStringLiteral("Directory for the messages."),
                                       QStringLiteral("path"));
    const QCommandLineOption listenOption(QStringLiteral("listen"), QStringLiteral("Address to listen on."),
                                          QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port; 0 picks a free one."),
                                        QStringLiteral("port"), QStringLiteral("8080"));
    const QCommandLineOption maxOption(QStringLiteral("max-body"), QStringLiteral("Largest accepted body in bytes."),
                                       QStringLiteral("bytes"), QStringLiteral("1048576"));
    const QCommandLineOption statusOption(QStringLiteral("status-reply"),
                                          QStringLiteral("Answer to the readiness query, e.g. during maintenance."),
                                          QStringLiteral("text"), QStringLiteral("SERVER_READY"));
    const QCommandLineOption redirectOption(QStringLiteral("status-redirects"),
                                            QStringLiteral("Answer the first n readiness queries with a redirect to themselves."),
                                            QStringLiteral("n"), QStringLiteral("0"));
    parser.addOptions({dirOption, listenOption, portOption, maxOption, statusOption, redirectOption});
    parser.process(app);

    ReportServerOptions options;
    options.storeDir = parser.value(dirOption);
    options.statusReply = parser.value(statusOption).toUtf8();
    bool maxOk = false;
    options.maxBodyBytes = parser.value(maxOption).toLongLong(&maxOk);
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    bool redirectsOk = false;
    options.statusRedirects = parser.value(redirectOption).toInt(&redirectsOk);
    if (options.storeDir.isEmpty() || !QDir(options.storeDir).exists() || !maxOk || !portOk || port > 65535
        || !redirectsOk) {
        std::fprintf(stderr, "usage: viviv-reportserver --dir <existing directory> [--listen address] [--port n] "
                             "[--max-body n] [--status-reply text] [--status-redirects n]\n");
        return 2;
    }

    ReportServer server(options);
    if (!server.listen(QHostAddress(parser.value(listenOption)), quint16(port))) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    std::printf("listening on %s:%u\n", qPrintable(server.serverAddress().toString()), server.serverPort());
    std::fflush(stdout);
    return app.exec();
}
