#pragma once
// Data rows kept in JSON files under testdata/: one array per test function,
// {"function": [{"name": "row name", ...}, ...]}, fetched as one column "row".
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// Call with __func__ from the _data function.
inline void addJsonRows(const QString &file, QString function)
{
    function.chop(5); // "_data"
    QTest::addColumn<QJsonObject>("row");
    QFile f(VIVIV_TESTDATA "/" + file);
    f.open(QIODevice::ReadOnly);
    const QJsonArray rows = QJsonDocument::fromJson(f.readAll())[function].toArray();
    // A broken file or a renamed function must fail, not pass with no rows.
    if (rows.isEmpty())
        qFatal("no rows for %s in %s", qPrintable(function), qPrintable(f.fileName()));
    for (const QJsonValue &row : rows)
        QTest::newRow(qPrintable(row["name"].toString())) << row.toObject();
}

inline QStringList strings(const QJsonValue &value)
{
    return value.toVariant().toStringList();
}
