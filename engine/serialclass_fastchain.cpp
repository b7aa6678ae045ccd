#include "engine/serialclass.h"

#include <QSerialPort>

#include "protocols/parserclass.h"
#include "engine/answerread.h"
#include "engine/chainstep.h"
#include "engine/headsteps.h"
#include "engine/telegramsteps.h"
#include "engine/testlink.h"

// The command line's fast chain: the wire, not the clock, ends each test.

namespace {

constexpr ChainStep kFastReadingHeadChain[] = {
    // The SML request is harmless to a pushing meter, so one listening test
    // hears pushed SML, requested SML and a pushed IEC message alike.
    {"Schnelltest 1 von 2 - Bitte warten!", "Schnelltest 1 mit Baud 9600 8N1 bidirektional (SML und OBIS ASCII):",
     [](serialclass &w, const StartRequest &) { return w.fastListenTest(); }, 2, TestKind::HeadSmlRequest,
     Protocol::Sml, k9600_8N1},
    {"Schnelltest 2 von 2 - Bitte warten!", "Schnelltest 2 mit Baud 300 7E1 bidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.fastSignOnTest(r.signOnAddress); }, 4,
     TestKind::HeadIecSignOn, Protocol::IecAscii, k300_7E1},
};

constexpr ChainStep kFastRs485Chain[] = {
    {"Schnelltest 1 von 4 - Bitte warten!", "RS485: Schnelltest 1 mit Baud 9600 8E1 bidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.modbusTest(r); }, 1, TestKind::BusModbus,
     Protocol::Modbus, k9600_8E1},
    {"Schnelltest 2 von 4 - Bitte warten!", "RS485: Schnelltest 2 mit Baud 9600 7E1 bidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.fastReadoutTest(r, 2); }, 2,
     TestKind::BusIecRequest7E1, Protocol::IecAscii, k9600_7E1},
    {"Schnelltest 3 von 4 - Bitte warten!", "RS485: Schnelltest 3 mit Baud 9600 8N1 bidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.fastReadoutTest(r, 3); }, 3,
     TestKind::BusIecRequest8N1, Protocol::IecAscii, k9600_8N1},
    {"Schnelltest 4 von 4 - Bitte warten!", "RS485: Schnelltest 4 mit Baud 9600 8N1 unidirektional:",
     [](serialclass &w, const StartRequest &) { return w.fastSmlListenTest(); }, 4, TestKind::BusSmlListen,
     Protocol::Sml, k9600_8N1},
};

template <int N>
constexpr int lengthOf(const ChainStep (&)[N])
{
    return N;
}

// The listening test asks up to 4.5 s (a push every 1 to 4 s, a request's
// answer within 1.5 s); a telegram that has begun by then is read to its end.
constexpr AnswerWindow kListenWindow{4500, 4500, 4500};
constexpr AnswerWindow kTelegramEndWindow{kIecCharacterGapMaxMs + kAnswerMarginMs,
                                          kIecCharacterGapMaxMs + kAnswerMarginMs, 3000};

// "/", the maker's three letters, the rate, at most 16 characters of
// identification and two of an enhanced mode, CR LF: noise at 300 Bd ends
// when no identification can still come.
constexpr int kIdentificationMaxCharacters = 25;

// 7E1 characters read at 8N1 carry their parity in bit 7.
QByteArray sevenBits(const QByteArray &bytes)
{
    QByteArray text = bytes;
    for (char &c : text)
        c = char(uchar(c) & 0x7F);
    return text;
}

bool evenParity(const QByteArray &bytes)
{
    for (const char c : bytes)
        if (qPopulationCount(quint32(uchar(c))) & 1)
            return false;
    return true;
}

// Classifies the bytes at 9600 8N1 as they arrive: SML frames, each checked
// (one that fails is followed by the next), and IEC messages of 7E1
// characters, each read to its end and block check. Good once a telegram with
// an energy register is complete.
class WireListener
{
public:
    WireListener(const parserclass &parser, const TestLog &log, QByteArray request)
        : parser(parser), log(log), request(std::move(request))
    {
    }

    bool scan(const QByteArray &buffer) { return scanSml(buffer) || scanIec(buffer); }
    // A telegram has begun and not ended.
    bool underway() const { return !smlCutShort.isEmpty() || iecOpen; }

    QByteArray smlGood, smlFailed, smlCutShort;
    QByteArray iecGood; // seven-bit, "/" to "!"

private:
    bool scanSml(const QByteArray &buffer)
    {
        while (smlGood.isEmpty()) {
            const SmlCut cut = cutSmlFrame(parser, buffer.mid(smlFrom));
            smlCutShort = cut.complete ? QByteArray() : cut.frame;
            if (cut.frame.isEmpty() || !cut.complete)
                return false;
            smlFrom += cut.restFrom;
            if (cut.frame == request) // the head sees its own light
                continue;
            if (!checkSmlFrame(parser, log, cut.frame)) {
                if (smlFailed.isEmpty())
                    smlFailed = cut.frame;
            } else if (!parser.containsSmlEnergyRegister(cut.frame)) {
                log.lacksEnergyRegister();
            } else {
                smlGood = cut.frame;
            }
        }
        return true;
    }

