#pragma once

#include <QString>

#include "protocols/meterresult.h"

struct RunRecord;

// What the front end knows beyond the worker's reports.
struct HintContext
{
    enum_interfaces_t kind = IR_Head;
    QString meterNumber;       // RS485: the number the slave address was derived from
    bool addressGiven = false; // RS485: --modbus-adresse set it
};

// Explains a finished request from what arrived in each test: after a
// failure every test, after a success the successful test when its values
// are missing or reduced. Fills each test's hints, the record's lines (each
// likely cause once) and how the Modbus address came about.
void explainRun(RunRecord &run, const HintContext &context);

// What to do about a port that cannot be opened, from its error text; empty
// when the text names no cause the user can act on.
QString connectHint(const QString &portError);
