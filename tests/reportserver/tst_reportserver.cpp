// The report server's program over HTTP on 127.0.0.1: what the endpoint
// refuses (and then stores nothing), a sender that stalls, the pages'
// password, and the flood with the server killed in the middle.
#include <QtTest>

#include <QTcpSocket>

#include <httplib.h>

#include <csignal>

#include "reportserver/reportdatabase.h"
#include "tests/common/helpers.h"
#include "tests/common/jsonrows.h"
#include "tools/reportload/flood.h"
#include "tools/reportload/scratchpostgres.h"

namespace {

constexpr char kPath[] = "/Updates/Updater/report.php";

qint64 storedIn(const LocalServer &server)
{
    DatabaseTarget target;
    target.file = server.database();
    return ReportDatabase(target).count();
}

// Sends raw bytes and returns what came back until the server closed.
QByteArray exchange(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(request);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000))
        answer += socket.readAll();
    return answer + socket.readAll();
}

} // namespace

class ReportServerTest : public QObject
{
    Q_OBJECT

private slots:
    void refused_data();
    void refused();
    void stalledSenderBlocksNoOne();
    void webPassword_data();
    void webPassword();
    void openPagesNeedAPassword();
    void floodAndKill_data();
    void floodAndKill();
};

void ReportServerTest::refused_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("status");
    const auto post = [](const QByteArray &type, const QByteArray &body) {
        return "POST " + QByteArray(kPath) + " HTTP/1.1\r\nHost: x\r\nContent-Type: " + type
               + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    };
    const QByteArray form = "application/x-www-form-urlencoded";
    QTest::newRow("not Base64") << post(form, "viviv&subject=Viviv_Testprogramm&message=SGFsbG8*") << QByteArray("400");
    QTest::newRow("broken percent escape") << post(form, "viviv&subject=Viviv_Testprogramm&message=SGFs%G0") << QByteArray("400");
    QTest::newRow("no message field") << post(form, "viviv&subject=Viviv_Testprogramm") << QByteArray("400");
    QTest::newRow("empty message") << post(form, "viviv&subject=Viviv_Testprogramm&message=") << QByteArray("400");
    QTest::newRow("not a form") << post("text/plain", "message=SGFsbG8=") << QByteArray("415");
    // Only the headers: the answer comes without the body ever being sent.
    QTest::newRow("too large, refused unread")
        << ("POST " + QByteArray(kPath) + " HTTP/1.1\r\nHost: x\r\nContent-Type: " + form
            + "\r\nContent-Length: 1048577\r\n\r\n")
        << QByteArray("413");
    QTest::newRow("chunked, refused unread")
        << ("POST " + QByteArray(kPath) + " HTTP/1.1\r\nHost: x\r\nContent-Type: " + form
            + "\r\nTransfer-Encoding: chunked\r\n\r\n")
        << QByteArray("411");
    QTest::newRow("status with another query")
        << ("GET " + QByteArray(kPath) + "?status=1 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n") << QByteArray("400");
}

void ReportServerTest::refused()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, status);
    LocalServer server;
    QVERIFY(server.start(REPORTSERVER_PATH, {}));
    const QByteArray answer = exchange(server.port, request);
    QVERIFY2(answer.startsWith("HTTP/1.1 " + status), answer.constData());
    QCOMPARE(storedIn(server), 0);
}

// A sender that stops in the middle of its headers holds one connection,
// not the server: a whole upload beside it is answered at once.
void ReportServerTest::stalledSenderBlocksNoOne()
{
    LocalServer server;
    QVERIFY(server.start(REPORTSERVER_PATH, {"--threads", "4"}));
    QList<QTcpSocket *> stalled;
    for (int i = 0; i < 3; ++i) {
        stalled << new QTcpSocket(this);
        stalled.last()->connectToHost(QHostAddress::LocalHost, server.port);
        QVERIFY(stalled.last()->waitForConnected(5000));
        stalled.last()->write("POST " + QByteArray(kPath) + " HTTP/1.1\r\nContent-Le");
        QVERIFY(stalled.last()->waitForBytesWritten(5000));
    }
    httplib::Client client("127.0.0.1", server.port);
    client.set_read_timeout(5, 0); // the server gives a stalled sender 10 s
    const auto res = client.Post(kPath, floodBody(1).toStdString(), "application/x-www-form-urlencoded");
    QVERIFY(res);
    QCOMPARE(QByteArray::fromStdString(res->body), QByteArray("MESSAGE_SENT"));
    QCOMPARE(storedIn(server), 1);
    qDeleteAll(stalled);
}

