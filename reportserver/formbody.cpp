#include "reportserver/formbody.h"

namespace {

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool decodeComponent(QByteArray part, QByteArray &out)
{
    part.replace('+', ' ');
    for (int i = 0; i < part.size(); ++i)
        if (part.at(i) == '%' && (i + 2 >= part.size() || !isHex(part.at(i + 1)) || !isHex(part.at(i + 2))))
            return false;
    out = QByteArray::fromPercentEncoding(part);
    return true;
}

} // namespace

bool decodeFormBody(const QByteArray &body, QMap<QByteArray, QByteArray> &fields)
{
    fields.clear();
    for (const QByteArray &pair : body.split('&')) {
        if (pair.isEmpty())
            continue;
        const int eq = pair.indexOf('=');
        QByteArray name;
        QByteArray value;
        if (!decodeComponent(eq < 0 ? pair : pair.left(eq), name)
            || !decodeComponent(eq < 0 ? QByteArray() : pair.mid(eq + 1), value))
            return false;
        fields.insert(name, value);
    }
    return true;
}
