#include "protocols/smlitems.h"

#include <cstring>

QByteArray smlItemPattern(const SmlItem &item)
{
    QByteArray pattern("\x77\x07", 2);
    pattern.append(reinterpret_cast<const char *>(item.obis), 5);
    return pattern;
}

SmlItemPositions locateSmlItems(const QByteArray &frame)
{
    SmlItemPositions positions;
    positions.fill(-1);
    int missing = kSmlItemCount;
    const auto *data = reinterpret_cast<const uchar *>(frame.constData());
    const int last = frame.size() - kSmlPatternSize; // last index a whole pattern fits at
    int i = 0;
    while (missing > 0 && i <= last) {
        const void *hit = std::memchr(data + i, 0x77, std::size_t(last - i + 1));
        if (!hit)
            break;
        i = int(static_cast<const uchar *>(hit) - data);
        if (data[i + 1] == 0x07) {
            for (int k = 0; k < kSmlItemCount; ++k) {
                if (positions[std::size_t(k)] < 0 && std::memcmp(data + i + 2, kSmlItems[k].obis, 5) == 0) {
                    positions[std::size_t(k)] = i;
                    --missing;
                }
            }
        }
        ++i;
    }
    return positions;
}
