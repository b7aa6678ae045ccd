// decodeObisAscii, calcBcc, containsEnergyRegister and isNumber on any bytes.
#include <cstddef>
#include <cstdint>

#include "protocols/parserclass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const parserclass p;
    p.calcBcc(bytes);
    for (const QString &text : {QString::fromUtf8(bytes), QString::fromLatin1(bytes)}) {
        p.containsEnergyRegister(text);
        p.isNumber(text);
        const meter_result_t r = p.decodeObisAscii(text);
        if (r.ParseError != 0 && r.ParseError != 1)
            __builtin_trap();
        // A value without its flag must be 0.0.
        for (const MeterField &f : kMeterFields) {
            if (!(r.*f.valid) && r.*f.value != 0.0)
                __builtin_trap();
        }
    }
    return 0;
}
