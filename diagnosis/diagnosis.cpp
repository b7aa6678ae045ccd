#include "diagnosis/diagnosis.h"

#include <QSet>

#include "engine/telegramsteps.h"
#include "engine/testlink.h"

namespace {

// One finding: a fact with its figures (%1, %2, ...), the likely cause and
// what to do, the latter in the window's and in the command line's words
// where they differ (null: the same).
struct FindingText
{
    FindingId id;
    const char *key;
    const char *fact;
    const char *cause;
    const char *action;
    const char *actionCommandLine;
};

constexpr FindingText kFindings[] = {
    {FindingId::PortLost, "port-lost", "Die Schnittstelle fiel während des Tests aus: %1.",
     "Der USB-Adapter wurde abgezogen, oder sein Stecker sitzt locker.",
     "Stecken Sie den Adapter wieder ein, wählen Sie den Port neu und drücken Sie \"Verbinden\".",
     "Stecken Sie den Adapter wieder ein und starten Sie viviv-cli erneut."},
    {FindingId::NoByte, "no-byte", "Es kam kein einziges Byte an.",
     "Der Lesekopf sitzt nicht richtig auf der optischen Schnittstelle, oder der Zähler sendet nicht von sich aus.",
     "Setzen Sie den Lesekopf mittig und gerade auf die Schnittstelle (Kabel nach unten). Viele Zähler senden erst, "
     "wenn ihre Schnittstelle mit der PIN freigeschaltet ist.",
     nullptr},
    {FindingId::NoByteOnBus, "no-byte-bus", "Es kam kein einziges Byte an.",
     "Der Zähler ist nicht am Bus, oder seine RS485-Schnittstelle ist ausgeschaltet.",
     "Prüfen Sie die Verdrahtung von A und B und ob die RS485-Schnittstelle des Zählers eingeschaltet ist.", nullptr},
    {FindingId::Noise, "noise", "%1 Bytes kamen an, aber ohne jede Struktur eines Telegramms; die ersten: %2.",
     "Das ist kein Zähler: Fremdlicht (Sonne, Lampe) fällt auf den Lesekopf, oder der Port gehört zu einem anderen "
     "Gerät.",
     "Schatten Sie den Lesekopf ab, setzen Sie ihn auf den Zähler und prüfen Sie, ob der richtige Port gewählt ist.",
     nullptr},
    {FindingId::NoiseOnBus, "noise-bus", "%1 Bytes kamen an, aber ohne jede Struktur eines Telegramms; die ersten: %2.",
     "Störungen auf der Leitung oder eine andere Baudrate auf dem Bus.",
     "Prüfen Sie Abschirmung, Abschlusswiderstand und ob A und B vertauscht sind.", nullptr},
    {FindingId::BytesNoTelegram, "bytes-no-telegram", "%1 Bytes kamen an, aber kein vollständiges Telegramm; die ersten: %2.",
     "Baudrate oder Zeichenformat des Tests passen nicht zum Zähler, oder das Telegramm brach ab.",
     "Führen Sie \"Alle Tests\" aus, damit jede Einstellung versucht wird.",
     "Führen Sie alle Tests aus (ohne --test), damit jede Einstellung versucht wird."},
    {FindingId::Looks7E1, "looks-7e1", "%1 Bytes sehen aus wie Zeichen im Format 7E1, gelesen mit 8N1.",
     "Der Zähler sendet OBIS ASCII (IEC 62056-21) mit 7E1, nicht SML.",
     "Wählen Sie Test 3 (Zähler sendet von sich aus) oder Test 4 (Anmeldung mit 300 Baud).",
     "Starten Sie mit --test 3 (Zähler sendet von sich aus) oder --test 4 (Anmeldung mit 300 Baud)."},
    {FindingId::EchoOnly, "echo-only", "Es kam nur das Echo der eigenen Anfrage zurück (%1 Bytes).",
     "Der Lesekopf sieht sein eigenes Licht: er sitzt schief, neben der Schnittstelle oder vor einer spiegelnden "
     "Scheibe, und der Zähler antwortet nicht.",
     "Setzen Sie den Lesekopf mittig und gerade auf die optische Schnittstelle.", nullptr},
    {FindingId::EchoOnlyOnBus, "echo-only-bus", "Es kam nur das Echo der eigenen Anfrage zurück (%1 Bytes).",
     "Der Konverter hört sich selbst, aber kein Zähler antwortet.",
     "Prüfen Sie, ob A und B am Zähler angeschlossen sind und die Adresse stimmt.", nullptr},
    {FindingId::ChecksumFailed, "checksum-failed", "%1 von %2 Telegrammen kamen an, aber ihre %3 stimmt nicht.",
     "Übertragungsfehler: Lesekopf verschmutzt oder verschoben, Fremdlicht oder Störungen auf der Leitung.",
     "Reinigen Sie den Lesekopf und die Scheibe des Zählers, setzen Sie ihn gerade auf und schatten Sie ihn ab.",
     nullptr},
    {FindingId::NoEnergyRegister, "no-energy-register", "Ein Telegramm kam an, aber ohne Zählerstand (1.8.x oder 2.8.x).",
     "Manche Zähler senden ihre Zählerstände erst, wenn die PIN eingegeben ist.",
     "Geben Sie am Zähler die PIN ein (beim Netzbetreiber erhältlich) und stellen Sie die erweiterte Datenausgabe ein.",
     nullptr},
    {FindingId::ReducedDataSet, "reduced-data-set", "Das Telegramm enthält Zählerstände, aber keine Leistung.",
     "Der Zähler sendet den reduzierten Datensatz, bis seine PIN eingegeben ist.",
     "Geben Sie am Zähler die PIN ein und schalten Sie die erweiterte Datenausgabe (\"Inf on\") ein.", nullptr},
    {FindingId::IdentificationNoData, "identification-no-data",
     "Der Zähler meldete sich als \"%1\" und bot %2 Baud an, aber danach kamen keine Daten.",
     "Der Wechsel der Baudrate kam für diesen Zähler zu früh oder zu spät, oder er erwartet eine andere Baudrate.",
     "Wiederholen Sie Test 4; hilft das nicht, senden Sie das Ergebnis an den Hersteller.",
     "Wiederholen Sie den Test mit --test 4; hilft das nicht, senden Sie das Protokoll an den Hersteller."},
    {FindingId::SilentToSignOn, "silent-to-sign-on", "Der Zähler antwortete nicht auf die Anmeldung %1.",
     "Manche Zähler antworten nur auf eine Anmeldung mit ihrer Geräteadresse.",
     "Tragen Sie die Geräteadresse des Zählers (oft die Seriennummer vom Typenschild) im Feld \"Adresse\" ein und "
     "starten Sie Test 4 erneut.",
     "Geben Sie die Geräteadresse des Zählers (oft die Seriennummer vom Typenschild) mit --adresse an und starten "
     "Sie --test 4 erneut."},
    {FindingId::SilentToAddressedSignOn, "silent-to-addressed-sign-on",
     "Der Zähler antwortete nicht auf die Anmeldung %1.",
     "Die Geräteadresse stimmt nicht, oder der Zähler spricht kein OBIS ASCII mit 300 Baud.",
     "Prüfen Sie die Adresse im Feld \"Adresse\", oder lassen Sie es leer.",
     "Prüfen Sie die Adresse (--adresse), oder lassen Sie sie weg."},
    {FindingId::NoModbusAddress, "no-modbus-address",
     "Aus der Zählernummer \"%1\" ergibt sich keine Modbus-Adresse: ihre letzten zwei Zeichen sind keine "
     "Hexadezimalziffern; der Test lief nicht.",
     "Die Modbus-Adresse wird aus den letzten zwei Zeichen der Zählernummer gebildet.",
     "Tragen Sie die Seriennummer des Zählers ein, wie sie auf dem Typenschild steht.",
     "Geben Sie die Modbus-Adresse mit --modbus-adresse an."},
    {FindingId::NoModbusAnswer, "no-modbus-answer", "Keine Modbus-Antwort von %1.",
     "Die Adresse stimmt nicht, A und B sind vertauscht, oder der Zähler spricht Modbus mit anderer Baudrate.",
     "Prüfen Sie die Zählernummer und die Verdrahtung von A und B.",
     "Prüfen Sie die Adresse (--modbus-adresse) und die Verdrahtung von A und B."},
    {FindingId::ModbusException, "modbus-exception",
     "%1 antwortete %2-mal mit der Modbus-Ausnahme %3 (%4) statt mit Werten.",
     "Der Konverter arbeitet in beide Richtungen, aber der Zähler hat diese Register nicht: er nutzt eine andere "
     "Registerbelegung.",
     "Senden Sie das Ergebnis mit Hersteller und Modell des Zählers an den Hersteller, damit er ihn unterstützen kann.",
     "Senden Sie das Protokoll mit Hersteller und Modell des Zählers an den Hersteller."},
    {FindingId::OtherSlave, "other-slave", "Statt %1 antwortete ein anderer Modbus-Teilnehmer: %2.",
     "Der Konverter arbeitet, aber die Adresse des Zählers ist eine andere.",
     "Tragen Sie die Zählernummer ein, die zu dieser Adresse passt.",
     "Geben Sie die Adresse mit --modbus-adresse an."},
};

// What the Modbus exception codes mean.
struct ExceptionText
{
    quint8 code;
    const char *meaning;
};
constexpr ExceptionText kExceptionTexts[] = {
    {1, "unzulässige Funktion"},
    {2, "unzulässige Datenadresse"},
    {3, "unzulässiger Datenwert"},
    {4, "Fehler im Gerät"},
    {5, "Anfrage angenommen, Antwort folgt später"},
    {6, "Gerät beschäftigt"},
};

// A noise stream holds at least this many bytes; fewer are shown as bytes
// without a telegram.
constexpr int kNoiseMinBytes = 32;
constexpr int kShownBytes = 16;
// The SML escape, and the head of a list entry with an electricity OBIS code
// (1-0:...), which every meter's telegram holds many times.
constexpr char kSmlEscape[] = "\x1B\x1B\x1B\x1B";
constexpr int kSmlEscapeSize = 4;
constexpr char kSmlObisEntry[] = "\x77\x07\x01\x00";
constexpr int kSmlObisEntrySize = 4;

const FindingText &textOf(FindingId id)
{
    for (const FindingText &row : kFindings)
        if (row.id == id)
            return row;
    return kFindings[0];
}

bool onBus(const TestOutcome &t)
{
    return t.protocol == Protocol::Modbus || t.kind == TestKind::BusIecRequest7E1
        || t.kind == TestKind::BusIecRequest8N1 || t.kind == TestKind::BusSmlListen;
}

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString slaveText(int slave)
{
    return QStringLiteral("Adresse %1 (0x%2)").arg(slave).arg(slave, 2, 16, QLatin1Char('0'));
}

QString slaveOrigin(const TestOutcome &t)
{
    if (t.slaveSource == SlaveAddressSource::Given)
        return QStringLiteral(", wie angegeben");
    return QStringLiteral(", gebildet aus der Zählernummer \"%1\" (letzte zwei Zeichen hexadezimal, plus 1)")
        .arg(t.meterNumber);
}

// The bytes that arrived beyond the echoes of the requests.
QByteArray beyondEchoes(const TestOutcome &t)
{
    QByteArray rest = t.received;
    for (const QByteArray &sent : t.requests) {
        const int at = rest.indexOf(sent);
        if (at >= 0)
            rest.remove(at, sent.size());
    }
    return rest;
}

// Bytes that hold a piece of a telegram of the test's protocol (a meter that
// stopped midway, or whose start went by before the test listened), not noise.
bool hasTelegramStart(const TestOutcome &t, const QByteArray &bytes)
{
    switch (t.protocol) {
    case Protocol::Sml:
        return bytes.contains(QByteArray(kSmlEscape, kSmlEscapeSize))
            || bytes.contains(QByteArray(kSmlObisEntry, kSmlObisEntrySize));
    case Protocol::IecAscii:
        return meterIdentificationStart(bytes) >= 0;
    case Protocol::Modbus:
        return t.modbusSlave >= 0 && bytes.startsWith(char(t.modbusSlave));
    }
    return false;
}

// 7E1 characters read at 8N1 keep their parity bit as bit 7: every byte then
// has an even number of ones, and below it lies printable ASCII.
bool looksLike7E1(const QByteArray &bytes)
{
    int fitting = 0;
    for (const char c : bytes) {
        const uchar b = uchar(c);
        const uchar ascii = b & 0x7F;
        const bool even = (qPopulationCount(quint32(b)) & 1) == 0;
        fitting += even && ((ascii >= 0x20 && ascii < 0x7F) || ascii == '\r' || ascii == '\n' || ascii < 0x04);
    }
    return bytes.size() >= 8 && fitting * 10 >= bytes.size() * 9;
}

bool anyValue(const TestOutcome &t)
{
    for (const MeterField &f : kMeterFields)
        if (t.hasValues && t.record.*f.valid)
            return true;
    return false;
}

bool reducedDataSet(const meter_result_t &record)
{
    bool energy = false;
    bool power = false;
    for (const MeterField &f : kMeterFields) {
        energy = energy || (record.*f.valid && qstrcmp(f.unit, "kWh") == 0);
        power = power || (record.*f.valid && qstrcmp(f.unit, "W") == 0);
    }
    return energy && !power;
}

QString checkName(const TestOutcome &t)
{
    for (const CheckedFrame &f : t.frames)
        if (f.check == FrameCheck::BlockCheckFailed || f.check == FrameCheck::BlockCheckMissing)
            return QStringLiteral("Blockprüfsumme (BCC)");
    return QStringLiteral("CRC");
}

struct Found
{
    FindingId id;
    QStringList figures;
};

// What one test's outcome says; the first matching situation explains it.
QList<Found> findingsOf(const TestOutcome &t, bool succeeded)
{
    const bool bus = onBus(t);
    if (t.portFailure != PortFailureKind::None)
        return {{FindingId::PortLost, {portFailureShown(t.portFailure, t.portFailureText)}}};
    if (t.protocol == Protocol::Modbus && t.modbusSlave < 0)
        return {{FindingId::NoModbusAddress, {t.meterNumber}}};

    // A telegram without any energy register explains a failure before its
    // checksum does: no cleaning brings a register the meter does not send.
    if (!succeeded && t.telegramLacksEnergy)
        return {{FindingId::NoEnergyRegister, {}}};

    QList<Found> found;
    if (!t.exceptions.isEmpty()) {
        const ModbusException &e = t.exceptions.first();
        QString meaning = QStringLiteral("unbekannter Code");
        for (const ExceptionText &row : kExceptionTexts)
            if (row.code == e.code)
                meaning = QString::fromUtf8(row.meaning);
        found << Found{FindingId::ModbusException,
                       {slaveText(t.modbusSlave), QString::number(t.exceptions.size()),
                        QStringLiteral("%1").arg(e.code, 2, 16, QLatin1Char('0')), meaning}};
    }
    if (!t.otherSlaves.isEmpty()) {
        QStringList others;
        for (const quint8 s : t.otherSlaves)
            others << slaveText(s);
        found << Found{FindingId::OtherSlave, {slaveText(t.modbusSlave), others.join(QStringLiteral(", "))}};
    }
    if (t.failedFrames() > 0 && t.goodFrames() == 0)
        found << Found{FindingId::ChecksumFailed,
                       {QString::number(t.failedFrames()), QString::number(t.frames.size()), checkName(t)}};
    if (succeeded) {
        if (t.hasValues && reducedDataSet(t.record))
            found << Found{FindingId::ReducedDataSet, {}};
        return found;
    }
    if (!found.isEmpty())
        return found;

    const QByteArray rest = beyondEchoes(t);
    if (t.kind == TestKind::HeadIecSignOn && !t.identification.isEmpty() && t.telegram.isEmpty()
        && !t.telegramLacksEnergy)
        return {{FindingId::IdentificationNoData,
                 {QString::fromLatin1(t.identification), QString::number(t.dataRate)}}};
    if (t.received.isEmpty()) {
        if (t.protocol == Protocol::Modbus)
            return {{FindingId::NoModbusAnswer, {slaveText(t.modbusSlave) + slaveOrigin(t)}}};
        if (t.kind == TestKind::HeadIecSignOn) {
            const QString signOn = QStringLiteral("\"/?%1!\"").arg(t.signOnAddress.trimmed());
            return {{t.signOnAddress.trimmed().isEmpty() ? FindingId::SilentToSignOn
                                                         : FindingId::SilentToAddressedSignOn,
                     {signOn}}};
        }
        return {{bus ? FindingId::NoByteOnBus : FindingId::NoByte, {}}};
    }
    if (rest.isEmpty())
        return {{bus ? FindingId::EchoOnlyOnBus : FindingId::EchoOnly, {QString::number(t.received.size())}}};
    const QStringList figures{QString::number(rest.size()), hexBytes(rest.left(kShownBytes))};
    if (!bus && t.setting.dataBits == 8 && looksLike7E1(rest))
        return {{FindingId::Looks7E1, {QString::number(rest.size())}}};
    if (rest.size() >= kNoiseMinBytes && t.frames.isEmpty() && !hasTelegramStart(t, rest))
        return {{bus ? FindingId::NoiseOnBus : FindingId::Noise, figures}};
    return {{FindingId::BytesNoTelegram, figures}};
}

QString filled(const char *text, const QStringList &figures)
{
    QString s = QString::fromUtf8(text);
    for (const QString &f : figures)
        s = s.arg(f);
    return s;
}

} // namespace

