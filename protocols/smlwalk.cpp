#include "protocols/smlwalk.h"

namespace {

constexpr int kValueElement = 5;
constexpr int kUnitElement = 3;
constexpr int kScalerElement = 4;

bool isShortList(quint8 tl)
{
    return tl >= 0x71 && tl <= 0x79;
}

bool isOctetString(quint8 tl)
{
    return tl >= 0x01 && tl <= 0x0F;
}

} // namespace

SmlValueElement walkToSmlValue(const QByteArray &frame, int pos, bool octetValue)
{
    SmlValueElement result;
    const auto *f = reinterpret_cast<const uchar *>(frame.constData());
    const int n = frame.size();
    int counter = 0;

    while (pos >= 0 && pos < n) {
        const quint8 tl = f[pos];
        if (isShortList(tl)) {
            // A list (an SML_Time choice) counts as one element: take its
            // first element, and the element after it is the one counted.
            if (pos + 1 >= n)
                break;
            const SmlElementType first = smlElementType(f[pos + 1]);
            if (pos + 2 + first.dataBytes > n)
                break;
            pos += 2 + first.dataBytes;
            continue;
        }
        if (tl == 0x00) { // end of list: not an element
            ++pos;
            continue;
        }
        ++counter;
        const SmlElementType type = smlElementType(tl);
        int count = type.dataBytes;
        if (counter == kValueElement && octetValue && isOctetString(tl))
            count = tl - 1;
        if (pos + 1 + count > n)
            break;
        const uchar *data = f + pos + 1;
        // An element without data bytes means "not sent": no unit, scaler 0.
        if (counter == kUnitElement)
            result.unit = count > 0 ? data[0] : 0;
        else if (counter == kScalerElement)
            result.scaler = count > 0 ? qint8(data[0]) : 0;
        else if (counter == kValueElement) {
            result.reached = true;
            result.tl = tl;
            result.cls = type.cls;
            result.data = data;
            result.size = count;
            return result;
        }
        pos += count + 1;
    }
    return result;
}

quint64 smlUnsignedValue(const uchar *data, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size && i < 8; ++i)
        value = (value << 8) | data[i];
    return value;
}

qint64 smlSignedValue(const uchar *data, int size)
{
    if (size <= 0)
        return 0;
    const quint64 raw = smlUnsignedValue(data, size);
    if (size >= 8)
        return qint64(raw);
    const int shift = 64 - 8 * size;
    // Arithmetic shift of the left-aligned bits extends the sign.
    return qint64(raw << shift) >> shift;
}
