#pragma once
// Data rows kept in JSON files under testdata/: one array per test function,
// {"function": [{"name": "row name", ...}, ...]}, fetched as one column "row".
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// A JSON file under testdata/; one that cannot be read stops the test program.
inline QJsonDocument jsonFile(const QString &name)
{
    QFile file(VIVIV_TESTDATA "/" + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    return QJsonDocument::fromJson(file.readAll());
}

// Call with __func__ from the _data function.
inline void addJsonRows(const QString &file, QString function)
{
    function.chop(5); // "_data"
    QTest::addColumn<QJsonObject>("row");
    const QJsonArray rows = jsonFile(file)[function].toArray();
    // A broken file or a renamed function must fail, not pass with no rows.
    if (rows.isEmpty())
        qFatal("no rows for %s in %s", qPrintable(function), qPrintable(file));
    for (const QJsonValue &row : rows)
        QTest::newRow(qPrintable(row["name"].toString())) << row.toObject();
}

inline QStringList strings(const QJsonValue &value)
{
    return value.toVariant().toStringList();
}
