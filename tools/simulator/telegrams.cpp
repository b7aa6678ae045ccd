#include "tools/simulator/telegrams.h"

#include "tools/iec_encoder/iecencoder.h"
#include "tools/sml_encoder/smlencoder.h"

#include <algorithm>
#include <cmath>

namespace metersim::telegrams {

namespace {

// The program's constant request: open, get-list, close.
constexpr char kSmlRequestHex[] =
    "1B1B1B1B010101017603303062006200726500000100770101093131333131383632010101016303360076033031620062007265"
    "000007007501010101016314CB007603303262006200726500000200710163756D0000001B1B1B1B1A027241";

// The register at the end of each past month, as meters keep it for billing:
// as many months as make the data message at least minBytes long. The current
// value comes first, so a decoder that takes the first 1.8.0 reads it.
void addHistory(IecReadoutBuilder &b, int minBytes)
{
    int size = b.dataMessage().size();
    for (int month = 1; size < minBytes; ++month) {
        const double kWh = defaultValues().import_kWh - 20.0 * month;
        const QByteArray line = "1-0:1.8.0*" + QByteArray::number(month % 100).rightJustified(2, '0') + "("
                                + QByteArray::number(std::max(0.0, kWh), 'f', 3).rightJustified(10, '0') + "*kWh)";
        b.addLine(line);
        size += line.size() + 2;
    }
}

IecReadoutBuilder iecBuilder(char baudChar, int minBytes = 0)
{
    const MeterValues &v = defaultValues();
    IecReadoutBuilder b("VIV", baudChar, "SIM100");
    b.addText("0.0.0", "12345678");
    const struct
    {
        const char *obis;
        double value;
        int decimals;
        const char *unit;
    } lines[] = {
        {"1.8.0", v.import_kWh, 3, "kWh"},   {"1.8.1", v.importT1_kWh, 3, "kWh"},
        {"1.8.2", v.importT2_kWh, 3, "kWh"},  {"2.8.0", v.export_kWh, 3, "kWh"},
        {"2.8.1", v.exportT1_kWh, 3, "kWh"},  {"2.8.2", v.exportT2_kWh, 3, "kWh"},
        {"16.7.0", v.power_W, 1, "W"},        {"32.7.0", v.voltage_V[0], 1, "V"},
        {"52.7.0", v.voltage_V[1], 1, "V"},   {"72.7.0", v.voltage_V[2], 1, "V"},
        {"31.7.0", v.current_A[0], 2, "A"},   {"51.7.0", v.current_A[1], 2, "A"},
        {"71.7.0", v.current_A[2], 2, "A"},
    };
    for (const auto &l : lines) {
        IecValue value;
        value.obis = l.obis;
        value.value = l.value;
        value.decimals = l.decimals;
        value.unit = l.unit;
        b.addValue(value);
    }
    addHistory(b, minBytes);
    return b;
}

} // namespace

const MeterValues &defaultValues()
{
    static const MeterValues values;
    return values;
}

QByteArray smlFile()
{
    const MeterValues &v = defaultValues();
    smlencoder::SmlMeterReading r;
    r.importKWh[0] = v.import_kWh;
    r.importKWh[1] = v.importT1_kWh;
    r.importKWh[2] = v.importT2_kWh;
    r.exportKWh[0] = v.export_kWh;
    r.exportKWh[1] = v.exportT1_kWh;
    r.exportKWh[2] = v.exportT2_kWh;
    r.powerW = v.power_W;
    for (int i = 0; i < 3; ++i) {
        r.phasePowerW[i] = v.phasePower_W[i];
        r.voltageV[i] = v.voltage_V[i];
        r.currentA[i] = v.current_A[i];
    }
    return smlencoder::smlThreePhaseMeterFile(r);
}

QByteArray smlRequest()
{
    return QByteArray::fromHex(kSmlRequestHex);
}

QByteArray iecIdentification(char baudChar)
{
    return iecBuilder(baudChar).identification();
}

QByteArray iecDataMessage(int minBytes)
{
    return iecBuilder('5', minBytes).dataMessage();
}

QByteArray iecPushMessage(int minBytes)
{
    const IecReadoutBuilder b = iecBuilder('5', minBytes);
    const QByteArray data = b.dataMessage();
    // Push meters send the data lines without STX, ETX and block check.
    return b.identification() + "\r\n" + data.mid(1, data.size() - 3);
}

QMap<quint16, quint16> modbusRegisters()
{
    const MeterValues &v = defaultValues();
    QMap<quint16, quint16> map;
    auto put32 = [&map](quint16 reg, double value) {
        const quint32 raw = static_cast<quint32>(std::llround(value));
        map[reg] = static_cast<quint16>(raw >> 16);
        map[reg + 1] = static_cast<quint16>(raw & 0xFFFF);
    };
    // Identification block asked for first (presence check).
    map[0x0402] = 0x1234;
    map[0x0403] = 0x5678;
    map[0x0404] = 0x0001;
    // Energies in Wh, powers in tenths of a watt.
    put32(0x4000, v.import_kWh * 1000);
    put32(0x4002, v.importT1_kWh * 1000);
    put32(0x4004, v.importT2_kWh * 1000);
    put32(0x4006, 0);
    put32(0x4008, 0);
    put32(0x4100, v.export_kWh * 1000);
    put32(0x4102, v.exportT1_kWh * 1000);
    put32(0x4104, v.exportT2_kWh * 1000);
    put32(0x4106, 0);
    put32(0x4108, 0);
    put32(0x0000, v.power_W * 10);
    put32(0x0002, v.exportPower_W * 10);
    return map;
}

} // namespace metersim::telegrams
