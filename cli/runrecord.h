#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "protocols/meterresult.h"

struct RunRecord;

// The identification texts of a record: JSON key and German label. The SML
// server identification is binary and shown in hexadecimal.
struct IdentText
{
    QString meter_result_t::*text;
    const char *key;
    const char *label;
    bool binaryInSml;
};
extern const IdentText kIdentTexts[5];

// The text of an identification as the front end shows it.
QString identShown(const RunRecord &record, const IdentText &ident);

// One test of the chain as it went: what it sent and what arrived.
struct TestRun
{
    int number = 0;
    QString protocol;        // "SML", "OBIS ASCII", "Modbus RTU"
    QString setting;         // "9600 8N1"
    QList<QByteArray> sent;  // each request, from the "Sende:" lines
    QByteArray received;
    bool values = false;     // the test sent decoded values
    QString portFailure;     // the port failed during the test: its error text
    QStringList hints;       // facts and likely causes, without "Hinweis: "
};

// Everything the worker reported during one request, kept for the summary
// and the JSON document.
struct RunRecord
{
    struct LogLine
    {
        QString text;
        QString colour; // "blue", "black", "red", "green" or #rrggbb
    };

    QString port;
    QString accessory;  // "lesekopf" or "rs485"
    QString request;    // "Alle Tests", "Test 2", "Lesekopftest"
    QList<LogLine> log;
    QString ergebnis;
    QString protokoll;
    QString baud;
    QString report;     // the text the window keeps for the printed report
    meter_result_t values = clearedMeterResult();
    bool finished = false;
    QList<TestRun> tests;
    TestRun running;    // the test the worker is in
    QString portError;  // the port failed during a test: its error text
    QStringList hints;  // as printed, each cause once
    int modbusSlave = -1;  // the slave address the Modbus test used
    QString modbusAddress; // and how it came about; empty without a Modbus request

    void addLogLine(const QString &text, const QString &colour);
    // Later records only overwrite the values they carry, as in the window's grid.
    void mergeValues(const meter_result_t &record);
    void closeTest(int number, const QString &protocol, const QString &setting, const QByteArray &received);
    bool successful() const;
    // The telegram behind the report text: hexadecimal, or an IEC readout as text.
    QByteArray telegram() const;
};
