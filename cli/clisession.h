#pragma once

#include <QByteArray>
#include <QColor>
#include <QObject>
#include <QString>

#include "cli/hints.h"
#include "cli/runrecord.h"
#include "protocols/meterresult.h"

class ConsoleOutput;
class serialclass;

// One request of the front end: connects the port, starts the test chain or
// the read-head test, shows what the worker reports and ends with an exit
// status. Talks to the worker through the window's twelve signal-slot
// connections, all queued, and hears what arrived in each test through the
// worker's one signal for the command line. Continuous reading repeats the
// request for one test.
class CliSession : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QString port;
        enum_interfaces_t kind = IR_Head;
        bool readHeadTest = false;
        TestMode_t testMode = Test_All;
        QString passwort; // address (reading head) or meter number (RS485)
        bool json = false;
        bool allRegisters = false;
        bool continuous = false;
        int readings = 0; // continuous: how many, 0 until Ctrl+C
        HintContext hints;
    };

    CliSession(const Request &request, ConsoleOutput &output, QObject *parent = nullptr);
    ~CliSession() override;

    void start();
    // Ctrl+C: stops a running test through the worker's early stop.
    void interrupt(int signalNumber);

    const RunRecord &record() const { return run; }

signals:
    void signalConnectSerialPort(QString Port);
    void signalDisconnectSerialPort();
    void signalStartTest(QString Passwort, TestMode_t TestMode, enum_interfaces_t Interace);
    void signalLesekopfStartTest();

    void finished(int exitStatus);

public slots:
    void slotConnectSerial_Success();
    void slotConnectSerial_Fail(QString Errormessage);
    void slotUpdateStatuBar(QString Text);
    void slotUpdateStatusText(QString Text, QColor TextColor);
    void slotUpdateResultForPrint(QString Text);
    void slotTestFinished();
    void slotUpdateErgebnis(QString Ergebnis, QString Protokoll, QString Baud);
    void slotUpdateParserErgebnis(meter_result_t Ergebnis);
    void slotTestReceived(int Test, QString Protokoll, QString Baud, QByteArray Received);

private:
    RunRecord freshRecord() const;
    void startRequest();
    void report();
    void reading();
    QString portLostText() const;
    int exitStatus() const;
    void stopWorker();
    void finish(int exitStatus);

    Request request;
    ConsoleOutput &output;
    serialclass *serial = nullptr;
    RunRecord run;
    TestMode_t repeatedTest = Test_All; // continuous: the test each reading runs
    int readingsDone = 0;
    bool allReadingsSuccessful = true;
    bool done = false;
};
