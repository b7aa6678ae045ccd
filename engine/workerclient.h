#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QObject>
#include <QString>

#include "engine/serialclass.h"
#include "engine/workerconnections.h"

// A front end's end of the twelve connections, declared once: the worker's
// four requests as signals and its eight answers as slots under the worker's
// names (so connectWorker() makes them), each answer passed on as a signal
// of its own. Its owner connects to those; it lives in the owner's thread.
class WorkerClient : public QObject
{
    Q_OBJECT

public:
    explicit WorkerClient(serialclass *worker, QObject *parent = nullptr) : QObject(parent)
    {
        connectWorker(this, worker);
    }

    void connectPort(const QString &port) { emit signalConnectSerialPort(port); }
    void disconnectPort() { emit signalDisconnectSerialPort(); }
    void startTest(const QString &passwort, TestMode_t mode, enum_interfaces_t kind)
    {
        emit signalStartTest(passwort, mode, kind);
    }
    void startReadHeadTest() { emit signalLesekopfStartTest(); }

signals:
    void signalConnectSerialPort(QString Port);
    void signalDisconnectSerialPort();
    void signalStartTest(QString Passwort, TestMode_t TestMode, enum_interfaces_t Interace);
    void signalLesekopfStartTest();

    void connected();
    void connectFailed(const QString &errorMessage);
    void statusBar(const QString &text);
    void logLine(const QString &text, const QColor &colour);
    void resultForPrint(const QString &text);
    void testFinished();
    void result(const QString &ergebnis, const QString &protokoll, const QString &baud);
    void values(const meter_result_t &record);

public slots:
    void slotConnectSerial_Success() { emit connected(); }
    void slotConnectSerial_Fail(QString Errormessage) { emit connectFailed(Errormessage); }
    void slotUpdateStatuBar(QString Text) { emit statusBar(Text); }
    void slotUpdateStatusText(QString Text, QColor TextColor) { emit logLine(Text, TextColor); }
    void slotUpdateResultForPrint(QString Text) { emit resultForPrint(Text); }
    void slotTestFinished() { emit testFinished(); }
    void slotUpdateErgebnis(QString Ergebnis, QString Protokoll, QString Baud) { emit result(Ergebnis, Protokoll, Baud); }
    void slotUpdateParserErgebnis(meter_result_t Ergebnis) { emit values(Ergebnis); }
};

// Ends a front end's worker: its last answers no longer reach the front end
// or its client (a worker stopped mid-test still sends them), an idle one
// closes its port first so that its thread has nothing left to do when asked
// to end, even on a busy machine, and a running test is asked to stop.
inline void releaseWorker(serialclass *&worker, WorkerClient *client, QObject *frontEnd, bool idle)
{
    if (!worker)
        return;
    QObject::disconnect(worker, nullptr, client, nullptr);
    QObject::disconnect(worker, nullptr, frontEnd, nullptr);
    if (idle)
        QMetaObject::invokeMethod(worker, "slotDisconnectSerialPort", Qt::BlockingQueuedConnection);
    delete worker; // waits for the thread
    worker = nullptr;
    QCoreApplication::removePostedEvents(client, QEvent::MetaCall);
    QCoreApplication::removePostedEvents(frontEnd, QEvent::MetaCall);
}
