// decodeModbus on any answer record, checkModbusCrc and calcModbusCrc on any bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/modbus/modbusfuzzinput.h"
#include "protocols/parserclass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const parserclass p;
    p.checkModbusCrc(bytes);
    p.calcModbusCrc(bytes, bytes.size() + 3);
    const modbus_answers_t answers = answersFromFuzzInput(bytes);
    for (const QByteArray &a : answers.slot)
        p.checkModbusCrc(a);
    const meter_result_t r = p.decodeModbus(answers);
    // Only function 03 answers that hold all the bytes they claim give values;
    // the totals may also come from their tariffs.
    for (const ModbusRequest &q : kModbusRequests) {
        const QByteArray &a = answers.slot[q.answerSlot];
        const bool holdsValue = a.size() >= 3 && a.at(1) == 0x03 && a.size() >= 5 + quint8(a.at(2));
        const bool derived = (q.valid == &meter_result_t::Valid_180 && (r.Valid_181 || r.Valid_182))
                             || (q.valid == &meter_result_t::Valid_280 && (r.Valid_281 || r.Valid_282));
        if (q.valid && r.*q.valid && !holdsValue && !derived)
            __builtin_trap();
    }
    if (r.ParseError != 0)
        __builtin_trap();
    return 0;
}
