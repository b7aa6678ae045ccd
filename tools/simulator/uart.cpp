#include "tools/simulator/uart.h"

#include <vector>

namespace metersim {

namespace {

bool parityBit(quint8 data, int dataBits, char parity)
{
    int ones = 0;
    for (int i = 0; i < dataBits; ++i)
        ones += (data >> i) & 1;
    switch (parity) {
    case 'E': return ones & 1;
    case 'O': return !(ones & 1);
    case 'M': return true;
    default: return false; // 'S'
    }
}

std::vector<bool> waveform(const QByteArray &bytes, const LineFormat &f)
{
    std::vector<bool> bits;
    bits.reserve(static_cast<size_t>(bytes.size()) * f.bitsPerChar());
    for (const char c : bytes) {
        const quint8 b = static_cast<quint8>(c);
        bits.push_back(false);
        for (int i = 0; i < f.dataBits; ++i)
            bits.push_back((b >> i) & 1);
        if (f.parity != 'N')
            bits.push_back(parityBit(b, f.dataBits, f.parity));
        for (int i = 0; i < f.stopBits; ++i)
            bits.push_back(true);
    }
    return bits;
}

} // namespace

QVector<UartChar> transcode(const QByteArray &bytes, const LineFormat &tx, const LineFormat &rx)
{
    QVector<UartChar> out;
    if (tx == rx) {
        // The common case, and exact by construction.
        const qint64 ct = tx.charTimeNs();
        const quint8 mask = static_cast<quint8>((1u << tx.dataBits) - 1);
        out.reserve(bytes.size());
        for (int i = 0; i < bytes.size(); ++i) {
            UartChar c;
            c.value = static_cast<quint8>(bytes[i]) & mask;
            c.endNs = ct * i + (ct * (2 * tx.bitsPerChar() - 1)) / (2 * tx.bitsPerChar());
            out.push_back(c);
        }
        return out;
    }

    // Time runs in units of 1 / (2 * txBaud * rxBaud) s, so that transmitter
    // bit boundaries and receiver mid-bit samples are both whole numbers.
    const std::vector<bool> bits = waveform(bytes, tx);
    const qint64 n = static_cast<qint64>(bits.size());
    const qint64 txBit = 2LL * rx.baud; // one transmitter bit
    const qint64 rxHalf = tx.baud;      // half a receiver bit
    auto level = [&](qint64 t) {
        const qint64 k = t / txBit;
        return k >= n ? true : bits[static_cast<size_t>(k)];
    };
    auto toNs = [&](qint64 t) { return t * 1000000000LL / (2LL * tx.baud * rx.baud); };

    qint64 hunt = 0;
    qint64 k = 0;
    while (true) {
        // Next falling edge at or after the hunting point.
        k = (hunt + txBit - 1) / txBit;
        while (k < n && !(bits[static_cast<size_t>(k)] == false && (k == 0 || bits[static_cast<size_t>(k - 1)])))
            ++k;
        if (k >= n)
            break;
        const qint64 edge = k * txBit;
        if (level(edge + rxHalf)) { // glitch, not a start bit
            hunt = edge + rxHalf;
            continue;
        }
        UartChar c;
        qint64 sample = edge + 3 * rxHalf;
        for (int i = 0; i < rx.dataBits; ++i, sample += 2 * rxHalf) {
            if (level(sample)) {
                c.value |= static_cast<quint8>(1u << i);
            }
        }
        if (rx.parity != 'N') {
            c.parityError = level(sample) != parityBit(c.value, rx.dataBits, rx.parity);
            sample += 2 * rxHalf;
        }
        c.framingError = !level(sample);
        c.endNs = toNs(sample);
        out.push_back(c);
        hunt = sample;
    }
    return out;
}

QByteArray deliveredBytes(const QVector<UartChar> &chars)
{
    QByteArray out;
    for (const UartChar &c : chars) {
        if (!c.framingError)
            out.append(static_cast<char>(c.value));
    }
    return out;
}

} // namespace metersim
