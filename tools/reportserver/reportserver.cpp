#include "tools/reportserver/reportserver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QMap>
#include <QSaveFile>
#include <QTcpSocket>
#include <QTextStream>

#include <cstdio>

#include "tools/reportserver/formbody.h"

namespace {

constexpr char kPath[] = "/Updates/Updater/report.php";
constexpr int kMaxHeaderBytes = 16 * 1024;

struct StatusText
{
    int code;
    const char *reason;
};
constexpr StatusText kStatusTexts[] = {
    {200, "OK"}, {302, "Found"}, {400, "Bad Request"}, {404, "Not Found"}, {405, "Method Not Allowed"},
    {411, "Length Required"}, {413, "Payload Too Large"}, {415, "Unsupported Media Type"},
    {431, "Request Header Fields Too Large"}, {500, "Internal Server Error"},
};

const char *reasonOf(int code)
{
    for (const StatusText &s : kStatusTexts)
        if (s.code == code)
            return s.reason;
    return "Error";
}

QByteArray headerValue(const QList<QByteArray> &headerLines, const QByteArray &name)
{
    for (const QByteArray &line : headerLines) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

} // namespace

ReportServer::ReportServer(ReportServerOptions options, QObject *parent)
    : QTcpServer(parent), options(std::move(options))
{
    connect(this, &QTcpServer::newConnection, this, &ReportServer::onNewConnection);
}

void ReportServer::onNewConnection()
{
    while (QTcpSocket *socket = nextPendingConnection()) {
        buffers.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket]() {
            buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void ReportServer::onReadyRead(QTcpSocket *socket)
{
    if (!buffers.contains(socket))
        return; // answered already; the rest is ignored
    QByteArray &buffer = buffers[socket];
    buffer += socket->readAll();
    const QByteArray requestLine = buffer.left(buffer.indexOf("\r\n"));
    bool complete = false;
    const Response response = handle(buffer, complete);
    if (!complete)
        return;
    buffers.remove(socket);
    respond(socket, response, requestLine);
}

ReportServer::Response ReportServer::handle(QByteArray &buffer, bool &complete)
{
    complete = true;
    const int headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        complete = buffer.size() > kMaxHeaderBytes;
        return {431, "ERROR: header too large"};
    }
    QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    for (QByteArray &line : lines)
        line = line.trimmed();
    const QList<QByteArray> requestLine = lines.takeFirst().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1."))
        return {400, "ERROR: malformed request"};
    const QByteArray &method = requestLine.at(0);
    const QByteArray &target = requestLine.at(1);
    const int query = target.indexOf('?');
    if ((query < 0 ? target : target.left(query)) != kPath)
        return {404, "ERROR: unknown path"};

    if (method == "GET") {
        if (query < 0 || target.mid(query + 1) != "status")
            return {400, "ERROR: unknown query"};
        if (options.statusRedirects > 0) {
            --options.statusRedirects;
            return {302, "moved", target};
        }
        return {200, options.statusReply};
    }
    if (method != "POST")
        return {405, "ERROR: method not allowed"};
    if (!headerValue(lines, "content-type").startsWith("application/x-www-form-urlencoded"))
        return {415, "ERROR: form body expected"};
    bool ok = false;
    const qint64 length = headerValue(lines, "content-length").toLongLong(&ok);
    if (!ok || length < 0)
        return {411, "ERROR: length required"};
    if (length > options.maxBodyBytes)
        return {413, "ERROR: message too large"};
    const int bodyStart = headerEnd + 4;
    if (buffer.size() - bodyStart < length) {
        complete = false;
        return {};
    }
    return handlePost(buffer.mid(bodyStart, int(length)));
}

ReportServer::Response ReportServer::handlePost(const QByteArray &body)
{
    QMap<QByteArray, QByteArray> fields;
    if (!decodeFormBody(body, fields) || !fields.contains("message"))
        return {400, "ERROR: malformed form body"};
    const auto decoded = QByteArray::fromBase64Encoding(fields.value("message"), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return {400, "ERROR: message is not Base64"};
    if (!store(decoded.decoded))
        return {500, "ERROR: message not stored"};
    return {200, "MESSAGE_SENT"};
}

bool ReportServer::store(const QByteArray &message)
{
    // Time, process and counter keep names unique even for two servers on one directory.
    const QString name = QStringLiteral("message-%1-%2-%3.txt")
                             .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss")))
                             .arg(QCoreApplication::applicationPid())
                             .arg(++stored, 6, 10, QLatin1Char('0'));
    QSaveFile file(QDir(options.storeDir).filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(message) == message.size() && file.commit();
}

void ReportServer::respond(QTcpSocket *socket, const Response &response, const QByteArray &requestLine)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonOf(response.status) + "\r\n";
    out += "Content-Type: text/plain; charset=utf-8\r\n";
    out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    if (!response.location.isEmpty())
        out += "Location: " + response.location + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += response.body;
    // One access-log line per request, on standard output, before the answer leaves.
    std::printf("%d %s\n", response.status, requestLine.left(200).constData());
    std::fflush(stdout);
    socket->write(out);
    socket->disconnectFromHost();
}
