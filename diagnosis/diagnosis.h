#pragma once

#include <QList>
#include <QString>

#include "engine/testoutcome.h"

// Findings: what a finished start request tells the person in front of it,
// judged from the engine's outcome alone (no widgets, no I/O).

enum class FindingId {
    PortLost,
    NoByte,
    NoByteOnBus,
    Noise,
    NoiseOnBus,
    BytesNoTelegram,
    Looks7E1,
    EchoOnly,
    EchoOnlyOnBus,
    ChecksumFailed,
    NoEnergyRegister,
    ReducedDataSet,
    IdentificationNoData,
    SilentToSignOn,
    SilentToAddressedSignOn,
    NoModbusAddress,
    NoModbusAnswer,
    ModbusException,
    OtherSlave,
};

// Which front end asks: the way to give an address differs.
enum class FrontEnd { Window, CommandLine };

struct DiagnosisContext
{
    FrontEnd frontEnd = FrontEnd::Window;
};

struct Finding
{
    FindingId id;
    const char *key;  // stable identifier for JSON, e.g. "no-byte"
    int test = 0;     // the test it belongs to (1..4)
    QString fact;     // what arrived, with its figures
    QString cause;    // the likely cause
    QString action;   // what to do
};

// Whether a run deserves an explanation: it failed, or succeeded without
// values or with only the reduced data set.
bool needsExplanation(const RunOutcome &run);

// The findings of every test that needs one, in test order; empty when the
// run needs no explanation.
QList<Finding> diagnose(const RunOutcome &run, const DiagnosisContext &context);

// The findings as lines after "Hinweis: ": per finding "Test N (protocol,
// setting): fact", then its cause and action, each cause and action once.
QStringList hintLines(const RunOutcome &run, const QList<Finding> &findings);

// The likely cause of the finding with this key; empty for an unknown key.
QString findingCause(const QString &key);

// The German text for a port that could not be opened, and what to do about it.
QString connectFailureText(PortFailureKind kind, const QString &systemText);
QString connectFailureAction(PortFailureKind kind);
