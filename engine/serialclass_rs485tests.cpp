#include "engine/serialclass.h"

#include <QDeadlineTimer>

#include "protocols/modbusprobe.h"
#include "protocols/modbusrtu.h"
#include "protocols/parserclass.h"
#include "engine/answerread.h"
#include "engine/telegramsteps.h"
#include "engine/testlink.h"

namespace {

constexpr int kModbusAnswerMaxBytes = 5000;

// The chain waits before it looks for each answer; the fast chain reads each
// answer as it comes and goes on the moment it is complete.
struct ModbusTiming
{
    int settleMs;
    int answerWithinMs;
};
constexpr ModbusTiming kModbusChainTiming{700, 2000};
constexpr ModbusTiming kModbusFastTiming{0, 2000};

// The two RS485 readout tests differ only in these.
struct ReadoutVariant
{
    LineSettings line;
    const char *ack; // six bytes
    const char *progressPrefix;
};
constexpr ReadoutVariant kReadoutTest2{kLine9600_7E1, "\x06" "000\r\n", "Test 2 von 3 - Lese Bytes: "};
constexpr ReadoutVariant kReadoutTest3{kLine9600_8N1, "\x06" "050\r\n", "Test 3 von 3 - Lese Bytes: "};
constexpr int kAckSize = 6;
constexpr char kReadoutRequest[] = "/?!\r\n";
constexpr int kReadoutMinBytes = 15;
constexpr int kReadoutMaxBytes = 5000;

constexpr int kSmlMinBytes = 21;
// After a frame whose CRC failed, or one cut short: read on this long for
// the next (meters push every 1 to 4 s).
constexpr int kSmlReadOnMs = 5000;

// Reads until the answer is complete, more than 5000 bytes came, or the time
// for the answer is up: a slow meter or one whose answer comes in several
// packets is read whole.
ModbusCut readModbusAnswer(TestLink &link, const QByteArray &request, int withinMs)
{
    QByteArray received;
    const QDeadlineTimer due(withinMs, Qt::PreciseTimer);
    for (;;) {
        link.appendAvailable(received, QStringLiteral("Test 1 von 3 - Lese Bytes: "));
        const ModbusCut cut = cutModbusAnswer(received, request);
        if (cut.complete || received.size() > kModbusAnswerMaxBytes || due.hasExpired())
            return cut;
        link.waitForInput(int(qMax<qint64>(1, due.remainingTime())));
    }
}

// The size of the Modbus frame at the start of `bytes` (a function 03 answer
// or an exception) when its CRC holds; 0 otherwise.
int checkedModbusFrameSize(const parserclass &parser, const QByteArray &bytes)
{
    if (bytes.size() < kModbusExceptionSize)
        return 0;
    const int size = (quint8(bytes.at(1)) & kModbusExceptionBit)
        ? kModbusExceptionSize
        : kModbusHeadSize + quint8(bytes.at(2)) + kModbusCrcSize;
    return bytes.size() >= size && parser.checkModbusCrc(bytes.left(size)) ? size : 0;
}

// What an answer tells beyond its bytes: its CRC, an exception the slave
// raised, or a whole frame from a slave that was not asked.
void recordModbusAnswer(const parserclass &parser, const TestLog &log, quint8 slave, const ModbusCut &cut)
{
    const QByteArray &answer = cut.answer;
    if (cut.complete) {
        const bool good = parser.checkModbusCrc(answer);
        log.frame(Protocol::Modbus, good ? FrameCheck::Good : FrameCheck::CrcFailed, int(answer.size()));
        if (good && (quint8(answer.at(1)) & kModbusExceptionBit))
            log.modbusException({slave, quint8(quint8(answer.at(1)) & ~kModbusExceptionBit), quint8(answer.at(2))});
    } else if (!answer.isEmpty() && quint8(answer.at(0)) != slave && checkedModbusFrameSize(parser, answer) > 0) {
        log.otherSlave(quint8(answer.at(0)));
    }
}

// The pushed SML frame a listening test found: none is "Keine Daten", one
// without an energy register fails quietly, any other is accepted.
bool acceptSmlPush(const parserclass &parser, const TestLog &log, const QByteArray &frame)
{
    if (frame.isEmpty()) {
        log.noData();
        return false;
    }
    if (!parser.containsSmlEnergyRegister(frame)) {
        log.lacksEnergyRegister();
        return false;
    }
    acceptSmlFrame(parser, log, frame);
    return true;
}

} // namespace

