#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

#include "engine/modbussearch.h"
#include "engine/testoutcome.h"

class ConsoleOutput;
class serialclass;
class WorkerClient;

// "2 min 30 s", "9,3 min", "4,2 s": a duration as the user reads it.
QString searchDurationText(qint64 ms);

// "9600 8E1, 9600 8N1, ...": the settings of the search, in its order.
QString searchSettingsText();

// The search as the user sees it: the line per probe, the block per device,
// and as NDJSON one object per event.
QString probeLine(const ModbusSearchEvent &probe);
QString deviceText(const ModbusSearchEvent &device);
QJsonObject eventJson(const ModbusSearchEvent &event);

// One bus search on one port: connects, asks the worker to search, shows its
// progress on the terminal (or as NDJSON events with --json), each device
// found, and ends with an exit status: 0 a device answered, 1 none did,
// 2 the port did not open, 3 it was lost.
class ModbusSearchSession : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QString port;
        ModbusSearchRequest search;
        bool json = false;
    };

    ModbusSearchSession(const Request &request, ConsoleOutput &output, QObject *parent = nullptr);
    ~ModbusSearchSession() override;

    void start();
    void interrupt(int signalNumber);

signals:
    void signalModbusSearch(ModbusSearchRequest Request);
    void finished(int exitStatus);

private slots:
    void slotEvent(ModbusSearchEvent Event);
    void slotRunOutcome(RunOutcome Outcome);

private:
    void connectFailed();
    void ended(const ModbusSearchEvent &end);
    void writeResult(int status, const QString &error, int probesSent);
    void stopWorker();
    void finish(int status);

    Request request;
    ConsoleOutput &output;
    serialclass *serial = nullptr;
    WorkerClient *client = nullptr;
    RunOutcome connectOutcome;
    QJsonArray devices;
    ModbusSearchEvent lastProbe;
    QStringList settingsWithBytes; // of the end event, for the result document
    bool workerIdle = false; // the search has ended, or the connect failed
    bool done = false;
};
