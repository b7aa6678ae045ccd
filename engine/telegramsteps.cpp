#include "engine/telegramsteps.h"

#include <cctype>

#include "protocols/modbusrtu.h"
#include "protocols/parserclass.h"
#include "engine/testlog.h"
#include "engine/testoutcome.h"

namespace {
constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr int kSmlTailAfterEndEscape = 8; // end escape, 1A, fill count, CRC
constexpr char kSmlEndEscape[] = "\x1B\x1B\x1B\x1B\x1A";
constexpr int kSmlEndEscapeSize = 5;
} // namespace

SmlCut cutSmlFrame(const parserclass &parser, const QByteArray &buffer)
{
    SmlCut cut;
    const SmlFrameSpan span = parser.locateSmlFrame(buffer);
    if (span.start < 0)
        return cut;
    cut.frame = buffer.mid(span.start, span.size);
    // A frame cut short by the buffer's end leaves nothing after its end
    // escape in which another frame could start.
    cut.restFrom = span.start + span.size - kSmlTailAfterEndEscape;
    cut.complete = buffer.size() >= cut.restFrom + kSmlTailAfterEndEscape
        && buffer.mid(cut.restFrom, kSmlEndEscapeSize) == QByteArray(kSmlEndEscape, kSmlEndEscapeSize);
    return cut;
}

bool checkSmlFrame(const parserclass &parser, const TestLog &log, const QByteArray &frame)
{
    const bool good = parser.smlCrcMatches(frame);
    log.frame(Protocol::Sml, good ? FrameCheck::Good : FrameCheck::CrcFailed, int(frame.size()));
    return good;
}

void acceptSmlFrame(const parserclass &parser, const TestLog &log, const QByteArray &frame)
{
    if (parser.smlCrcMatches(frame))
        log.values(parser.decodeSml(frame));
    log.telegramHex(frame);
}

bool SmlFrameSearch::scan(const parserclass &parser, const TestLog &log, const QByteArray &buffer)
{
    while (passed.isEmpty()) {
        const SmlCut cut = cutSmlFrame(parser, buffer.mid(from));
        if (cut.frame.isEmpty())
            break;
        if (!cut.complete) {
            cutShort = cut.frame;
            break;
        }
        cutShort.clear();
        from += cut.restFrom;
        if (checkSmlFrame(parser, log, cut.frame))
            passed = cut.frame;
        else if (firstFailed.isEmpty())
            firstFailed = cut.frame;
    }
    return !passed.isEmpty();
}

QByteArray SmlFrameSearch::frameToAccept() const
{
    if (!passed.isEmpty())
        return passed;
    return firstFailed.isEmpty() ? cutShort : firstFailed;
}

namespace {

bool isIdentificationLine(const QByteArray &buffer, int at)
{
    const int end = buffer.indexOf("\r\n", at);
    if (end < at + 5)
        return false;
    for (int i = at + 1; i < at + 4; ++i)
        if (!std::isalpha(uchar(buffer.at(i))))
            return false;
    for (int i = at + 4; i < end; ++i)
        if (uchar(buffer.at(i)) < 0x20 || uchar(buffer.at(i)) > 0x7E)
            return false;
    return true;
}

} // namespace

int meterIdentificationStart(const QByteArray &buffer)
{
    for (int i = identificationStart(buffer); i >= 0; i = buffer.indexOf('/', i + 1))
        if (isIdentificationLine(buffer, i))
            return i;
    return -1;
}

bool checkIecBlock(const parserclass &parser, const TestLog &log, const QByteArray &bytes, IecBlock block)
{
    const int ident = meterIdentificationStart(bytes);
    const QByteArray readout = ident < 0 ? QByteArray() : bytes.mid(ident);
    const int etx = blockEnd(readout);
    if (etx < 0) {
        const int dataEnd = readout.indexOf('!');
        if (block == IecBlock::Expected && dataEnd > 0)
            log.frame(Protocol::IecAscii, FrameCheck::BlockCheckMissing, dataEnd + 1);
        return false;
    }
    FrameCheck check = FrameCheck::BlockCheckMissing;
    if (etx + 1 < readout.size())
        check = parser.calcBcc(readout.left(etx + 1)) == readout.at(etx + 1) ? FrameCheck::Good
                                                                             : FrameCheck::BlockCheckFailed;
    log.frame(Protocol::IecAscii, check, etx + 2);
    return check == FrameCheck::Good;
}

void noEnergyRegister(const TestLog &log, const QByteArray &bytes)
{
    // A readout came when its identification is followed by data: a block
    // or, pushed, the end "!".
    const int ident = meterIdentificationStart(bytes);
    if (ident >= 0 && (bytes.indexOf(kStx, ident) >= 0 || bytes.indexOf('!', ident) >= 0))
        log.lacksEnergyRegister();
    log.noData();
}

IecCut cutIecMessage(const QByteArray &buffer)
{
    IecCut cut;
    cut.start = buffer.indexOf('/');
    if (cut.start >= 0)
        cut.end = buffer.indexOf('!', cut.start);
    return cut;
}

int identificationStart(const QByteArray &buffer)
{
    for (int i = buffer.indexOf('/'); i >= 0; i = buffer.indexOf('/', i + 1))
        if (i + 1 >= buffer.size() || buffer.at(i + 1) != '?')
            return i;
    return -1;
}

int blockEnd(const QByteArray &buffer)
{
    const int stx = buffer.indexOf(kStx);
    return stx < 0 ? -1 : buffer.indexOf(kEtx, stx);
}

QString textOf(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

ModbusCut cutModbusAnswer(const QByteArray &received, const QByteArray &request)
{
    ModbusCut cut;
    cut.answer = received.startsWith(request) ? received.mid(request.size()) : received;
    // An echo still on its way is no answer yet.
    if (cut.answer.size() < kModbusHeadSize || request.startsWith(cut.answer) || cut.answer.at(0) != request.at(0))
        return cut;
    const quint8 function = quint8(cut.answer.at(1));
    int size = 0;
    if (function == quint8(request.at(1)))
        size = kModbusHeadSize + quint8(cut.answer.at(2)) + kModbusCrcSize;
    else if (function == (quint8(request.at(1)) | kModbusExceptionBit))
        size = kModbusExceptionSize;
    if (size > 0 && cut.answer.size() >= size) {
        cut.answer.truncate(size);
        cut.complete = true;
    }
    return cut;
}

void logIecReadout(const TestLog &log, const QByteArray &bytes, IecReport form)
{
    log.telegram(bytes);
    const QString text = textOf(bytes);
    log.line(QStringLiteral("Ergebnis: ") + text, logcolour::kReceived);
    if (form == IecReport::TextThenHexLine) {
        log.forReport(text);
        log.line(hexText(bytes), logcolour::kReceived);
    } else {
        log.line(hexText(bytes), logcolour::kReceived);
        log.forReport(hexText(bytes));
    }
}
