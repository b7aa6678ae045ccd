#include "tests/sml/smlplainsearch.h"

SmlItemPositions locateSmlItemsPlain(const QByteArray &frame)
{
    SmlItemPositions positions;
    for (int k = 0; k < kSmlItemCount; ++k)
        positions[std::size_t(k)] = frame.indexOf(smlItemPattern(kSmlItems[k]));
    return positions;
}
