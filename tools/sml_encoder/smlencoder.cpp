#include "tools/sml_encoder/smlencoder.h"

#include <cmath>

namespace smlencoder {

namespace {

// Bit by bit on purpose: independent of the table-driven CRC it checks.
quint16 crcReflected8408(const QByteArray &data, quint16 crc)
{
    for (char c : data) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0x8408) : quint16(crc >> 1);
    }
    return crc;
}

quint16 crcX25(const QByteArray &data)
{
    return quint16(crcReflected8408(data, 0xFFFF) ^ 0xFFFF);
}

int smallestWidth(quint64 magnitudeBits)
{
    if (magnitudeBits <= 0xFF)
        return 1;
    if (magnitudeBits <= 0xFFFF)
        return 2;
    if (magnitudeBits <= 0xFFFFFFFFull)
        return 4;
    return 8;
}

QByteArray bigEndian(quint64 value, int width)
{
    QByteArray out(width, '\0');
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char(value & 0xFF);
        value >>= 8;
    }
    return out;
}

const QByteArray kEscape("\x1B\x1B\x1B\x1B", 4);
const QByteArray kStart("\x1B\x1B\x1B\x1B\x01\x01\x01\x01", 8);

constexpr quint32 kOpenResponse = 0x0101;
constexpr quint32 kCloseResponse = 0x0201;
constexpr quint32 kGetListResponse = 0x0701;

qint64 scaled(double value, int scaler)
{
    return qint64(std::llround(value / std::pow(10.0, scaler)));
}

SmlListEntry entry(const QByteArray &obis, SmlUnit unit, qint8 scaler, SmlValue value)
{
    SmlListEntry e;
    e.obis = obis;
    e.unit = unit;
    e.scaler = scaler;
    e.value = value;
    return e;
}

// Totals carry status and time as most meters send them; tariffs leave both out.
SmlListEntry energy(quint8 c, quint8 e, double kWh, quint32 secIndex)
{
    SmlListEntry result = entry(obisCode(1, 0, c, 8, e), SmlUnitWattHour, -1,
                                SmlValue::unsignedInt(quint64(scaled(kWh * 1000.0, -1)), 8));
    if (e == 0) {
        result.status = 0x0182;
        result.statusWidth = 2;
        result.time = { SmlTime::Form::SecIndex, secIndex };
    }
    return result;
}

SmlListEntry power(quint8 c, double watts)
{
    return entry(obisCode(1, 0, c, 7, 0), SmlUnitWatt, -1, SmlValue::signedInt(scaled(watts, -1), 4));
}

SmlListEntry voltage(quint8 c, double volts)
{
    return entry(obisCode(1, 0, c, 7, 0), SmlUnitVolt, -1, SmlValue::unsignedInt(quint64(scaled(volts, -1)), 2));
}

SmlListEntry current(quint8 c, double amperes)
{
    return entry(obisCode(1, 0, c, 7, 0), SmlUnitAmpere, -2, SmlValue::unsignedInt(quint64(scaled(amperes, -2)), 2));
}

QVector<SmlListEntry> commonEntries(const SmlMeterReading &r)
{
    QVector<SmlListEntry> entries;
    SmlListEntry maker;
    maker.obis = obisCode(0x81, 0x81, 0xC7, 0x82, 0x03);
    maker.value = SmlValue::octets(r.manufacturer);
    entries << maker;
    SmlListEntry id;
    id.obis = obisCode(1, 0, 0, 0, 9);
    id.value = SmlValue::octets(r.serverId);
    entries << id;
    entries << energy(1, 0, r.importKWh[0], r.secIndex) << energy(1, 1, r.importKWh[1], r.secIndex)
            << energy(1, 2, r.importKWh[2], r.secIndex);
    entries << energy(2, 0, r.exportKWh[0], r.secIndex) << power(16, r.powerW);
    return entries;
}

} // namespace

QByteArray smlTypeLength(quint8 type, int length)
{
    // Count the TL bytes themselves for everything but lists.
    int tlBytes = 1;
    int total = length;
    if (type != 0x70) {
        while (length + tlBytes > (1 << (4 * tlBytes)) - 1)
            ++tlBytes;
        total = length + tlBytes;
    } else {
        while (length > (1 << (4 * tlBytes)) - 1)
            ++tlBytes;
    }
    QByteArray out;
    for (int i = tlBytes - 1; i >= 0; --i) {
        quint8 b = quint8((total >> (4 * i)) & 0x0F);
        if (i == tlBytes - 1)
            b |= type;
        if (i > 0)
            b |= 0x80;
        out.append(char(b));
    }
    return out;
}

QByteArray smlOctets(const QByteArray &bytes)
{
    return smlTypeLength(0x00, bytes.size()) + bytes;
}

