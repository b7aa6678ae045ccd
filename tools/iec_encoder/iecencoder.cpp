#include "tools/iec_encoder/iecencoder.h"

#include <cmath>

IecReadoutBuilder::IecReadoutBuilder(const QByteArray &maker, char baud, const QByteArray &model)
    : maker(maker), baud(baud), model(model)
{
}

IecReadoutBuilder &IecReadoutBuilder::addValue(const IecValue &v)
{
    lines.append(dataLine(v));
    return *this;
}

IecReadoutBuilder &IecReadoutBuilder::addText(const QByteArray &address, const QByteArray &text)
{
    lines.append(address + '(' + text + ')');
    return *this;
}

IecReadoutBuilder &IecReadoutBuilder::addLine(const QByteArray &line)
{
    lines.append(line);
    return *this;
}

QByteArray IecReadoutBuilder::identification() const
{
    return '/' + maker + baud + model + "\r\n";
}

QByteArray IecReadoutBuilder::dataMessage(IecFrameFault fault) const
{
    QByteArray body;
    for (const QByteArray &line : lines)
        body += line + "\r\n";
    body += "!\r\n";
    if (fault == IecFrameFault::NoEtx)
        return kStx + body;
    body += kEtx;
    char bcc = blockCheck(body);
    if (fault == IecFrameFault::WrongBcc)
        bcc ^= 0x01;
    return kStx + body + bcc;
}

QByteArray IecReadoutBuilder::readout(IecFrameFault fault) const
{
    return identification() + dataMessage(fault);
}

QByteArray IecReadoutBuilder::address(const QByteArray &obis, IecAddressForm form)
{
    switch (form) {
    case IecAddressForm::Full:
        return "1-0:" + obis + "*255";
    case IecAddressForm::Short:
        return obis;
    case IecAddressForm::TwoGroups:
        return "1-0:" + obis.left(obis.lastIndexOf('.'));
    }
    return obis;
}

QByteArray IecReadoutBuilder::dataLine(const IecValue &v)
{
    const int decimals = v.fault == IecValueFault::NoDecimals ? 0 : v.decimals;
    QByteArray number = QByteArray::number(std::fabs(v.value), 'f', decimals);
    const int point = number.indexOf('.');
    const int integerLength = point < 0 ? number.size() : point;
    if (v.integerDigits > integerLength)
        number.prepend(QByteArray(v.integerDigits - integerLength, '0'));
    if (v.value < 0)
        number.prepend('-');
    if (v.fault == IecValueFault::DecimalComma)
        number.replace('.', ',');

    QByteArray unit;
    if (!v.unit.isEmpty() && v.fault != IecValueFault::NoUnit)
        unit = (v.fault == IecValueFault::UnitWithoutStar ? QByteArray() : QByteArray("*")) + v.unit;
    return address(v.obis, v.form) + '(' + number + unit + ')';
}

char IecReadoutBuilder::blockCheck(const QByteArray &afterStx)
{
    char bcc = 0;
    for (char c : afterStx) {
        bcc ^= c;
        if (c == kEtx)
            break;
    }
    return bcc;
}
