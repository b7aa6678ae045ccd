// viviv-demo: the test program's main window without hardware. Two simulated
// meters sit behind two pseudo-terminals: an optical reading head in front of
// a meter of the chosen profile, and the RS485 converter in front of a
// Modbus meter.
#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "tools/demo/demosetup.h"
#include "app/mainwindow.h"
#include "app/qttranslations.h"
#include "tools/simulator/realmeters.h"
#include "tools/demo/snapshot.h"

using metersim::Profile;

namespace {

QString profileList()
{
    QString text;
    for (const metersim::ProfileInfo &p : metersim::kProfiles)
        text += QStringLiteral("  %1  %2\n").arg(QLatin1String(p.name), -20).arg(QLatin1String(p.description));
    return text;
}

bool profileOption(const QCommandLineParser &parser, const QString &option, Profile *profile)
{
    if (!parser.isSet(option))
        return true;
    const metersim::ProfileInfo *info = metersim::profileByName(parser.value(option));
    if (!info)
        return false;
    *profile = info->profile;
    return true;
}

// The reading head's meter: a profile, a real meter's id played by its
// first profile, or both as "profile:id".
bool headOption(const QCommandLineParser &parser, DemoSetup::Choice *choice)
{
    const QString value = parser.value(QStringLiteral("head"));
    const QString id = value.section(QLatin1Char(':'), -1);
    if (const metersim::RealMeter *real = metersim::realMeterById(id)) {
        choice->headRealMeter = real->id;
        choice->headProfile = metersim::defaultProfileFor(*real);
        if (value == id)
            return true;
    }
    const metersim::ProfileInfo *info = metersim::profileByName(value.section(QLatin1Char(':'), 0, 0));
    if (!info || (value.contains(QLatin1Char(':')) && choice->headRealMeter.isEmpty()))
        return false;
    choice->headProfile = info->profile;
    return true;
}

int fail(const QString &message)
{
    QTextStream(stderr) << "viviv-demo: " << message << "\n";
    return 2;
}

// The maker's edition shows its advertising at exit; an unattended run ends it.
void closeDialogsFromNowOn()
{
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    timer->start(100);
}

// Without a usable display Qt ends its start in qFatal: an abort after a page
// of advice. One line says it better.
void exitWithoutDisplay(QtMsgType type, const QMessageLogContext &, const QString &)
{
    if (type != QtFatalMsg)
        return; // the platform plugin's own warnings: the line below says it all
    std::fputs("viviv-demo: no display to show the window on (start it on a desktop or under xvfb-run)\n", stderr);
    std::_Exit(1);
}

} // namespace

int main(int argc, char *argv[])
{
    // Options first and without a display: --help and mistakes must work anywhere.
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The test program with two simulated meters instead of hardware.\n"
                       "Reading head: an FTDI port with a meter of --head (default sml-push): a profile,\n"
                       "a real meter's id played by its first profile (esy_q3a, lgz-zmd120, ...), or\n"
                       "profile:id (iec-push:lgz-zmd120).\n"
                       "RS485 converter: recognised as the maker's converter, with a meter of --rs485\n"
                       "(default modbus, answering to the empty meter number).\n\nProfiles:\n")
        + profileList() + QLatin1Char('\n') + metersim::realMeterList());
    const QCommandLineOption help = parser.addHelpOption();
    parser.addOption({QStringLiteral("head"), QStringLiteral("Meter behind the reading head."),
                      QStringLiteral("profile|id|profile:id")});
    parser.addOption({QStringLiteral("rs485"), QStringLiteral("Meter behind the RS485 converter."),
                      QStringLiteral("profile")});
    parser.addOption({QStringLiteral("edition"), QStringLiteral("Edition file content, 0 to 9 (default: none)."),
                      QStringLiteral("digit")});
    parser.addOption({QStringLiteral("snapshot"),
                      QStringLiteral("Connect, run the tests, save a picture of the window to <file> and quit."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("snapshot-before"),
                      QStringLiteral("With --snapshot: also a picture once connected, before the test."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("snapshot-port"),
                      QStringLiteral("Port for --snapshot: head (default) or rs485."), QStringLiteral("port")});
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        const QCoreApplication core(argc, argv); // the help text names the program through it
        parser.showHelp(0);
    }

    DemoSetup::Choice choice;
    if ((parser.isSet(QStringLiteral("head")) && !headOption(parser, &choice))
        || !profileOption(parser, QStringLiteral("rs485"), &choice.rs485Profile))
        return fail(QStringLiteral("unknown profile; see --help"));
    if (parser.isSet(QStringLiteral("edition"))) {
        bool ok = false;
        choice.edition = parser.value(QStringLiteral("edition")).toInt(&ok);
        if (!ok || choice.edition < 0 || choice.edition > 9)
            return fail(QStringLiteral("--edition takes one digit"));
    }

    qInstallMessageHandler(exitWithoutDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);
    installQtTranslations(app);

    DemoSetup setup(choice);
    QString error;
    if (!setup.start(&error))
        return fail(QStringLiteral("cannot start the simulated meters: ") + error);
    QTextStream(stdout) << "Reading head:    " << setup.headPort() << "\n"
                        << "RS485 converter: " << setup.rs485Port() << "\n";

    auto *window = new MainWindow(setup.environment());
    window->show();

    std::unique_ptr<Snapshot> snapshot;
    if (parser.isSet(QStringLiteral("snapshot"))) {
        const QString port = parser.value(QStringLiteral("snapshot-port")) == QLatin1String("rs485")
                                 ? setup.rs485Port()
                                 : setup.headPort();
        snapshot = std::make_unique<Snapshot>(window, port, parser.value(QStringLiteral("snapshot")),
                                              parser.value(QStringLiteral("snapshot-before")));
        snapshot->start();
    }

    const int rc = app.exec();
    if (snapshot)
        closeDialogsFromNowOn();
    delete window; // the maker's edition shows its advertising here
    return rc;
}