bool needsExplanation(const RunOutcome &run)
{
    if (run.verdict == Verdict::NotSuccessful)
        return true;
    const TestOutcome *t = run.successfulTest();
    return t && (!anyValue(*t) || !findingsOf(*t, true).isEmpty());
}

QList<Finding> diagnose(const RunOutcome &run, const DiagnosisContext &context)
{
    QList<Finding> findings;
    if (!needsExplanation(run))
        return findings;
    for (const TestOutcome &t : run.tests) {
        if (run.verdict == Verdict::Successful && !t.accepted)
            continue; // the tests before the good one need no explanation
        for (const Found &f : findingsOf(t, t.accepted)) {
            const FindingText &row = textOf(f.id);
            const char *action = context.frontEnd == FrontEnd::CommandLine && row.actionCommandLine
                ? row.actionCommandLine
                : row.action;
            findings << Finding{f.id, row.key, t.number, filled(row.fact, f.figures), QString::fromUtf8(row.cause),
                                QString::fromUtf8(action)};
        }
    }
    return findings;
}

QStringList hintLines(const RunOutcome &run, const QList<Finding> &findings)
{
    QStringList lines;
    QSet<QString> said;
    for (const Finding &f : findings) {
        QString where = QStringLiteral("Lesekopftest: "); // the read-head test has no number in a chain
        for (const TestOutcome &t : run.tests)
            if (t.number == f.test && t.number > 0)
                where = QStringLiteral("Test %1 (%2, %3): ")
                            .arg(t.number)
                            .arg(QString::fromUtf8(protocolName(t.protocol)), t.setting.text());
        lines << where + f.fact;
        for (const QString &advice : {f.cause, f.action}) {
            if (!said.contains(advice))
                lines << advice;
            said.insert(advice);
        }
    }
    return lines;
}

