#pragma once

class QSerialPort;

// Every sleep and wait of the engine goes through these, so that a worker
// asked to stop (QThread::requestInterruption) leaves a running test within
// one slice instead of being terminated. They sleep to a deadline, so the
// slicing adds no drift to the prescribed durations.
namespace interruptiblewait {

constexpr int kSliceMs = 50;

// True when the current thread has been asked to stop.
bool interrupted();

// Sleeps for ms milliseconds; returns false when interrupted early.
bool sleepMs(int ms);

// Waits at most ms milliseconds for new input on the port. True when data
// arrived; false on timeout, port error or interruption.
bool waitForReadyRead(QSerialPort &port, int ms);

// Waits at most ms milliseconds until everything written has left for the
// device. True when the write buffer is empty; false on timeout, port error
// or interruption.
bool waitForBytesWritten(QSerialPort &port, int ms);

} // namespace interruptiblewait
