#pragma once

#include <QColor>
#include <QObject>
#include <QString>

#include "protocols/meterresult.h"
#include "cli/runrecord.h"

class ConsoleOutput;
class serialclass;

// One request of the front end: connects the port, starts the test chain or
// the read-head test, shows what the worker reports and ends with an exit
// status. Talks to the worker only through the window's twelve signal-slot
// connections, all queued.
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

private:
    void stopWorker();
    void finish(int exitStatus);

    Request request;
    ConsoleOutput &output;
    serialclass *serial = nullptr;
    RunRecord run;
    bool done = false;
};
