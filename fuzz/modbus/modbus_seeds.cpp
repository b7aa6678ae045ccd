// Writes the fuzzer's seed records: full answer records from the answer
// builder, good and with each fault. Usage: fuzz_modbus_seeds <dir>
#include <QDir>
#include <QFile>

#include "tools/modbus_encoder/modbusencoder.h"
#include "fuzz/modbus/modbusfuzzinput.h"

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir))
        return 1;
    using F = ModbusAnswerFault;
    int n = 0;
    for (const F fault : {F::None, F::WrongCrc, F::OneByte, F::Cut, F::Exception, F::LyingByteCount, F::WrongSlave}) {
        modbus_answers_t answers;
        for (int i = 0; i < kModbusRequestCount; ++i)
            answers.slot[kModbusRequests[i].answerSlot] =
                ModbusAnswerBuilder::answerFor(0x79, i, 123456u * quint64(i + 1), fault);
        QFile f(dir + QString("/record-%1").arg(n++));
        const QByteArray input = fuzzInputFromAnswers(answers);
        if (!f.open(QIODevice::WriteOnly) || f.write(input) != input.size())
            return 1;
    }
    return 0;
}
