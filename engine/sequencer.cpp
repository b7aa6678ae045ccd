#include "engine/serialclass.h"

#include <QSerialPort>

#include "engine/programversion.h"
#include "engine/testlog.h"

namespace {

// One step of a test chain: what the window shows before the test, the test
// itself, and the result line when it succeeds.
struct ChainStep
{
    const char *statusText;
    const char *heading;
    bool (*run)(serialclass &worker, const QString &passwort);
    const char *protocol;
    const char *baud;
};

constexpr ChainStep kReadingHeadChain[] = {
    {"Test 1 von 4 - Bitte warten!", "Test 1 mit Baud 9600 8N1 unidirektional:",
     [](serialclass &w, const QString &) { return w.IR_Test01(); }, protocolname::kSml, "9600 8N1"},
    {"Test 2 von 4 - Bitte warten!", "Test 2 mit Baud 9600 8N1 bidirektional:",
     [](serialclass &w, const QString &) { return w.IR_Test02(); }, protocolname::kSml, "9600 8N1"},
    {"Test 3 von 4 - Bitte warten!", "Test 3 mit Baud 9600 7E1 unidirektional:",
     [](serialclass &w, const QString &) { return w.IR_Test03(); }, protocolname::kIecAscii, "9600 7E1"},
    {"Test 4 von 4 - Bitte warten!", "Test 4 mit Baud 300 7E1 bidirektional:",
     [](serialclass &w, const QString &p) { return w.IR_Test04(p); }, protocolname::kIecAscii, "300 7E1"},
};

constexpr ChainStep kRs485Chain[] = {
    {"Test 1 von 4 - Bitte warten!", "RS485: Test 1 mit Baud 9600 8E1 bidirektional:",
     [](serialclass &w, const QString &p) { return w.MODBUS485_Test01(p); }, protocolname::kModbus, "9600 8E1"},
    {"Test 2 von 4 - Bitte warten!", "RS485: Test 2 mit Baud 9600 7E1 bidirektional:",
     [](serialclass &w, const QString &p) { return w.MODBUS485_Test02(p); }, protocolname::kIecAscii, "9600 7E1"},
    {"Test 3 von 4 - Bitte warten!", "RS485: Test 3 mit Baud 9600 8N1 bidirektional:",
     [](serialclass &w, const QString &p) { return w.MODBUS485_Test03(p); }, protocolname::kIecAscii, "9600 8N1"},
    {"Test 4 von 4 - Bitte warten!", "RS485: Test 4 mit Baud 9600 8N1 unidirektional:",
     [](serialclass &w, const QString &p) { return w.MODBUS485_Test04(p); }, protocolname::kSml, "9600 8N1"},
};

constexpr int kChainLength = 4;
static_assert(sizeof(kReadingHeadChain) / sizeof(ChainStep) == kChainLength, "four reading-head tests");
static_assert(sizeof(kRs485Chain) / sizeof(ChainStep) == kChainLength, "four RS485 tests");

} // namespace

void serialclass::slotStartTest(QString Passwort, TestMode_t TestMode, enum_interfaces_t Interace)
{
    const TestLog log(testSink());
    log.line(versionLine(), logcolour::kHeading);

    const ChainStep *chain = nullptr;
    if (Interace == IR_Head)
        chain = kReadingHeadChain;
    else if (Interace == MODBUS485_Converter)
        chain = kRs485Chain;

    // Modes 2 to 4 start at their test; every other value at test 1. The
    // reading head goes on after a failure only for "Alle Tests"; the RS485
    // converter always runs its chain to the end.
    const int mode = int(TestMode);
    const int first = (mode >= 2 && mode <= kChainLength) ? mode - 1 : 0;
    const bool goOn = Interace == MODBUS485_Converter || TestMode == Test_All;

    const ChainStep *success = nullptr;
    for (int i = first; chain && i < kChainLength; ++i) {
        const ChainStep &step = chain[i];
        log.status(QString::fromUtf8(step.statusText));
        log.line(QString::fromUtf8(step.heading), logcolour::kHeading);
        receivedInTest.clear();
        const bool succeeded = step.run(*this, Passwort);
        // A test that judged the byte count alone left them unread; they arrived all the same.
        if (serialPort && serialPort->isOpen())
            receivedInTest += serialPort->peek(serialPort->bytesAvailable());
        emit signalTestReceived(i + 1, QString::fromUtf8(step.protocol), QString::fromUtf8(step.baud), receivedInTest);
        if (succeeded) {
            success = &step;
            break;
        }
        if (!goOn)
            break;
    }

    if (success)
        emit signalUpdateErgebnis(QStringLiteral("erfolgreich"), QString::fromUtf8(success->protocol),
                                  QString::fromUtf8(success->baud));
    else
        emit signalUpdateErgebnis(QStringLiteral("nicht erfolgreich"), QStringLiteral("-"), QStringLiteral("-"));
    log.status(QStringLiteral("Test beendet!"));
    emit signalTestFinished();
}
