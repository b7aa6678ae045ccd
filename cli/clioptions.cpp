#include "cli/clioptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include "cli/modbussearch.h"

namespace {

struct OptionSpec
{
    const char *names;       // comma-separated, short name first
    const char *valueName;   // nullptr for a switch
    const char *description;
};

constexpr OptionSpec kOptions[] = {
    {"l,liste", nullptr, "Listet die unterstützten Adapter-Ports mit der erkannten Zubehör-Art auf."},
    {"alle", nullptr,
     "Mit --liste: jeden seriellen Port, mit dem Zubehör, als das er getestet würde. Mit --modbus-suche: nach "
     "dem ersten Gerät weitersuchen."},
    {"p,port", "port", "Serieller Port des Zubehörs, z. B. ttyUSB0 oder /dev/ttyUSB0."},
    {"z,zubehoer", "art",
     "Zubehör am Port: lesekopf oder rs485. Ohne Angabe wird es wie im Fenster am USB-Adapter erkannt."},
    {"t,test", "nummer", "Nur diesen Test des Lesekopfs ausführen (1 bis 4). Ohne Angabe: Alle Tests."},
    {"a,adresse", "text", "Adresse für den Lesekopf (meistens nicht nötig, bitte leer lassen)."},
    {"n,zaehlernummer", "nummer",
     "Seriennummer (Zaehlernummer) für den RS485-Konverter. Ohne Angabe: 0. Aus ihren letzten zwei Zeichen, "
     "gelesen als Hexadezimalzahl, plus 1 ergibt sich die Modbus-Adresse (\"0\" oder leer ergibt 1, "
     "\"12345678\" ergibt 0x79 = 121)."},
    {"m,modbus-adresse", "adresse",
     "Modbus-Adresse des Zählers am RS485-Konverter, 1 bis 247, dezimal oder mit 0x hexadezimal; "
     "statt sie aus der Zählernummer abzuleiten."},
    {"modbus-suche", nullptr,
     "Sucht am RS485-Konverter ein beliebiges Modbus-RTU-Gerät und nennt Einstellung und Adresse, unter denen es "
     "antwortet: %EINSTELLUNGEN%; zuerst die angegebene "
     "oder abgeleitete Adresse und 1 unter jeder Einstellung, dann 2 bis 247; Funktion 03 und 04 an Register 0. "
     "Jede Antwort des Geräts, auch eine Ausnahme, zeigt, dass der Konverter in beide Richtungen arbeitet. Bekannte "
     "Registerbelegungen (Eastron SDM, ABB B2x, dieses Programm) werden erkannt und mit Werten gezeigt. Endet beim "
     "ersten Gerät (mit --alle nicht). Eine vollständige Suche ohne Antwort dauert höchstens %SUCHDAUER%."},
    {"schnell", nullptr,
     "Schnelltest: jeder Test endet, sobald die Antwort vollständig ist, statt nach festen Wartezeiten. Lesekopf: "
     "SML (gesendet oder erfragt) und OBIS ASCII (gesendet) in einem Test bei 9600 8N1 (bis 4,5 s), sonst die "
     "Anmeldung bei 300 Bd; Ergebnis nach 1 bis 10 s, ohne Antwort nach etwa 7 s. RS485-Konverter: dieselben "
     "vier Tests, die 13 Modbus-Anfragen in etwa 1 s. Mit --test 1 bis 3 nur der erste Test des Lesekopfs, mit "
     "--test 4 nur die Anmeldung. Ausgabe, JSON und Exit-Status wie ohne --schnell."},
    {"lesekopftest", nullptr, "Den Lesekopf selbst testen (Echo über ein weißes Blatt Papier)."},
    {"r,alle-register", nullptr, "Unter den Werten jedes Register des Telegramms auflisten, wie der Zähler es sendet."},
    {"f,fortlaufend", nullptr,
     "Den erfolgreichen Test (oder den mit --test gewählten) wiederholen, bis Strg+C: eine Zeile je Messung "
     "mit Uhrzeit und Hauptwerten, mit --json ein JSON-Dokument je Zeile."},
    {"anzahl", "n", "Fortlaufend lesen und nach n Messungen enden."},
    {"j,json", nullptr,
     "Das Ergebnis als ein JSON-Dokument auf die Standardausgabe schreiben, auch bei Fehlern und Abbruch. "
     "Es nennt die Hinweise (hints) und die Kennungen der Befunde (findings), gesamt und je Test, und nach "
     "Test 4 des Lesekopfs die Baudrate der Daten (dataRate)."},
    {"debug", nullptr, "Diagnosemeldungen der Engine auf die Standardfehlerausgabe schreiben."},
    {"h,help", nullptr, "Zeigt diese Hilfe an."},
    {"v,version", nullptr, "Zeigt die Versionsnummer an."},
};

// Pairs of options that ask for different things at once.
struct Clash
{
    const char *first;
    const char *second;
};

constexpr Clash kClashes[] = {
    {"liste", "port"},         {"liste", "zubehoer"},     {"liste", "test"},
    {"liste", "adresse"},      {"liste", "zaehlernummer"}, {"liste", "lesekopftest"},
    {"lesekopftest", "test"},  {"lesekopftest", "adresse"}, {"lesekopftest", "zaehlernummer"},
    {"test", "zaehlernummer"}, {"adresse", "zaehlernummer"},
    {"liste", "alle-register"}, {"liste", "fortlaufend"},   {"liste", "anzahl"},
    {"liste", "modbus-adresse"}, {"lesekopftest", "fortlaufend"}, {"lesekopftest", "anzahl"},
    {"lesekopftest", "alle-register"}, {"zaehlernummer", "modbus-adresse"}, {"test", "modbus-adresse"},
    {"adresse", "modbus-adresse"},
    {"modbus-suche", "liste"},  {"modbus-suche", "test"},     {"modbus-suche", "adresse"},
    {"modbus-suche", "lesekopftest"}, {"modbus-suche", "alle-register"}, {"modbus-suche", "fortlaufend"},
    {"modbus-suche", "anzahl"},
    {"liste", "schnell"},      {"lesekopftest", "schnell"}, {"modbus-suche", "schnell"},
};

// Options that only the reading head understands; the RS485 converter always
// runs its whole chain with the meter number. And the other way round.
constexpr const char *kReadingHeadOnly[] = {"test", "adresse", "lesekopftest"};
constexpr const char *kRs485Only[] = {"zaehlernummer", "modbus-adresse", "modbus-suche"};

constexpr int kMaxModbusAddress = 247; // 0 is broadcast, 248 to 255 are reserved

QString dashed(const char *name)
{
    return QStringLiteral("--") + QString::fromLatin1(name);
}

bool isSet(const QCommandLineParser &parser, const char *name)
{
    return parser.isSet(QString::fromLatin1(name));
}

QString longName(const OptionSpec &spec)
{
    return QString::fromLatin1(spec.names).split(QLatin1Char(',')).last();
}

} // namespace

