// The maker's pages in a real browser (headless chromium) and the way back
// from a report to a meter: the program's log of a simulated meter is
// uploaded, its telegram downloaded from the report's page, replayed by
// viviv-metersim --meter-file, and viviv-cli reads the same values again.
#include <QtTest>

#include <httplib.h>

#include "tests/common/helpers.h"
#include "tools/simulator/telegrams.h"

namespace {

constexpr char kPath[] = "/Updates/Updater/report.php";

struct Run
{
    QStringList log;
    QJsonObject values;
    int tests = 0;
};

// viviv-cli --json against viviv-metersim with the given arguments.
Run readMeter(const QStringList &simulator, const QStringList &cli)
{
    QTemporaryDir dir;
    QProcess meter;
    meter.start(METERSIM_PATH, simulator + QStringList{"--link", dir.filePath("zaehler"), "--quiet"});
    if (!meter.waitForReadyRead(10000))
        return {};
    QProcess program;
    program.start(CLI_PATH, cli + QStringList{"--port", dir.filePath("zaehler"), "--json"});
    program.waitForFinished(120000);
    meter.terminate();
    meter.waitForFinished(5000);
    const QJsonObject json = QJsonDocument::fromJson(program.readAllStandardOutput()).object();
    Run run;
    for (const QJsonValue &line : json["log"].toArray())
        run.log << line["text"].toString();
    run.values = json["values"].toObject();
    run.tests = json["tests"].toArray().size();
    return run;
}

bool upload(quint16 port, const QString &manufacturer, const QString &model, const QStringList &log)
{
    const QByteArray message = ("Hersteller: " + manufacturer + "\nModell: " + model + "\n\n" + log.join('\n')).toUtf8();
    httplib::Client client("127.0.0.1", port);
    const auto res = client.Post(kPath, ("viviv&subject=Viviv_Testprogramm&message=" + message.toBase64().toPercentEncoding()).toStdString(),
                                 "application/x-www-form-urlencoded");
    return res && res->body == "MESSAGE_SENT";
}

// The pages as chromium builds them, all loaded at once.
QStringList browse(quint16 port, const QStringList &paths)
{
    QTemporaryDir dir;
    std::vector<std::unique_ptr<QProcess>> browsers;
    for (int i = 0; i < paths.size(); ++i) {
        browsers.push_back(std::make_unique<QProcess>());
        browsers.back()->start("chromium", {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                                            "--disable-background-networking", "--disable-component-update", "--disable-sync",
                                            "--user-data-dir=" + dir.filePath(QString::number(i)), "--dump-dom",
                                            QString("http://127.0.0.1:%1%2").arg(port).arg(paths[i])});
    }
    QStringList doms;
    for (auto &b : browsers)
        doms << (b->waitForFinished(120000) ? QString::fromUtf8(b->readAllStandardOutput()) : QString());
    return doms;
}

int rowsOf(const QString &dom, const QString &table)
{
    const int start = dom.indexOf("<table id=\"" + table + "\">");
    return start < 0 ? -1 : dom.mid(start, dom.indexOf("</table>", start) - start).count("<tr>") - 1;
}

} // namespace

class ReportWebTest : public QObject
{
    Q_OBJECT

private slots:
    void pages();
    void replayedMeter_data();
    void replayedMeter();
};

