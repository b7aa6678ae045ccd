// What the server reads from an uploaded log (rows: testdata/reportserver/
// logs.json, logs the program wrote against simulated meters, with the values
// it showed), and the database with SQLite and with a real PostgreSQL server.
#include <QtTest>

#include "reportserver/reportdatabase.h"
#include "tests/common/jsonrows.h"
#include "tools/reportload/scratchpostgres.h"

class ReportStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void readReport_data() { addJsonRows("reportserver/logs.json", __func__); }
    void readReport();
    void database_data();
    void database();
};

void ReportStoreTest::readReport()
{
    QFETCH(QJsonObject, row);
    const ReadReport r = ::readReport(strings(row["message"]).join('\n').toUtf8());
    QCOMPARE(r.readable, row["readable"].toBool());
    QCOMPARE(r.programVersion, row["version"].toString());
    QCOMPARE(r.accessory, row["accessory"].toString());
    QCOMPARE(r.verdict, row["verdict"].toString());
    const QJsonArray tests = row["tests"].toArray();
    QCOMPARE(r.tests.size(), tests.size());
    for (int i = 0; i < tests.size(); ++i) {
        const QJsonObject t = tests[i].toObject();
        QCOMPARE(r.tests[i].number, t["number"].toInt());
        QCOMPARE(r.tests[i].protocol, t["protocol"].toString());
        QCOMPARE(r.tests[i].portSetting, t["portSetting"].toString());
        QCOMPARE(r.tests[i].verdict, t["verdict"].toString());
    }
    // The values the program showed, from the good test.
    QJsonObject values;
    for (const ReadTest &t : r.tests)
        for (const ReadValue &v : t.values)
            values.insert(v.code, v.value);
    const QJsonObject shown = row["values"].toObject();
    QCOMPARE(values.keys(), shown.keys());
    for (const QString &code : values.keys())
        QVERIFY2(qAbs(values[code].toDouble() - shown[code].toDouble()) < 1e-6, qPrintable(code));
}

void ReportStoreTest::database_data()
{
    QTest::addColumn<bool>("postgres");
    QTest::newRow("SQLite") << false;
    QTest::newRow("PostgreSQL") << true;
}

