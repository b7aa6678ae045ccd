#include "reportserver/meterfile.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "protocols/modbusrtu.h"

namespace {

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

// A readout as the meter sends it after a sign-on: the identification line,
// then the data message from its STX (what came between, an echo of the
// acknowledgement, is the program's).
void splitReadout(const QByteArray &bytes, QJsonObject &options)
{
    int ident = bytes.indexOf('/');
    while (ident >= 0 && ident + 1 < bytes.size() && bytes.at(ident + 1) == '?')
        ident = bytes.indexOf('/', ident + 1);
    const int identEnd = ident < 0 ? -1 : bytes.indexOf("\r\n", ident);
    if (identEnd < 0) {
        options.insert(QStringLiteral("telegram"), hex(bytes));
        return;
    }
    const QByteArray identification = bytes.mid(ident, identEnd + 2 - ident);
    const int stx = bytes.indexOf('\x02', identEnd);
    options.insert(QStringLiteral("identification"), hex(identification));
    options.insert(QStringLiteral("telegram"), hex(bytes.mid(stx < 0 ? identEnd + 2 : stx)));
    if (identification.size() > 4)
        options.insert(QStringLiteral("baudChar"), QString(QLatin1Char(identification.at(4))));
}

void modbusRegisters(const QByteArray &telegram, QJsonObject &options)
{
    QJsonObject registers;
    for (const ModbusExchange &e : modbusExchanges(telegram)) {
        if (quint8(e.answer.at(1)) & kModbusExceptionBit)
            continue;
        options.insert(QStringLiteral("slave"), quint8(e.request.at(0)));
        const int first = (quint8(e.request.at(2)) << 8) | quint8(e.request.at(3));
        const QByteArray data = e.answer.mid(kModbusHeadSize, quint8(e.answer.at(2)));
        for (int i = 0; i + 1 < data.size(); i += 2)
            registers.insert(QStringLiteral("%1").arg(first + i / 2, 4, 16, QLatin1Char('0')).toUpper(),
                             hex(data.mid(i, 2)));
    }
    options.insert(QStringLiteral("registers"), registers);
}

} // namespace

QByteArray meterFile(const ReadReport &report, const ReadTest &test)
{
    const LoggedTestKind *kind = testKind(report.accessory == QLatin1String(accessory::kRs485), test.number);
    if (!kind || test.telegram.isEmpty())
        return QByteArray();
    const QString profile = QLatin1String(kind->profile);
    QJsonObject options;
    // A mode C meter starts at 300 Bd and names its rate in the identification.
    if (profile != QLatin1String("iec-mode-c"))
        options.insert(QStringLiteral("format"), test.portSetting);
    if (profile == QLatin1String("modbus"))
        modbusRegisters(test.telegram, options);
    else if (profile == QLatin1String("iec-mode-c") || profile == QLatin1String("rs485-iec"))
        splitReadout(test.telegram, options);
    else
        options.insert(QStringLiteral("telegram"), hex(test.telegram));
    const QJsonObject file{
        {QStringLiteral("viviv-meter"), 1},
        {QStringLiteral("manufacturer"), report.manufacturer},
        {QStringLiteral("model"), report.model},
        {QStringLiteral("test"), test.heading},
        {QStringLiteral("protocol"), test.protocol},
        {QStringLiteral("portSetting"), test.portSetting},
        {QStringLiteral("profile"), profile},
        {QStringLiteral("options"), options},
    };
    return QJsonDocument(file).toJson(QJsonDocument::Indented);
}
