#include "engine/serialclass.h"

#include "engine/programversion.h"
#include "engine/testlink.h"

namespace {
constexpr char kProbe[] = "Test";
constexpr int kProbeSize = 4;
constexpr int kPasses = 10;
constexpr int kMaxErrors = 2;
} // namespace

// The reading head against white paper: every transmission must come back
// unchanged as its own reflection.
void serialclass::slotLesekopfStartTest()
{
    const TestLog log(testSink());
    log.line(versionLine(), logcolour::kHeading);
    const QString testing = QStringLiteral("Lesekopf wird getestet...");
    log.status(testing);
    log.line(testing, logcolour::kReceived);
    testOutcome = TestOutcome();
    testOutcome.setting = PortSetting{kLine9600_8N1.baud, 8, Parity::None};

    const bool allEchoed = runGuarded(serialPort, log, [&](TestLink &link) {
        int successes = 0;
        int errors = 0;
        link.configure(kLine9600_8N1);
        for (int pass = 1; pass <= kPasses; ++pass) {
            log.line(QStringLiteral("%1 Sende: Test").arg(pass, 2, 10, QLatin1Char('0')), logcolour::kHeading);
            link.discardInput();
            link.sleep(200);
            link.write(QByteArray::fromRawData(kProbe, kProbeSize), 2000);
            link.sleep(300);
            link.waitForInput(2000);
            bool echoed = false;
            if (link.available() == kProbeSize) {
                const QByteArray echo = link.takeAvailable();
                echoed = QString::fromUtf8(echo.constData(), int(qstrnlen(echo.constData(), uint(echo.size()))))
                    == QLatin1String(kProbe);
            }
            if (echoed) {
                log.line(QStringLiteral("Gelesen: Test"), logcolour::kGood);
                ++successes;
            } else {
                log.line(QStringLiteral("Keine oder fehlterhafte Anwort"), logcolour::kError);
                ++errors;
            }
            if (errors > kMaxErrors) {
                log.line(QStringLiteral("Abbruch! Zu viele Fehler!"), logcolour::kError);
                break;
            }
        }
        return successes == kPasses;
    });

    // Its verdict as a value; its facts only when the port failed, as a test outside the chain (number 0).
    RunOutcome run;
    run.accessory = IR_Head;
    run.verdict = allEchoed ? Verdict::Successful : Verdict::NotSuccessful;
    if (testOutcome.portFailure != PortFailureKind::None)
        run.tests << testOutcome;
    testOutcome = TestOutcome();

    if (allEchoed)
        emit signalUpdateErgebnis(QStringLiteral("erfolgreich"), QStringLiteral("-"), QStringLiteral("-"));
    else
        emit signalUpdateErgebnis(QStringLiteral("nicht erfolgreich"), QStringLiteral("-"), QStringLiteral("-"));
    emit signalRunOutcome(run);
    log.status(QStringLiteral("Test beendet!"));
    emit signalTestFinished();
}
