#include "engine/testlink.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <cerrno>
#include <cstring>
#ifdef Q_OS_UNIX
#include <poll.h>
#endif

#include "engine/interruptiblewait.h"
#include "engine/timingledger.h"

namespace {

// A setting the device refuses (a pseudo-terminal knows only 8N1) leaves a
// working port; a timed-out wait is no failure either.
bool isFailure(QSerialPort::SerialPortError e)
{
    return e != QSerialPort::NoError && e != QSerialPort::TimeoutError
        && e != QSerialPort::UnsupportedOperationError;
}

// The system calls a port held by another program a permission error as
// well: a device we may open is busy.
struct PortErrorText
{
    QSerialPort::SerialPortError error;
    PortFailureKind kind;
};
constexpr PortErrorText kPortErrorKinds[] = {
    {QSerialPort::DeviceNotFoundError, PortFailureKind::Removed},
    {QSerialPort::ResourceError, PortFailureKind::Removed},
    {QSerialPort::PermissionError, PortFailureKind::Busy},
};

// The common port failures in the user's words; the system's own text
// follows in brackets.
struct PortFailureText
{
    PortFailureKind kind;
    const char *text;
};
constexpr PortFailureText kPortFailureTexts[] = {
    {PortFailureKind::Removed, "Das Gerät wurde entfernt oder ist nicht vorhanden"},
    {PortFailureKind::NoPermission, "Keine Berechtigung für die Schnittstelle"},
    {PortFailureKind::Busy, "Die Schnittstelle wird von einem anderen Programm benutzt"},
};

} // namespace

PortFailureKind portFailureKind(const QSerialPort &port)
{
    if (port.error() == QSerialPort::PermissionError) {
        const QFileInfo device(QSerialPortInfo(port).systemLocation());
        if (device.exists() && !(device.isReadable() && device.isWritable()))
            return PortFailureKind::NoPermission;
    }
    for (const PortErrorText &row : kPortErrorKinds)
        if (row.error == port.error())
            return row.kind;
    return PortFailureKind::Other;
}

QString portFailureShown(PortFailureKind kind, const QString &systemText)
{
    for (const PortFailureText &row : kPortFailureTexts)
        if (row.kind == kind)
            return QStringLiteral("%1 (%2)").arg(QString::fromUtf8(row.text), systemText);
    return systemText;
}

namespace {

QSerialPort &openPort(QSerialPort *port)
{
    if (!port)
        throw PortFailure{QStringLiteral("Keine Schnittstelle geöffnet"), PortFailureKind::Other, QString()};
    return *port;
}

} // namespace

TestLink::TestLink(QSerialPort *serialPort, const TestLog &testLog)
    : port(openPort(serialPort))
    , log(testLog)
{
    // A port that could not be opened fails with its own reason.
    if (!port.isOpen())
        fail();
    // Each test judges the port afresh: a device that is really gone fails
    // again at once, a passing fault of an earlier test does not linger.
    port.clearError();
}

void TestLink::fail()
{
    // A line that has hung up (the adapter pulled) often reads as a plain end
    // of data, and the port then names whatever error number was left over:
    // name the cause as the driver does.
    QString text = port.errorString();
    PortFailureKind kind = portFailureKind(port);
    if (lineHungUp() || !isFailure(port.error()) || text.isEmpty()) {
        text = QString::fromLocal8Bit(std::strerror(EIO));
        kind = PortFailureKind::Removed;
    }
    throw PortFailure{portFailureShown(kind, text), kind, text};
}

bool TestLink::lineHungUp() const
{
#ifdef Q_OS_UNIX
    // Ask for no events: poll then reports only hang-up and error, and the
    // bytes waiting stay where the test expects them.
    struct pollfd p = {static_cast<int>(port.handle()), 0, 0};
    return p.fd >= 0 && ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
#else
    return false; // the port's own errors tell
#endif
}

void TestLink::checkPort()
{
    if (interruptiblewait::interrupted())
        throw StopRequested{};
    if (!port.isOpen() || isFailure(port.error()))
        fail();
}

void TestLink::checkHangup()
{
    if (lineHungUp())
        fail();
}

void TestLink::configure(const LineSettings &line)
{
    setBaudRate(line.baud);
    port.setDataBits(line.dataBits);
    acceptRefusal();
    port.setStopBits(QSerialPort::OneStop);
    acceptRefusal();
    port.setParity(line.parity);
    acceptRefusal();
    discardInput();
}

void TestLink::acceptRefusal()
{
    // The port keeps its previous setting and works on; the test goes on.
    if (port.error() == QSerialPort::UnsupportedOperationError)
        port.clearError();
    checkPort();
}

void TestLink::setBaudRate(qint32 baud)
{
    port.setBaudRate(baud, QSerialPort::AllDirections);
    acceptRefusal();
}

void TestLink::discardInput()
{
    port.clear(QSerialPort::Input);
    port.readAll();
    checkPort();
}

void TestLink::sleep(int ms)
{
    QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    for (;;) {
        checkHangup();
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            break;
        if (!interruptiblewait::sleepMs(static_cast<int>(qMin<qint64>(left, interruptiblewait::kSliceMs))))
            throw StopRequested{};
    }
    timingledger::addSleep(qint64(ms) * 1000000);
}

bool TestLink::waitForInput(int ms)
{
    QElapsedTimer spent;
    spent.start();
    const bool arrived = interruptiblewait::waitForReadyRead(port, ms);
    timingledger::addWait(spent.nsecsElapsed());
    if (!arrived)
        checkPort();
    return arrived;
}

qint64 TestLink::available()
{
    checkHangup();
    return port.bytesAvailable();
}

qint64 TestLink::appendAvailable(QByteArray &buffer, const QString &progressPrefix, CountShown shown)
{
    if (available() <= 0)
        return 0;
    const int before = buffer.size();
    if (!progressPrefix.isEmpty() && shown == CountShown::BeforeAppend)
        log.status(progressPrefix + QString::number(before));
    buffer += takeAvailable();
    if (!progressPrefix.isEmpty() && shown == CountShown::AfterAppend)
        log.status(progressPrefix + QString::number(buffer.size()));
    return buffer.size() - before;
}

QByteArray TestLink::takeAvailable()
{
    const QByteArray bytes = port.readAll();
    log.received(bytes);
    checkPort();
    return bytes;
}

void TestLink::send(const QByteArray &bytes, int writtenWithinMs)
{
    log.sent(bytes);
    write(bytes, writtenWithinMs);
}

void TestLink::write(const QByteArray &bytes, int writtenWithinMs)
{
    checkHangup();
    if (port.write(bytes) != bytes.size())
        fail();
    QElapsedTimer spent;
    spent.start();
    const bool written = interruptiblewait::waitForBytesWritten(port, writtenWithinMs);
    timingledger::addWait(spent.nsecsElapsed());
    if (!written)
        checkPort();
}
