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
    for (const MeterField &field : kMeterFields) {
        if (!(record.values.*field.valid))
            continue;
        const double value = record.values.*field.value;
        values.insert(obisCode(field, record.protokoll),
                      QJsonObject{{QStringLiteral("value"), value},
                                  {QStringLiteral("unit"), unitOf(field, record.protokoll)},
                                  {QStringLiteral("text"), formattedValue(field, value)}});
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
