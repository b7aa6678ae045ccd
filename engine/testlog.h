#pragma once

#include <QByteArray>
#include <QColor>
#include <QElapsedTimer>
#include <QString>
#include <functional>

#include "engine/testoutcome.h"

// Log colours by their names, as the window shows them.
namespace logcolour {
constexpr const char *kHeading = "blue";  // headings and sent data
constexpr const char *kReceived = "black";
constexpr const char *kError = "red";
constexpr const char *kGood = "green";    // good echoes of the read-head test
} // namespace logcolour

// Beginnings of log lines that a front end may recognise.
namespace logtext {
constexpr const char *kSent = "Sende:";
constexpr const char *kPortFailure = "Fehler an der Schnittstelle: ";
} // namespace logtext

// The protocols a test names in its result, which a front end may tell apart.
namespace protocolname {
constexpr const char *kSml = "SML";
constexpr const char *kIecAscii = "OBIS ASCII";
constexpr const char *kModbus = "Modbus RTU";
} // namespace protocolname

// Upper-case hexadecimal, two digits per byte, no separators.
QString hexText(const QByteArray &bytes);

// Where a test's reports go: the worker hands in its own signals.
struct TestSink
{
    std::function<void(const QString &text, const QColor &colour)> logLine;
    std::function<void(const QString &text)> statusBar;
    std::function<void(const QString &text)> resultForPrint;
    std::function<void(const meter_result_t &record)> values;
    TestOutcome *outcome = nullptr; // the running test's facts; none outside a chain
};

// What one test tells the window: every text leaves the worker through
// these, so the wording of the shared lines lives in one place.
class TestLog
{
public:
    explicit TestLog(TestSink sink) : sink(std::move(sink)) { clock.start(); }

    void line(const QString &text, const char *colour) const;
    void status(const QString &text) const;
    void sent(const QByteArray &bytes) const;              // "Sende:" + hex, blue
    void noData() const;                                   // "Ergebnis: Keine Daten", red
    // Red; the shown text names the cause in the user's words, then the system's.
    void portFailure(const QString &shown, PortFailureKind kind, const QString &systemText) const;
    void telegramHex(const QByteArray &telegram) const;    // "Ergebnis: " + hex, then for the report
    void forReport(const QString &text) const;
    // A record with a parse error is announced instead of being sent.
    void values(const meter_result_t &record) const;
    void received(const QByteArray &bytes) const;

    // Facts for the outcome alone; they show nowhere by themselves.
    void frame(Protocol protocol, FrameCheck check, int size) const;
    void modbusException(const ModbusException &exception) const;
    void otherSlave(quint8 slave) const;
    void identification(const QByteArray &line) const;
    void dataRate(qint32 rate) const;
    void lacksEnergyRegister() const;
    void telegram(const QByteArray &bytes) const;

private:
    TestSink sink;
    QElapsedTimer clock;
};
