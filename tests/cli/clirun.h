#pragma once
// Runs the command-line front end as a child process, as one data row says,
// and checks what it did: exit status, stdout and stderr, and its JSON
// document. tst_cli's rows use it, and so may any table that drives viviv-cli
// (link the cli_rowrunner target).
//
// Row keys: "args" ({port} is the simulator's pty, or a path that never
// exists without "profile"; {portError} that path's open error); "profile",
// "options", "pushReplace" for the simulator; "busy" (a second program holds
// the port); "tty": ["out", "err"] for streams that are terminals;
// "modbusPeer": {"map", "slave", "line"} for a libmodbus device instead (modbuspeer.h);
// "interruptAfter" (Ctrl+C once stdout shows it); "exit"; "out"/"err" (texts
// each stream contains), "outLacks"/"errLacks", "outIs"/"errIs"; "json" (the
// document's keys: plain values equal, "findings" as the list of their keys, other
// arrays' elements each found; "values" by OBIS code against the
// simulator's values, "report" ("*", "@sml" or the text), "colours" of the
// log); "ndjson" (number of one-line documents).

#include "tests/common/jsonrows.h"
#include "tests/cli/modbuspeer.h"
#include "tests/common/rowsimulator.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace clirun {

// One end of a pseudo-terminal for the child's stdout or stderr. The test
// keeps a slave descriptor of its own, so the master never sees a hang-up.
struct TerminalEnd
{
    explicit TerminalEnd(bool wanted)
    {
        if (!wanted || (master = ::posix_openpt(O_RDWR | O_NOCTTY)) < 0 || ::grantpt(master) || ::unlockpt(master))
            return;
        path = QString::fromLocal8Bit(::ptsname(master));
        slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~TerminalEnd()
    {
        for (int fd : {slave, master})
            if (fd >= 0)
                ::close(fd);
    }
    void drain()
    {
        char buffer[4096];
        for (ssize_t n; !path.isEmpty() && (n = ::read(master, buffer, sizeof buffer)) > 0;)
            text.append(buffer, int(n));
    }
    int master = -1, slave = -1;
    QString path;
    QByteArray text;
};

} // namespace clirun

