// The result upload against the real report server on 127.0.0.1.
#include <QApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTest>

#include "modalresponder.h"
#include "reportserverprocess.h"
#include "resultupload.h"
#include "senddialog.h"

Q_DECLARE_METATYPE(QList<DialogAnswer>)

namespace {

const QString kNotSent = QStringLiteral("Nachricht konnte nicht gesendet werden. Bitte prüfen Sie Ihre "
                                        "Internetverbindung bzw. versuchen Sie es zu einem späteren Zeitpunkt wieder.");
const QString kSent = QStringLiteral("Nachricht erfolgreich gesendet! Vielen Dank!");
// The window's product word, distinct from the fixed "Viviv" titles.
const QString kProduct = QStringLiteral("Dededodo");

struct UploadRun
{
    QList<SeenMessageBox> boxes;
    int dialogsShown;
    QStringList dialogTitles;
};

UploadRun upload(quint16 port, const QList<DialogAnswer> &answers, const QString &log, senddialog *&dialog,
                 int timeoutMs = 10000)
{
    QWidget window;
    ModalResponder responder(answers);
    ResultUpload result(&window, kProduct);
    result.server().setServer(QStringLiteral("127.0.0.1"), port);
    result.server().setTimeout(timeoutMs);
    result.run(dialog, log);
    return {responder.boxes, responder.dialogsShown, responder.dialogTitles};
}

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // nothing listens there once probe is gone
}

int postRaw(quint16 port, const QByteArray &body, const QByteArray &contentType)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/Updates/Updater/report.php").arg(port)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    QNetworkReply *reply = manager.post(request, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    delete reply;
    return status;
}

} // namespace

class UploadTest : public QObject
{
    Q_OBJECT

private slots:
    void sendsMessage_data();
    void sendsMessage();
    void reportsOutcome_data();
    void reportsOutcome();
    void validatesDialog_data();
    void validatesDialog();
    void cancelledDialogSendsNothing();
    void serverRefusesBadBodies_data();
    void serverRefusesBadBodies();
};

void UploadTest::sendsMessage_data()
{
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("base64Chars"); // the row is only meaningful if these occur

    QTest::newRow("plain text") << "Itron" << "ACE3000 Typ 260" << "SML Test\nErgebnis: erfolgreich"
                                << QByteArray("Hersteller: Itron\nModell: ACE3000 Typ 260\n\nSML Test\nErgebnis: erfolgreich")
                                << QByteArray();
    QTest::newRow("umlauts as UTF-8") << QStringLiteral("Zähler-Öl AG") << QStringLiteral("Größe ÄÜ") << "ß"
                                      << QByteArray("Hersteller: Z\xC3\xA4hler-\xC3\x96l AG\nModell: Gr\xC3\xB6\xC3\x9F"
                                                    "e \xC3\x84\xC3\x9C\n\n\xC3\x9F")
                                      << QByteArray();
    QTest::newRow("plus and slash in Base64") << "A" << "B" << "~~~~~~?????? = & %"
                                              << QByteArray("Hersteller: A\nModell: B\n\n~~~~~~?????? = & %")
                                              << QByteArray("+/");
    QTest::newRow("999 characters stay one line") << "A" << "B" << QString(999, QLatin1Char('x'))
                                                  << QByteArray("Hersteller: A\nModell: B\n\n") + QByteArray(999, 'x')
                                                  << QByteArray();
    QTest::newRow("1500 characters: 999 and 501")
        << "A" << "B" << QString(1500, QLatin1Char('x'))
        << QByteArray("Hersteller: A\nModell: B\n\n") + QByteArray(999, 'x') + '\n' + QByteArray(501, 'x') << QByteArray();
    QTest::newRow("2500 characters: 999, 1000 and 501")
        << "A" << "B" << QString(2500, QLatin1Char('x'))
        << QByteArray("Hersteller: A\nModell: B\n\n") + QByteArray(999, 'x') + '\n' + QByteArray(1000, 'x') + '\n'
               + QByteArray(501, 'x')
        << QByteArray();
    QTest::newRow("line feed restarts the count")
        << "A" << "B" << QStringLiteral("Kopf\n") + QString(1000, QLatin1Char('y'))
        << QByteArray("Hersteller: A\nModell: B\n\nKopf\n") + QByteArray(999, 'y') + "\ny" << QByteArray();
}

