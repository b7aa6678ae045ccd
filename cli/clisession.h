#pragma once

#include <QColor>
#include <QObject>
#include <QString>

#include "cli/runrecord.h"
#include "engine/testoutcome.h"
#include "protocols/meterresult.h"

class ConsoleOutput;
class serialclass;
class WorkerClient;

// One request of the front end: connects the port, starts the test chain or
// the read-head test, shows what the worker reports and ends with an exit
// status. Talks to the worker through the twelve queued connections of a
// WorkerClient, and through two of its own: the typed start request, and the
// outcome from which every fact is taken. Continuous reading repeats the
// request for one test.
class CliSession : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QString port;
        bool readHeadTest = false;
        StartRequest start; // accessory, mode, sign-on address, meter number, Modbus address
        bool json = false;
        bool allRegisters = false;
        bool continuous = false;
        int readings = 0; // continuous: how many, 0 until Ctrl+C
    };

    CliSession(const Request &request, ConsoleOutput &output, QObject *parent = nullptr);
    ~CliSession() override;

    void start();
    // Ctrl+C: stops a running test through the worker's early stop.
    void interrupt(int signalNumber);

signals:
    void signalStartRequest(StartRequest Request);
    void finished(int exitStatus);

private slots:
    void slotRunOutcome(RunOutcome Outcome);

private:
    RunRecord freshRecord() const;
    void startRequest();
    void connectFailed();
    void logLine(const QString &text, const QColor &colour);
    void result(const QString &ergebnis, const QString &protokoll, const QString &baud);
    void testFinished();
    void report();
    void reading();
    QString portLostText() const;
    int exitStatus() const;
    void stopWorker();
    void finish(int exitStatus);

    Request request;
    ConsoleOutput &output;
    serialclass *serial = nullptr;
    WorkerClient *client = nullptr;
    RunRecord run;
    RunOutcome connectOutcome; // why the port could not be opened
    TestMode_t repeatedTest = Test_All; // continuous: the test each reading runs
    int readingsDone = 0;
    bool allReadingsSuccessful = true;
    bool done = false;
};
