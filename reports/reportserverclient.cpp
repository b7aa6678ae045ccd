#include "reports/reportserverclient.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include "reports/uploadmessage.h"

ReportServerClient::ReportServerClient(QObject *parent) : QObject(parent), manager(this)
{
    // Only the body decides, over plain HTTP; Qt 6 would follow a redirect
    // (to HTTPS, say) where Qt 5 does not.
    manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

void ReportServerClient::setServer(const QString &newHost, quint16 newPort)
{
    host = newHost;
    port = newPort;
}

void ReportServerClient::setTimeout(int milliseconds)
{
    timeoutMs = milliseconds;
}

QUrl ReportServerClient::endpoint() const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host);
    url.setPort(port);
    url.setPath(QString::fromLatin1(kReportServerPath));
    return url;
}

bool ReportServerClient::isReady()
{
    QUrl url = endpoint();
    url.setQuery(QStringLiteral("status"));
    return answerBeginsWith(waitForBody(manager.get(QNetworkRequest(url))), "SERVER_READY");
}

bool ReportServerClient::send(const QByteArray &formBody)
{
    QNetworkRequest request(endpoint());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    return answerBeginsWith(waitForBody(manager.post(request, formBody)), "MESSAGE_SENT");
}

QByteArray ReportServerClient::waitForBody(QNetworkReply *reply)
{
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec();
    // An aborted or failed request leaves no body, which no answer word matches.
    const QByteArray body = reply->error() == QNetworkReply::OperationCanceledError ? QByteArray() : reply->readAll();
    reply->deleteLater();
    return body;
}