// Call from a test function; a failed check ends the row, as in the test function itself.
inline void runCliRow(const QJsonObject &row)
{
    using namespace metersim;
    using clirun::TerminalEnd;
    // Never there: a wrong check would show up as a connect error instead. One
    // name per row, as parallel opens of one name meet at its lock file.
    QString port = QStringLiteral("/dev/viviv-cli-kein-port-") + QTest::currentDataTag(), portError;
    std::unique_ptr<MeterSimulator> sim;
    QSerialPort holder; // a second program on the port
    std::unique_ptr<ModbusPeer> peer;
    if (row.contains("modbusPeer")) {
        const QJsonObject p = row["modbusPeer"].toObject();
        LineFormat format;
        QVERIFY(LineFormat::parse(p["line"].toString(), &format));
        peer = std::make_unique<ModbusPeer>(p["map"].toString(), p["slave"].toInt(), format);
        port = peer->slavePath();
    } else if (row.contains("profile")) {
        Options options;
        if (const QStringList swap = strings(row["pushReplace"]); !swap.isEmpty())
            options.telegram = telegrams::iecPushMessage().replace(swap[0].toLatin1(), swap[1].toLatin1());
        QString error;
        sim = rowSimulator(row, options, &error);
        QVERIFY2(sim, qPrintable(error));
        QVERIFY(sim->start());
        port = sim->slavePath();
        holder.setPortName(port);
        QVERIFY(!row["busy"].toBool() || holder.open(QIODevice::ReadWrite));
    } else {
        QSerialPort probe(port); // the port's own error text, as the worker passes it on
        QVERIFY(!probe.open(QIODevice::ReadWrite));
        portError = probe.errorString();
    }
    auto fill = [&](QString text) { return text.replace("{port}", port).replace("{portError}", portError); };
    QStringList arguments;
    for (const QString &a : strings(row["args"]))
        arguments << fill(a);

    QProcess process;
    const QStringList ttys = strings(row["tty"]);
    TerminalEnd outTty(ttys.contains("out")), errTty(ttys.contains("err"));
    if (!outTty.path.isEmpty())
        process.setStandardOutputFile(outTty.path);
    if (!errTty.path.isEmpty())
        process.setStandardErrorFile(errTty.path);
    // Against a meter the test bed build, so that the simulator sees the 7E1/8E1 the engine asks for.
    process.start(sim || peer ? VIVIV_CLI_TESTBED_PROGRAM : VIVIV_CLI_PROGRAM, arguments);
    QVERIFY(process.waitForStarted());
    process.closeWriteChannel();

    const QByteArray interruptAfter = row["interruptAfter"].toString().toUtf8();
    bool interrupted = false;
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    qint64 limitMs = 120000; // generous: only guards against a hang
    while (!process.waitForFinished(50) && clock.elapsed() < limitMs) {
        outTty.drain();
        errTty.drain();
        if (outTty.path.isEmpty())
            out += process.readAllStandardOutput();
        if (!interrupted && !interruptAfter.isEmpty() && out.contains(interruptAfter)) {
            QThread::msleep(300); // well inside the test's first wait
            QCOMPARE(::kill(pid_t(process.processId()), SIGINT), 0);
            interrupted = true;
            limitMs = clock.elapsed() + 20000;
        }
    }
    QCOMPARE(process.state(), QProcess::NotRunning);
    QCOMPARE(interrupted, !interruptAfter.isEmpty());
    outTty.drain();
    errTty.drain();
    const QMap<QString, QString> streams{
        {"out", QString::fromUtf8(outTty.path.isEmpty() ? out + process.readAllStandardOutput() : outTty.text)},
        {"err", QString::fromUtf8(errTty.path.isEmpty() ? process.readAllStandardError() : errTty.text)}};
    QVERIFY2(process.exitStatus() == QProcess::NormalExit, qPrintable("crashed:\n" + streams["err"]));
    QCOMPARE(process.exitCode(), row["exit"].toInt());
    for (auto s = streams.begin(); s != streams.end(); ++s) {
        for (const QString &text : strings(row[s.key()]))
            QVERIFY2(s->contains(fill(text)), qPrintable(text + " missing in:\n" + *s));
        for (const QString &text : strings(row[s.key() + "Lacks"]))
            QVERIFY2(!s->contains(fill(text)), qPrintable(text + " found in:\n" + *s));
        if (row.contains(s.key() + "Is"))
            QCOMPARE(*s, fill(row[s.key() + "Is"].toString()));
    }

    const QJsonObject want = row["json"].toObject();
    if (want.isEmpty())
        return;
    // One document, or one per line; each carries its time with the offset from UTC.
    const QStringList docs = row.contains("ndjson") ? streams["out"].split('\n', Qt::SkipEmptyParts) : QStringList{streams["out"]};
    QCOMPARE(docs.size(), row["ndjson"].toInt(1));
    QJsonObject json;
    for (const QString &doc : docs) {
        QJsonParseError parseError;
        json = QJsonDocument::fromJson(doc.toUtf8(), &parseError).object();
        QVERIFY2(parseError.error == QJsonParseError::NoError, qPrintable(parseError.errorString()));
        QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$").match(json["time"].toString()).hasMatch());
    }
    // Plain keys and the findings equal; in another listed array each element must
    // be found: a text inside one of the document's texts, an object as a part of
    // one of its objects.
    const auto contains = [](const QJsonValue &have, const QJsonValue &part) {
        if (part.isString())
            return have.toString().contains(part.toString());
        const QJsonObject wanted = part.toObject();
        for (auto k = wanted.begin(); k != wanted.end(); ++k)
            if (have[k.key()] != *k)
                return false;
        return have.isObject();
    };
    for (auto w = want.begin(); w != want.end(); ++w) {
        if (QStringList{"values", "report", "colours"}.contains(w.key()))
            continue;
        if (w.key() == "findings") {
            QStringList keys;
            for (const QJsonValue &f : json["findings"].toArray())
                keys << f["key"].toString();
            keys.removeDuplicates();
            QCOMPARE(keys, strings(*w));
            continue;
        }
        if (!w->isArray()) {
            const QJsonValue expected = w->isString() ? QJsonValue(fill(w->toString())) : *w;
            QVERIFY2(json[w.key()] == expected, qPrintable(w.key() + ": " + QJsonDocument(QJsonArray{json[w.key()]}).toJson()));
            continue;
        }
        for (const QJsonValue &part : w->toArray()) {
            const QJsonArray have = json[w.key()].toArray();
            QVERIFY2(std::any_of(have.begin(), have.end(), [&](const QJsonValue &h) { return contains(h, part); }),
                     qPrintable(w.key() + ": " + QJsonDocument(QJsonArray{part}).toJson() + " not in "
                                + QJsonDocument(have).toJson()));
        }
    }
    if (!want.contains("values"))
        return;

    // The values by OBIS code against those the simulator serves.
    const MeterValues &m = telegrams::defaultValues();
    const QHash<QString, double> served{
        {"1.8.0", m.import_kWh},       {"1.8.1", m.importT1_kWh},      {"1.8.2", m.importT2_kWh},
        {"2.8.0", m.export_kWh},       {"2.8.1", m.exportT1_kWh},      {"2.8.2", m.exportT2_kWh},
        {"1.7.0", m.power_W},          {"2.7.0", m.exportPower_W},     {"1.7.1", m.phasePower_W[0]},
        {"1.7.2", m.phasePower_W[1]},  {"1.7.3", m.phasePower_W[2]},   {"32.7.0", m.voltage_V[0]},
        {"52.7.0", m.voltage_V[1]},    {"72.7.0", m.voltage_V[2]},     {"31.7.0", m.current_A[0]},
        {"51.7.0", m.current_A[1]},    {"71.7.0", m.current_A[2]}};
    static const QJsonValue unitAndText = jsonFile("cli/rows.json")["served"]; // read once, for all rows
    const QJsonObject values = json["values"].toObject();
    QStringList codes = strings(want["values"]);
    codes.sort();
    QCOMPARE(values.keys(), codes);
    for (const QString &code : codes) {
        QVERIFY2(qAbs(values[code]["value"].toDouble() - served[code]) < 1e-6 * qMax(1.0, qAbs(served[code])),
                 qPrintable(code));
        QCOMPARE(QJsonArray({values[code]["unit"], values[code]["text"]}), unitAndText[code].toArray());
    }

    const QString report = json["report"].toString();
    if (want["report"] == "*")
        QVERIFY(!report.isEmpty());
    else
        QCOMPARE(report, want["report"] == "@sml" ? QString(telegrams::smlFile().toHex().toUpper()) : want["report"].toString());

    const QJsonArray log = json["log"].toArray();
    QVERIFY(!log.isEmpty());
    QCOMPARE(log.first(), QJsonValue(QJsonObject{{"text", "Viviv Testprogramm v.1.19"}, {"colour", "blue"}}));
    QStringList colours;
    for (const QJsonValue &line : log)
        colours << line["colour"].toString();
    colours.removeDuplicates();
    colours.sort();
    QCOMPARE(colours, strings(want["colours"]));
}