bool serialclass::MODBUS485_Test01(QString Passwort)
{
    StartRequest request;
    request.meterNumber = Passwort;
    return modbusTest(request);
}

bool serialclass::modbusTest(const StartRequest &startRequest)
{
    TestLog log(testSink());
    return runGuarded(serialPort, log, [&](TestLink &link) {
        parserclass parser;
        modbus_answers_t answers;
        link.configure(kLine9600_8E1);
        quint8 slave = 0;
        testOutcome.meterNumber = startRequest.meterNumber.trimmed();
        if (startRequest.modbusAddress > 0) {
            slave = quint8(startRequest.modbusAddress);
            testOutcome.slaveSource = SlaveAddressSource::Given;
        } else if (slaveAddressFor(startRequest.meterNumber, slave)) {
            testOutcome.slaveSource = SlaveAddressSource::FromMeterNumber;
        } else {
            return false;
        }
        testOutcome.modbusSlave = slave;
        const ModbusTiming &timing = startRequest.fast ? kModbusFastTiming : kModbusChainTiming;

        for (int request = 0; request < kModbusRequestCount; ++request) {
            link.discardInput();
            const QByteArray frame = modbusRequestFrame(slave, request);
            link.send(frame, 1000);
            if (timing.settleMs > 0)
                link.sleep(timing.settleMs);
            const ModbusCut cut = readModbusAnswer(link, frame, timing.answerWithinMs);
            const QByteArray &answer = cut.answer;
            recordModbusAnswer(parser, log, slave, cut);
            if (cut.complete && parser.checkModbusCrc(answer)) {
                answers.slot[kModbusRequests[request].answerSlot] = answer;
                log.telegramHex(answer);
            } else if (request == 0) {
                log.noData();
                return false;
            } else if (!answer.isEmpty()) {
                log.line(QStringLiteral("Ergebnis: CRC Fail. Datenübertragung fehlerhaft."), logcolour::kError);
                return false;
            }
        }
        log.values(parser.decodeModbus(answers));
        return true;
    });
}

namespace {

bool judgeReadout(const parserclass &parser, const TestLog &log, const QByteArray &buffer)
{
    const QString text = textOf(buffer);
    checkIecBlock(parser, log, buffer);
    if (!parser.containsEnergyRegister(text)) {
        noEnergyRegister(log, buffer);
        return false;
    }
    log.values(parser.decodeObisAscii(text));
    logIecReadout(log, buffer, IecReport::TextThenHexLine);
    return true;
}

bool runReadoutTest(const TestLog &log, QSerialPort *port, const ReadoutVariant &variant)
{
    return runGuarded(port, log, [&](TestLink &link) {
        parserclass parser;
        QByteArray buffer;
        link.configure(variant.line);
        link.sleep(2000);
        link.send(QByteArray(kReadoutRequest), 1000);
        link.sleep(2000);
        link.send(QByteArray(variant.ack, kAckSize), 1000);
        link.sleep(2000);
        link.waitForInput(2000);
        if (link.available() < kReadoutMinBytes) {
            log.noData();
            return false;
        }
        const QString prefix = QString::fromUtf8(variant.progressPrefix);
        while (link.appendAvailable(buffer, prefix, CountShown::BeforeAppend) > 0) {
            link.waitForInput(1000);
            if (buffer.size() > kReadoutMaxBytes || holdsStxEtxBlock(buffer))
                break;
        }
        return judgeReadout(parser, log, buffer);
    });
}

} // namespace