QByteArray smlUnsigned(quint64 value, int width)
{
    if (width <= 0)
        width = smallestWidth(value);
    return smlTypeLength(0x60, width) + bigEndian(value, width);
}

QByteArray smlSigned(qint64 value, int width)
{
    if (width <= 0) {
        // Smallest standard width whose range holds the value.
        width = 8;
        for (int w : { 1, 2, 4 }) {
            const qint64 limit = qint64(1) << (8 * w - 1);
            if (value >= -limit && value < limit) {
                width = w;
                break;
            }
        }
    }
    return smlTypeLength(0x50, width) + bigEndian(quint64(value), width);
}

QByteArray smlBoolean(bool value)
{
    return QByteArray("\x42", 1) + QByteArray(1, value ? char(0x01) : char(0x00));
}

QByteArray smlList(const QVector<QByteArray> &elements)
{
    QByteArray out = smlTypeLength(0x70, elements.size());
    for (const QByteArray &e : elements)
        out += e;
    return out;
}

QByteArray smlAbsent()
{
    return QByteArray("\x01", 1);
}

QByteArray obisCode(quint8 a, quint8 b, quint8 c, quint8 d, quint8 e, quint8 f)
{
    const char bytes[6] = { char(a), char(b), char(c), char(d), char(e), char(f) };
    return QByteArray(bytes, 6);
}

SmlValue SmlValue::unsignedInt(quint64 value, int width)
{
    SmlValue v;
    v.kind = Kind::Unsigned;
    v.unsignedValue = value;
    v.width = width;
    return v;
}

SmlValue SmlValue::signedInt(qint64 value, int width)
{
    SmlValue v;
    v.kind = Kind::Signed;
    v.signedValue = value;
    v.width = width;
    return v;
}

SmlValue SmlValue::octets(const QByteArray &bytes)
{
    SmlValue v;
    v.kind = Kind::Octets;
    v.bytes = bytes;
    return v;
}

SmlValue SmlValue::booleanValue(bool value)
{
    SmlValue v;
    v.kind = Kind::Boolean;
    v.boolean = value;
    return v;
}

SmlValue SmlValue::absent()
{
    return SmlValue();
}

QByteArray SmlValue::encode() const
{
    switch (kind) {
    case Kind::Unsigned:
        return smlUnsigned(unsignedValue, width);
    case Kind::Signed:
        return smlSigned(signedValue, width);
    case Kind::Octets:
        return smlOctets(bytes);
    case Kind::Boolean:
        return smlBoolean(boolean);
    case Kind::Absent:
        break;
    }
    return smlAbsent();
}

QByteArray SmlTime::encode() const
{
    switch (form) {
    case Form::SecIndex:
        return smlList({ smlUnsigned(1, 1), smlUnsigned(seconds, 4) });
    case Form::Timestamp:
        return smlList({ smlUnsigned(2, 1), smlUnsigned(seconds, 4) });
    case Form::BareSeconds:
        return smlUnsigned(seconds, 4);
    case Form::Absent:
        break;
    }
    return smlAbsent();
}

QByteArray SmlListEntry::encode() const
{
    return smlList({
        smlOctets(obis),
        status ? smlUnsigned(*status, statusWidth) : smlAbsent(),
        time.encode(),
        unit ? smlUnsigned(*unit, 1) : smlAbsent(),
        scaler ? smlSigned(*scaler, 1) : smlAbsent(),
        value.encode(),
        smlAbsent(), // value signature
    });
}

QByteArray smlMessage(const QByteArray &transactionId, quint32 tag, const QByteArray &body)
{
    QByteArray msg = smlTypeLength(0x70, 6);
    msg += smlOctets(transactionId);
    msg += smlUnsigned(0, 1); // group number
    msg += smlUnsigned(0, 1); // abort on error
    msg += smlList({ smlUnsigned(tag, 2), body });
    const quint16 crc = crcX25(msg);
    // The message CRC travels as an Unsigned16 holding the CRC low byte first.
    msg += smlUnsigned(quint16((crc << 8) | (crc >> 8)), 2);
    msg += '\0'; // end of message
    return msg;
}

QByteArray smlOpenResponse(const QByteArray &transactionId, const QByteArray &reqFileId, const QByteArray &serverId)
{
    return smlMessage(transactionId, kOpenResponse,
                      smlList({ smlAbsent(), smlAbsent(), smlOctets(reqFileId), smlOctets(serverId), smlAbsent(),
                                smlAbsent() }));
}

QByteArray smlGetListResponse(const QByteArray &transactionId, const QByteArray &serverId,
                              const QVector<SmlListEntry> &entries, const SmlTime &sensorTime)
{
    QVector<QByteArray> list;
    for (const SmlListEntry &e : entries)
        list << e.encode();
    return smlMessage(transactionId, kGetListResponse,
                      smlList({ smlAbsent(), smlOctets(serverId), smlOctets(obisCode(1, 0, 0x62, 0x0A, 0xFF, 0xFF)),
                                sensorTime.encode(), smlList(list), smlAbsent(), smlAbsent() }));
}

