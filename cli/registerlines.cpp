#include "cli/registerlines.h"

#include <QJsonObject>

#include <cmath>

#include "protocols/iecreadout.h"
#include "protocols/iecregisters.h"
#include "protocols/smlregisters.h"

namespace {

QByteArray spanBytes(const QByteArray &bytes, ByteSpan span)
{
    return bytes.mid(span.from, span.size);
}

bool printable(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

// All of it: the QByteArray overload stops at a NUL under Qt 5, not under Qt 6.
QString latin1(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.constData(), bytes.size());
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

// "A-B:C.D.E*F" in decimal, as the OBIS standard writes it.
QString obisText(const SmlRegister &r)
{
    if (r.obisSize != 6)
        return hex(QByteArray(reinterpret_cast<const char *>(r.obis), r.obisSize));
    return QStringLiteral("%1-%2:%3.%4.%5*%6")
        .arg(r.obis[0]).arg(r.obis[1]).arg(r.obis[2]).arg(r.obis[3]).arg(r.obis[4]).arg(r.obis[5]);
}

// The scaled value with exactly the decimals the scaler gives, without the
// rounding noise of a double.
QString scaledText(const QString &digits, int scaler)
{
    const bool negative = digits.startsWith(QLatin1Char('-'));
    QString d = negative ? digits.mid(1) : digits;
    if (scaler >= 0) {
        if (d != QLatin1String("0"))
            d += QString(scaler, QLatin1Char('0'));
    } else {
        const int decimals = -scaler;
        if (d.size() <= decimals)
            d = QString(decimals - d.size() + 1, QLatin1Char('0')) + d;
        d.insert(d.size() - decimals, QLatin1Char('.'));
    }
    return negative ? QLatin1Char('-') + d : d;
}

RegisterLine smlLine(const SmlRegisters &listing, const SmlRegister &r)
{
    RegisterLine line;
    line.obis = obisText(r);
    line.unit = QString::fromUtf8(dlmsUnitName(r.unitCode));
    line.scaler = r.hasScaler ? QJsonValue(r.scaler) : QJsonValue();
    line.unitCode = r.unitCode >= 0 ? QJsonValue(r.unitCode) : QJsonValue();
    line.status = r.hasStatus ? QJsonValue(double(r.status)) : QJsonValue();
    switch (r.kind) {
    case SmlValueKind::Signed:
    case SmlValueKind::Unsigned: {
        const bool isSigned = r.kind == SmlValueKind::Signed;
        const QString digits = isSigned ? QString::number(r.signedValue) : QString::number(r.unsignedValue);
        const double raw = isSigned ? double(r.signedValue) : double(r.unsignedValue);
        line.raw = raw;
        // Dividing by an exact power of ten rounds 4321 and -1 to the double nearest 432.1.
        line.value = r.scaler < 0 ? raw / std::pow(10.0, -r.scaler) : raw * std::pow(10.0, r.scaler);
        line.valueText = scaledText(digits, r.scaler);
        break;
    }
    case SmlValueKind::Boolean:
        line.raw = line.value = bool(r.signedValue);
        line.valueText = r.signedValue ? QStringLiteral("wahr") : QStringLiteral("falsch");
        break;
    case SmlValueKind::Octets: {
        const QByteArray octets = spanBytes(listing.body, r.octets);
        line.raw = hex(octets);
        line.valueText = printable(octets) ? latin1(octets) : hex(octets);
        line.value = line.valueText;
        break;
    }
    case SmlValueKind::None:
        line.valueText = QStringLiteral("-");
        break;
    case SmlValueKind::Other:
        line.valueText = QStringLiteral("(nicht lesbar)");
        break;
    }
    return line;
}

RegisterLine iecLine(const QByteArray &readout, const IecRegister &r)
{
    RegisterLine line;
    line.obis = latin1(spanBytes(readout, r.address));
    const QByteArray text = spanBytes(readout, r.value);
    line.valueText = latin1(text);
    line.raw = line.valueText;
    double number = 0.0;
    line.value = iecReadNumber(text, &number) ? QJsonValue(number) : QJsonValue(line.valueText);
    line.unit = latin1(spanBytes(readout, r.unit));
    return line;
}

} // namespace

QList<RegisterLine> registerLines(const TestOutcome *test)
{
    QList<RegisterLine> lines;
    if (test && test->protocol == Protocol::Sml) {
        const SmlRegisters listing = listSmlRegisters(test->telegram);
        for (const SmlRegister &r : listing.registers)
            lines.append(smlLine(listing, r));
    } else if (test && test->protocol == Protocol::IecAscii) {
        for (const IecRegister &r : listIecRegisters(test->telegram))
            lines.append(iecLine(test->telegram, r));
    }
    return lines;
}

QJsonArray registersJson(const QList<RegisterLine> &lines)
{
    QJsonArray out;
    for (const RegisterLine &l : lines) {
        QJsonObject o{{QStringLiteral("obis"), l.obis},     {QStringLiteral("value"), l.value},
                      {QStringLiteral("unit"), l.unit},     {QStringLiteral("raw"), l.raw},
                      {QStringLiteral("scaler"), l.scaler}};
        if (!l.unitCode.isUndefined())
            o.insert(QStringLiteral("unitCode"), l.unitCode);
        if (!l.status.isUndefined())
            o.insert(QStringLiteral("status"), l.status);
        out.append(o);
    }
    return out;
}

QString registersText(const QList<RegisterLine> &lines)
{
    QString out;
    for (const RegisterLine &l : lines) {
        QString details;
        if (l.raw.isDouble() && !l.scaler.isNull())
            details = QStringLiteral("  (Rohwert %1, Skalierer %2)").arg(l.raw.toVariant().toString()).arg(l.scaler.toInt());
        QString row = QStringLiteral("  %1 %2").arg(l.obis, -22).arg(l.valueText, 20);
        if (!l.unit.isEmpty())
            row += QLatin1Char(' ') + l.unit;
        out += row + details + QLatin1Char('\n');
    }
    return out;
}
