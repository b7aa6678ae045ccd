#pragma once

#include <QByteArray>
#include <QSerialPort>
#include <QString>

#include "engine/testlog.h"
#include "engine/testoutcome.h"

// Rate and character format of one test, applied in the order the meters'
// accessories expect: baud rate (both directions), data bits, stop bits,
// parity.
struct LineSettings
{
    qint32 baud;
    QSerialPort::DataBits dataBits;
    QSerialPort::Parity parity;
};
constexpr LineSettings kLine9600_8N1{9600, QSerialPort::Data8, QSerialPort::NoParity};
constexpr LineSettings kLine9600_7E1{9600, QSerialPort::Data7, QSerialPort::EvenParity};
constexpr LineSettings kLine9600_8E1{9600, QSerialPort::Data8, QSerialPort::EvenParity};
constexpr LineSettings kLine300_7E1{300, QSerialPort::Data7, QSerialPort::EvenParity};

// Thrown out of a test when the port fails or goes away, so that no test has
// to check every step; carries the port's own error text.
struct PortFailure
{
    QString text; // as shown: the cause in the user's words, then the system's
    PortFailureKind kind = PortFailureKind::Other;
    QString systemText;
};

// What kind of failure a port reports, and how the user reads it: the cause in
// the user's words, the system's text in brackets.
PortFailureKind portFailureKind(const QSerialPort &port);
QString portFailureShown(PortFailureKind kind, const QString &systemText);

// Thrown when the worker is asked to stop in the middle of a test.
struct StopRequested
{
};

// Whether a progress count shows the buffer before or after the bytes just read.
enum class CountShown { AfterAppend, BeforeAppend };

// The port as one test uses it. Every sleep and wait goes through the
// interruptible slices and is booked in the timing ledger; every step checks
// the port and throws PortFailure when it has failed.
class TestLink
{
public:
    // Throws PortFailure when there is no open port.
    TestLink(QSerialPort *serialPort, const TestLog &testLog);

    void configure(const LineSettings &line);
    void setBaudRate(qint32 baud);
    void discardInput();

    void sleep(int ms);
    bool waitForInput(int ms);
    qint64 available();
    // Reads all available bytes (none when there are none) and appends them;
    // with a prefix, also shows the count on the status bar.
    qint64 appendAvailable(QByteArray &buffer, const QString &progressPrefix = QString(),
                           CountShown shown = CountShown::AfterAppend);
    QByteArray takeAvailable();
    // Logs "Sende:", writes, and waits at most ms for the bytes to leave.
    void send(const QByteArray &bytes, int writtenWithinMs);
    void write(const QByteArray &bytes, int writtenWithinMs);

private:
    void checkPort();
    void acceptRefusal();
    void checkHangup();
    bool lineHungUp() const;
    [[noreturn]] void fail();

    QSerialPort &port;
    const TestLog &log;
};

// Runs one test body; a port failure ends it with the red line and false.
template <typename Body>
bool runGuarded(QSerialPort *port, const TestLog &log, Body body)
{
    try {
        TestLink link(port, log);
        return body(link);
    } catch (const PortFailure &failure) {
        log.portFailure(failure.text, failure.kind, failure.systemText);
    } catch (const StopRequested &) {
    }
    return false;
}
