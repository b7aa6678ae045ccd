#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

#include "reports/reportserveraddress.h"

class QNetworkReply;
class QUrl;

// The maker's report server: plain HTTP, at the address the program was built with.
constexpr char kReportServerPath[] = "/Updates/Updater/report.php";
// A request that has not finished by then ends like a network failure.
constexpr int kReportRequestTimeoutMs = 15000;

// Talks to the report endpoint, waiting for each answer in a local event loop
// so the window keeps repainting.
class ReportServerClient : public QObject
{
    Q_OBJECT

public:
    explicit ReportServerClient(QObject *parent = nullptr);

    void setServer(const QString &host, quint16 port);
    void setTimeout(int milliseconds);

    // GET ...report.php?status; true when the answer begins with "SERVER_READY".
    bool isReady();
    // POST of a form body; true when the answer begins with "MESSAGE_SENT".
    bool send(const QByteArray &formBody);

private:
    QUrl endpoint() const;
    // The reply's whole body; empty after a network failure or a time-out.
    QByteArray waitForBody(QNetworkReply *reply);

    QNetworkAccessManager manager;
    QString host = QString::fromLatin1(kReportServerHost);
    quint16 port = kReportServerPort;
    int timeoutMs = kReportRequestTimeoutMs;
};
