#include "engine/serialclass.h"

#include <QDebug>
#include <QMutexLocker>
#include <QSerialPort>

serialclass::serialclass(QObject *parent)
    : QObject(parent)
{
    qDebug() << "serialclass constructor" << QThread::currentThreadId();
    // Direct: finished() is emitted in the worker thread itself, just before it ends.
    connect(&workerThread, &QThread::finished, this, &serialclass::closePortInWorkerThread,
            Qt::DirectConnection);
    moveToThread(&workerThread);
    workerThread.start(QThread::InheritPriority);
}

serialclass::~serialclass()
{
    // A running test polls the interruption flag in every sleep slice, so it
    // ends well inside the bound; quit() alone would not reach a running slot.
    workerThread.requestInterruption();
    workerThread.quit();
    if (!workerThread.wait(1000)) {
        qDebug() << "thread has to be terminated";
        workerThread.terminate();
        workerThread.wait();
    }
    delete serialPort; // only left when the thread had to be terminated
    serialPort = nullptr;
}

void serialclass::closePortInWorkerThread()
{
    QMutexLocker lock(&portMutex);
    if (serialPort) {
        serialPort->close();
        delete serialPort;
        serialPort = nullptr;
    }
}

void serialclass::slotConnectSerialPort(QString Port)
{
    QMutexLocker lock(&portMutex);
    qDebug() << "slotConnectSerialPort" << QThread::currentThreadId();

    // A port object from an earlier (failed) connect is released, so that it
    // neither leaks nor keeps the device busy.
    if (serialPort) {
        serialPort->close();
        delete serialPort;
        serialPort = nullptr;
    }

    serialPort = new QSerialPort();
    serialPort->setPortName(Port);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);

    if (!serialPort->open(QIODevice::ReadWrite))
        emit signalConnectSerial_Fail(serialPort->errorString());
    else
        emit signalConnectSerial_Success();
}

void serialclass::slotDisconnectSerialPort()
{
    QMutexLocker lock(&portMutex);
    if (serialPort) {
        serialPort->close();
        delete serialPort;
        serialPort = nullptr;
    }
}