QByteArray smlCloseResponse(const QByteArray &transactionId)
{
    return smlMessage(transactionId, kCloseResponse, smlList({ smlAbsent() }));
}

QByteArray smlCrcBytes(const QByteArray &covered, SmlCrcForm form)
{
    const quint16 x25 = crcX25(covered);
    auto bytes = [](quint8 first, quint8 second) {
        return QByteArray(1, char(first)) + QByteArray(1, char(second));
    };
    switch (form) {
    case SmlCrcForm::X25LowByteFirst:
        return bytes(quint8(x25), quint8(x25 >> 8));
    case SmlCrcForm::X25HighByteFirst:
        return bytes(quint8(x25 >> 8), quint8(x25));
    case SmlCrcForm::KermitHighByteFirst: {
        const quint16 kermit = crcReflected8408(covered, 0x0000);
        return bytes(quint8(kermit >> 8), quint8(kermit));
    }
    case SmlCrcForm::Wrong:
        return bytes(quint8(x25) ^ 0x01, quint8(x25 >> 8));
    }
    return QByteArray();
}

QByteArray smlTransportFrame(const QByteArray &messages, SmlCrcForm crc)
{
    QByteArray body;
    for (int i = 0; i < messages.size();) {
        if (messages.mid(i, 4) == kEscape) {
            body += kEscape + kEscape;
            i += 4;
        } else {
            body += messages[i++];
        }
    }
    const int fill = (4 - body.size() % 4) % 4;
    QByteArray frame = kStart + body + QByteArray(fill, '\0') + kEscape;
    frame += char(0x1A);
    frame += char(fill);
    return frame + smlCrcBytes(frame, crc);
}

QVector<SmlListEntry> smlSinglePhaseEntries(const SmlMeterReading &reading)
{
    QVector<SmlListEntry> entries = commonEntries(reading);
    entries << voltage(32, reading.voltageV[0]) << current(31, reading.currentA[0]);
    return entries;
}

QVector<SmlListEntry> smlThreePhaseEntries(const SmlMeterReading &reading)
{
    QVector<SmlListEntry> entries = commonEntries(reading);
    entries << energy(2, 1, reading.exportKWh[1], reading.secIndex) << energy(2, 2, reading.exportKWh[2], reading.secIndex);
    entries << power(36, reading.phasePowerW[0]) << power(56, reading.phasePowerW[1])
            << power(76, reading.phasePowerW[2]);
    entries << voltage(32, reading.voltageV[0]) << voltage(52, reading.voltageV[1])
            << voltage(72, reading.voltageV[2]);
    entries << current(31, reading.currentA[0]) << current(51, reading.currentA[1])
            << current(71, reading.currentA[2]);
    return entries;
}

QByteArray smlMeterFile(const QVector<SmlListEntry> &entries, const QByteArray &serverId, SmlCrcForm crc)
{
    const QByteArray messages = smlOpenResponse(QByteArray("\x00\x01\x02", 3), QByteArray("\x0A\x0B\x0C", 3), serverId)
        + smlGetListResponse(QByteArray("\x00\x01\x03", 3), serverId, entries, { SmlTime::Form::SecIndex, 1000 })
        + smlCloseResponse(QByteArray("\x00\x01\x04", 3));
    return smlTransportFrame(messages, crc);
}

QByteArray smlSinglePhaseMeterFile(const SmlMeterReading &reading, SmlCrcForm crc)
{
    return smlMeterFile(smlSinglePhaseEntries(reading), reading.serverId, crc);
}

QByteArray smlThreePhaseMeterFile(const SmlMeterReading &reading, SmlCrcForm crc)
{
    return smlMeterFile(smlThreePhaseEntries(reading), reading.serverId, crc);
}

QByteArray smlCutShort(const QByteArray &file, int missingBytes)
{
    return file.left(qMax(0, file.size() - missingBytes));
}

QByteArray smlWithWrongCrc(const QByteArray &file)
{
    QByteArray out = file;
    if (!out.isEmpty())
        out[out.size() - 1] = char(out[out.size() - 1] ^ 0x5A);
    return out;
}

QByteArray smlWithCrcHighByteFirst(const QByteArray &file)
{
    QByteArray out = file;
    if (out.size() >= 2) {
        const char last = out[out.size() - 1];
        out[out.size() - 1] = out[out.size() - 2];
        out[out.size() - 2] = last;
    }
    return out;
}

QByteArray smlTwoFrames(const QByteArray &first, const QByteArray &second)
{
    return first + second;
}

QByteArray smlWithGarbage(const QByteArray &file, const QByteArray &before, const QByteArray &after)
{
    return before + file + after;
}

} // namespace smlencoder
