#include "cli/jsonreport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "engine/programversion.h"
#include "cli/runrecord.h"
#include "cli/valuetable.h"

QByteArray jsonReport(const RunRecord &record)
{
    QJsonObject values;
    for (const ValueRow &row : kValueRows) {
        if (!(record.values.*row.valid))
            continue;
        const double value = record.values.*row.value;
        values.insert(obisCode(row, record.protokoll),
                      QJsonObject{{QStringLiteral("value"), value},
                                  {QStringLiteral("unit"), unitOf(row, record.protokoll)},
                                  {QStringLiteral("text"), formattedValue(row, value)}});
    }

    QJsonObject identification;
    for (const IdentText &t : kIdentTexts)
        identification.insert(QString::fromLatin1(t.key), record.values.*t.text);

    QJsonArray log;
    for (const RunRecord::LogLine &line : record.log)
        log.append(QJsonObject{{QStringLiteral("text"), line.text}, {QStringLiteral("colour"), line.colour}});

    const QJsonObject document{
        {QStringLiteral("program"), QStringLiteral("viviv-cli")},
        {QStringLiteral("version"), programVersionText()},
        {QStringLiteral("port"), record.port},
        {QStringLiteral("accessory"), record.accessory},
        {QStringLiteral("request"), record.request},
        {QStringLiteral("result"), record.ergebnis},
        {QStringLiteral("successful"), record.successful()},
        {QStringLiteral("protocol"), record.protokoll},
        {QStringLiteral("portSetting"), record.baud},
        {QStringLiteral("values"), values},
        {QStringLiteral("identification"), identification},
        {QStringLiteral("report"), record.report},
        {QStringLiteral("log"), log},
    };
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}
