#include "engine/serialclass.h"

#include <QSerialPort>

#include <utility>

#include "engine/programversion.h"
#include "engine/testlog.h"

namespace {

constexpr PortSetting k9600_8N1{9600, 8, Parity::None};
constexpr PortSetting k9600_7E1{9600, 7, Parity::Even};
constexpr PortSetting k9600_8E1{9600, 8, Parity::Even};
constexpr PortSetting k300_7E1{300, 7, Parity::Even};

// One step of a test chain: what the window shows before the test, the test
// itself, and what the result line names when it succeeds.
struct ChainStep
{
    const char *statusText;
    const char *heading;
    bool (*run)(serialclass &worker, const StartRequest &request);
    TestKind kind;
    Protocol protocol;
    PortSetting setting;
};

constexpr ChainStep kReadingHeadChain[] = {
    {"Test 1 von 4 - Bitte warten!", "Test 1 mit Baud 9600 8N1 unidirektional:",
     [](serialclass &w, const StartRequest &) { return w.IR_Test01(); }, TestKind::HeadSmlListen, Protocol::Sml,
     k9600_8N1},
    {"Test 2 von 4 - Bitte warten!", "Test 2 mit Baud 9600 8N1 bidirektional:",
     [](serialclass &w, const StartRequest &) { return w.IR_Test02(); }, TestKind::HeadSmlRequest, Protocol::Sml,
     k9600_8N1},
    {"Test 3 von 4 - Bitte warten!", "Test 3 mit Baud 9600 7E1 unidirektional:",
     [](serialclass &w, const StartRequest &) { return w.IR_Test03(); }, TestKind::HeadIecListen,
     Protocol::IecAscii, k9600_7E1},
    {"Test 4 von 4 - Bitte warten!", "Test 4 mit Baud 300 7E1 bidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.signOnTest(r.signOnAddress); }, TestKind::HeadIecSignOn,
     Protocol::IecAscii, k300_7E1},
};

constexpr ChainStep kRs485Chain[] = {
    {"Test 1 von 4 - Bitte warten!", "RS485: Test 1 mit Baud 9600 8E1 bidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.modbusTest(r); }, TestKind::BusModbus, Protocol::Modbus,
     k9600_8E1},
    {"Test 2 von 4 - Bitte warten!", "RS485: Test 2 mit Baud 9600 7E1 bidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.MODBUS485_Test02(r.meterNumber); },
     TestKind::BusIecRequest7E1, Protocol::IecAscii, k9600_7E1},
    {"Test 3 von 4 - Bitte warten!", "RS485: Test 3 mit Baud 9600 8N1 bidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.MODBUS485_Test03(r.meterNumber); },
     TestKind::BusIecRequest8N1, Protocol::IecAscii, k9600_8N1},
    {"Test 4 von 4 - Bitte warten!", "RS485: Test 4 mit Baud 9600 8N1 unidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.MODBUS485_Test04(r.meterNumber); },
     TestKind::BusSmlListen, Protocol::Sml, k9600_8N1},
};

constexpr int kChainLength = 4;
static_assert(sizeof(kReadingHeadChain) / sizeof(ChainStep) == kChainLength, "four reading-head tests");
static_assert(sizeof(kRs485Chain) / sizeof(ChainStep) == kChainLength, "four RS485 tests");

} // namespace

void serialclass::slotStartTest(QString Passwort, TestMode_t TestMode, enum_interfaces_t Interace)
{
    StartRequest request;
    request.accessory = Interace;
    request.mode = TestMode;
    // The window's one field is the device address for the reading head and
    // the meter number for the converter.
    request.signOnAddress = Passwort;
    request.meterNumber = Passwort;
    runChain(request);
}

void serialclass::slotStartRequest(StartRequest Request)
{
    runChain(Request);
}

void serialclass::runChain(const StartRequest &request)
{
    const TestLog log(testSink());
    log.line(versionLine(), logcolour::kHeading);

    const ChainStep *chain = nullptr;
    if (request.accessory == IR_Head)
        chain = kReadingHeadChain;
    else if (request.accessory == MODBUS485_Converter)
        chain = kRs485Chain;

    // Modes 2 to 4 start at their test; every other value at test 1. The
    // reading head goes on after a failure only for "Alle Tests"; the RS485
    // converter always runs its chain to the end. A lost port ends the chain:
    // every further test would only fail on it again.
    const int mode = int(request.mode);
    const int first = (mode >= 2 && mode <= kChainLength) ? mode - 1 : 0;
    const bool goOn = request.accessory == MODBUS485_Converter || request.mode == Test_All;

    RunOutcome run;
    run.accessory = request.accessory;
    const ChainStep *success = nullptr;
    for (int i = first; chain && i < kChainLength; ++i) {
        const ChainStep &step = chain[i];
        log.status(QString::fromUtf8(step.statusText));
        log.line(QString::fromUtf8(step.heading), logcolour::kHeading);
        testOutcome = TestOutcome();
        testOutcome.number = i + 1;
        testOutcome.kind = step.kind;
        testOutcome.protocol = step.protocol;
        testOutcome.setting = step.setting;
        const bool succeeded = step.run(*this, request);
        // A test that judged the byte count alone left them unread; they arrived all the same.
        if (serialPort && serialPort->isOpen())
            testOutcome.received += serialPort->peek(serialPort->bytesAvailable());
        testOutcome.accepted = succeeded;
        for (const QByteArray &sent : std::as_const(testOutcome.requests))
            testOutcome.echoSeen = testOutcome.echoSeen || testOutcome.received.contains(sent);
        run.tests << testOutcome;
        if (succeeded) {
            success = &step;
            break;
        }
        if (!goOn || testOutcome.portFailure != PortFailureKind::None)
            break;
    }
    run.verdict = success ? Verdict::Successful : Verdict::NotSuccessful;
    testOutcome = TestOutcome();

    if (success)
        emit signalUpdateErgebnis(QStringLiteral("erfolgreich"), QString::fromUtf8(protocolName(success->protocol)),
                                  success->setting.text());
    else
        emit signalUpdateErgebnis(QStringLiteral("nicht erfolgreich"), QStringLiteral("-"), QStringLiteral("-"));
    emit signalRunOutcome(run);
    log.status(QStringLiteral("Test beendet!"));
    emit signalTestFinished();
}
