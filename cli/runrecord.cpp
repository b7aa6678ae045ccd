#include "cli/runrecord.h"

#include "engine/testlink.h"

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
    if (ident.binaryInSml && record.sml())
        return QString::fromLatin1(text.toLatin1().toHex().toUpper());
    return text;
}

void RunRecord::addLogLine(const QString &text, const QString &colour)
{
    log.append({text, colour});
}

void RunRecord::setOutcome(const RunOutcome &run)
{
    outcome = run;
    outcomeKnown = true;
    for (const TestOutcome &t : run.tests) {
        if (!t.hasValues)
            continue;
        for (const MeterField &f : kMeterFields) {
            if (t.record.*f.valid) {
                values.*f.value = t.record.*f.value;
                values.*f.valid = true;
            }
        }
        for (const IdentText &i : kIdentTexts) {
            if (!(t.record.*i.text).isEmpty())
                values.*i.text = t.record.*i.text;
        }
    }
}

void RunRecord::explain(const DiagnosisContext &context)
{
    findings = diagnose(outcome, context);
    hints = hintLines(outcome, findings);
}

const TestOutcome *RunRecord::shownTest() const
{
    if (const TestOutcome *t = outcome.successfulTest())
        return t;
    for (auto t = outcome.tests.crbegin(); t != outcome.tests.crend(); ++t) {
        if (t->hasValues)
            return &*t;
    }
    return nullptr;
}

bool RunRecord::sml() const
{
    const TestOutcome *t = shownTest();
    return t && t->protocol == Protocol::Sml;
}

QString RunRecord::portLost() const
{
    for (const TestOutcome &t : outcome.tests) {
        if (t.portFailure != PortFailureKind::None)
            return portFailureShown(t.portFailure, t.portFailureText);
    }
    return QString();
}

QString RunRecord::modbusAddress() const
{
    for (const TestOutcome &t : outcome.tests) {
        if (t.modbusSlave < 0)
            continue;
        const QString address =
            QStringLiteral("Adresse %1 (0x%2)").arg(t.modbusSlave).arg(t.modbusSlave, 2, 16, QLatin1Char('0'));
        if (t.slaveSource == SlaveAddressSource::Given)
            return address + QStringLiteral(", mit --modbus-adresse gesetzt");
        return address + QStringLiteral(", aus der Zählernummer \"%1\" (%2 hexadezimal, plus 1)")
                             .arg(t.meterNumber, t.meterNumber.right(2));
    }
    return QString();
}
