#include "cli/clisession.h"

#include <QCoreApplication>

#include "cli/consoleoutput.h"
#include "cli/exitstatus.h"
#include "cli/jsonreport.h"
#include "cli/portlisting.h"
#include "diagnosis/diagnosis.h"
#include "engine/serialclass.h"
#include "engine/workerclient.h"

CliSession::CliSession(const Request &request, ConsoleOutput &output, QObject *parent)
    : QObject(parent), request(request), output(output), repeatedTest(request.start.mode)
{
    run = freshRecord();
    registerMeterMetaTypes();
    serial = new serialclass();
    client = new WorkerClient(serial, this);
    connect(client, &WorkerClient::connected, this, &CliSession::startRequest);
    connect(client, &WorkerClient::connectFailed, this, &CliSession::connectFailed);
    connect(client, &WorkerClient::statusBar, this, [this](const QString &text) { this->output.progress(text); });
    connect(client, &WorkerClient::logLine, this, &CliSession::logLine);
    connect(client, &WorkerClient::resultForPrint, this, [this](const QString &text) { run.report = text; });
    connect(client, &WorkerClient::result, this, &CliSession::result);
    connect(client, &WorkerClient::testFinished, this, &CliSession::testFinished);
    // The command line's own two, beside the twelve.
    connect(this, &CliSession::signalStartRequest, serial, &serialclass::slotStartRequest);
    connect(serial, &serialclass::signalRunOutcome, this, &CliSession::slotRunOutcome);
}

CliSession::~CliSession()
{
    stopWorker();
}

RunRecord CliSession::freshRecord() const
{
    RunRecord r;
    r.port = request.port;
    r.accessory = accessoryKey(request.start.accessory);
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
    client->connectPort(request.port);
}

void CliSession::startRequest()
{
    if (request.readHeadTest) {
        client->startReadHeadTest();
        return;
    }
    StartRequest start = request.start;
    start.mode = repeatedTest;
    emit signalStartRequest(start);
}

void CliSession::stopWorker()
{
    releaseWorker(serial, client, this, run.outcomeKnown);
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

void CliSession::slotRunOutcome(RunOutcome Outcome)
{
    if (Outcome.connectFailure != PortFailureKind::None) {
        connectOutcome = Outcome;
        return;
    }
    run.setOutcome(Outcome);
    if (!request.readHeadTest)
        run.explain(DiagnosisContext{FrontEnd::CommandLine});
}

void CliSession::connectFailed()
{
    const QString text = QStringLiteral("Fehler beim Verbinden: ") +
                         connectFailureText(connectOutcome.connectFailure, connectOutcome.connectFailureText);
    const QString hint = connectFailureAction(connectOutcome.connectFailure);
    if (request.json)
        output.stdoutText(QString::fromUtf8(jsonError(text, exitstatus::kUsage, hint)));
    output.stderrLine(text);
    if (!hint.isEmpty())
        output.stderrLine(QStringLiteral("Hinweis: ") + hint);
    finish(exitstatus::kUsage);
}

void CliSession::logLine(const QString &text, const QColor &colour)
{
    const QString name = logColourName(colour);
    run.addLogLine(text, name);
    if (!request.json && !request.continuous)
        output.logLine(text, name);
}

void CliSession::result(const QString &ergebnis, const QString &protokoll, const QString &baud)
{
    run.ergebnis = ergebnis;
    run.protokoll = protokoll;
    run.baud = baud;
}

QString CliSession::portLostText() const
{
    const QString lost = run.portLost();
    if (run.successful() || lost.isEmpty())
        return QString();
    return QStringLiteral("Die Verbindung zum Port ging während des Tests verloren: ") + lost;
}

int CliSession::exitStatus() const
{
    if (run.successful())
        return exitstatus::kSuccess;
    return portLostText().isEmpty() ? exitstatus::kNotSuccessful : exitstatus::kPortLost;
}

void CliSession::testFinished()
{
    output.clearProgress();
    // Continuous reading starts once a test has succeeded, or at once for a
    // test the user chose.
    if (request.continuous && (run.successful() || readingsDone > 0 || request.start.mode != Test_All))
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
    if (repeatedTest == Test_All && !run.outcome.tests.isEmpty())
        repeatedTest = TestMode_t(run.outcome.tests.last().number);
    run = freshRecord();
    startRequest();
}