void UploadTest::sendsMessage()
{
    QFETCH(QString, manufacturer);
    QFETCH(QString, model);
    QFETCH(QString, log);
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, base64Chars);
    for (const char c : base64Chars)
        QVERIFY(stored.toBase64().contains(c));

    ReportServerProcess server;
    QVERIFY(server.start());
    senddialog *dialog = nullptr;
    const UploadRun run = upload(server.port(), {{manufacturer, model, true}}, log, dialog);

    QCOMPARE(run.boxes.size(), 1);
    QCOMPARE(run.boxes[0].icon, QMessageBox::Information);
    QCOMPARE(run.boxes[0].title, QStringLiteral("Viviv Testprogramm"));
    QCOMPARE(run.boxes[0].text, kSent);
    const QStringList files = server.storedFiles();
    QCOMPARE(files.size(), 1);
    QCOMPARE(server.storedMessage(files.first()), stored);
    QVERIFY(dialog); // kept until the next upload
    delete dialog;
}

enum class Server { Answering, Hung, Unreachable };
Q_DECLARE_METATYPE(Server)

void UploadTest::reportsOutcome_data()
{
    QTest::addColumn<Server>("server");
    QTest::addColumn<QStringList>("serverArgs");
    QTest::addColumn<QString>("failureTitle"); // empty when the message arrives
    const QString notReady = kProduct + " Testprogramm";
    const auto status = [](const char *reply) { return QStringList{QStringLiteral("--status-reply"), reply}; };
    QTest::newRow("ready") << Server::Answering << status("SERVER_READY") << QString();
    QTest::newRow("ready, line end and more") << Server::Answering << status("SERVER_READY\r\nWartung") << QString();
    QTest::newRow("lower case: not ready") << Server::Answering << status("server_ready") << notReady;
    QTest::newRow("leading blank: not ready") << Server::Answering << status(" SERVER_READY") << notReady;
    QTest::newRow("other word: not ready") << Server::Answering << status("SERVER_BUSY") << notReady;
    QTest::newRow("not reachable") << Server::Unreachable << QStringList{} << notReady;
    QTest::newRow("hangs: time-out") << Server::Hung << QStringList{} << notReady;
    QTest::newRow("post refused: too large")
        << Server::Answering << QStringList{QStringLiteral("--max-body"), QStringLiteral("64")}
        << QStringLiteral("Viviv Testprogramm");
}

void UploadTest::reportsOutcome()
{
    QFETCH(Server, server);
    QFETCH(QStringList, serverArgs);
    QFETCH(QString, failureTitle);
    ReportServerProcess process;
    QVERIFY(process.start(serverArgs));
    if (server == Server::Hung)
        process.pause();
    const quint16 port = server == Server::Unreachable ? closedPort() : process.port();

    senddialog *dialog = nullptr;
    const UploadRun run = upload(port, {{QStringLiteral("Itron"), QStringLiteral("ACE3000"), true}},
                                 QString(200, QLatin1Char('z')), dialog, server == Server::Hung ? 500 : 10000);
    delete dialog;
    process.resume();

    const bool sent = failureTitle.isEmpty();
    QCOMPARE(run.boxes.size(), 1);
    QCOMPARE(run.boxes[0].icon, sent ? QMessageBox::Information : QMessageBox::Warning);
    QCOMPARE(run.boxes[0].title, sent ? QStringLiteral("Viviv Testprogramm") : failureTitle);
    QCOMPARE(run.boxes[0].text, sent ? kSent : kNotSent);
    QCOMPARE(process.storedFiles().size(), sent ? 1 : 0);
}

void UploadTest::validatesDialog_data()
{
    QTest::addColumn<QList<DialogAnswer>>("answers");
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<QByteArray>("stored");
    const QString manufacturerMissing = QStringLiteral("Bitte geben Sie den Hersteller des Zählers ein");
    const QString modelMissing = QStringLiteral("Bitte geben Sie die Modellbezeichnung des Zählers ein");
    QTest::newRow("manufacturer missing")
        << QList<DialogAnswer>{{"", "M", true}, {"H", "M", true}} << QStringList{manufacturerMissing}
        << QByteArray("Hersteller: H\nModell: M\n\nLog");
    QTest::newRow("model missing") << QList<DialogAnswer>{{"H", "", true}, {"H", "M", true}}
                                   << QStringList{modelMissing} << QByteArray("Hersteller: H\nModell: M\n\nLog");
    QTest::newRow("both missing, then model") << QList<DialogAnswer>{{"", "", true}, {"H", "", true}, {"H", "M", true}}
                                              << QStringList{manufacturerMissing, modelMissing}
                                              << QByteArray("Hersteller: H\nModell: M\n\nLog");
    QTest::newRow("blanks count as filled") << QList<DialogAnswer>{{" ", "  ", true}} << QStringList{}
                                            << QByteArray("Hersteller:  \nModell:   \n\nLog");
}

