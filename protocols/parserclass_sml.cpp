#include "protocols/parserclass.h"

#include <algorithm>
#include <cmath>

#include "protocols/smlcrc.h"
#include "protocols/smlitems.h"
#include "protocols/smlwalk.h"

namespace {

const QByteArray kSmlStart("\x1B\x1B\x1B\x1B\x01\x01\x01\x01", 8);
const QByteArray kSmlEnd("\x1B\x1B\x1B\x1B\x1A", 5);
constexpr int kSmlTrailerAfterEnd = 8; // end escape, 1A, fill count, two CRC bytes

constexpr quint8 kUnitWattHour = 0x1E;

// Older DZG DVS74 meters send positive powers as Integer16/24 with the sign bit
// set. They are recognised by their device id 1-0:96.1.0*255: 0A 01 "DZG" and
// a 5-byte serial in the ranges of the faulty series.
const QByteArray kDeviceIdEntry("\x77\x07\x01\x00\x60\x01\x00\xFF", 8);
const QByteArray kDzgIdPrefix("\x0A\x01\x44\x5A\x47", 5);
constexpr int kDeviceIdSize = 10;
struct SerialRange
{
    quint64 first;
    quint64 last;
};
constexpr SerialRange kDvs74FaultySerials[] = {
    { 42000000, 48999999 },
    { 55000000, 58999999 },
};
constexpr int kDvs74UnsignedUpTo = 3; // bytes

bool isFaultyDvs74Frame(const QByteArray &frame)
{
    const int at = frame.indexOf(kDeviceIdEntry);
    if (at < 0)
        return false;
    const SmlValueElement id = walkToSmlValue(frame, at + kDeviceIdEntry.size(), true);
    if (!id.reached || id.size != kDeviceIdSize
        || QByteArray::fromRawData(reinterpret_cast<const char *>(id.data), kDzgIdPrefix.size()) != kDzgIdPrefix)
        return false;
    const quint64 serial = smlUnsignedValue(id.data + kDzgIdPrefix.size(), kDeviceIdSize - kDzgIdPrefix.size());
    for (const SerialRange &range : kDvs74FaultySerials) {
        if (serial >= range.first && serial <= range.last)
            return true;
    }
    return false;
}

double energyValue(const SmlValueElement &v)
{
    // Energies are counters: read unsigned whatever the type says.
    long double value = (long double)smlUnsignedValue(v.data, v.size) * powl(10.0L, v.scaler);
    if (v.unit == kUnitWattHour)
        value /= 1000.0L;
    return double(value);
}

double numberValue(const SmlValueElement &v, bool faultyDvs74)
{
    double raw = 0.0;
    switch (v.cls) {
    case SmlClass::Signed:
        raw = (faultyDvs74 && v.size <= kDvs74UnsignedUpTo) ? double(smlUnsignedValue(v.data, v.size))
                                                             : double(smlSignedValue(v.data, v.size));
        break;
    case SmlClass::Unsigned:
        raw = double(smlUnsignedValue(v.data, v.size));
        break;
    case SmlClass::Boolean:
    case SmlClass::Neither:
        return 0.0;
    }
    return raw * std::pow(10.0, v.scaler);
}

QString textValue(const QByteArray &frame, const SmlItem &item, const SmlValueElement &v)
{
    if (item.textForm == SmlTextForm::TenBytes) {
        const int from = int(v.data - reinterpret_cast<const uchar *>(frame.constData()));
        if (from + 10 > frame.size())
            return QString();
        return QString::fromLatin1(frame.constData() + from, 10);
    }
    return QString::fromLatin1(reinterpret_cast<const char *>(v.data), v.size);
}

void storeFirstNonZero(meter_result_t &r, const SmlItem &item, double value)
{
    double &field = r.*item.value;
    if (field == 0.0) {
        field = value;
        r.*item.valid = true;
    }
}

// Totals a meter did not send are formed from their parts.
#define FIELD(suffix) meterField(&meter_result_t::Value_##suffix)
constexpr DerivedTotal kSmlTotals[] = {
    { FIELD(170), DerivedTotal::Unflagged, { FIELD(171), FIELD(172), FIELD(173) } },
    { FIELD(270), DerivedTotal::Unflagged, { FIELD(271), FIELD(272), FIELD(273) } },
    { FIELD(180), DerivedTotal::Unflagged, { FIELD(181), FIELD(182) } },
    { FIELD(280), DerivedTotal::Unflagged, { FIELD(281), FIELD(282) } },
};
#undef FIELD

} // namespace

QByteArray parserclass::extractSmlFrame(const QByteArray &buffer) const
{
    const SmlFrameSpan span = locateSmlFrame(buffer);
    if (span.start < 0)
        return QByteArray();
    return buffer.mid(span.start, span.size);
}

SmlFrameSpan parserclass::locateSmlFrame(const QByteArray &buffer) const
{
    SmlFrameSpan span;
    const int start = buffer.indexOf(kSmlStart);
    if (start < 0)
        return span;
    const int end = buffer.indexOf(kSmlEnd, start);
    if (end < 0)
        return span;
    span.start = start;
    // A buffer that ends inside the trailer cuts the frame short.
    span.size = std::min(end - start + kSmlTrailerAfterEnd, int(buffer.size()) - start);
    return span;
}

bool parserclass::containsSmlEnergyRegister(const QByteArray &frame) const
{
    for (int k = 0; k < kSmlEnergyItemCount; ++k) {
        if (frame.contains(smlItemPattern(kSmlItems[k])))
            return true;
    }
    return false;
}

quint16 parserclass::calcSmlCrc(const QByteArray &frame) const
{
    if (frame.size() <= 2)
        return 0;
    const quint16 crc = smlCrc16X25(frame.constData(), frame.size() - 2);
    return quint16((crc << 8) | (crc >> 8));
}

bool parserclass::smlCrcMatches(const QByteArray &frame) const
{
    if (frame.size() <= 2)
        return false; // no bytes to cover
    const int n = frame.size();
    const quint16 carried = quint16(quint8(frame[n - 2]) << 8 | quint8(frame[n - 1]));
    return carried == calcSmlCrc(frame) || carried == smlCrc16Kermit(frame.constData(), n - 2);
}

meter_result_t parserclass::decodeSml(QByteArray frame) const
{
    meter_result_t r = clearedMeterResult();
    try {
        const SmlItemPositions positions = locateSmlItems(frame);
        const bool faultyDvs74 = isFaultyDvs74Frame(frame);
        for (int k = 0; k < kSmlItemCount; ++k) {
            const int at = positions[std::size_t(k)];
            if (at < 0)
                continue;
            const SmlItem &item = kSmlItems[k];
            // Past the pattern and the sixth OBIS byte: the status element.
            const SmlValueElement v = walkToSmlValue(frame, at + kSmlPatternSize + 1, item.kind == SmlItemKind::Text);
            switch (item.kind) {
            case SmlItemKind::Energy:
                storeFirstNonZero(r, item, v.reached ? energyValue(v) : 0.0);
                break;
            case SmlItemKind::Number:
                storeFirstNonZero(r, item, v.reached ? numberValue(v, faultyDvs74) : 0.0);
                break;
            case SmlItemKind::Text:
                if (v.reached)
                    r.*item.text = textValue(frame, item, v);
                break;
            }
        }
    } catch (...) {
        r.ParseError = 1;
    }

    deriveTotals(r, kSmlTotals, std::size(kSmlTotals));
    return r;
}
