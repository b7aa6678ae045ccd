#include "cli/runrecord.h"

#include <cctype>

#include "engine/testlog.h"

const IdentText kIdentTexts[5] = {
    {&meter_result_t::Text_Ident, "ident", "Kennung", true},
    {&meter_result_t::Text_ManufacturerId, "manufacturerId", "Hersteller-Kennung", false},
    {&meter_result_t::Text_DeviceId, "deviceId", "Geräte-Kennung", false},
    {&meter_result_t::Text_MeterNumber, "meterNumber", "Zählernummer", false},
    {&meter_result_t::Text_Maker, "maker", "Hersteller", false},
};

QString identShown(const RunRecord &record, const IdentText &ident)
{
    const QString &text = record.values.*ident.text;
    if (ident.binaryInSml && record.protokoll == QLatin1String(protocolname::kSml))
        return QString::fromLatin1(text.toLatin1().toHex().toUpper());
    return text;
}

void RunRecord::addLogLine(const QString &text, const QString &colour)
{
    log.append({text, colour});
    const QString sent = QString::fromUtf8(logtext::kSent);
    const QString portFailure = QString::fromUtf8(logtext::kPortFailure);
    if (text.startsWith(sent))
        running.sent.append(QByteArray::fromHex(text.mid(sent.size()).toLatin1()));
    else if (text.startsWith(portFailure))
        portError = running.portFailure = text.mid(portFailure.size());
}

void RunRecord::mergeValues(const meter_result_t &record)
{
    running.values = true;
    for (const MeterField &f : kMeterFields) {
        if (record.*f.valid) {
            values.*f.value = record.*f.value;
            values.*f.valid = true;
        }
    }
    // Each text is taken from the latest record that carries it.
    for (const IdentText &t : kIdentTexts) {
        if (!(record.*t.text).isEmpty())
            values.*t.text = record.*t.text;
    }
}

void RunRecord::closeTest(int number, const QString &protocol, const QString &setting, const QByteArray &received)
{
    running.number = number;
    running.protocol = protocol;
    running.setting = setting;
    running.received = received;
    tests.append(running);
    running = TestRun();
}

bool RunRecord::successful() const
{
    return ergebnis == QLatin1String("erfolgreich");
}

QByteArray RunRecord::telegram() const
{
    // An IEC readout always holds "(", which no hexadecimal text does.
    const QByteArray bytes = report.toUtf8();
    for (const char c : bytes) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return bytes;
    }
    return QByteArray::fromHex(bytes);
}
