#include "cli/jsonreport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include "cli/registerlines.h"
#include "cli/runrecord.h"
#include "cli/valuetable.h"
#include "engine/programversion.h"

namespace {

QJsonArray jsonStrings(const QStringList &lines)
{
    return QJsonArray::fromStringList(lines);
}

} // namespace

QJsonObject jsonHead(int exitStatus, const QString &error)
{
    QJsonObject o{{QStringLiteral("program"), QStringLiteral("viviv-cli")},
                  {QStringLiteral("version"), programVersionText()},
                  {QStringLiteral("time"), isoTimeNow()},
                  {QStringLiteral("exitStatus"), exitStatus}};
    if (!error.isEmpty())
        o.insert(QStringLiteral("error"), error);
    return o;
}

QString isoTimeNow()
{
    // Written out by hand: Qt writes UTC as "Z" and local time without an offset.
    const QDateTime now = QDateTime::currentDateTime();
    const int offsetMinutes = now.offsetFromUtc() / 60;
    return now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2").arg(qAbs(offsetMinutes) / 60, 2, 10, QLatin1Char('0')).arg(qAbs(offsetMinutes) % 60, 2, 10, QLatin1Char('0'));
}

QByteArray jsonReport(const RunRecord &record, int exitStatus, const QString &error, QJsonDocument::JsonFormat format)
{
    QJsonObject values;
    for (const MeterField &field : kMeterFields) {
        if (!(record.values.*field.valid))
            continue;
        const double value = record.values.*field.value;
        values.insert(obisCode(field, record.sml()),
                      QJsonObject{{QStringLiteral("value"), value},
                                  {QStringLiteral("unit"), unitOf(field, record.sml())},
                                  {QStringLiteral("text"), formattedValue(field, value)}});
    }

    QJsonObject identification;
    for (const IdentText &t : kIdentTexts)
        identification.insert(QString::fromLatin1(t.key), identShown(record, t));

    QJsonArray findings;
    for (const Finding &f : record.findings)
        findings.append(QJsonObject{{QStringLiteral("key"), QString::fromLatin1(f.key)}, {QStringLiteral("test"), f.test}});

    QJsonArray tests;
    for (const TestOutcome &t : record.outcome.tests) {
        QStringList hints, testKeys;
        for (const Finding &f : record.findings) {
            if (f.test != t.number)
                continue;
            testKeys << QString::fromLatin1(f.key);
            for (const QString &line : {f.fact, f.cause, f.action})
                if (!line.isEmpty())
                    hints << line;
        }
        QJsonObject test{{QStringLiteral("test"), t.number},
                         {QStringLiteral("protocol"), QString::fromLatin1(protocolName(t.protocol))},
                         {QStringLiteral("portSetting"), t.setting.text()},
                         {QStringLiteral("received"), QString::fromLatin1(t.received.toHex().toUpper())},
                         {QStringLiteral("hints"), jsonStrings(hints)},
                         {QStringLiteral("findings"), jsonStrings(testKeys)}};
        if (t.dataRate > 0)
            test.insert(QStringLiteral("dataRate"), t.dataRate);
        tests.append(test);
    }

    QJsonArray log;
    for (const RunRecord::LogLine &line : record.log)
        log.append(QJsonObject{{QStringLiteral("text"), line.text}, {QStringLiteral("colour"), line.colour}});

    QJsonObject document = jsonHead(exitStatus, error);
    const QJsonObject body{
        {QStringLiteral("port"), record.port},
        {QStringLiteral("accessory"), record.accessory},
        {QStringLiteral("request"), record.request},
        {QStringLiteral("result"), record.ergebnis},
        {QStringLiteral("successful"), record.successful()},
        {QStringLiteral("protocol"), record.protokoll},
        {QStringLiteral("portSetting"), record.baud},
        {QStringLiteral("values"), values},
        {QStringLiteral("registers"), registersJson(registerLines(record.shownTest()))},
        {QStringLiteral("identification"), identification},
        {QStringLiteral("hints"), jsonStrings(record.hints)},
        {QStringLiteral("findings"), findings},
        {QStringLiteral("tests"), tests},
        {QStringLiteral("report"), record.report},
        {QStringLiteral("log"), log},
    };
    for (auto it = body.begin(); it != body.end(); ++it)
        document.insert(it.key(), it.value());
    if (const TestOutcome *shown = record.shownTest(); shown && shown->dataRate > 0)
        document.insert(QStringLiteral("dataRate"), shown->dataRate);
    for (const TestOutcome &t : record.outcome.tests) {
        if (t.modbusSlave >= 0) {
            document.insert(QStringLiteral("modbusAddress"), t.modbusSlave);
            break;
        }
    }
    // One document per line: the line ends with the document.
    return QJsonDocument(document).toJson(format) + (format == QJsonDocument::Compact ? "\n" : "");
}

QByteArray jsonError(const QString &error, int exitStatus, const QString &hint)
{
    QJsonObject document = jsonHead(exitStatus, error);
    document.insert(QStringLiteral("hints"), jsonStrings(hint.isEmpty() ? QStringList() : QStringList{hint}));
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}
