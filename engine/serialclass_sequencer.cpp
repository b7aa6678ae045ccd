#include "engine/serialclass.h"

#include <QSerialPort>

#include <utility>

#include "engine/chainstep.h"
#include "engine/programversion.h"
#include "engine/testlog.h"

namespace {

constexpr ChainStep kReadingHeadChain[] = {
    {"Test 1 von 4 - Bitte warten!", "Test 1 mit Baud 9600 8N1 unidirektional:",
     [](serialclass &w, const StartRequest &) { return w.IR_Test01(); }, 1, TestKind::HeadSmlListen, Protocol::Sml,
     k9600_8N1},
    {"Test 2 von 4 - Bitte warten!", "Test 2 mit Baud 9600 8N1 bidirektional:",
     [](serialclass &w, const StartRequest &) { return w.IR_Test02(); }, 2, TestKind::HeadSmlRequest, Protocol::Sml,
     k9600_8N1},
    {"Test 3 von 4 - Bitte warten!", "Test 3 mit Baud 9600 7E1 unidirektional:",
     [](serialclass &w, const StartRequest &) { return w.IR_Test03(); }, 3, TestKind::HeadIecListen,
     Protocol::IecAscii, k9600_7E1},
    {"Test 4 von 4 - Bitte warten!", "Test 4 mit Baud 300 7E1 bidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.signOnTest(r.signOnAddress); }, 4, TestKind::HeadIecSignOn,
     Protocol::IecAscii, k300_7E1},
};

constexpr ChainStep kRs485Chain[] = {
    {"Test 1 von 4 - Bitte warten!", "RS485: Test 1 mit Baud 9600 8E1 bidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.modbusTest(r); }, 1, TestKind::BusModbus, Protocol::Modbus,
     k9600_8E1},
    {"Test 2 von 4 - Bitte warten!", "RS485: Test 2 mit Baud 9600 7E1 bidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.MODBUS485_Test02(r.meterNumber); },
     2, TestKind::BusIecRequest7E1, Protocol::IecAscii, k9600_7E1},
    {"Test 3 von 4 - Bitte warten!", "RS485: Test 3 mit Baud 9600 8N1 bidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.MODBUS485_Test03(r.meterNumber); },
     3, TestKind::BusIecRequest8N1, Protocol::IecAscii, k9600_8N1},
    {"Test 4 von 4 - Bitte warten!", "RS485: Test 4 mit Baud 9600 8N1 unidirektional:",
     [](serialclass &w, const StartRequest &r) { return w.MODBUS485_Test04(r.meterNumber); },
     4, TestKind::BusSmlListen, Protocol::Sml, k9600_8N1},
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
    if (Request.fast)
        runFastChain(Request);
    else
        runChain(Request);
}

void serialclass::runChain(const StartRequest &request)
{
    // Modes 2 to 4 start at their test; every other value at test 1. The
    // reading head goes on after a failure only for "Alle Tests"; the RS485
    // converter always runs its chain to the end.
    ChainRun chain;
    if (request.accessory == IR_Head)
        chain.steps = kReadingHeadChain;
    else if (request.accessory == MODBUS485_Converter)
        chain.steps = kRs485Chain;
    chain.length = chain.steps ? kChainLength : 0;
    const int mode = int(request.mode);
    chain.first = (mode >= 2 && mode <= kChainLength) ? mode - 1 : 0;
    chain.goOn = request.accessory == MODBUS485_Converter || request.mode == Test_All;
    runSteps(chain, request);
}

void serialclass::runSteps(const ChainRun &chain, const StartRequest &request)
{
    const TestLog log(testSink());
    log.line(versionLine(), logcolour::kHeading);

    // A lost port ends the chain: every further test would only fail on it again.
    RunOutcome run;
    run.accessory = request.accessory;
    bool succeeded = false;
    for (int i = chain.first; i < chain.length; ++i) {
        const ChainStep &step = chain.steps[i];
        log.status(QString::fromUtf8(step.statusText));
        log.line(QString::fromUtf8(step.heading), logcolour::kHeading);
        testOutcome = TestOutcome();
        testOutcome.number = step.number;
        testOutcome.kind = step.kind;
        testOutcome.protocol = step.protocol;
        testOutcome.setting = step.setting;
        succeeded = step.run(*this, request);
        // A test that judged the byte count alone left them unread; they arrived all the same.
        if (serialPort && serialPort->isOpen())
            testOutcome.received += serialPort->peek(serialPort->bytesAvailable());
        testOutcome.accepted = succeeded;
        for (const QByteArray &sent : std::as_const(testOutcome.requests))
            testOutcome.echoSeen = testOutcome.echoSeen || testOutcome.received.contains(sent);
        run.tests << testOutcome;
        if (succeeded || !chain.goOn || testOutcome.portFailure != PortFailureKind::None)
            break;
    }
    run.verdict = succeeded ? Verdict::Successful : Verdict::NotSuccessful;
    testOutcome = TestOutcome();

    if (succeeded)
        emit signalUpdateErgebnis(QStringLiteral("erfolgreich"),
                                  QString::fromUtf8(protocolName(run.tests.last().protocol)),
                                  run.tests.last().setting.text());
    else
        emit signalUpdateErgebnis(QStringLiteral("nicht erfolgreich"), QStringLiteral("-"), QStringLiteral("-"));
    emit signalRunOutcome(run);
    log.status(QStringLiteral("Test beendet!"));
    emit signalTestFinished();
}
