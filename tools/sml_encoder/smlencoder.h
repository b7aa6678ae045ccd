#pragma once

#include <QByteArray>
#include <QVector>

#include <optional>

// SML telegram encoder: builds SML files as meters send them (transport
// version 1: escape, version, messages, fill bytes, end escape, fill count,
// frame CRC). Every message carries its own CRC.
//
// Layers, each usable on its own:
//   1. elements:   smlOctets, smlUnsigned, smlSigned, smlBoolean, smlList, smlAbsent
//   2. list entry: SmlListEntry (OBIS code, status, time, unit, scaler, value)
//   3. messages:   smlOpenResponse, smlGetListResponse, smlCloseResponse
//   4. transport:  smlTransportFrame (with a choice of CRC form)
//   5. meters:     smlSinglePhaseMeterFile / smlThreePhaseMeterFile from an SmlMeterReading
//   6. faults:     cut short, wrong CRC, CRC high byte first, two frames, garbage around
namespace smlencoder {

// ---- 1. elements ----
// Type-length field: type is 0x00 (octet string), 0x40, 0x50, 0x60 or 0x70
// (list). For lists length is the element count; for the others the data size
// (the field adds its own bytes, and long fields take more than one TL byte).
QByteArray smlTypeLength(quint8 type, int length);
QByteArray smlOctets(const QByteArray &bytes);
// Integers of any width from 1 to 8 bytes (big-endian, two's complement; the
// value is cut to the width, so an out-of-range value gives raw bits as
// faulty firmware sends them). width 0 picks the smallest of 1, 2, 4, 8 bytes.
QByteArray smlUnsigned(quint64 value, int width = 0);
QByteArray smlSigned(qint64 value, int width = 0);
QByteArray smlBoolean(bool value);
QByteArray smlList(const QVector<QByteArray> &elements);
QByteArray smlAbsent(); // 01: optional element not set

// An OBIS code as the 6-byte octet string content.
QByteArray obisCode(quint8 a, quint8 b, quint8 c, quint8 d, quint8 e, quint8 f = 0xFF);

// DLMS unit codes used by meters.
enum SmlUnit : quint8 {
    SmlUnitDegree = 0x08,
    SmlUnitWatt = 0x1B,
    SmlUnitWattHour = 0x1E,
    SmlUnitAmpere = 0x21,
    SmlUnitVolt = 0x23,
};

struct SmlValue
{
    enum class Kind { Unsigned, Signed, Octets, Boolean, Absent };
    Kind kind = Kind::Absent;
    quint64 unsignedValue = 0;
    qint64 signedValue = 0;
    int width = 0; // data bytes of a number, 0 = smallest standard width
    QByteArray bytes;
    bool boolean = false;

    static SmlValue unsignedInt(quint64 value, int width = 0);
    static SmlValue signedInt(qint64 value, int width = 0);
    static SmlValue octets(const QByteArray &bytes);
    static SmlValue booleanValue(bool value);
    static SmlValue absent();
    QByteArray encode() const;
};

// The time of an entry or of a sensor: absent, the SML_Time choice with a
// second index (tag 1) or a timestamp (tag 2), or a bare Unsigned32 as some
// Holley firmware sends it.
struct SmlTime
{
    enum class Form { Absent, SecIndex, Timestamp, BareSeconds };
    Form form = Form::Absent;
    quint32 seconds = 0;
    QByteArray encode() const;
};

// ---- 2. list entry ----
struct SmlListEntry
{
    QByteArray obis;                 // 6 bytes, see obisCode
    std::optional<quint64> status;   // Unsigned of statusWidth bytes
    int statusWidth = 0;
    SmlTime time;
    std::optional<quint8> unit;
    std::optional<qint8> scaler;
    SmlValue value;

    QByteArray encode() const; // 77 obis status time unit scaler value signature
};

// ---- 3. messages (each: 76 transactionId groupNo abortOnError body crc 00) ----
QByteArray smlMessage(const QByteArray &transactionId, quint32 tag, const QByteArray &body);
QByteArray smlOpenResponse(const QByteArray &transactionId, const QByteArray &reqFileId, const QByteArray &serverId);
QByteArray smlGetListResponse(const QByteArray &transactionId, const QByteArray &serverId,
                              const QVector<SmlListEntry> &entries, const SmlTime &sensorTime = {});
QByteArray smlCloseResponse(const QByteArray &transactionId);

// ---- 4. transport ----
enum class SmlCrcForm {
    X25LowByteFirst,     // the standard
    X25HighByteFirst,    // byte order wrong
    KermitHighByteFirst, // older Holley DTZ541 firmware
    Wrong,               // X-25 low byte first with one bit flipped
};
// Escapes 1B 1B 1B 1B inside the messages, pads them with 00 to a multiple of
// four and appends end escape, 1A, fill count and CRC.
QByteArray smlTransportFrame(const QByteArray &messages, SmlCrcForm crc = SmlCrcForm::X25LowByteFirst);
QByteArray smlCrcBytes(const QByteArray &covered, SmlCrcForm form);

// ---- 5. meters ----
struct SmlMeterReading
{
    QByteArray manufacturer = "EMH";
    QByteArray serverId = QByteArray::fromHex("0A01454D480000BC614E"); // 0A 01 "EMH" serial
    double importKWh[3] = { 0, 0, 0 }; // 1.8.0, 1.8.1, 1.8.2
    double exportKWh[3] = { 0, 0, 0 }; // 2.8.0, 2.8.1, 2.8.2
    double powerW = 0;                 // 16.7.0, negative when feeding in
    double phasePowerW[3] = { 0, 0, 0 }; // 36.7.0, 56.7.0, 76.7.0
    double voltageV[3] = { 0, 0, 0 };  // 32.7.0, 52.7.0, 72.7.0
    double currentA[3] = { 0, 0, 0 };  // 31.7.0, 51.7.0, 71.7.0
    quint32 secIndex = 1000;
};
// Manufacturer, server id, import energies with tariffs, export total, total
// power; single phase adds voltage and current of L1, three phase the export
// tariffs and the powers, voltages and currents of all phases. Energies: Unsigned64 Wh scaler -1; powers:
// Integer32 W scaler -1; voltages Unsigned16 V scaler -1; currents
// Unsigned16 A scaler -2.
QVector<SmlListEntry> smlSinglePhaseEntries(const SmlMeterReading &reading);
QVector<SmlListEntry> smlThreePhaseEntries(const SmlMeterReading &reading);
// A whole file: open response, get-list response with the entries, close response.
QByteArray smlMeterFile(const QVector<SmlListEntry> &entries, const QByteArray &serverId,
                        SmlCrcForm crc = SmlCrcForm::X25LowByteFirst);
QByteArray smlSinglePhaseMeterFile(const SmlMeterReading &reading, SmlCrcForm crc = SmlCrcForm::X25LowByteFirst);
QByteArray smlThreePhaseMeterFile(const SmlMeterReading &reading, SmlCrcForm crc = SmlCrcForm::X25LowByteFirst);

// ---- 6. faults ----
QByteArray smlCutShort(const QByteArray &file, int missingBytes); // the last bytes never arrived
QByteArray smlWithWrongCrc(const QByteArray &file);
QByteArray smlWithCrcHighByteFirst(const QByteArray &file);
QByteArray smlTwoFrames(const QByteArray &first, const QByteArray &second);
QByteArray smlWithGarbage(const QByteArray &file, const QByteArray &before, const QByteArray &after);

} // namespace smlencoder
