// viviv-metersim: a simulated electricity meter on a pseudo-terminal, for
// running viviv-cli without a meter. Prints the slave path to open.

#include "tools/simulator/metersimulator.h"
#include "tools/simulator/realmeters.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

using namespace metersim;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

QString profileList()
{
    QString text = QStringLiteral("Profiles:\n");
    for (const ProfileInfo &p : kProfiles)
        text += QStringLiteral("  %1  %2\n").arg(QLatin1String(p.name), -20).arg(QLatin1String(p.description));
    return text;
}

// A whole number as the command line writes it ("0x1b" too); anything else
// becomes null, which applyJson() refuses.
QJsonValue number(const QString &text)
{
    bool ok = false;
    const int n = text.toInt(&ok, 0);
    return ok ? QJsonValue(n) : QJsonValue();
}

// "2,5" as [2, 5]; a part that is no number becomes null, which applyJson()
// refuses.
QJsonArray numberList(const QString &text)
{
    QJsonArray list;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = part.trimmed().toInt(&ok);
        list.append(ok ? QJsonValue(n) : QJsonValue());
    }
    return list;
}

int fail(const QString &message)
{
    QTextStream(stderr) << "viviv-metersim: " << message << "\n"
                        << "Try 'viviv-metersim --help' for the options and profiles.\n";
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("viviv-metersim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated electricity meter on a pseudo-terminal. Give the printed path (or the --link "
                       "name) to viviv-cli as its port (viviv-cli --port PATH). The window lists only USB serial "
                       "adapters, not pseudo-terminals: to see it against simulated meters, start viviv-demo.\n\n")
        + profileList() + QLatin1Char('\n') + realMeterList());
    parser.addHelpOption();
    const QCommandLineOption profileOpt({QStringLiteral("p"), QStringLiteral("profile")},
                                        QStringLiteral("Meter profile (see the list above)."), QStringLiteral("name"),
                                        QStringLiteral("sml-push"));
    const QCommandLineOption linkOpt({QStringLiteral("l"), QStringLiteral("link")},
                                     QStringLiteral("Create a symbolic link with this name to the slave path."),
                                     QStringLiteral("path"));
    const QCommandLineOption baudCharOpt(QStringLiteral("baud-char"),
                                         QStringLiteral("Baud-rate character of the identification (default 5)."),
                                         QStringLiteral("c"));
    const QCommandLineOption addressOpt(QStringLiteral("address"),
                                        QStringLiteral("Device address a mode C meter answers to."),
                                        QStringLiteral("text"));
    const QCommandLineOption addressRequiredOpt(
        QStringLiteral("address-required"),
        QStringLiteral("The mode C meter answers only a sign-on that carries its --address, not \"/?!\"."));
    const QCommandLineOption echoOpt(QStringLiteral("echo"),
                                     QStringLiteral("Echo what the program sends as it leaves the line, as an "
                                                    "optical head over white paper or a two-wire RS485 converter "
                                                    "does."));
    const QCommandLineOption usbOpt(QStringLiteral("usb"),
                                    QStringLiteral("Hand received bytes over as a USB serial adapter does: a packet "
                                                   "when the latency timer runs out or 62 bytes are there (at 300 Bd "
                                                   "every character alone). Without it, as a UART with a FIFO."));
    const QCommandLineOption loseOpt(QStringLiteral("lose"),
                                     QStringLiteral("Echoes of these transmissions never come back."),
                                     QStringLiteral("1,2,.."));
    const QCommandLineOption damageOpt(QStringLiteral("damage"),
                                       QStringLiteral("Echoes of these transmissions come back damaged; a pushing meter sends these telegrams with a bit changed."),
                                       QStringLiteral("1,2,.."));
    const QCommandLineOption formatOpt(QStringLiteral("format"),
                                       QStringLiteral("The meter's character format, optionally with rate: 8N1, "
                                                      "\"9600 7E1\"."),
                                       QStringLiteral("format"));
    const QCommandLineOption slaveOpt(QStringLiteral("slave"),
                                      QStringLiteral("Modbus slave address (default 121 = 0x79)."),
                                      QStringLiteral("n"));
    const QCommandLineOption telegramOpt(QStringLiteral("telegram"),
                                         QStringLiteral("Replace the default telegram (hexadecimal)."),
                                         QStringLiteral("hex"));
    const QCommandLineOption seedOpt(QStringLiteral("seed"), QStringLiteral("Seed of the noise."),
                                     QStringLiteral("n"));
    const QCommandLineOption meterOpt(QStringLiteral("meter"),
                                      QStringLiteral("Replay the real meter with this id (see the list above)."),
                                      QStringLiteral("id"));
    const QCommandLineOption meterFileOpt(QStringLiteral("meter-file"),
                                          QStringLiteral("Replay the meter of a file that the report server's pages "
                                                         "offer for a test's telegram (its profile and settings; "
                                                         "options given here take precedence)."),
                                          QStringLiteral("file"));
    const QCommandLineOption quietOpt({QStringLiteral("q"), QStringLiteral("quiet")},
                                      QStringLiteral("Print only the slave path."));
    parser.addOptions({profileOpt, linkOpt, baudCharOpt, addressOpt, addressRequiredOpt, echoOpt, usbOpt, loseOpt,
                       damageOpt, formatOpt, slaveOpt, telegramOpt, seedOpt, meterOpt, meterFileOpt, quietOpt});
    for (const NumberField &f : kNumberFields) {
        if (f.option)
            parser.addOption(QCommandLineOption(QString::fromLatin1(f.option), QString::fromLatin1(f.help),
                                                QString::fromLatin1(f.valueName)));
    }
    if (!parser.parse(app.arguments()))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    const RealMeter *real = nullptr;
    if (parser.isSet(meterOpt) && !(real = realMeterById(parser.value(meterOpt))))
        return fail(QStringLiteral("unknown real meter '%1'").arg(parser.value(meterOpt)));
    QJsonObject meterFile;
    if (parser.isSet(meterFileOpt)) {
        QFile file(parser.value(meterFileOpt));
        QJsonParseError error{};
        meterFile = file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll(), &error).object()
                                                   : QJsonObject();
        if (meterFile.value(QStringLiteral("viviv-meter")).toInt() != 1)
            return fail(QStringLiteral("%1 is no meter file").arg(file.fileName()));
    }
    const QString profileName = parser.isSet(profileOpt) || meterFile.isEmpty()
                                    ? parser.value(profileOpt)
                                    : meterFile.value(QStringLiteral("profile")).toString();
    const ProfileInfo *profile = real && !parser.isSet(profileOpt) ? &profileInfo(defaultProfileFor(*real))
                                                                   : profileByName(profileName);
    if (!profile)
        return fail(QStringLiteral("unknown profile '%1'").arg(profileName));

    // applyJson() checks every setting; the command line only names the
    // option that was wrong.
    Options o;
    QString fileError;
    if (!applyJson(meterFile.value(QStringLiteral("options")).toObject(), profile->profile, &o, &fileError))
        return fail(QStringLiteral("%1: %2").arg(parser.value(meterFileOpt), fileError));
    const auto set = [&](const char *key, const QJsonValue &value) {
        return applyJson(QJsonObject{{QLatin1String(key), value}}, profile->profile, &o, nullptr);
    };
    const auto badValue = [&](const QString &name) {
        return fail(QStringLiteral("bad value '%1' for --%2").arg(parser.value(name), name));
    };
    // --slave and --seed set the settings of the same name.
    for (const char *name : {"slave", "seed"}) {
        const QString option = QLatin1String(name);
        if (parser.isSet(option) && !set(name, number(parser.value(option))))
            return badValue(option);
    }
    for (const NumberField &f : kNumberFields) {
        if (!f.option)
            continue;
        const QString name = QString::fromLatin1(f.option);
        if (parser.isSet(name) && !set(f.name, number(parser.value(name))))
            return badValue(name);
    }
    if (parser.isSet(baudCharOpt) && !set("baudChar", parser.value(baudCharOpt)))
        return fail(QStringLiteral("--baud-char takes one character"));
    if (parser.isSet(addressOpt))
        set("address", parser.value(addressOpt));
    if (parser.isSet(addressRequiredOpt))
        set("addressRequired", true);
    if (parser.isSet(echoOpt))
        set("echo", true);
    if (parser.isSet(usbOpt))
        set("usbAdapter", true);
    if ((parser.isSet(loseOpt) && !set("lost", numberList(parser.value(loseOpt))))
        || (parser.isSet(damageOpt) && !set("damaged", numberList(parser.value(damageOpt)))))
        return fail(QStringLiteral("--lose and --damage take transmission numbers from 1, such as 2,5"));
    if (parser.isSet(formatOpt) && !set("format", parser.value(formatOpt)))
        return fail(QStringLiteral("bad format '%1' (expected such as 7E1 or \"9600 8N1\")")
                        .arg(parser.value(formatOpt)));
    if (parser.isSet(telegramOpt) && !set("telegram", parser.value(telegramOpt)))
        return fail(QStringLiteral("--telegram takes an even number of hexadecimal digits"));

    if (real) {
        o.realMeter = real->id;
        const QString problem = realMeterProblem(profile->profile, o);
        if (!problem.isEmpty())
            return fail(problem);
    }
    MeterSimulator sim(profile->profile, o);
    const bool quiet = parser.isSet(quietOpt);
    QTextStream out(stdout);
    if (!quiet) {
        sim.setNoteHandler([](const QString &text) {
            QTextStream(stderr) << "metersim: " << text << Qt::endl;
        });
    }
    QString error;
    if (!sim.start(&error)) {
        QTextStream(stderr) << "viviv-metersim: no pseudo-terminal: " << error << "\n";
        return 1;
    }
    const QString link = parser.value(linkOpt);
    if (!link.isEmpty()) {
        // Replaces an old link of ours, never a file.
        const QFileInfo old(link);
        if (old.isSymLink())
            QFile::remove(link);
        else if (old.exists())
            return fail(QStringLiteral("%1 exists and is no symbolic link").arg(link));
        if (!QFile::link(sim.slavePath(), link)) {
            QTextStream(stderr) << "viviv-metersim: cannot create the link " << link << "\n";
            return 1;
        }
    }
    out << sim.slavePath() << Qt::endl;
    if (!quiet) {
        QTextStream(stderr) << "metersim: profile " << profile->name << " (" << profile->description << ")"
                            << (real ? QStringLiteral(", replaying %1 (%2)").arg(real->id, real->meter) : QString())
                            << ", meter at "
                            << sim.meterFormat().toString() << (link.isEmpty() ? QString() : ", link " + link)
                            << "; Ctrl+C ends" << Qt::endl;
    }

    // Signals end the event loop through a pipe, so that the link is removed.
    if (::pipe(g_signalPipe) != 0)
        return 1;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    // Once unplugged there is nothing left to serve.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&] {
        if (sim.isUnplugged())
            QCoreApplication::quit();
    });
    watch.start(100);
    const int rc = app.exec();
    sim.stop();
    if (!link.isEmpty())
        QFile::remove(link);
    return rc;
}
