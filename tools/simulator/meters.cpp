#include "tools/simulator/meters.h"

#include "tools/modbus_encoder/modbusencoder.h"

#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace metersim {

namespace {

// What a meter keeps of a line on which nothing it understands arrives.
constexpr int kHeardLimit = 1024;

void keepTail(QByteArray &heard)
{
    if (heard.size() > kHeardLimit)
        heard.remove(0, heard.size() - kHeardLimit);
}

// All of it: the QByteArray overload of fromLatin1 stops at the first NUL,
// and one NUL heard (a Modbus request) would keep the meter deaf.
QString latin1(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.constData(), bytes.size());
}

// "/?" device address "!" CR LF
const QRegularExpression &signOnPattern()
{
    static const QRegularExpression re(QStringLiteral("/\\?([^!/]*)!\\r\\n"));
    return re;
}

// ACK, protocol control, baud-rate character, mode, CR LF
const QRegularExpression &ackPattern()
{
    static const QRegularExpression re(QStringLiteral("\\x06([0-9])(.)(.)\\r\\n"));
    return re;
}

// Modbus RTU: address, function, register, count, CRC.
constexpr int kModbusRequestSize = 8;

} // namespace

// ---- PushMeter ----

PushMeter::PushMeter(LineFormat format, QByteArray telegram, int intervalMs, int firstPushMs, QSet<int> damaged)
    : format(format), telegram(std::move(telegram)), intervalMs(std::max(1, intervalMs)),
      firstPushMs(std::max(0, firstPushMs)), damaged(std::move(damaged))
{
}

void PushMeter::start(MeterLine &line)
{
    line.startTimer(0, firstPushMs);
}

void PushMeter::timer(MeterLine &line, int)
{
    // A meter does not queue telegrams: one longer than the interval (a
    // real meter's long readout) goes out again once it has left the line.
    if (line.backlogNs() == 0) {
        QByteArray push = telegram;
        if (damaged.contains(++pushes) && !push.isEmpty()) {
            push[push.size() / 2] = char(push.at(push.size() / 2) ^ 0x10);
            line.note(QStringLiteral("push %1 damaged").arg(pushes));
        }
        line.send(push);
    }
    line.startTimer(0, intervalMs);
}

// ---- RequestMeter ----

RequestMeter::RequestMeter(LineFormat format, QByteArray request, QByteArray answer, int reactionMs)
    : format(format), request(std::move(request)), answer(std::move(answer)), reactionMs(reactionMs)
{
}

void RequestMeter::received(MeterLine &line, const QByteArray &bytes)
{
    heardBytes += bytes;
    if (heardBytes.contains(request)) {
        heardBytes.clear();
        line.note(QStringLiteral("request recognised"));
        line.startTimer(0, reactionMs);
        return;
    }
    keepTail(heardBytes);
}

void RequestMeter::timer(MeterLine &line, int)
{
    line.send(answer);
}

// ---- IecModeCMeter ----

namespace {
enum ModeCTimer { kIdentify, kAckTimeout, kWatchRate, kSendData, kBackToIdle };
constexpr int kAckWaitMs = 3000;      // the program acknowledges within ~100 ms
constexpr int kRateWatchStepMs = 5;
constexpr int kRateWatchLimitMs = 3000; // a real meter does not wait for ever
constexpr int kHastyDelayMs = 20;

struct BaudChar
{
    char c;
    qint32 baud;
};
constexpr BaudChar kBaudChars[] = {
    {'0', 300}, {'1', 600}, {'2', 1200}, {'3', 2400}, {'4', 4800}, {'5', 9600}, {'6', 19200},
};
} // namespace

qint32 IecModeCMeter::rateOfBaudChar(char c)
{
    for (const BaudChar &b : kBaudChars) {
        if (b.c == c)
            return b.baud;
    }
    return 0;
}

IecModeCMeter::IecModeCMeter(Kind kind, const Options &options, QByteArray identification, QByteArray dataMessage)
    : kind(kind), signOn(options.format.value_or(format7E1(300))), meterAddress(options.address),
      addressRequired(options.addressRequired), baudChar(options.baudChar), reactionMs(options.reactionMs), switchGapMs(options.switchGapMs),
      ackReactionMs(options.ackReactionMs), identification(std::move(identification)), dataMessage(std::move(dataMessage))
{
}

LineFormat IecModeCMeter::initialFormat() const
{
    return signOn;
}

