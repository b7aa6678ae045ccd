#include "protocols/iecregisters.h"

#include <cstring>

namespace {

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;

bool isUnitChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' || c == '%';
}

// "value*unit"; a "*" followed by anything but a plain unit ("088*C&082*C")
// belongs to the value.
IecRegister splitGroup(const char *b, ByteSpan address, int from, int end)
{
    IecRegister r{address, ByteSpan{from, end - from}, ByteSpan{end, 0}};
    const void *star = std::memchr(b + from, '*', std::size_t(end - from));
    if (!star)
        return r;
    const int at = int(static_cast<const char *>(star) - b);
    for (int i = at + 1; i < end; ++i) {
        if (!isUnitChar(b[i]))
            return r;
    }
    r.value.size = at - from;
    r.unit = ByteSpan{at + 1, end - at - 1};
    return r;
}

int lineEnd(const char *b, int pos, int n)
{
    const void *lf = std::memchr(b + pos, '\n', std::size_t(n - pos));
    return lf ? int(static_cast<const char *>(lf) - b) : n;
}

} // namespace

QVector<IecRegister> listIecRegisters(const QByteArray &readout)
{
    QVector<IecRegister> out;
    out.reserve(32);
    const char *b = readout.constData();
    const int n = readout.size();
    int pos = 0;
    while (pos < n) {
        const char c = b[pos];
        if (c == '!' || c == kEtx)
            break;
        if (c == '\r' || c == '\n' || c == kStx || c == ' ') {
            ++pos;
            continue;
        }
        const int eol = lineEnd(b, pos, n);
        const void *open = c == '/' ? nullptr : std::memchr(b + pos, '(', std::size_t(eol - pos));
        if (!open) { // no data set on this line: request echo, identification, acknowledgement
            pos = eol;
            continue;
        }
        const int paren = int(static_cast<const char *>(open) - b);
        const ByteSpan address{pos, paren - pos};
        pos = paren;
        while (pos < eol && b[pos] == '(') {
            const void *close = std::memchr(b + pos + 1, ')', std::size_t(eol - pos - 1));
            if (!close) // cut off inside a value
                return out;
            const int end = int(static_cast<const char *>(close) - b);
            out.append(splitGroup(b, address, pos + 1, end));
            pos = end + 1;
        }
    }
    return out;
}