void UploadTest::validatesDialog()
{
    QFETCH(QList<DialogAnswer>, answers);
    QFETCH(QStringList, warnings);
    QFETCH(QByteArray, stored);
    ReportServerProcess server;
    QVERIFY(server.start());
    senddialog *dialog = nullptr;
    const UploadRun run = upload(server.port(), answers, QStringLiteral("Log"), dialog);
    delete dialog;

    QCOMPARE(run.dialogsShown, answers.size()); // the dialog stayed open after each warning
    QCOMPARE(run.boxes.size(), warnings.size() + 1);
    for (int i = 0; i < warnings.size(); ++i) {
        QCOMPARE(run.boxes[i].icon, QMessageBox::Warning);
        QCOMPARE(run.boxes[i].title, QStringLiteral("Viviv Testprogramm"));
        QCOMPARE(run.boxes[i].text, warnings[i]);
    }
    QCOMPARE(run.boxes.last().text, kSent);
    QCOMPARE(server.storedFiles().size(), 1);
    QCOMPARE(server.storedMessage(server.storedFiles().first()), stored);
}

void UploadTest::cancelledDialogSendsNothing()
{
    ReportServerProcess server;
    QVERIFY(server.start());
    senddialog *dialog = nullptr;
    upload(server.port(), {{QStringLiteral("H"), QStringLiteral("M"), true}}, QStringLiteral("Log"), dialog);
    QPointer<senddialog> previous = dialog;
    QVERIFY(previous);
    const int requestsBefore = server.requests().size();

    const UploadRun run = upload(server.port(), {{QStringLiteral("H"), QStringLiteral("M"), false}},
                                 QStringLiteral("Log"), dialog);

    QCOMPARE(run.dialogTitles, QStringList{QStringLiteral("Ergebnis an Zoruvari Rareravivu senden")});
    QVERIFY(run.boxes.isEmpty());
    QVERIFY(!dialog);
    QVERIFY(!previous); // the last upload's dialog is gone too
    QCOMPARE(server.requests().size(), requestsBefore);
    QCOMPARE(server.storedFiles().size(), 1);
}

void UploadTest::serverRefusesBadBodies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<int>("status");
    const QByteArray form = "application/x-www-form-urlencoded";
    const QByteArray prefix = "viviv&subject=Viviv_Testprogramm&message=";
    QTest::newRow("well-formed") << prefix + "SGFsbG8%3D" << form << 200;
    // A literal "+" is read as a blank by the form decoder: no longer Base64.
    QTest::newRow("Base64 not percent-encoded") << prefix + "fn5+" << form << 400;
    QTest::newRow("no message field") << QByteArray("viviv&subject=Viviv_Testprogramm") << form << 400;
    QTest::newRow("broken percent escape") << prefix + "SGFsbG8%3" << form << 400;
    QTest::newRow("not Base64") << prefix + "%21%21%21%21" << form << 400;
    QTest::newRow("empty message") << prefix << form << 400;
    QTest::newRow("over the size limit") << prefix + QByteArray(1000, 'Q') << form << 413;
    QTest::newRow("not a form") << prefix + "SGFsbG8%3D" << QByteArray("text/plain") << 415;
}

void UploadTest::serverRefusesBadBodies()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(int, status);
    ReportServerProcess server;
    QVERIFY(server.start({QStringLiteral("--max-body"), QStringLiteral("1000")}));

    QCOMPARE(postRaw(server.port(), body, contentType), status);
    const QStringList files = server.storedFiles();
    QCOMPARE(files.size(), status == 200 ? 1 : 0);
    if (status == 200)
        QCOMPARE(server.storedMessage(files.first()), QByteArray("Hallo"));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    UploadTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_upload.moc"
