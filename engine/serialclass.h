#pragma once

#include <QByteArray>
#include <QColor>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>

#include "engine/modbussearch.h"
#include "engine/testoutcome.h"
#include "protocols/meterresult.h"

class QSerialPort;
struct ChainRun;
struct TestSink;

// The serial worker: owns the port to the accessory, lives in a thread of its
// own and runs every test. Its signals and slots are the whole interface to
// the front ends.
class serialclass : public QObject
{
    Q_OBJECT

public:
    explicit serialclass(QObject *parent = nullptr);
    ~serialclass() override;

signals:
    void signalConnectSerial_Success();
    void signalConnectSerial_Fail(QString Errormessage);
    void signalUpdateStatuBar(QString Text);
    void signalUpdateStatusText(QString Text, QColor TextColor);
    void signalUpdateResultForPrint(QString Text);
    void signalTestFinished();
    void signalUpdateErgebnis(QString Ergebnis, QString Protokoll, QString Baud);
    void signalUpdateParserErgebnis(meter_result_t Ergebnis);
    // Before "Test beendet!" of a start request, and when a connect fails:
    // the verdict and every test's facts, for the diagnosis.
    void signalRunOutcome(RunOutcome Outcome);
    // The Modbus bus search: each probe, each device found, and its end.
    void signalModbusSearchEvent(ModbusSearchEvent Event);

public slots:
    void slotConnectSerialPort(QString Port);
    void slotDisconnectSerialPort();
    void slotStartTest(QString Passwort, TestMode_t TestMode, enum_interfaces_t Interace);
    // The same chain, with the fields a front end has typed.
    void slotStartRequest(StartRequest Request);
    void slotLesekopfStartTest();
    void slotModbusSearch(ModbusSearchRequest Request);
    bool IR_Test01();
    bool IR_Test02();
    bool IR_Test03();
    bool IR_Test04(QString Passwort);
    bool MODBUS485_Test01(QString Passwort);
    bool MODBUS485_Test02(QString Passwort);
    bool MODBUS485_Test03(QString Passwort);
    bool MODBUS485_Test04(QString Passwort);

public:
    // The tests that take typed fields; the two above with Passwort call them.
    bool signOnTest(const QString &deviceAddress);
    bool modbusTest(const StartRequest &request);

    // The command line's fast chain (StartRequest::fast): each test ends when
    // its answer is complete, not after fixed sleeps.
    bool fastListenTest();
    bool fastSignOnTest(const QString &deviceAddress);
    bool fastReadoutTest(const StartRequest &request, int number);
    bool fastSmlListenTest();

private:
    void runChain(const StartRequest &request);
    void runFastChain(const StartRequest &request);
    void runSteps(const ChainRun &chain, const StartRequest &request);
    // Runs in the worker thread as it finishes, so the port is closed there.
    void closePortInWorkerThread();
    // Closes and deletes the port, if one is held; the caller holds portMutex.
    void closePort();
    // The tests report through these signals.
    TestSink testSink();

    QThread workerThread;
    QSerialPort *serialPort = nullptr;
    QMutex portMutex;
    TestOutcome testOutcome; // what the running test has done and seen so far
};