// The same schema, migration and queries on both databases.
void ReportStoreTest::database()
{
    QFETCH(bool, postgres);
    QTemporaryDir dir;
    ScratchPostgres server;
    QString error;
    if (postgres && !ScratchPostgres::available())
        QSKIP("PostgreSQL 15 is not installed");
    QVERIFY2(!postgres || server.start(&error), qPrintable(error));
    DatabaseTarget target;
    QVERIFY(DatabaseTarget::fromText(postgres ? server.url() : dir.filePath("b.sqlite"), &target, &error));
    const ReportDatabase db(target);

    // A database of the first version keeps its reports when brought up to date.
    QVERIFY2(db.migrateTo(1, &error), qPrintable(error));
    QCOMPARE(db.schemaVersion(), 1);
    const QJsonArray logs = jsonFile("reportserver/logs.json")["readReport"].toArray();
    const auto reportOf = [&logs](int row, const QString &manufacturer, const QString &model) {
        StoredReport r;
        r.received = QDateTime(QDate(2026, 3, 1 + row), QTime(12, 0), Qt::UTC);
        const QStringList log = strings(logs[row]["message"]).mid(3);
        r.read = ::readReport(("Hersteller: " + manufacturer + "\nModell: " + model + "\n\n" + log.join('\n')).toUtf8());
        return r;
    };
    const QString hostile = "Robert'); DROP TABLE reports;--";
    QVector<StoredReport> first{reportOf(0, "EasyMeter", "Q3A"), reportOf(3, hostile, "<script>alert(1)</script>")};
    QVERIFY2(db.store(first, &error), qPrintable(error));
    QVERIFY2(db.migrate(&error), qPrintable(error));
    QCOMPARE(db.schemaVersion(), ReportDatabase::currentSchemaVersion());
    QVector<StoredReport> more{reportOf(0, "easymeter", "Q3A"), reportOf(4, "ABB", "B23")};
    more.append(StoredReport{0, QDateTime(QDate(2026, 4, 1), QTime(8, 0), Qt::UTC), ::readReport(QByteArray("kein Bericht\0!", 14))});
    QVERIFY2(db.store(more, &error), qPrintable(error));
    QCOMPARE(db.count(), 5);

    const auto ids = [&db](ReportFilter f) {
        QList<qint64> list;
        for (const ReportRow &r : db.reports(f))
            list << r.id;
        return list;
    };
    const qint64 a = first[0].id, b = first[1].id, c = more[0].id, d = more[1].id, e = more[2].id;
    QCOMPARE(ids({}), (QList<qint64>{e, d, c, b, a})); // newest first
    QCOMPARE(ids({"EASY", {}, {}, {}, 0, 100}), (QList<qint64>{c, a}));
    QCOMPARE(ids({"'); DROP", {}, {}, {}, 0, 100}), (QList<qint64>{b}));
    QCOMPARE(ids({{}, "%", {}, {}, 0, 100}), QList<qint64>()); // a wildcard is a character
    QCOMPARE(ids({{}, {}, accessory::kRs485, {}, 0, 100}), (QList<qint64>{d, b}));
    QCOMPARE(ids({{}, {}, {}, verdict::kFailed, 0, 100}), (QList<qint64>{d}));
    QCOMPARE(ids({{}, {}, {}, verdict::kUnreadable, 0, 100}), (QList<qint64>{e}));
    QCOMPARE(ids({{}, {}, {}, {}, c, 2}), (QList<qint64>{b, a}));

    StoredReport back;
    QVERIFY(db.report(b, &back));
    QCOMPARE(back.read.manufacturer, hostile);
    QCOMPARE(back.read.model, QString("<script>alert(1)</script>"));
    QCOMPARE(back.received, first[1].received);
    QCOMPARE(back.read.message, first[1].read.message);
    QCOMPARE(back.read.tests.size(), 1);
    QCOMPARE(back.read.tests[0].telegram, first[1].read.tests[0].telegram);
    QCOMPARE(back.read.tests[0].values.size(), first[1].read.tests[0].values.size());
    QCOMPARE(back.read.tests[0].values[0].value, first[1].read.tests[0].values[0].value);
    QVERIFY(db.report(e, &back));
    QVERIFY(!back.read.readable);
    QCOMPARE(back.read.message, QString::fromUtf8("kein Bericht\uFFFD!")); // no NUL in a text column
    QVERIFY(!db.report(e + 1, &back));

    // Per model, accessory, protocol and port setting: good and failed tests.
    QStringList table;
    for (const CompatibilityRow &r : db.compatibility())
        table << QStringList{r.manufacturer, r.model, r.accessory, r.protocol, r.portSetting, QString::number(r.good),
                             QString::number(r.failed), r.lastSeen.toString(Qt::ISODate)}.join('|');
    QCOMPARE(table, (QStringList{
                        "ABB|B23|RS485-Konverter|Modbus RTU|9600 8E1|0|1|2026-03-05T12:00:00Z",
                        "ABB|B23|RS485-Konverter|OBIS ASCII|9600 7E1|0|1|2026-03-05T12:00:00Z",
                        "ABB|B23|RS485-Konverter|OBIS ASCII|9600 8N1|0|1|2026-03-05T12:00:00Z",
                        "ABB|B23|RS485-Konverter|SML|9600 8N1|0|1|2026-03-05T12:00:00Z",
                        "EasyMeter|Q3A|Lesekopf|SML|9600 8N1|1|0|2026-03-01T12:00:00Z",
                        "easymeter|Q3A|Lesekopf|SML|9600 8N1|1|0|2026-03-01T12:00:00Z",
                        hostile + "|<script>alert(1)</script>|RS485-Konverter|Modbus RTU|9600 8E1|1|0|2026-03-04T12:00:00Z",
                    }));
}

QTEST_GUILESS_MAIN(ReportStoreTest)
#include "tst_reportstore.moc"
