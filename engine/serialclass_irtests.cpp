#include "engine/serialclass.h"

#include <QDeadlineTimer>

#include "protocols/parserclass.h"
#include "engine/headsteps.h"
#include "engine/telegramsteps.h"
#include "engine/testlink.h"

namespace {

// Limits of the sign-on test. The identification ends on its CR LF or after
// 50 silent polls; a line that keeps sending without CR LF (noise, a wrong
// rate) ends it after 100 polls or 1000 bytes. The data message ends on its
// block, 25 silent polls or 30000 bytes; after 120 s (about 3600 bytes at
// 300 Bd) only a readout still coming in order is read on.
constexpr int kIdentEmptyPolls = 50;
constexpr int kIdentPolls = 100;
constexpr int kIdentMaxBytes = 1000;
constexpr int kDataEmptyPolls = 25;
constexpr int kDataMaxBytes = 30000;
constexpr int kDataMaxMs = 120000;

// The block check character follows the ETX; a USB adapter may hand it over
// in a packet of its own, some character times and its latency timer later.
constexpr int kBlockCheckCharacters = 4;
constexpr int kAdapterPacketDelayMs = 50;

// A readout on its way: an identification, then a data block with at least
// one complete data line. Noise shows neither.
bool readoutUnderway(const QByteArray &buffer)
{
    const int ident = identificationStart(buffer);
    const int stx = ident < 0 ? -1 : buffer.indexOf('\x02', ident);
    const int lineEnd = stx < 0 ? -1 : buffer.indexOf(")\r\n", stx);
    return lineEnd > 0 && buffer.lastIndexOf('(', lineEnd) > stx;
}

// Waits for the block check character when nothing follows the ETX yet,
// then takes what is there; like every read of the test, it shows the count.
void takeBlockCheck(TestLink &link, QByteArray &buffer, qint32 rate, const QString &progressPrefix)
{
    if (blockEnd(buffer) == buffer.size() - 1)
        link.waitForInput(onWireMs(kBlockCheckCharacters, rate) + kAdapterPacketDelayMs);
    link.appendAvailable(buffer, progressPrefix);
}

} // namespace

bool serialclass::IR_Test01()
{
    TestLog log(testSink());
    return runGuarded(serialPort, log, [&](TestLink &link) {
        parserclass parser;
        QByteArray buffer;
        SmlFrameSearch search;
        link.configure(kLine9600_8N1);
        link.sleep(3000);
        link.waitForInput(2000);
        // A frame with a damaged bit does not end the search: the meter
        // pushes the next one within the passes.
        for (int pass = 0; pass < 5; ++pass) {
            link.appendAvailable(buffer);
            if (search.scan(parser, log, buffer))
                break;
            link.sleep(1000);
            link.waitForInput(1000);
        }
        const QByteArray frame = search.frameToAccept();
        if (frame.isEmpty()) {
            log.noData();
            return false;
        }
        acceptSmlFrame(parser, log, frame);
        return true;
    });
}

bool serialclass::IR_Test02()
{
    TestLog log(testSink());
    return runGuarded(serialPort, log, [&](TestLink &link) {
        parserclass parser;
        QByteArray buffer;
        link.configure(kLine9600_8N1);
        link.sleep(2000);
        const QByteArray request = smlRequestFrame();
        link.send(request, 1000);
        link.sleep(2000);
        link.waitForInput(5000);
        if (link.available() <= 100) {
            log.noData();
            return false;
        }
        for (int pass = 0; pass < 30; ++pass) {
            link.sleep(500);
            if (link.appendAvailable(buffer, QStringLiteral("Test 2 von 4 - Lese Bytes: ")) == 0)
                break;
            link.waitForInput(1000);
        }
        // An echo of our request is a frame without an energy register: skip
        // such frames and look behind them.
        for (;;) {
            const SmlCut cut = cutSmlFrame(parser, buffer);
            if (cut.frame.isEmpty()) {
                log.noData();
                return false;
            }
            checkSmlFrame(parser, log, cut.frame);
            if (parser.containsSmlEnergyRegister(cut.frame)) {
                acceptSmlFrame(parser, log, cut.frame);
                return true;
            }
            if (cut.frame != request)
                log.lacksEnergyRegister();
            buffer = buffer.mid(cut.restFrom);
        }
    });
}

bool serialclass::IR_Test03()
{
    TestLog log(testSink());
    return runGuarded(serialPort, log, [&](TestLink &link) {
        parserclass parser;
        QByteArray buffer;
        link.configure(kLine9600_7E1);
        link.sleep(2000);
        link.waitForInput(1000);
        for (int pass = 0; pass < 30; ++pass) {
            link.sleep(500);
            link.waitForInput(500);
            if (link.appendAvailable(buffer, QStringLiteral("Test 3 von 4 - Lese Bytes: ")) > 0)
                link.waitForInput(500);
            if (cutIecMessage(buffer).found())
                break;
        }
        const IecCut cut = cutIecMessage(buffer);
        checkIecBlock(parser, log, buffer, IecBlock::Optional); // a pushed message may come without a block
        if (!cut.found() || !parser.containsEnergyRegister(textOf(buffer))) {
            noEnergyRegister(log, buffer);
            return false;
        }
        const QByteArray message = buffer.mid(cut.start, cut.end - cut.start + 1);
        log.values(parser.decodeObisAscii(textOf(message)));
        logIecReadout(log, message, IecReport::HexLineThenHex);
        return true;
    });
}

bool serialclass::IR_Test04(QString Passwort)
{
    return signOnTest(Passwort);
}

bool serialclass::signOnTest(const QString &deviceAddress)
{
    TestLog log(testSink());
    return runGuarded(serialPort, log, [&](TestLink &link) {
        parserclass parser;
        QByteArray buffer;
        link.configure(kLine300_7E1);
        link.sleep(2000);

        testOutcome.signOnAddress = deviceAddress.trimmed();
        link.send(signOnRequest(deviceAddress), 1000);

        for (int polls = 1, emptyPolls = 0;; ++polls) {
            link.sleep(100);
            link.waitForInput(10);
            if (link.appendAvailable(buffer) > 0) {
                if (identificationComplete(buffer))
                    break;
            } else if (++emptyPolls >= kIdentEmptyPolls) {
                break;
            }
            if (polls >= kIdentPolls || buffer.size() > kIdentMaxBytes)
                break;
        }
        if (buffer.isEmpty()) {
            log.noData();
            return false;
        }
        const int ident = recordIdentification(log, buffer);
        if (ident < 0)
            return false;

        const qint32 rate = acknowledgeAndSwitch(link, log, buffer.at(ident + 4));

        const QString progress = QStringLiteral("Test 4 von 4 - Lese Bytes: ");
        const QDeadlineTimer capAt(kDataMaxMs);
        for (int emptyPolls = 0;;) {
            link.sleep(100);
            link.waitForInput(100);
            if (link.appendAvailable(buffer, progress) > 0)
                emptyPolls = 1;
            else if (++emptyPolls >= kDataEmptyPolls)
                break;
            if (buffer.size() > kDataMaxBytes)
                break;
            if (holdsStxEtxBlock(buffer)) {
                takeBlockCheck(link, buffer, rate, progress);
                break;
            }
            if (capAt.hasExpired() && !readoutUnderway(buffer))
                break;
        }

        return judgeSignOnReadout(parser, log, buffer);
    });
}
