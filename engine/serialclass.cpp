#include "engine/serialclass.h"

#include <QDebug>
#include <QMutexLocker>
#include <QSerialPort>

#include "engine/testlink.h"
#include "engine/testlog.h"

serialclass::serialclass(QObject *parent)
    : QObject(parent)
{
    qDebug() << "serialclass constructor" << QThread::currentThreadId();
    qRegisterMetaType<RunOutcome>();
    qRegisterMetaType<StartRequest>();
    qRegisterMetaType<ModbusSearchRequest>();
    qRegisterMetaType<ModbusSearchEvent>();
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
    closePort();
}

void serialclass::closePort()
{
    if (!serialPort)
        return;
    serialPort->close();
    delete serialPort;
    serialPort = nullptr;
}

TestSink serialclass::testSink()
{
    return {
        [this](const QString &text, const QColor &colour) { emit signalUpdateStatusText(text, colour); },
        [this](const QString &text) { emit signalUpdateStatuBar(text); },
        [this](const QString &text) { emit signalUpdateResultForPrint(text); },
        [this](const meter_result_t &record) { emit signalUpdateParserErgebnis(record); },
        &testOutcome,
    };
}

void serialclass::slotConnectSerialPort(QString Port)
{
    QMutexLocker lock(&portMutex);
    qDebug() << "slotConnectSerialPort" << QThread::currentThreadId();

    // A port object from an earlier (failed) connect is released, so that it
    // neither leaks nor keeps the device busy.
    closePort();

    serialPort = new QSerialPort();
    serialPort->setPortName(Port);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);

    if (!serialPort->open(QIODevice::ReadWrite)) {
        RunOutcome outcome;
        outcome.connectFailure = portFailureKind(*serialPort);
        outcome.connectFailureText = serialPort->errorString();
        emit signalRunOutcome(outcome);
        emit signalConnectSerial_Fail(serialPort->errorString());
    } else
        emit signalConnectSerial_Success();
}

void serialclass::slotDisconnectSerialPort()
{
    QMutexLocker lock(&portMutex);
    closePort();
}