void ReportWebTest::pages()
{
    if (QStandardPaths::findExecutable("chromium").isEmpty())
        QSKIP("chromium is not installed");
    LocalServer server;
    QVERIFY(server.start(REPORTSERVER_PATH, {}));
    const QStringList failedRs485{"Viviv Testprogramm v.1.19", "RS485: Test 1 mit Baud 9600 8E1 bidirektional:",
                                  "Sende:790304020003A4D8", "Ergebnis: Keine Daten"};
    const QStringList goodHead{"Viviv Testprogramm v.1.19", "Test 1 mit Baud 9600 8N1 unidirektional:",
                               "Ergebnis: " + QString::fromLatin1(metersim::telegrams::smlFile().toHex().toUpper())};
    QVERIFY(upload(server.port, "EasyMeter", "Q3A", goodHead));
    QVERIFY(upload(server.port, "Böse <b>GmbH</b> %1", "<script>document.title='gehackt'</script>", failedRs485));
    QVERIFY(upload(server.port, "Unbekannt", "X", {"Hallo"}));
    const QStringList doms = browse(server.webPort, {"/", "/?zubehoer=RS485-Konverter", "/?hersteller=easy&ergebnis=erfolgreich",
                                                     "/?ergebnis=nicht+lesbar", "/kompatibilitaet", "/bericht/2", "/bericht/1"});
    QCOMPARE(rowsOf(doms[0], "berichte"), 3);
    for (const QString &dom : doms) { // the hostile texts stay text: no script ran, no element came of them
        QVERIFY2(dom.contains("<title>") && !dom.contains("gehackt</title>") && !dom.contains("<b>GmbH"), qPrintable(dom));
        QVERIFY(!dom.contains("<script>"));
    }
    QVERIFY(doms[0].contains("&lt;script&gt;document.title='gehackt'&lt;/script&gt;"));
    QCOMPARE(rowsOf(doms[1], "berichte"), 1);
    QVERIFY(doms[1].contains("<td>Böse &lt;b&gt;GmbH&lt;/b&gt; %1</td>")); // no placeholder either
    QVERIFY(doms[1].contains("<a href=\"/bericht/2\">ansehen</a>"));
    QCOMPARE(rowsOf(doms[2], "berichte"), 1);
    QVERIFY(doms[2].contains("EasyMeter"));
    QCOMPARE(rowsOf(doms[3], "berichte"), 1);
    QVERIFY(doms[3].contains("<td>Unbekannt</td>"));
    QCOMPARE(rowsOf(doms[4], "kompatibilitaet"), 2);
    QVERIFY(doms[4].contains(QRegularExpression("<td>EasyMeter</td><td>Q3A</td><td>Lesekopf</td><td>SML</td><td>9600 8N1</td>"
                                                "<td class=\"gut\">1</td><td class=\"schlecht\">0</td>")));
    QVERIFY(doms[5].contains("<td>&lt;script&gt;document.title='gehackt'&lt;/script&gt;</td>"));
    QVERIFY(doms[5].contains("RS485: Test 1 mit Baud 9600 8E1 bidirektional:"));
    QVERIFY(!doms[5].contains("class=\"zaehler\"")); // no telegram, nothing to replay
    QVERIFY(doms[6].contains("<a class=\"zaehler\" href=\"/bericht/1/zaehler/1.json\" download=\"\">"));
}

void ReportWebTest::replayedMeter_data()
{
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QStringList>("cli");
    QTest::newRow("SML push, reading head test 1") << QStringList{"--meter", "ebz_dd3_2r06"} << QStringList{"--test", "1"};
    QTest::newRow("IEC mode C, reading head test 4") << QStringList{"--profile", "iec-mode-c"} << QStringList{"--test", "4"};
    QTest::newRow("Modbus RTU, RS485 test 1") << QStringList{"--profile", "modbus"}
                                              << QStringList{"--zubehoer", "rs485", "--zaehlernummer", "12345678"};
}

void ReportWebTest::replayedMeter()
{
    QFETCH(QStringList, simulator);
    QFETCH(QStringList, cli);
    LocalServer server;
    QVERIFY(server.start(REPORTSERVER_PATH, {}));
    const Run first = readMeter(simulator, cli);
    QVERIFY(!first.values.isEmpty());
    QVERIFY(upload(server.port, "Hersteller", "Modell", first.log));
    // The link on the report's page, for the test that read the values.
    httplib::Client client("127.0.0.1", server.webPort);
    const auto page = client.Get("/bericht/1");
    QVERIFY(page && page->status == 200);
    const QString link = QString("/bericht/1/zaehler/%1.json").arg(first.tests);
    QVERIFY(QString::fromStdString(page->body).contains("href=\"" + link + "\""));
    const auto file = client.Get(link.toStdString());
    QVERIFY(file && file->status == 200);
    QVERIFY(file->get_header_value("Content-Disposition").find("attachment") == 0);
    QFile meterFile(server.dir.filePath("zaehler.json"));
    QVERIFY(meterFile.open(QIODevice::WriteOnly) && meterFile.write(file->body.data(), qint64(file->body.size())) > 0);
    meterFile.close();
    const Run replayed = readMeter({"--meter-file", meterFile.fileName()}, cli);
    QCOMPARE(replayed.values, first.values);
}

QTEST_GUILESS_MAIN(ReportWebTest)
#include "tst_reportweb.moc"
