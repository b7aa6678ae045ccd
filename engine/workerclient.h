#pragma once

#include <QColor>
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
