// viviv-demo: the test program's main window without hardware. Two simulated
// meters sit behind two pseudo-terminals: an optical reading head in front of
// a meter of the chosen profile, and the RS485 converter in front of a
// Modbus meter.
#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "tools/demo/demosetup.h"
#include "app/mainwindow.h"
#include "app/qttranslations.h"
#include "cli/clitranslator.h"
#include "tools/simulator/realmeters.h"
#include "tools/demo/snapshot.h"

using metersim::Profile;

namespace {

// The demo's options; --help lists them in this order.
struct DemoOption
{
    const char *names;     // comma-separated, short name first
    const char *valueName; // nullptr for a switch
    const char *description;
};

constexpr DemoOption kDemoOptions[] = {
    {"head", "name", "Zähler hinter dem Lesekopf: Profil, Kennung oder Profil:Kennung."},
    {"rs485", "profil", "Zähler hinter dem RS485-Konverter."},
    {"edition", "ziffer", "Inhalt der Ausgabe-Datei oem.dat, 0 bis 9 (ohne Angabe: keine Datei)."},
    {"snapshot", "datei",
     "Verbinden, die Tests ausführen, ein Bild des Fensters in <datei> speichern und enden."},
    {"snapshot-before", "datei", "Mit --snapshot: auch ein Bild nach dem Verbinden, vor dem Test."},
    {"snapshot-port", "port", "Port für --snapshot: head (Vorgabe) oder rs485."},
    {"h,help", nullptr, "Zeigt diese Hilfe an."},
};

// What --help shows below the options: the profiles and the real meters.
QString meterLists()
{
    QString text = QStringLiteral("\nProfile:\n");
    for (const metersim::ProfileInfo &p : metersim::kProfiles)
        text += QStringLiteral("  %1  %2\n").arg(QLatin1String(p.name), -20).arg(QString::fromUtf8(p.german));
    text += QStringLiteral("\nEchte Zähler (--head KENNUNG spielt einen mit dem genannten Profil ab,\n"
                           "--head PROFIL:KENNUNG mit einem anderen Profil seiner Art):\n");
    for (const metersim::RealMeter &m : metersim::realMeters()) {
        if (m.kind != metersim::RealMeter::Kind::DecoderData)
            text += QStringLiteral("  %1 %2 %3\n")
                        .arg(m.id, -34)
                        .arg(QLatin1String(metersim::profileInfo(metersim::defaultProfileFor(m)).name), -12)
                        .arg(m.meter);
    }
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

// As UTF-8 whatever the locale, as viviv-cli writes.
void write(std::FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
}

int fail(const QString &message)
{
    write(stderr, QStringLiteral("viviv-demo: ") + message + QLatin1Char('\n'));
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
    std::fputs("viviv-demo: kein Bildschirm für das Fenster (auf einem Desktop oder mit xvfb-run starten)\n", stderr);
    std::_Exit(1);
}

} // namespace

int main(int argc, char *argv[])
{
    // Options first and without a display: --help and mistakes must work anywhere.
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Das Testprogramm mit zwei simulierten Zählern statt Hardware.\n"
        "Lesekopf: ein FTDI-Port mit dem Zähler von --head (Vorgabe sml-push): ein Profil,\n"
        "die Kennung eines echten Zählers (esy_q3a, lgz-zmd120, ...) oder\n"
        "Profil:Kennung (iec-push:lgz-zmd120).\n"
        "RS485-Konverter: als Konverter des Herstellers erkannt, mit dem Zähler von --rs485\n"
        "(Vorgabe modbus, antwortet auf die leere Zählernummer)."));
    for (const DemoOption &o : kDemoOptions) {
        const QStringList names = QString::fromLatin1(o.names).split(QLatin1Char(','));
        if (o.valueName)
            parser.addOption({names, QString::fromUtf8(o.description), QString::fromLatin1(o.valueName)});
        else
            parser.addOption({names, QString::fromUtf8(o.description)});
    }
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const bool parsed = parser.parse(arguments);
    if (!parsed || parser.isSet(QStringLiteral("help"))) {
        // The parser's own texts in German, as in viviv-cli; the help text
        // also names the program through the core application.
        const QCoreApplication core(argc, argv);
        CliTranslator german;
        QCoreApplication::installTranslator(&german);
        if (!parser.parse(arguments))
            return fail(parser.errorText());
        write(stdout, parser.helpText() + meterLists());
        return 0;
    }

    DemoSetup::Choice choice;
    if ((parser.isSet(QStringLiteral("head")) && !headOption(parser, &choice))
        || !profileOption(parser, QStringLiteral("rs485"), &choice.rs485Profile))
        return fail(QStringLiteral("unbekanntes Profil, siehe --help"));
    if (parser.isSet(QStringLiteral("edition"))) {
        bool ok = false;
        choice.edition = parser.value(QStringLiteral("edition")).toInt(&ok);
        if (!ok || choice.edition < 0 || choice.edition > 9)
            return fail(QStringLiteral("--edition erwartet eine Ziffer von 0 bis 9"));
    }

    qInstallMessageHandler(exitWithoutDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);
    installQtTranslations(app);

    DemoSetup setup(choice);
    QString error;
    if (!setup.start(&error))
        return fail(QStringLiteral("die simulierten Zähler starten nicht: ") + error);
    write(stdout, QStringLiteral("Lesekopf:        %1\nRS485-Konverter: %2\n").arg(setup.headPort(), setup.rs485Port()));

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
