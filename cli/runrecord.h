#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "diagnosis/diagnosis.h"
#include "engine/testoutcome.h"
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

// One request as the worker reported it: the log and the words it shows,
// and the engine's outcome, from which every fact is taken.
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
    // The engine's result line as shown: "erfolgreich", "SML", "9600 8N1".
    QString ergebnis;
    QString protokoll;
    QString baud;
    QString report;     // the text the window keeps for the printed report

    RunOutcome outcome;
    bool outcomeKnown = false;
    meter_result_t values = clearedMeterResult(); // every decoded record, merged as in the window's grid
    QList<Finding> findings;
    QStringList hints;  // as printed after "Hinweis: "

    void addLogLine(const QString &text, const QString &colour);
    // Takes the outcome and merges its records.
    void setOutcome(const RunOutcome &run);
    // The findings and hint lines of a test chain's outcome.
    void explain(const DiagnosisContext &context);

    bool successful() const { return outcome.verdict == Verdict::Successful; }
    // The test whose values and telegram are shown: the successful one, else
    // the last that decoded values; null when none did.
    const TestOutcome *shownTest() const;
    bool sml() const;
    // A lost port in the words the log used; empty when none was lost.
    QString portLost() const;
    // The Modbus slave asked and how its address came about; empty without one.
    QString modbusAddress() const;
};
