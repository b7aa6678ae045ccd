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
    if (sink.outcome)
        sink.outcome->requests << bytes;
    line(QString::fromUtf8(logtext::kSent) + hexText(bytes), logcolour::kHeading);
}

void TestLog::noData() const
{
    line(QStringLiteral("Ergebnis: Keine Daten"), logcolour::kError);
}

void TestLog::portFailure(const QString &shown, PortFailureKind kind, const QString &systemText) const
{
    if (sink.outcome) {
        sink.outcome->portFailure = kind;
        sink.outcome->portFailureText = systemText;
    }
    line(QString::fromUtf8(logtext::kPortFailure) + shown, logcolour::kError);
}

void TestLog::telegramHex(const QByteArray &telegram) const
{
    this->telegram(telegram);
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
    if (record.ParseError != 0) {
        line(QStringLiteral("Data Parse Error"), logcolour::kError);
        return;
    }
    if (sink.outcome) {
        sink.outcome->record = record;
        sink.outcome->hasValues = true;
    }
    sink.values(record);
}

void TestLog::received(const QByteArray &bytes) const
{
    TestOutcome *o = sink.outcome;
    if (!o || bytes.isEmpty())
        return;
    const qint64 now = clock.elapsed();
    if (o->firstByteMs < 0)
        o->firstByteMs = now;
    o->lastByteMs = now;
    o->received += bytes;
}

void TestLog::frame(Protocol protocol, FrameCheck check, int size) const
{
    if (sink.outcome)
        sink.outcome->frames << CheckedFrame{protocol, check, size};
}

void TestLog::modbusException(const ModbusException &exception) const
{
    if (sink.outcome)
        sink.outcome->exceptions << exception;
}

void TestLog::otherSlave(quint8 slave) const
{
    if (sink.outcome && !sink.outcome->otherSlaves.contains(slave))
        sink.outcome->otherSlaves << slave;
}

void TestLog::identification(const QByteArray &line) const
{
    if (sink.outcome)
        sink.outcome->identification = line;
}

void TestLog::dataRate(qint32 rate) const
{
    if (sink.outcome)
        sink.outcome->dataRate = rate;
}

void TestLog::telegram(const QByteArray &bytes) const
{
    if (sink.outcome)
        sink.outcome->telegram = bytes;
}

void TestLog::lacksEnergyRegister() const
{
    if (sink.outcome)
        sink.outcome->telegramLacksEnergy = true;
}