CliParseResult parseCliOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prüft ohne Fenster, ob ein optischer Lesekopf oder ein RS485-Konverter mit dem Zähler arbeitet,\n"
        "und zeigt die gelesenen Werte. Exit-Status: 0 erfolgreich, 1 nicht erfolgreich,\n"
        "2 Bedienfehler oder Port nicht zu öffnen, 3 Port während des Tests verloren,\n"
        "130 abgebrochen (Strg+C)."));
    for (const OptionSpec &spec : kOptions) {
        const QStringList names = QString::fromLatin1(spec.names).split(QLatin1Char(','));
        // The search's worst case comes from its own order and budget.
        const QString description = QString::fromUtf8(spec.description)
                                        .replace(QLatin1String("%SUCHDAUER%"),
                                                 searchDurationText(searchWorstCaseMs()))
                                        .replace(QLatin1String("%EINSTELLUNGEN%"), searchSettingsText());
        if (spec.valueName)
            parser.addOption(QCommandLineOption(names, description, QString::fromLatin1(spec.valueName)));
        else
            parser.addOption(QCommandLineOption(names, description));
    }

    CliParseResult result;
    result.helpText = parser.helpText();
    CliOptions &o = result.options;
    // Scripts that ask for JSON get it for a command line the parser refuses, too.
    o.json = arguments.contains(QStringLiteral("--json")) || arguments.contains(QStringLiteral("-j"));

    if (!parser.parse(arguments)) {
        result.error = parser.errorText();
        return result;
    }
    if (isSet(parser, "help")) {
        o.action = CliOptions::Action::Help;
        return result;
    }
    if (isSet(parser, "version")) {
        o.action = CliOptions::Action::Version;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("Unerwartetes Argument '%1'. Der Port wird mit --port angegeben.")
                           .arg(parser.positionalArguments().first());
        return result;
    }
    for (const Clash &clash : kClashes) {
        if (isSet(parser, clash.first) && isSet(parser, clash.second)) {
            result.error = QStringLiteral("Die Optionen %1 und %2 passen nicht zusammen.")
                               .arg(dashed(clash.first), dashed(clash.second));
            return result;
        }
    }

    for (const OptionSpec &spec : kOptions) {
        if (parser.isSet(longName(spec)))
            o.given << longName(spec);
    }
    o.debug = isSet(parser, "debug");
    if (isSet(parser, "alle") && !isSet(parser, "liste") && !isSet(parser, "modbus-suche")) {
        result.error = QStringLiteral("Die Option --alle gilt nur mit --liste oder --modbus-suche.");
        return result;
    }
    if (isSet(parser, "liste")) {
        o.action = CliOptions::Action::ListPorts;
        o.allPorts = isSet(parser, "alle");
        return result;
    }
    o.allRegisters = isSet(parser, "alle-register");
    o.fast = isSet(parser, "schnell");
    o.continuous = isSet(parser, "fortlaufend") || isSet(parser, "anzahl");
    if (isSet(parser, "anzahl")) {
        const QString text = parser.value(QStringLiteral("anzahl"));
        bool ok = false;
        o.readings = text.toInt(&ok);
        if (!ok || o.readings < 1) {
            result.error = QStringLiteral("Ungültige Anzahl '%1'. Erlaubt ist eine ganze Zahl ab 1.").arg(text);
            return result;
        }
    }
    if (isSet(parser, "modbus-adresse")) {
        const QString text = parser.value(QStringLiteral("modbus-adresse"));
        bool ok = false;
        const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
        o.modbusAddress = hex ? text.mid(2).toInt(&ok, 16) : text.toInt(&ok, 10);
        if (!ok || o.modbusAddress < 1 || o.modbusAddress > kMaxModbusAddress) {
            result.error = QStringLiteral("Ungültige Modbus-Adresse '%1'. Erlaubt sind 1 bis 247, dezimal oder mit 0x "
                                          "hexadezimal.").arg(text);
            return result;
        }
    }
    if (isSet(parser, "lesekopftest"))
        o.action = CliOptions::Action::ReadHeadTest;
    if (isSet(parser, "modbus-suche")) {
        // The search is for the RS485 converter whatever the port looks like.
        o.action = CliOptions::Action::ModbusSearch;
        o.accessory = CliOptions::Accessory::Rs485;
        o.searchAll = isSet(parser, "alle");
    }

    o.port = parser.value(QStringLiteral("port"));
    if (o.port.isEmpty()) {
        result.error = QStringLiteral("Kein Port angegeben. Bitte wählen Sie einen Port mit --port "
                                      "(die Ports zeigt --liste).");
        return result;
    }

    if (isSet(parser, "zubehoer")) {
        const QString kind = parser.value(QStringLiteral("zubehoer")).toLower();
        if (kind == QLatin1String("lesekopf")) {
            o.accessory = CliOptions::Accessory::ReadingHead;
        } else if (kind == QLatin1String("rs485")) {
            o.accessory = CliOptions::Accessory::Rs485;
        } else {
            result.error = QStringLiteral("Unbekanntes Zubehör '%1'. Erlaubt sind lesekopf und rs485.")
                               .arg(parser.value(QStringLiteral("zubehoer")));
            return result;
        }
    }

    if (isSet(parser, "test")) {
        const QString text = parser.value(QStringLiteral("test"));
        bool ok = false;
        const int number = text.toInt(&ok);
        if (!ok || number < Test_01 || number > Test_04) {
            result.error = QStringLiteral("Ungültige Testnummer '%1'. Erlaubt sind 1 bis 4.").arg(text);
            return result;
        }
        o.testMode = static_cast<TestMode_t>(number);
    }
    o.address = parser.value(QStringLiteral("adresse"));
    o.meterNumber = parser.value(QStringLiteral("zaehlernummer"));
    // As the window does with an empty meter-number field.
    if (o.meterNumber.isEmpty())
        o.meterNumber = QStringLiteral("0");

    if (o.accessory != CliOptions::Accessory::Detect) {
        const enum_interfaces_t kind =
            o.accessory == CliOptions::Accessory::Rs485 ? MODBUS485_Converter : IR_Head;
        result.error = accessoryConflict(o, kind);
    }
    return result;
}

QString accessoryConflict(const CliOptions &options, enum_interfaces_t kind)
{
    if (kind == MODBUS485_Converter) {
        for (const char *name : kReadingHeadOnly) {
            if (options.given.contains(QLatin1String(name)))
                return QStringLiteral("Die Option %1 passt nicht zum RS485-Konverter: er führt immer alle "
                                      "vier Tests aus.")
                    .arg(dashed(name));
        }
    } else {
        for (const char *name : kRs485Only) {
            if (options.given.contains(QLatin1String(name)))
                return QStringLiteral("Die Option %1 passt nicht zum Lesekopf. Für den RS485-Konverter "
                                      "geben Sie --zubehoer rs485 an.")
                    .arg(dashed(name));
        }
    }
    return QString();
}