    bool scanIec(const QByteArray &buffer)
    {
        const QByteArray text = sevenBits(buffer);
        while (iecGood.isEmpty()) {
            const int found = meterIdentificationStart(text.mid(iecFrom));
            iecOpen = found >= 0;
            if (!iecOpen)
                return false;
            const int at = iecFrom + found;
            const int bang = text.indexOf('!', at);
            if (bang < 0)
                return false;
            const int stx = text.indexOf('\x02', at);
            const bool block = stx >= 0 && stx < bang;
            const int etx = block ? text.indexOf('\x03', bang) : -1;
            if (block && (etx < 0 || etx + 1 >= text.size()))
                return false;
            const int end = block ? etx + 1 : bang;
            iecFrom = end + 1;
            iecOpen = false;
            // A character with the wrong parity is a damaged message.
            if (!evenParity(buffer.mid(at, end - at + 1)))
                continue;
            const QByteArray message = text.mid(at, end - at + 1);
            if (block && !checkIecBlock(parser, log, message))
                continue;
            const QByteArray data = message.left(cutIecMessage(message).end + 1);
            if (parser.containsEnergyRegister(textOf(data)))
                iecGood = data;
            else
                log.lacksEnergyRegister();
        }
        return true;
    }

    const parserclass &parser;
    const TestLog &log;
    const QByteArray request;
    int smlFrom = 0;
    int iecFrom = 0;
    bool iecOpen = false;
};

} // namespace

void serialclass::runFastChain(const StartRequest &request)
{
    // "Alle Tests" runs both reading-head tests; tests 1 to 3 are the
    // listening test alone, test 4 the sign-on alone.
    ChainRun chain;
    if (request.accessory == IR_Head) {
        chain.steps = kFastReadingHeadChain;
        chain.length = lengthOf(kFastReadingHeadChain);
        chain.first = request.mode == Test_04 ? 1 : 0;
        chain.goOn = request.mode == Test_All;
    } else if (request.accessory == MODBUS485_Converter) {
        chain.steps = kFastRs485Chain;
        chain.length = lengthOf(kFastRs485Chain);
        chain.goOn = true;
    }
    runSteps(chain, request);
}

bool serialclass::fastListenTest()
{
    TestLog log(testSink());
    return runGuarded(serialPort, log, [&](TestLink &link) {
        parserclass parser;
        QByteArray buffer;
        link.configure(kLine9600_8N1);
        const QByteArray request = smlRequestFrame();
        link.send(request, 1000);
        WireListener listener(parser, log, request);
        const auto scan = [&](const QByteArray &b) { return listener.scan(b); };
        const QString progress = QStringLiteral("Schnelltest 1 von 2 - Lese Bytes: ");
        if (!readAnswer(link, buffer, kListenWindow, scan, progress) && listener.underway())
            readAnswer(link, buffer, kTelegramEndWindow, scan, progress);

        if (!listener.iecGood.isEmpty()) {
            // The meter speaks 7E1: the outcome is that of the chain's listening IEC test.
            testOutcome.number = 3;
            testOutcome.kind = TestKind::HeadIecListen;
            testOutcome.protocol = Protocol::IecAscii;
            testOutcome.setting = k9600_7E1;
            log.values(parser.decodeObisAscii(textOf(listener.iecGood)));
            logIecReadout(log, listener.iecGood, IecReport::HexLineThenHex);
            testOutcome.received = sevenBits(testOutcome.received);
            return true;
        }
        // As the chain's listening test, a frame whose CRC failed, or one cut
        // short, is shown when no good one came.
        for (const QByteArray &frame : {listener.smlGood, listener.smlFailed, listener.smlCutShort}) {
            if (!frame.isEmpty()) {
                acceptSmlFrame(parser, log, frame);
                return true;
            }
        }
        log.noData();
        return false;
    });
}

bool serialclass::fastSignOnTest(const QString &deviceAddress)
{
    TestLog log(testSink());
    return runGuarded(serialPort, log, [&](TestLink &link) {
        parserclass parser;
        QByteArray buffer;
        link.configure(kLine300_7E1);
        testOutcome.signOnAddress = deviceAddress.trimmed();
        const QByteArray request = signOnRequest(deviceAddress);
        link.send(request, 1000);

        // Counted from the hand-over: the request's time on the wire, the
        // meter's reaction, then its pauses between characters.
        const int onWire = onWireMs(int(request.size()), kLine300_7E1.baud);
        const int answered = onWire + kIecReactionMaxMs + kAnswerMarginMs;
        const AnswerWindow identWindow{answered, kIecCharacterGapMaxMs + kAnswerMarginMs,
                                       answered + onWireMs(kIdentificationMaxCharacters, kLine300_7E1.baud)};
        readAnswer(link, buffer, identWindow, [](const QByteArray &b) { return meterIdentificationStart(b) >= 0; });
        if (buffer.isEmpty()) {
            log.noData();
            return false;
        }
        const int ident = recordIdentification(log, buffer);
        if (ident < 0)
            return false;

        acknowledgeAndSwitch(link, log, buffer.at(ident + 4));
        const AnswerWindow dataWindow{kIecReactionMaxMs + kAnswerMarginMs, kIecCharacterGapMaxMs + kAnswerMarginMs,
                                      120000};
        constexpr int kDataMaxBytes = 30000;
        readAnswer(link, buffer, dataWindow,
                   [](const QByteArray &b) { return readoutComplete(b) || b.size() > kDataMaxBytes; },
                   QStringLiteral("Schnelltest 2 von 2 - Lese Bytes: "));
        return judgeSignOnReadout(parser, log, buffer);
    });
}
