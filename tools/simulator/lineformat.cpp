#include "tools/simulator/lineformat.h"

#include <QRegularExpression>

namespace metersim {

QString LineFormat::charFormatString() const
{
    return QStringLiteral("%1%2%3").arg(dataBits).arg(QChar(parity)).arg(stopBits);
}

QString LineFormat::toString() const
{
    return QStringLiteral("%1 %2").arg(baud).arg(charFormatString());
}

bool LineFormat::parse(const QString &text, LineFormat *out)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(?:(\\d+)\\s+)?([5-8])([NEOMS])([12])\\s*$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    LineFormat f = *out;
    if (!m.captured(1).isEmpty()) {
        bool ok = false;
        f.baud = m.captured(1).toInt(&ok);
        if (!ok || f.baud <= 0)
            return false;
    }
    f.dataBits = m.captured(2).toInt();
    f.parity = m.captured(3).toUpper().at(0).toLatin1();
    f.stopBits = m.captured(4).toInt();
    *out = f;
    return true;
}

} // namespace metersim
