#pragma once

// Helpers the protocol tests share: the record as their rows write it and
// the real meters' captures.
#include "protocols/meterresult.h"
#include "protocols/parserclass.h"
#include "tests/common/jsonrows.h"

#include <cmath>

// One row per real meter of a capture file under testdata/meters/.
inline void addMeterRows(const QString &name)
{
    QTest::addColumn<QJsonObject>("entry");
    for (const QJsonValue &v : jsonFile(name).array())
        QTest::newRow(qPrintable(v["id"].toString())) << v.toObject();
}

// Twelve digits: the rows' numbers, and equal where the record and an oracle agree.
inline QString shown(double value)
{
    return QString::number(value, 'g', 12);
}

// Equal but for rounding, relative to the expected b (absolute below 1).
inline bool same(double a, double b)
{
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

// A real meter's {"value", "unit"} in the record's units (kWh, W, V, A).
inline double inRecordUnits(const QJsonValue &v)
{
    return v["value"].toDouble() * (v["unit"] == "Wh" ? 0.001 : v["unit"] == "kW" ? 1000.0 : 1.0);
}

// The record against a row's items, in any order ("180=1234.5678 Ident=AS1440
// ParseError=1"): every valid field, every other field that is not 0.0 (as
// 180~5), the texts that are set and the parse error unless 0.
inline void compareRecord(const meter_result_t &r, QStringList want)
{
    QStringList items;
    for (const MeterField &f : kMeterFields) {
        if (r.*f.valid || r.*f.value != 0.0)
            items << f.name + QString(r.*f.valid ? "=" : "~") + shown(r.*f.value);
    }
    const std::pair<const char *, QString> texts[] = {
        { "Ident", r.Text_Ident }, { "ManufacturerId", r.Text_ManufacturerId }, { "DeviceId", r.Text_DeviceId },
        { "MeterNumber", r.Text_MeterNumber }, { "Maker", r.Text_Maker },
        { "ParseError", r.ParseError ? QString::number(r.ParseError) : QString() } };
    for (const auto &t : texts) {
        if (!t.second.isEmpty())
            items << t.first + ('=' + t.second);
    }
    items.sort();
    want.sort();
    QCOMPARE(items, want);
}
