#pragma once

#include <QList>
#include <QString>

#include "protocols/meterresult.h"

// The identification texts of a record: JSON key and German label.
struct IdentText
{
    QString meter_result_t::*text;
    const char *key;
    const char *label;
};
extern const IdentText kIdentTexts[5];

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

    // Later records only overwrite the values they carry, as in the window's grid.
    void mergeValues(const meter_result_t &record);
    bool successful() const;
};