bool serialclass::MODBUS485_Test02(QString Passwort)
{
    Q_UNUSED(Passwort);
    return runReadoutTest(TestLog(testSink()), serialPort, kReadoutTest2);
}

bool serialclass::MODBUS485_Test03(QString Passwort)
{
    Q_UNUSED(Passwort);
    return runReadoutTest(TestLog(testSink()), serialPort, kReadoutTest3);
}

bool serialclass::MODBUS485_Test04(QString Passwort)
{
    Q_UNUSED(Passwort);
    TestLog log(testSink());
    return runGuarded(serialPort, log, [&](TestLink &link) {
        parserclass parser;
        link.configure(kLine9600_8N1);
        link.sleep(7000);
        link.waitForInput(1000);
        if (link.available() < kSmlMinBytes) {
            log.noData();
            return false;
        }
        // A frame with a damaged bit is passed over for the next one in the
        // bytes that came; the meter pushes another within a push interval.
        QByteArray buffer = link.takeAvailable();
        SmlFrameSearch search;
        const QDeadlineTimer due(kSmlReadOnMs);
        while (!search.scan(parser, log, buffer) && !search.frameToAccept().isEmpty() && !due.hasExpired()) {
            link.waitForInput(int(qMax<qint64>(1, due.remainingTime())));
            link.appendAvailable(buffer);
        }
        return acceptSmlPush(parser, log, search.frameToAccept());
    });
}

namespace {

// The fast chain waits for a bus meter's identification and data message as
// long as IEC 62056-21 lets it take (request or acknowledgement on the wire,
// reaction, pauses between characters), and for a push a little longer than
// the longest usual interval.
constexpr int kRequestOnWireMs = 10;
constexpr AnswerWindow kIdentificationWindow{kRequestOnWireMs + kIecReactionMaxMs + kAnswerMarginMs,
                                             kIecCharacterGapMaxMs + kAnswerMarginMs, 5000};
constexpr AnswerWindow kDataMessageWindow{kRequestOnWireMs + kIecReactionMaxMs + kAnswerMarginMs,
                                          kIecCharacterGapMaxMs + kAnswerMarginMs, 30000};
constexpr int kPushIntervalMaxMs = 4000;
constexpr AnswerWindow kSmlPushWindow{kPushIntervalMaxMs + 500, kPushIntervalMaxMs + 500, 2 * (kPushIntervalMaxMs + 500)};

} // namespace

bool serialclass::fastReadoutTest(const StartRequest &request, int number)
{
    Q_UNUSED(request);
    const ReadoutVariant &variant = number == 2 ? kReadoutTest2 : kReadoutTest3;
    TestLog log(testSink());
    return runGuarded(serialPort, log, [&](TestLink &link) {
        parserclass parser;
        QByteArray buffer;
        link.configure(variant.line);
        link.send(QByteArray(kReadoutRequest), 1000);
        const QString prefix = QString::fromUtf8(variant.progressPrefix);
        readAnswer(link, buffer, kIdentificationWindow,
                   [](const QByteArray &b) { return meterIdentificationStart(b) >= 0; }, prefix);
        // Silence to the request: no acknowledgement brings a readout.
        if (buffer.isEmpty()) {
            log.noData();
            return false;
        }
        link.send(QByteArray(variant.ack, kAckSize), 1000);
        readAnswer(link, buffer, kDataMessageWindow, readoutComplete, prefix);
        if (buffer.size() < kReadoutMinBytes) {
            log.noData();
            return false;
        }
        return judgeReadout(parser, log, buffer);
    });
}

bool serialclass::fastSmlListenTest()
{
    TestLog log(testSink());
    return runGuarded(serialPort, log, [&](TestLink &link) {
        parserclass parser;
        link.configure(kLine9600_8N1);
        QByteArray buffer;
        SmlFrameSearch search;
        readAnswer(link, buffer, kSmlPushWindow,
                   [&](const QByteArray &b) { return search.scan(parser, log, b); });
        return acceptSmlPush(parser, log, buffer.size() < kSmlMinBytes ? QByteArray() : search.frameToAccept());
    });
}
