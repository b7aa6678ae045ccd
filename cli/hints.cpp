#include "cli/hints.h"

#include <QMap>
#include <QSet>

#include "cli/runrecord.h"
#include "engine/telegramsteps.h"
#include "engine/testlog.h"
#include "protocols/modbusrtu.h"
#include "protocols/parserclass.h"
#include "protocols/smlregisters.h"

namespace {

enum class Cause {
    PortLost,
    NoByte,
    NoByteOnBus,
    NoModbusAddress,
    NoModbusAnswer,
    EchoOnly,
    EchoOnlyOnBus,
    ChecksumFailed,
    NoEnergyRegister,
    BytesNoTelegram,
    Looks7E1,
    ReducedDataSet,
};

// A fact from what arrived (with %1, %2 for its figures), then the likely cause.
struct HintText
{
    Cause cause;
    const char *fact;
    const char *likely;
};

constexpr HintText kHintTexts[] = {
    {Cause::PortLost, "Die Schnittstelle fiel aus: %1.",
     "Wurde der USB-Adapter abgezogen, oder sitzt sein Stecker locker?"},
    {Cause::NoByte, "Es kam kein einziges Byte an.",
     "Sitzt der Lesekopf richtig auf der optischen Schnittstelle des Zählers? Ist die Schnittstelle des Zählers "
     "eingeschaltet?"},
    {Cause::NoByteOnBus, "Es kam kein einziges Byte an.",
     "Sind A und B richtig am Zähler angeschlossen, und ist seine RS485-Schnittstelle eingeschaltet?"},
    {Cause::NoModbusAddress,
     "Aus der Zählernummer \"%1\" ergibt sich keine Modbus-Adresse (die letzten zwei Zeichen sind keine "
     "Hexadezimalziffern), der Test lief nicht.",
     "Geben Sie die Modbus-Adresse mit --modbus-adresse an."},
    {Cause::NoModbusAnswer, "Keine Modbus-Antwort an %1.",
     "Stimmt die Adresse des Zählers? Sind A und B vertauscht, oder fehlt der Abschlusswiderstand am Bus?"},
    {Cause::EchoOnly, "Es kam nur das Echo der eigenen Anfrage zurück (%1 Bytes).",
     "Der Lesekopf sieht sein eigenes Licht: sitzt er schief oder neben der Schnittstelle?"},
    {Cause::EchoOnlyOnBus, "Es kam nur das Echo der eigenen Anfrage zurück (%1 Bytes).",
     "Der Konverter hört sich selbst, aber kein Zähler antwortet: sind A und B angeschlossen?"},
    {Cause::ChecksumFailed, "Ein Telegramm kam an, aber %1.",
     "Übertragungsfehler: Lesekopf verschmutzt oder verschoben, Fremdlicht oder Störungen auf der Leitung."},
    {Cause::NoEnergyRegister, "Ein Telegramm kam an, aber ohne Zählerstand (1.8.x oder 2.8.x).",
     "Ist es ein Stromzähler? Manche Zähler senden ihre Zählerstände erst nach der PIN-Eingabe."},
    {Cause::BytesNoTelegram, "%1 Bytes kamen an, aber kein Telegramm; die ersten: %2.",
     "Passen Baudrate und Zeichenformat des Tests zum Zähler?"},
    {Cause::Looks7E1, "Die Bytes sehen aus wie Zeichen im Format 7E1, gelesen mit 8N1.",
     "Der Zähler sendet wohl OBIS ASCII mit 7E1: am Lesekopf Test 3 oder 4 (--test 3, --test 4)."},
    {Cause::ReducedDataSet, "Das SML-Telegramm enthält Zählerstände, aber keine Leistung.",
     "Viele Zähler senden nur diesen reduzierten Datensatz, bis ihre PIN eingegeben ist."},
};

constexpr int kShownBytes = 16;
constexpr int kSmlUnitWatt = 27;

// Each cause found, with the figures for its fact.
using Findings = QMap<Cause, QStringList>;

bool isSml(const TestRun &t)
{
    return t.protocol == QLatin1String(protocolname::kSml);
}

bool isModbus(const TestRun &t)
{
    return t.protocol == QLatin1String(protocolname::kModbus);
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

// What is wrong with an IEC readout's block check; empty when it holds.
QString blockCheckProblem(const parserclass &parser, const QByteArray &bytes)
{
    const int etx = blockEnd(bytes);
    if (etx < 0 || etx + 1 >= bytes.size())
        return QStringLiteral("ihm fehlt die Blockprüfsumme (BCC)");
    if (parser.calcBcc(bytes.left(etx + 1)) != bytes.at(etx + 1))
        return QStringLiteral("seine Blockprüfsumme (BCC) stimmt nicht");
    return QString();
}

bool reducedDataSet(const QByteArray &telegram)
{
    bool energy = false, power = false;
    for (const SmlRegister &r : listSmlRegisters(telegram).registers) {
        energy = energy || (r.obisSize == 6 && (r.obis[2] == 1 || r.obis[2] == 2) && r.obis[3] == 8);
        power = power || r.unitCode == kSmlUnitWatt;
    }
    return energy && !power;
}

// What the bytes of one test say, when they hold no usable telegram.
void findFromBytes(const TestRun &t, const QString &modbusAddress, const HintContext &context, Findings &f)
{
    if (!t.portFailure.isEmpty()) {
        f.insert(Cause::PortLost, {t.portFailure});
        return;
    }
    const parserclass parser;
    QByteArray sent;
    for (const QByteArray &request : t.sent)
        sent += request;
    const QByteArray &got = t.received;
    if (got.isEmpty()) {
        if (isModbus(t) && t.sent.isEmpty())
            f.insert(Cause::NoModbusAddress, {context.meterNumber});
        else if (isModbus(t))
            f.insert(Cause::NoModbusAnswer, {modbusAddress});
        else
            f.insert(context.kind == MODBUS485_Converter ? Cause::NoByteOnBus : Cause::NoByte, {});
        return;
    }
    if (sent.startsWith(got)) {
        f.insert(context.kind == MODBUS485_Converter ? Cause::EchoOnlyOnBus : Cause::EchoOnly,
                 {QString::number(got.size())});
        return;
    }
    bool telegram = false;
    if (isSml(t)) {
        const QByteArray frame = parser.extractSmlFrame(got);
        telegram = !frame.isEmpty();
        if (telegram && !parser.smlCrcMatches(frame))
            f.insert(Cause::ChecksumFailed, {QStringLiteral("seine CRC stimmt nicht")});
        else if (telegram && !parser.containsSmlEnergyRegister(frame))
            f.insert(Cause::NoEnergyRegister, {});
    } else if (isModbus(t)) {
        // Cut as the test cut it: behind the echo, from the address the request went to.
        const QByteArray request = t.sent.value(0);
        const QByteArray answer = request.isEmpty() ? got : cutModbusAnswer(got, request).answer;
        telegram = answer.size() >= kModbusExceptionSize && !request.isEmpty() && answer.at(0) == request.at(0);
        if (telegram && !parser.checkModbusCrc(answer))
            f.insert(Cause::ChecksumFailed, {QStringLiteral("seine CRC stimmt nicht")});
    } else {
        const int ident = identificationStart(got);
        telegram = ident >= 0 && got.indexOf('!', ident) >= 0;
        const QString blockCheck = blockCheckProblem(parser, got);
        if (telegram && !parser.containsEnergyRegister(textOf(got)))
            f.insert(Cause::NoEnergyRegister, {});
        else if (telegram && !blockCheck.isEmpty())
            f.insert(Cause::ChecksumFailed, {blockCheck});
    }
    if (telegram)
        return;
    const QString firstBytes = QString::fromLatin1(got.left(kShownBytes).toHex(' ').toUpper());
    f.insert(Cause::BytesNoTelegram, {QString::number(got.size()), firstBytes});
    if (t.setting.endsWith(QLatin1String("8N1")) && looksLike7E1(got))
        f.insert(Cause::Looks7E1, {});
}

// The slave address is the first byte of every Modbus request.
QString modbusAddressText(RunRecord &run, const HintContext &context)
{
    for (const TestRun &t : run.tests) {
        if (!isModbus(t) || t.sent.isEmpty() || t.sent.first().isEmpty())
            continue;
        const int slave = run.modbusSlave = quint8(t.sent.first().at(0));
        const QString address = QStringLiteral("Adresse %1 (0x%2)").arg(slave).arg(slave, 2, 16, QLatin1Char('0'));
        if (context.addressGiven)
            return address + QStringLiteral(", mit --modbus-adresse gesetzt");
        return address + QStringLiteral(", aus der Zählernummer \"%1\" (%2 hexadezimal, plus 1)")
                             .arg(context.meterNumber, context.meterNumber.right(2));
    }
    return QString();
}

} // namespace

void explainRun(RunRecord &run, const HintContext &context)
{
    run.modbusAddress = modbusAddressText(run, context);
    QSet<int> explained;
    for (int i = 0; i < run.tests.size(); ++i) {
        TestRun &t = run.tests[i];
        const bool succeeded = run.successful() && i == run.tests.size() - 1;
        Findings findings;
        if (!succeeded || !t.values)
            findFromBytes(t, run.modbusAddress, context, findings);
        if (succeeded && isSml(t) && t.values && reducedDataSet(run.telegram()))
            findings.insert(Cause::ReducedDataSet, {});
        for (const HintText &h : kHintTexts) {
            if (!findings.contains(h.cause))
                continue;
            QString fact = QString::fromUtf8(h.fact);
            for (const QString &arg : findings[h.cause])
                fact = fact.arg(arg);
            const QString likely = QString::fromUtf8(h.likely);
            t.hints << fact << likely;
            run.hints << QStringLiteral("Test %1 (%2, %3): %4").arg(t.number).arg(t.protocol, t.setting, fact);
            if (!explained.contains(int(h.cause)))
                run.hints << likely;
            explained.insert(int(h.cause));
        }
    }
}

namespace {

// Error texts of the serial port (Qt's own or the system's) and what they mean for the user.
struct PortErrorHint
{
    const char *errorText;
    const char *hint;
};

constexpr const char *kPortBusy =
    "Ein anderes Programm hält den Port (etwa ein zweites viviv-cli, ModemManager oder ein Terminalprogramm). "
    "Beenden Sie es und versuchen Sie es erneut.";

constexpr PortErrorHint kPortErrorHints[] = {
    {"Permission error while locking the device", kPortBusy}, // Qt's lock file is held
    {"Device or resource busy", kPortBusy},
    {"Permission denied",
     "Ihr Benutzer darf den Port nicht öffnen. Nehmen Sie ihn in die Gruppe dialout auf "
     "(sudo usermod -aG dialout $USER) und melden Sie sich neu an."},
};

} // namespace

QString connectHint(const QString &portError)
{
    for (const PortErrorHint &h : kPortErrorHints) {
        if (portError.contains(QLatin1String(h.errorText)))
            return QString::fromUtf8(h.hint);
    }
    return QString();
}