void IecModeCMeter::received(MeterLine &line, const QByteArray &bytes)
{
    heardBytes += bytes;
    const QString heard = latin1(heardBytes);
    if (state == State::Idle) {
        const QRegularExpressionMatch m = signOnPattern().match(heard);
        if (!m.hasMatch()) {
            keepTail(heardBytes);
            return;
        }
        heardBytes.clear();
        const QString address = m.captured(1);
        if ((!address.isEmpty() || addressRequired) && !meterAddress.isEmpty() && address != meterAddress) {
            line.note(QStringLiteral("sign-on for address %1 ignored").arg(address));
            return;
        }
        state = State::Identifying;
        line.startTimer(kIdentify, reactionMs);
        return;
    }
    if (state != State::AwaitingAck || kind == Kind::IgnoresAck) {
        keepTail(heardBytes);
        return;
    }
    const QRegularExpressionMatch m = ackPattern().match(heard);
    if (!m.hasMatch()) {
        keepTail(heardBytes);
        return;
    }
    heardBytes.clear();
    line.stopTimer(kAckTimeout);
    const char z = m.captured(2).at(0).toLatin1();
    const char mode = m.captured(3).at(0).toLatin1();
    const qint32 baud = rateOfBaudChar(z);
    if (mode != '0' || baud == 0 || rateOfBaudChar(baudChar) == 0 || z > baudChar) {
        line.note(QStringLiteral("acknowledgement for rate '%1' mode '%2' refused").arg(QChar(z)).arg(QChar(mode)));
        state = State::Idle;
        return;
    }
    agreedBaud = (kind == Kind::Only300) ? signOn.baud : baud;
    line.note(QStringLiteral("acknowledged: data message at %1 Bd").arg(agreedBaud));
    if (ackReactionMs >= 0) {
        // A real meter keeps its own time and does not look at the program's port.
        state = State::Sending;
        line.startTimer(kSendData, ackReactionMs);
    } else if (agreedBaud == signOn.baud) {
        state = State::Sending;
        line.startTimer(kSendData, reactionMs);
    } else if (kind == Kind::Hasty) {
        state = State::Sending;
        line.startTimer(kSendData, kHastyDelayMs);
    } else {
        state = State::Switching;
        switchWatchStartMs = line.elapsedMs();
        line.startTimer(kWatchRate, kRateWatchStepMs);
    }
}

void IecModeCMeter::sendDataAt(MeterLine &line, qint32 baud)
{
    LineFormat f = signOn;
    f.baud = baud;
    line.setFormat(f);
    line.send(dataMessage);
    state = State::Sending;
    line.startTimer(kBackToIdle, static_cast<int>(line.backlogNs() / 1000000) + 100);
}

void IecModeCMeter::timer(MeterLine &line, int id)
{
    switch (id) {
    case kIdentify: {
        QByteArray ident = identification;
        const int slash = ident.indexOf('/');
        if (slash >= 0 && ident.size() > slash + 4)
            ident[slash + 4] = baudChar;
        line.send(ident);
        state = State::AwaitingAck;
        heardBytes.clear();
        line.startTimer(kAckTimeout, static_cast<int>(line.backlogNs() / 1000000) + kAckWaitMs);
        break;
    }
    case kAckTimeout:
        line.note(QStringLiteral("no acknowledgement: back to the sign-on"));
        state = State::Idle;
        heardBytes.clear();
        break;
    case kWatchRate:
        if (line.programFormat().baud == agreedBaud) {
            line.startTimer(kSendData, switchGapMs);
        } else if (line.elapsedMs() - switchWatchStartMs > kRateWatchLimitMs) {
            line.note(QStringLiteral("the program's port never showed %1 Bd; switching anyway").arg(agreedBaud));
            sendDataAt(line, agreedBaud);
        } else {
            line.startTimer(kWatchRate, kRateWatchStepMs);
        }
        break;
    case kSendData:
        sendDataAt(line, agreedBaud);
        break;
    case kBackToIdle:
        line.setFormat(signOn);
        state = State::Idle;
        heardBytes.clear();
        break;
    default:
        break;
    }
}

// ---- Rs485IecMeter ----

namespace {
enum Rs485IecTimer { kSendIdentification, kSendDataMessage };
}

Rs485IecMeter::Rs485IecMeter(LineFormat format, QByteArray identification, QByteArray dataMessage, int reactionMs)
    : format(format), identification(std::move(identification)), dataMessage(std::move(dataMessage)),
      reactionMs(reactionMs)
{
}

void Rs485IecMeter::received(MeterLine &line, const QByteArray &bytes)
{
    heardBytes += bytes;
    const QString heard = latin1(heardBytes);
    if (signOnPattern().match(heard).hasMatch()) {
        heardBytes.clear();
        identified = true;
        line.startTimer(kSendIdentification, reactionMs);
    } else if (identified && ackPattern().match(heard).hasMatch()) {
        heardBytes.clear();
        identified = false;
        line.startTimer(kSendDataMessage, reactionMs);
    } else {
        keepTail(heardBytes);
    }
}

void Rs485IecMeter::timer(MeterLine &line, int id)
{
    line.send(id == kSendIdentification ? identification : dataMessage);
}

// ---- ModbusSlaveMeter ----

