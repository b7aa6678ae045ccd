#pragma once

// Helpers the protocol tests share: data rows read from files under
// testdata/, the record check and the real meters' captures.
#include <QtTest>

#include "protocols/meterresult.h"

inline QByteArray fileContents(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

// Lines of a data file, split at "|" and trimmed; "#" lines and blank lines skipped.
inline QList<QStringList> dataLines(const QString &path)
{
    QList<QStringList> lines;
    for (const QString &line : QString::fromUtf8(fileContents(path)).split('\n')) {
        if (!line.startsWith('#') && !line.trimmed().isEmpty())
            lines << line.trimmed().split(QRegularExpression("\\s*\\|\\s*"));
    }
    return lines;
}

// One row per line: its name, then one QString per column.
inline void addDataRows(const QString &path, std::initializer_list<const char *> columns)
{
    for (const char *c : columns)
        QTest::addColumn<QString>(c);
    for (const QStringList &l : dataLines(path)) {
        if (l.size() != int(columns.size()) + 1)
            qFatal("%s: %d columns in: %s", qPrintable(path), int(columns.size()) + 1, qPrintable(l.join('|')));
        QTestData &row = QTest::newRow(qPrintable(l[0]));
        for (const QString &value : l.mid(1))
            row << value;
    }
}

// Text as a data file writes it: \r, \n and \xHH stand for their characters.
inline QString unescaped(QString text)
{
    text.replace("\\r", "\r").replace("\\n", "\n");
    const QRegularExpression code("\\\\x([0-9A-Fa-f]{2})");
    for (QRegularExpressionMatch m = code.match(text); m.hasMatch(); m = code.match(text))
        text.replace(m.capturedStart(), 4, QChar(m.captured(1).toInt(nullptr, 16)));
    return text;
}

inline bool near(double a, double b)
{
    return qAbs(a - b) <= 1e-9 * qMax(1.0, qAbs(b));
}

// A real meter's {"value", "unit"} in the record's units (kWh, W, V, A).
inline double inRecordUnits(const QJsonValue &v)
{
    const double value = v["value"].toDouble();
    return v["unit"] == "Wh" ? value / 1000.0 : v["unit"] == "kW" ? value * 1000.0 : value;
}

// "180=1234.5678 Maker=Elser ParseError=1": the fields that must be valid,
// with their values (every other field invalid and 0.0), the texts named and
// the parse error (0 unless named).
inline void verifyRecord(const meter_result_t &r, const QString &expected)
{
    QMap<QString, QString> want;
    for (const QString &item : expected.split(' ', Qt::SkipEmptyParts))
        want.insert(item.section('=', 0, 0), item.section('=', 1));
    for (const MeterField &f : kMeterFields) {
        QVERIFY2(r.*f.valid == want.contains(f.name), f.name);
        QVERIFY2(near(r.*f.value, want.value(f.name, "0").toDouble()),
                 qPrintable(QString("%1 = %2").arg(f.name).arg(r.*f.value, 0, 'g', 17)));
    }
    const std::pair<const char *, QString> texts[] = {
        { "Ident", r.Text_Ident }, { "ManufacturerId", r.Text_ManufacturerId }, { "DeviceId", r.Text_DeviceId },
        { "MeterNumber", r.Text_MeterNumber }, { "Maker", r.Text_Maker } };
    for (const auto &t : texts) // only the texts named
        QCOMPARE(t.second, want.value(t.first, t.second));
    QCOMPARE(r.ParseError, want.value("ParseError", "0").toInt());
}
