#include "reports/readablemarks.h"

#include <QRawFont>

#include <iterator>

namespace {

// The ASCII names of the control characters 0 to 31.
constexpr const char *kControlNames[] = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
    "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",
};
constexpr uint kDelete = 0x7F;

QString mark(const QString &name)
{
    return QLatin1Char('<') + name + QLatin1Char('>');
}

} // namespace

QString withReadableMarks(const QString &line, const QRawFont &font)
{
    QString out;
    out.reserve(line.size());
    for (int i = 0; i < line.size(); ++i) {
        uint code = line[i].unicode();
        int units = 1;
        if (line[i].isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(line[i], line[i + 1]);
            units = 2;
        }
        if (code < std::size(kControlNames))
            out += mark(QString::fromLatin1(kControlNames[code]));
        else if (code == kDelete)
            out += mark(QStringLiteral("DEL"));
        else if (QChar::category(code) == QChar::Other_Control || (font.isValid() && !font.supportsCharacter(code)))
            out += mark(QStringLiteral("U+%1").arg(code, 4, 16, QLatin1Char('0')).toUpper());
        else
            out.append(line.constData() + i, units);
        i += units - 1;
    }
    return out;
}