namespace {
enum ModbusTimer { kAnswer, kSecondPiece };
constexpr quint8 kReadHoldingRegisters = 0x03;
constexpr quint8 kIllegalFunction = 0x01;
constexpr quint8 kIllegalDataAddress = 0x02;

ModbusAnswerFault encoderFault(ModbusFault f)
{
    switch (f) {
    case ModbusFault::WrongCrc: return ModbusAnswerFault::WrongCrc;
    case ModbusFault::OneByte: return ModbusAnswerFault::OneByte;
    case ModbusFault::Cut: return ModbusAnswerFault::Cut;
    case ModbusFault::Exception: return ModbusAnswerFault::Exception;
    default: return ModbusAnswerFault::None;
    }
}
} // namespace

ModbusSlaveMeter::ModbusSlaveMeter(const Options &options, QMap<quint16, quint16> registers)
    : format(options.format.value_or(format8E1(9600))), meterAddress(options.slaveAddress),
      registers(std::move(registers)), faults(options.modbusFaults), delayMs(options.modbusDelayMs),
      pieceGapMs(options.modbusPieceGapMs)
{
}

QByteArray ModbusSlaveMeter::answerTo(quint16 first, quint16 count) const
{
    QVector<quint16> values;
    for (int r = first; r < first + count; ++r) {
        const auto it = registers.constFind(static_cast<quint16>(r));
        if (it == registers.constEnd())
            return ModbusAnswerBuilder::exceptionAnswer(meterAddress, kReadHoldingRegisters, kIllegalDataAddress);
        values.push_back(it.value());
    }
    const ModbusFault fault = faults.value(first, ModbusFault::InPieces);
    const bool faulty = faults.contains(first);
    return ModbusAnswerBuilder::readAnswer(meterAddress, values, faulty ? encoderFault(fault) : ModbusAnswerFault::None);
}

void ModbusSlaveMeter::received(MeterLine &line, const QByteArray &bytes)
{
    // A frame ends with the silence after a transmission: one transmission
    // is one request, and anything that is not one is dropped.
    if (bytes.size() != kModbusRequestSize
        || ModbusAnswerBuilder::crc(bytes.left(kModbusRequestSize - 2))
               != (static_cast<quint8>(bytes[6]) | (static_cast<quint8>(bytes[7]) << 8))) {
        line.note(QStringLiteral("no Modbus request: %1").arg(QString::fromLatin1(bytes.toHex(' '))));
        return;
    }
    const quint8 address = static_cast<quint8>(bytes[0]);
    if (address == 0 || address != meterAddress) {
        line.note(QStringLiteral("request for slave %1 ignored").arg(address));
        return;
    }
    const quint8 function = static_cast<quint8>(bytes[1]);
    const quint16 first = static_cast<quint16>((static_cast<quint8>(bytes[2]) << 8) | static_cast<quint8>(bytes[3]));
    const quint16 count = static_cast<quint16>((static_cast<quint8>(bytes[4]) << 8) | static_cast<quint8>(bytes[5]));
    if (function != kReadHoldingRegisters) {
        pending = ModbusAnswerBuilder::exceptionAnswer(meterAddress, function, kIllegalFunction);
    } else if (faults.value(first) == ModbusFault::NoAnswer && faults.contains(first)) {
        line.note(QStringLiteral("request for register %1 left unanswered").arg(first, 4, 16, QChar('0')));
        return;
    } else {
        pending = answerTo(first, count);
    }
    secondHalf.clear();
    if (faults.contains(first) && faults.value(first) == ModbusFault::InPieces) {
        secondHalf = pending.mid(pending.size() / 2);
        pending.truncate(pending.size() / 2);
    }
    line.startTimer(kAnswer, delayMs);
}

void ModbusSlaveMeter::timer(MeterLine &line, int id)
{
    if (id == kAnswer) {
        line.send(pending);
        if (!secondHalf.isEmpty())
            line.startTimer(kSecondPiece, pieceGapMs);
    } else {
        line.send(secondHalf);
        secondHalf.clear();
    }
}

// ---- NoiseMeter ----

namespace {
constexpr int kNoiseTickMs = 10;
constexpr qint64 kNoiseBacklogNs = 30LL * 1000000;
} // namespace

void NoiseMeter::start(MeterLine &line)
{
    line.startTimer(0, 0);
}

void NoiseMeter::timer(MeterLine &line, int)
{
    // Noise has no format of its own: it arrives as bytes at whatever the
    // program listens with.
    if (line.backlogNs() < kNoiseBacklogNs) {
        const LineFormat f = line.programFormat();
        line.setFormat(f);
        const int n = static_cast<int>(std::max<qint64>(1, kNoiseTickMs * 1000000LL / f.charTimeNs()));
        QByteArray bytes(n, '\0');
        for (char &c : bytes)
            c = static_cast<char>(random() & 0xFF);
        line.send(bytes);
    }
    line.startTimer(0, kNoiseTickMs);
}

} // namespace metersim
