#include "engine/interruptiblewait.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QThread>

namespace interruptiblewait {

bool interrupted()
{
    QThread *t = QThread::currentThread();
    return t && t->isInterruptionRequested();
}

bool sleepMs(int ms)
{
    QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    while (!interrupted()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return true;
        QThread::msleep(static_cast<unsigned long>(qMin<qint64>(left, kSliceMs)));
    }
    return false;
}

bool waitForReadyRead(QSerialPort &port, int ms)
{
    QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    while (!interrupted()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        if (port.waitForReadyRead(static_cast<int>(qMin<qint64>(left, kSliceMs))))
            return true;
        // A slice that ran out is a timeout; anything else is a port failure.
        if (port.error() != QSerialPort::TimeoutError && port.error() != QSerialPort::NoError)
            return false;
    }
    return false;
}

bool waitForBytesWritten(QSerialPort &port, int ms)
{
    QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    while (!interrupted()) {
        if (port.bytesToWrite() == 0)
            return true;
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        if (port.waitForBytesWritten(static_cast<int>(qMin<qint64>(left, kSliceMs))))
            continue;
        if (port.error() != QSerialPort::TimeoutError && port.error() != QSerialPort::NoError)
            return false;
    }
    return false;
}

} // namespace interruptiblewait