void ReportServerTest::webPassword_data()
{
    QTest::addColumn<QByteArray>("credentials");
    QTest::addColumn<int>("status");
    QTest::newRow("none") << QByteArray() << 401;
    QTest::newRow("wrong") << QByteArray("berichte:Zaehler") << 401;
    QTest::newRow("one character more") << QByteArray("berichte:Zähler!!") << 401;
    QTest::newRow("right, any user") << QByteArray("jemand:Zähler!") << 200;
}

void ReportServerTest::webPassword()
{
    QFETCH(QByteArray, credentials);
    QFETCH(int, status);
    LocalServer server;
    QFile file(server.dir.filePath("passwort"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("Zähler!\n") > 0);
    file.close();
    QVERIFY(server.start(REPORTSERVER_PATH, {"--web-password-file", file.fileName()}));
    httplib::Client client("127.0.0.1", server.webPort);
    httplib::Headers headers;
    if (!credentials.isEmpty())
        headers.emplace("Authorization", "Basic " + credentials.toBase64().toStdString());
    const auto res = client.Get("/kompatibilitaet", headers);
    QVERIFY(res);
    QCOMPARE(res->status, status);
    QCOMPARE(QByteArray::fromStdString(res->body).contains("<table id=\"kompatibilitaet\">"), status == 200);
}

// Pages reachable from other machines without a password: no start at all.
void ReportServerTest::openPagesNeedAPassword()
{
    QTemporaryDir dir;
    QProcess p;
    p.start(REPORTSERVER_PATH, {"--web-listen", "0.0.0.0", "--port", "0", "--web-port", "0", "--database",
                                dir.filePath("b.sqlite")});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardError().contains("--web-password-file"));
    QVERIFY(!QFile::exists(dir.filePath("b.sqlite")));
}

void ReportServerTest::floodAndKill_data()
{
    QTest::addColumn<bool>("postgres");
    QTest::newRow("SQLite") << false;
    QTest::newRow("PostgreSQL") << true;
}

// 10 000 reports over 50 connections; the server is killed when half are
// answered and started again. Every report answered MESSAGE_SENT is there.
void ReportServerTest::floodAndKill()
{
    QFETCH(bool, postgres);
    constexpr int kReports = 10000;
    constexpr int kConnections = 50;
    ScratchPostgres pg;
    QString error;
    if (postgres && !ScratchPostgres::available())
        QSKIP("PostgreSQL 15 is not installed");
    QVERIFY2(!postgres || pg.start(&error), qPrintable(error));
    QStringList args;
    if (postgres)
        args << "--database" << pg.url();
    auto server = std::make_unique<LocalServer>();
    QVERIFY(server->start(REPORTSERVER_PATH, args));
    std::atomic<int> port{server->port};
    std::atomic<int> acked{0};
    FloodResult result;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        result = flood(port, kReports, kConnections, &acked, 30000);
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(acked >= kReports / 2, 120000);
    ::kill(pid_t(server->process.processId()), SIGKILL);
    server->process.waitForFinished(5000);
    LocalServer restarted; // the same database, a new port
    if (!postgres)
        args << "--database" << server->database();
    QVERIFY(restarted.start(REPORTSERVER_PATH, args));
    port = restarted.port;
    // Waits with the event loop running: it reads the servers' access logs.
    QTRY_VERIFY_WITH_TIMEOUT(done, 200000);
    sender.join();
    qInfo("%d acknowledged in %.1f s, %d posts failed", int(result.acknowledged.size()), result.seconds, result.failedPosts);
    QCOMPARE(result.acknowledged.size(), kReports); // those cut off were sent again and answered

    DatabaseTarget target;
    QVERIFY(DatabaseTarget::fromText(postgres ? pg.url() : server->database(), &target, &error));
    const ReportDatabase db(target);
    QSet<int> stored;
    for (qint64 before = 0;;) {
        const QVector<ReportRow> rows = db.reports({{}, {}, {}, {}, before, 5000});
        for (const ReportRow &r : rows)
            stored.insert(r.model.mid(5).toInt()); // "Flut <i>"
        if (rows.size() < 5000)
            break;
        before = rows.last().id;
    }
    for (int i : result.acknowledged)
        QVERIFY2(stored.contains(i), qPrintable(QString("report %1 answered but lost").arg(i)));
    QVERIFY(db.count() <= kReports + result.failedPosts); // a report is stored at most once per post
}

QTEST_GUILESS_MAIN(ReportServerTest)
#include "tst_reportserver.moc"
