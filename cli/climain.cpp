#include "cli/climain.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include "cli/clioptions.h"
#include "cli/clisession.h"
#include "cli/clitranslator.h"
#include "cli/consoleoutput.h"
#include "cli/exitstatus.h"
#include "detection/ftdisource.h"
#include "cli/interruptnotifier.h"
#include "cli/jsonreport.h"
#include "cli/modbussearch.h"
#include "detection/portenumerator.h"
#include "cli/portlisting.h"
#include "engine/programversion.h"

namespace {

PortScan scanSystemPorts(ConsoleOutput &output, bool allPorts = false)
{
    const auto source = makeSystemFtdiSource(QCoreApplication::applicationDirPath());
    const PortScan scan = scanPorts(SystemPortEnumerator(), *source, allPorts);
    if (scan.deviceSourceMissing)
        output.stderrLine(missingLibraryMessage());
    return scan;
}

int usageError(ConsoleOutput &output, const QString &message, bool json)
{
    if (json)
        output.stdoutText(QString::fromUtf8(jsonError(message, exitstatus::kUsage)));
    output.stderrLine(QStringLiteral("viviv-cli: ") + message);
    output.stderrLine(QStringLiteral("Hilfe: viviv-cli --help"));
    return exitstatus::kUsage;
}

} // namespace

int runCli(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("viviv-cli"));
    QCoreApplication::setApplicationVersion(programVersionText());
    CliTranslator translator;
    QCoreApplication::installTranslator(&translator);

    ConsoleOutput output = ConsoleOutput::forTerminals();
    const CliParseResult parsed = parseCliOptions(QCoreApplication::arguments());
    const CliOptions &options = parsed.options;
    if (!parsed.error.isEmpty())
        return usageError(output, parsed.error, options.json);

    switch (options.action) {
    case CliOptions::Action::Help:
        output.stdoutText(parsed.helpText);
        return exitstatus::kSuccess;
    case CliOptions::Action::Version:
        output.stdoutText(QStringLiteral("viviv-cli %1\n").arg(QCoreApplication::applicationVersion()));
        return exitstatus::kSuccess;
    default:
        break;
    }

    // The engine's debug lines are for developers; --debug shows them.
    if (!options.debug)
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));

    if (options.action == CliOptions::Action::ListPorts) {
        const PortScan scan = scanSystemPorts(output, options.allPorts);
        output.stdoutText(options.json ? QString::fromUtf8(portListJson(scan)) : portListText(scan));
        return exitstatus::kSuccess;
    }

    InterruptNotifier interrupts;
    if (options.action == CliOptions::Action::ModbusSearch) {
        ModbusSearchSession::Request search;
        search.port = options.port;
        search.json = options.json;
        search.search.modbusAddress = options.modbusAddress;
        search.search.meterNumber = options.meterNumber;
        search.search.all = options.searchAll;
        ModbusSearchSession session(search, output);
        QObject::connect(&interrupts, &InterruptNotifier::interrupted, &session, &ModbusSearchSession::interrupt);
        QObject::connect(&session, &ModbusSearchSession::finished, &app, &QCoreApplication::exit,
                         Qt::QueuedConnection);
        session.start();
        return app.exec();
    }

    CliSession::Request request;
    request.port = options.port;
    request.readHeadTest = options.action == CliOptions::Action::ReadHeadTest;
    request.json = options.json;
    request.allRegisters = options.allRegisters;
    request.continuous = options.continuous;
    request.readings = options.readings;
    StartRequest &start = request.start;
    start.mode = options.testMode;
    switch (options.accessory) {
    case CliOptions::Accessory::ReadingHead:
        start.accessory = IR_Head;
        break;
    case CliOptions::Accessory::Rs485:
        start.accessory = MODBUS485_Converter;
        break;
    case CliOptions::Accessory::Detect:
        start.accessory = accessoryAt(scanSystemPorts(output), options.port);
        break;
    }
    const QString conflict = accessoryConflict(options, start.accessory);
    if (!conflict.isEmpty())
        return usageError(output, conflict, options.json);
    start.signOnAddress = options.address;
    start.meterNumber = options.meterNumber;
    start.modbusAddress = options.modbusAddress;
    start.fast = options.fast;

    CliSession session(request, output);
    QObject::connect(&interrupts, &InterruptNotifier::interrupted, &session, &CliSession::interrupt);
    QObject::connect(&session, &CliSession::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    session.start();
    return app.exec();
}
