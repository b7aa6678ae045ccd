#include "engine/testlog.h"

#include "protocols/meterresult.h"

QString hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

void TestLog::line(const QString &text, const char *colour) const
{
    sink.logLine(text, QColor(QLatin1String(colour)));
}

void TestLog::status(const QString &text) const
{
    sink.statusBar(text);
}

void TestLog::sent(const QByteArray &bytes) const
{
    line(QString::fromUtf8(logtext::kSent) + hexText(bytes), logcolour::kHeading);
}

void TestLog::noData() const
{
    line(QStringLiteral("Ergebnis: Keine Daten"), logcolour::kError);
}

void TestLog::portFailure(const QString &portError) const
{
    line(QString::fromUtf8(logtext::kPortFailure) + portError, logcolour::kError);
}

void TestLog::telegramHex(const QByteArray &telegram) const
{
    const QString hex = hexText(telegram);
    line(QStringLiteral("Ergebnis: ") + hex, logcolour::kReceived);
    forReport(hex);
}

void TestLog::forReport(const QString &text) const
{
    sink.resultForPrint(text);
}

void TestLog::values(const meter_result_t &record) const
{
    if (record.ParseError != 0)
        line(QStringLiteral("Data Parse Error"), logcolour::kError);
    else
        sink.values(record);
}

void TestLog::received(const QByteArray &bytes) const
{
    if (sink.received)
        sink.received(bytes);
}
