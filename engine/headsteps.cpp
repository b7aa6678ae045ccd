#include "engine/headsteps.h"

#include <QDeadlineTimer>

#include "protocols/parserclass.h"
#include "engine/telegramsteps.h"
#include "engine/testlog.h"

namespace {

// The fixed SML request: PublicOpen, GetList and PublicClose in one
// transport frame, CRCs included; sent unchanged.
constexpr char kSmlRequest[] =
    "\x1B\x1B\x1B\x1B\x01\x01\x01\x01"
    "\x76\x03\x30\x30\x62\x00\x62\x00\x72\x65\x00\x00\x01\x00\x77\x01\x01"
    "\x09\x31\x31\x33\x31\x31\x38\x36\x32\x01\x01\x01\x01\x63\x03\x36\x00"
    "\x76\x03\x30\x31\x62\x00\x62\x00\x72\x65\x00\x00\x07\x00\x75\x01\x01\x01\x01\x01"
    "\x63\x14\xCB\x00"
    "\x76\x03\x30\x32\x62\x00\x62\x00\x72\x65\x00\x00\x02\x00\x71\x01\x63\x75\x6D\x00"
    "\x00\x00\x1B\x1B\x1B\x1B\x1A\x02\x72\x41";
constexpr int kSmlRequestSize = int(sizeof(kSmlRequest)) - 1;
static_assert(kSmlRequestSize == 96, "the SML request frame has 96 bytes");

// Acknowledgement of an IEC 62056-21 identification, by the baud-rate
// character the meter offers; the program goes no higher than 9600 Bd.
struct BaudAck
{
    char offered;
    const char *ack; // six bytes: ACK, protocol 0, rate, mode 0, CR, LF
    qint32 rate;
};
constexpr BaudAck kBaudAcks[] = {
    {'1', "\x06" "010\r\n", 600},
    {'2', "\x06" "020\r\n", 1200},
    {'3', "\x06" "030\r\n", 2400},
    {'4', "\x06" "040\r\n", 4800},
    {'5', "\x06" "050\r\n", 9600},
    {'6', "\x06" "050\r\n", 9600},
};
// "0", mode B letters and anything else: stay at the sign-on rate.
constexpr BaudAck kStayAtSignOnRate{'0', "\x06" "000\r\n", 300};
constexpr int kAckSize = 6;

const BaudAck &ackFor(char offered)
{
    for (const BaudAck &row : kBaudAcks)
        if (row.offered == offered)
            return row;
    return kStayAtSignOnRate;
}

// The acknowledgement leaves the wire 200 ms after it is handed over (six
// 7E1 characters at 300 Bd). The port switches a little after
// that: sooner garbles its last character, later misses the start of a meter
// that answers in the shortest reaction time allowed (200 ms).
constexpr int kAckOnWireMs = onWireMs(kAckSize, kLine300_7E1.baud);
constexpr int kSwitchMarginMs = 30;

} // namespace

QByteArray smlRequestFrame()
{
    return QByteArray::fromRawData(kSmlRequest, kSmlRequestSize);
}

QByteArray signOnRequest(const QString &deviceAddress)
{
    return QByteArrayLiteral("/?") + deviceAddress.trimmed().toUtf8() + QByteArrayLiteral("!\r\n");
}

bool identificationComplete(const QByteArray &buffer)
{
    return buffer.endsWith("\r\n") && (buffer.size() < 3 || buffer.at(buffer.size() - 3) != '!');
}

int recordIdentification(const TestLog &log, const QByteArray &buffer)
{
    const int ident = meterIdentificationStart(buffer);
    if (ident >= 0)
        log.identification(buffer.mid(ident, buffer.indexOf('\r', ident) - ident));
    return ident;
}

qint32 acknowledgeAndSwitch(TestLink &link, const TestLog &log, char offeredRate)
{
    const BaudAck &ack = ackFor(offeredRate);
    const QDeadlineTimer switchAt(kAckOnWireMs + kSwitchMarginMs, Qt::PreciseTimer);
    link.send(QByteArray(ack.ack, kAckSize), 100);
    link.sleep(int(qMax<qint64>(0, switchAt.remainingTime())));
    link.setBaudRate(ack.rate);
    log.dataRate(ack.rate);
    if (ack.rate != kStayAtSignOnRate.rate)
        log.line(QStringLiteral("Wechsel auf Baud %1...").arg(ack.rate), logcolour::kHeading);
    return ack.rate;
}

bool judgeSignOnReadout(const parserclass &parser, const TestLog &log, const QByteArray &buffer)
{
    const QString text = textOf(buffer);
    checkIecBlock(parser, log, buffer);
    if (!parser.containsEnergyRegister(text)) {
        noEnergyRegister(log, buffer);
        return false;
    }
    if (buffer.at(buffer.size() - 1) == parser.calcBcc(buffer))
        log.values(parser.decodeObisAscii(text));
    logIecReadout(log, buffer, IecReport::TextThenHexLine);
    return true;
}
