#pragma once

#include <QByteArray>
#include <QString>

class parserclass;
class TestLog;

// Steps on a receive buffer that several tests share: cutting a telegram out
// of it and handing an accepted telegram to the decoder and the log.

// The first SML transport frame of a buffer, and where the rest begins for a
// search past it (the frame's end escape).
struct SmlCut
{
    QByteArray frame; // empty: no frame
    int restFrom = -1;
    bool complete = false; // the buffer holds the frame's whole trailer
};
SmlCut cutSmlFrame(const parserclass &parser, const QByteArray &buffer);

// Whether an SML frame's CRC matches; the check goes into the test's outcome.
bool checkSmlFrame(const parserclass &parser, const TestLog &log, const QByteArray &frame);

// An accepted SML frame: decoded only when its CRC matches, logged in
// hexadecimal and sent for the report either way.
void acceptSmlFrame(const parserclass &parser, const TestLog &log, const QByteArray &frame);

// The SML frames of a growing buffer, each complete one judged once: a frame
// whose CRC fails (a damaged bit) is passed over for the next, so a good
// frame behind it still counts.
class SmlFrameSearch
{
public:
    // Judges the complete frames not judged yet; true once one has passed.
    bool scan(const parserclass &parser, const TestLog &log, const QByteArray &buffer);
    // The frame to accept: the first that passed, else the first that failed,
    // else one cut short by the buffer's end; empty when none came.
    QByteArray frameToAccept() const;

private:
    int from = 0;
    QByteArray passed;
    QByteArray firstFailed;
    QByteArray cutShort;
};

// Where a meter's identification begins: "/", three letters of the maker,
// the rate character and printable text up to CR LF; -1 when none has come.
// Noise may hold a "/" too, which is no meter.
int meterIdentificationStart(const QByteArray &buffer);

// Judges the block check of a readout (a meter's identification, then STX
// to ETX) for the test's outcome; true when it holds. Where a block is
// expected, data that ended ("!") without its ETX counts as a missing check.
enum class IecBlock { Expected, Optional };
bool checkIecBlock(const parserclass &parser, const TestLog &log, const QByteArray &bytes,
                   IecBlock block = IecBlock::Expected);

// An IEC test found no energy register: "Keine Daten", and for the outcome
// whether a readout came at all.
void noEnergyRegister(const TestLog &log, const QByteArray &bytes);

// The IEC 62056-21 message from its "/" to the first "!" at or after it.
struct IecCut
{
    int start = -1;
    int end = -1;
    bool found() const { return start >= 0 && end >= 0; }
};
IecCut cutIecMessage(const QByteArray &buffer);

// The first "/" that does not start an echoed request "/?": where a meter's
// identification begins; -1 when none has come.
int identificationStart(const QByteArray &buffer);

// The index of the first ETX at or after the first STX; -1 when the buffer
// holds no such block yet.
int blockEnd(const QByteArray &buffer);
inline bool holdsStxEtxBlock(const QByteArray &buffer) { return blockEnd(buffer) >= 0; }

// Received text is UTF-8; a stray NUL (a glitch at a rate change) must not
// cut it short.
QString textOf(const QByteArray &bytes);

// The answer to a Modbus request in what came back: behind an echo of the
// request itself (a two-wire converter hears what it sends), a frame from the
// slave asked with the function asked or its exception, complete once it
// holds as many bytes as its byte count gives. Until then, and for anything
// else, `answer` is everything after the echo.
struct ModbusCut
{
    QByteArray answer;
    bool complete = false;
};
ModbusCut cutModbusAnswer(const QByteArray &received, const QByteArray &request);

// How an IEC test passes its readout to the report.
enum class IecReport { TextThenHexLine, HexLineThenHex };

// Logs a received IEC readout as text and as hexadecimal, and sends the
// report form, in the order the test uses.
void logIecReadout(const TestLog &log, const QByteArray &bytes, IecReport form);
