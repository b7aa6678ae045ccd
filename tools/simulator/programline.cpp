#include "tools/simulator/programline.h"

#include "tools/testbed/linesettings_record.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

// Present only when the executable links the test bed.
#pragma weak viviv_testbed_query
#pragma weak viviv_testbed_forget

namespace metersim {

namespace {

struct Speed
{
    speed_t constant;
    qint32 baud;
};

constexpr Speed kSpeeds[] = {
    {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B500000, 500000},
    {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000},
};

bool readRecord(const std::string &path, linesettings::CharFormat *out)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[16] = {};
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    return n > 0 && linesettings::parseRecord(text, out);
}

} // namespace

QString formatSourceName(FormatSource source)
{
    switch (source) {
    case FormatSource::TestBedInProcess: return QStringLiteral("test bed in this process");
    case FormatSource::TestBedRecord: return QStringLiteral("test bed record");
    case FormatSource::AssumedMeterFormat: break;
    }
    return QStringLiteral("not visible, the meter's own format counts as set");
}

ProgramLine::ProgramLine(int masterFd, QString slavePath) : masterFd(masterFd), slavePath(std::move(slavePath))
{
}

bool ProgramLine::testBedInProcess()
{
    return viviv_testbed_query != nullptr;
}

qint32 ProgramLine::baudOfSpeed(unsigned speed)
{
    for (const Speed &s : kSpeeds) {
        if (s.constant == speed)
            return s.baud;
    }
    return 0;
}

void ProgramLine::forgetRecords() const
{
    const QByteArray path = slavePath.toLocal8Bit();
    if (viviv_testbed_forget)
        viviv_testbed_forget(path.constData());
    unlink(linesettings::recordPath(path.toStdString()).c_str());
}

LineFormat ProgramLine::current(const LineFormat &meterFormat)
{
    LineFormat f = meterFormat;
    struct termios t;
    if (tcgetattr(masterFd, &t) == 0) {
        const qint32 baud = baudOfSpeed(cfgetospeed(&t));
        if (baud > 0)
            f.baud = baud;
    }
    const QByteArray path = slavePath.toLocal8Bit();
    linesettings::CharFormat cf;
    bool known = false;
    if (viviv_testbed_query) {
        known = viviv_testbed_query(path.constData(), &cf.dataBits, &cf.parity, &cf.stopBits) != 0;
        source = FormatSource::TestBedInProcess;
    } else {
        known = readRecord(linesettings::recordPath(path.toStdString()), &cf);
        source = known ? FormatSource::TestBedRecord : FormatSource::AssumedMeterFormat;
    }
    if (known) {
        f.dataBits = cf.dataBits;
        f.parity = cf.parity;
        f.stopBits = cf.stopBits;
    }
    return f;
}

} // namespace metersim
