#include "cli/clisession.h"

#include <QCoreApplication>

#include "cli/consoleoutput.h"
#include "cli/exitstatus.h"
#include "cli/jsonreport.h"
#include "cli/portlisting.h"
#include "engine/serialclass.h"
#include "engine/workerconnections.h"

CliSession::CliSession(const Request &request, ConsoleOutput &output, QObject *parent)
    : QObject(parent), request(request), output(output)
{
    run.port = request.port;
    run.accessory = accessoryKey(request.kind);
    if (request.readHeadTest)
        run.request = QStringLiteral("Lesekopftest");
    else if (request.testMode == Test_All)
        run.request = QStringLiteral("Alle Tests");
    else
        run.request = QStringLiteral("Test %1").arg(int(request.testMode));

    registerMeterMetaTypes();
    serial = new serialclass();

    connectWorker(this, serial);
}

CliSession::~CliSession()
{
    stopWorker();
}

void CliSession::start()
{
    emit signalConnectSerialPort(request.port);
}

void CliSession::stopWorker()
{
    if (!serial)
        return;
    // A worker stopped in the middle of a test still sends its last answers;
    // they must not reach a session that has already ended.
    disconnect(serial, nullptr, this, nullptr);
    delete serial; // asks a running test to stop, waits for the thread
    serial = nullptr;
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

void CliSession::finish(int exitStatus)
{
    if (done)
        return;
    done = true;
    stopWorker();
    emit finished(exitStatus);
}

void CliSession::interrupt(int signalNumber)
{
    if (done)
        return;
    output.clearProgress();
    stopWorker();
    output.stderrLine(QStringLiteral("Abgebrochen."));
    finish(exitstatus::kSignalBase + signalNumber);
}

void CliSession::slotConnectSerial_Success()
{
    if (request.readHeadTest)
        emit signalLesekopfStartTest();
    else
        emit signalStartTest(request.passwort, request.testMode, request.kind);
}

void CliSession::slotConnectSerial_Fail(QString Errormessage)
{
    output.stderrLine(QStringLiteral("Fehler beim Verbinden: ") + Errormessage);
    finish(exitstatus::kUsage);
}

void CliSession::slotUpdateStatuBar(QString Text)
{
    output.progress(Text);
}

void CliSession::slotUpdateStatusText(QString Text, QColor TextColor)
{
    const QString colour = logColourName(TextColor);
    run.log.append({Text, colour});
    if (!request.json)
        output.logLine(Text, colour);
}

void CliSession::slotUpdateResultForPrint(QString Text)
{
    run.report = Text;
}

void CliSession::slotUpdateErgebnis(QString Ergebnis, QString Protokoll, QString Baud)
{
    run.ergebnis = Ergebnis;
    run.protokoll = Protokoll;
    run.baud = Baud;
}

void CliSession::slotUpdateParserErgebnis(meter_result_t Ergebnis)
{
    run.mergeValues(Ergebnis);
}

void CliSession::slotTestFinished()
{
    run.finished = true;
    output.clearProgress();
    if (request.json)
        output.stdoutText(QString::fromUtf8(jsonReport(run)));
    else
        output.summary(run);
    finish(run.successful() ? exitstatus::kSuccess : exitstatus::kNotSuccessful);
}