QString findingCause(const QString &key)
{
    for (const FindingText &row : kFindings)
        if (key == QLatin1String(row.key))
            return QString::fromUtf8(row.cause);
    return QString();
}

namespace {

struct ConnectFailureText
{
    PortFailureKind kind;
    const char *action;
};
constexpr ConnectFailureText kConnectFailures[] = {
    {PortFailureKind::Removed, "Ist der Adapter eingesteckt und der Port richtig gewählt?"},
    {PortFailureKind::Busy,
     "Ein anderes Programm hält den Port (etwa ein zweites Testprogramm, ModemManager oder ein Terminalprogramm). "
     "Beenden Sie es und versuchen Sie es erneut."},
    {PortFailureKind::NoPermission,
     "Ihr Benutzer darf den Port nicht öffnen. Nehmen Sie ihn in die Gruppe dialout auf "
     "(sudo usermod -aG dialout $USER) und melden Sie sich neu an."},
};

} // namespace

QString connectFailureText(PortFailureKind kind, const QString &systemText)
{
    return portFailureShown(kind, systemText);
}

QString connectFailureAction(PortFailureKind kind)
{
    for (const ConnectFailureText &row : kConnectFailures)
        if (row.kind == kind)
            return QString::fromUtf8(row.action);
    return QString();
}
