#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

struct ReportServerOptions
{
    QString storeDir;                         // one file per accepted message
    QByteArray statusReply = "SERVER_READY";  // answer to the readiness query
    qint64 maxBodyBytes = 1024 * 1024;        // larger posts are refused unread
    int statusRedirects = 0;                  // readiness queries sent back to themselves first
};

// The report endpoint over HTTP/1.1, one request per connection:
// GET <path>?status answers the status reply; POST <path> takes a form body
// whose "message" field is Base64 text, stores the decoded message and
// answers "MESSAGE_SENT". Anything else is answered with an error status.
class ReportServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit ReportServer(ReportServerOptions options, QObject *parent = nullptr);

private:
    struct Response
    {
        int status;
        QByteArray body;
        QByteArray location = {}; // of a redirect
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    // Sets complete to false while the request still lacks bytes.
    Response handle(QByteArray &buffer, bool &complete);
    Response handlePost(const QByteArray &body);
    bool store(const QByteArray &message);
    void respond(QTcpSocket *socket, const Response &response, const QByteArray &requestLine);

    ReportServerOptions options;
    QHash<QTcpSocket *, QByteArray> buffers;
    int stored = 0;
};
