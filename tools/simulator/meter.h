#pragma once

#include "tools/simulator/lineformat.h"

#include <QByteArray>
#include <QString>

namespace metersim {

// What a meter can do on its line. The simulator implements it; every call
// comes from the simulator's own thread.
class MeterLine
{
public:
    virtual ~MeterLine() = default;

    virtual qint64 elapsedMs() const = 0;
    // The meter's own rate and character format, used for what it sends
    // from now on and for decoding what it receives.
    virtual LineFormat format() const = 0;
    virtual void setFormat(const LineFormat &format) = 0;
    // The program's port as the simulator sees it right now.
    virtual LineFormat programFormat() const = 0;
    // Queued behind what is still on the line, paced at the meter's format.
    virtual void send(const QByteArray &bytes) = 0;
    // Nanoseconds until everything queued has left the meter.
    virtual qint64 backlogNs() const = 0;
    // One-shot timers; starting a running one restarts it.
    virtual void startTimer(int id, int ms) = 0;
    virtual void stopTimer(int id) = 0;
    virtual void note(const QString &text) = 0;
};

// One kind of meter: reacts to what it receives and to its timers.
class Meter
{
public:
    virtual ~Meter() = default;
    virtual LineFormat initialFormat() const = 0;
    virtual void start(MeterLine &line) { (void)line; }
    // One transmission of the program as the meter's UART decoded it;
    // characters with framing or parity errors are already dropped.
    virtual void received(MeterLine &line, const QByteArray &bytes) { (void)line; (void)bytes; }
    virtual void timer(MeterLine &line, int id) { (void)line; (void)id; }
};

} // namespace metersim
