#include "cli/clisession.h"

#include <QCoreApplication>

#include "cli/consoleoutput.h"
#include "cli/exitstatus.h"
#include "cli/jsonreport.h"
#include "cli/portlisting.h"
#include "engine/serialclass.h"
#include "engine/workerconnections.h"

CliSession::CliSession(const Request &request, ConsoleOutput &output, QObject *parent)
    : QObject(parent), request(request), output(output), repeatedTest(request.testMode)
{
    run = freshRecord();
    registerMeterMetaTypes();
    serial = new serialclass();

    connectWorker(this, serial);
    connect(serial, &serialclass::signalTestReceived, this, &CliSession::slotTestReceived);
}

CliSession::~CliSession()
{
    stopWorker();
}

RunRecord CliSession::freshRecord() const
{
    RunRecord r;
    r.port = request.port;
    r.accessory = accessoryKey(request.kind);
    if (request.readHeadTest)
        r.request = QStringLiteral("Lesekopftest");
    else if (repeatedTest == Test_All)
        r.request = QStringLiteral("Alle Tests");
    else
        r.request = QStringLiteral("Test %1").arg(int(repeatedTest));
    return r;
}

void CliSession::start()
{
    emit signalConnectSerialPort(request.port);
}

void CliSession::startRequest()
{
    if (request.readHeadTest)
        emit signalLesekopfStartTest();
    else
        emit signalStartTest(request.passwort, repeatedTest, request.kind);
}

void CliSession::stopWorker()
{
    if (!serial)
        return;
    // A worker stopped in the middle of a test still sends its last answers;
    // they must not reach a session that has already ended.
    disconnect(serial, nullptr, this, nullptr);
    // After a finished run the worker is idle: it closes its port now, so that
    // its thread has nothing left to do when asked to end. On a busy machine
    // that work could outlast the bound after which the thread is terminated.
    if (run.finished)
        QMetaObject::invokeMethod(serial, "slotDisconnectSerialPort", Qt::BlockingQueuedConnection);
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
    const QString text = QStringLiteral("Abgebrochen.");
    const int status = exitstatus::kSignalBase + signalNumber;
    if (request.json)
        output.stdoutText(QString::fromUtf8(jsonReport(
            run, status, text, request.continuous ? QJsonDocument::Compact : QJsonDocument::Indented)));
    output.stderrLine(text);
    finish(status);
}

void CliSession::slotConnectSerial_Success()
{
    startRequest();
}

void CliSession::slotConnectSerial_Fail(QString Errormessage)
{
    const QString text = QStringLiteral("Fehler beim Verbinden: ") + Errormessage;
    const QString hint = connectHint(Errormessage);
    if (request.json)
        output.stdoutText(QString::fromUtf8(jsonError(text, exitstatus::kUsage, hint)));
    output.stderrLine(text);
    if (!hint.isEmpty())
        output.stderrLine(QStringLiteral("Hinweis: ") + hint);
    finish(exitstatus::kUsage);
}

void CliSession::slotUpdateStatuBar(QString Text)
{
    output.progress(Text);
}

void CliSession::slotUpdateStatusText(QString Text, QColor TextColor)
{
    const QString colour = logColourName(TextColor);
    run.addLogLine(Text, colour);
    if (!request.json && !request.continuous)
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

void CliSession::slotTestReceived(int Test, QString Protokoll, QString Baud, QByteArray Received)
{
    run.closeTest(Test, Protokoll, Baud, Received);
}

QString CliSession::portLostText() const
{
    if (run.successful() || run.portError.isEmpty())
        return QString();
    return QStringLiteral("Die Verbindung zum Port ging während des Tests verloren: ") + run.portError;
}

int CliSession::exitStatus() const
{
    if (run.successful())
        return exitstatus::kSuccess;
    return portLostText().isEmpty() ? exitstatus::kNotSuccessful : exitstatus::kPortLost;
}

void CliSession::slotTestFinished()
{
    run.finished = true;
    output.clearProgress();
    explainRun(run, request.hints);
    // Continuous reading starts once a test has succeeded, or at once for a
    // test the user chose.
    if (request.continuous && (run.successful() || readingsDone > 0 || request.testMode != Test_All))
        reading();
    else
        report();
}

void CliSession::report()
{
    const int status = exitStatus();
    if (request.json) {
        output.stdoutText(QString::fromUtf8(jsonReport(run, status, portLostText())));
    } else {
        output.summary(run, request.allRegisters);
        if (!portLostText().isEmpty())
            output.stderrLine(portLostText());
    }
    finish(status);
}

void CliSession::reading()
{
    const int status = exitStatus();
    ++readingsDone;
    allReadingsSuccessful = allReadingsSuccessful && run.successful();
    if (request.json)
        output.stdoutText(QString::fromUtf8(jsonReport(run, status, portLostText(), QJsonDocument::Compact)));
    else
        output.readingLine(run);
    if (status == exitstatus::kPortLost) {
        if (!request.json)
            output.stderrLine(portLostText());
        finish(status);
        return;
    }
    if (request.readings > 0 && readingsDone >= request.readings) {
        finish(allReadingsSuccessful ? exitstatus::kSuccess : exitstatus::kNotSuccessful);
        return;
    }
    if (repeatedTest == Test_All && !run.tests.isEmpty())
        repeatedTest = TestMode_t(run.tests.last().number);
    run = freshRecord();
    startRequest();
}
