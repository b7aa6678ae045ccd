#pragma once

#include <QMap>
#include <QStringList>
#include <QtTest>

#include "meterresult.h"

// "180=1234.5678 3270=229.8": the fields that must be valid, with their
// values; every other field must be invalid and 0.0.
inline void verifyFields(const meter_result_t &r, const QString &expected)
{
    QMap<QString, double> want;
    for (const QString &item : expected.split(' ', Qt::SkipEmptyParts)) {
        const QStringList kv = item.split('=');
        want.insert(kv.at(0), kv.at(1).toDouble());
    }
    for (const MeterField &f : kMeterFields) {
        const QByteArray field = QByteArray("Value_") + f.name;
        if (want.contains(f.name)) {
            QVERIFY2(r.*f.valid, field);
            QVERIFY2(qAbs(r.*f.value - want.value(f.name)) < 1e-9 * qMax(1.0, qAbs(r.*f.value)),
                     field + " = " + QByteArray::number(r.*f.value, 'g', 12));
        } else {
            QVERIFY2(!(r.*f.valid), field);
            QCOMPARE(r.*f.value, 0.0);
        }
    }
}

