#include "reportserver/logreader.h"

#include <QRegularExpression>
#include <QStringList>

#include "protocols/meterresult.h"
#include "protocols/modbusrtu.h"
#include "protocols/parserclass.h"

namespace {

// The program's tests, as its sequencer runs them.
constexpr LoggedTestKind kTestKinds[] = {
    {false, 1, "SML", "sml-push"},           {false, 2, "SML", "sml-request"},
    {false, 3, "OBIS ASCII", "iec-push"},    {false, 4, "OBIS ASCII", "iec-mode-c"},
    {true, 1, "Modbus RTU", "modbus"},       {true, 2, "OBIS ASCII", "rs485-iec"},
    {true, 3, "OBIS ASCII", "rs485-iec"},    {true, 4, "SML", "rs485-sml-push"},
};

// Log lines as the program writes them.
constexpr char kHersteller[] = "Hersteller: ";
constexpr char kModell[] = "Modell: ";
constexpr char kSent[] = "Sende:";
constexpr char kResult[] = "Ergebnis: ";
// Lines after which a test counts as failed, whatever came before.
constexpr const char *kFailureLines[] = {"Ergebnis: Keine Daten", "Ergebnis: CRC Fail", "Fehler an der Schnittstelle"};

bool isHexLine(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^(?:[0-9A-F]{2})+$"));
    return hex.match(text).hasMatch();
}

bool isFailure(const QString &line)
{
    for (const char *failure : kFailureLines)
        if (line.startsWith(QLatin1String(failure)))
            return true;
    return false;
}

modbus_answers_t modbusAnswers(const QByteArray &telegram)
{
    modbus_answers_t answers;
    for (const ModbusExchange &e : modbusExchanges(telegram))
        for (int i = 0; i < kModbusRequestCount; ++i)
            if (modbusRequestFrame(quint8(e.request.at(0)), i) == e.request)
                answers.slot[kModbusRequests[i].answerSlot] = e.answer;
    return answers;
}

QVector<ReadValue> decodedValues(const ReadTest &test, bool rs485)
{
    const parserclass parser;
    // The sign-on test shows values only when the block check agrees.
    if (!rs485 && test.number == 4 && !test.telegram.isEmpty()
        && test.telegram.at(test.telegram.size() - 1) != parser.calcBcc(test.telegram))
        return {};
    meter_result_t record;
    if (test.protocol == QLatin1String("SML"))
        record = parser.decodeSml(test.telegram);
    else if (test.protocol == QLatin1String("Modbus RTU"))
        record = parser.decodeModbus(modbusAnswers(test.telegram));
    else
        record = parser.decodeObisAscii(QString::fromUtf8(test.telegram.constData(), test.telegram.size()));
    QVector<ReadValue> values;
    if (record.ParseError != 0)
        return values;
    const bool sml = test.protocol == QLatin1String("SML");
    for (const MeterField &field : kMeterFields) {
        if (!(record.*field.valid))
            continue;
        const bool angle = sml && field.smlObis;
        values.append({QString::fromLatin1(angle ? field.smlObis : field.obis), record.*field.value,
                       QString::fromUtf8(angle ? field.smlUnit : field.unit)});
    }
    return values;
}

// Reads the log's lines into tests; false when it is no log of the program.
bool readLog(const QStringList &lines, ReadReport &report)
{
    static const QRegularExpression version(QStringLiteral("^\\S+ Testprogramm v\\.(\\d+\\.\\d+)$"));
    static const QRegularExpression heading(
        QStringLiteral("^(RS485: )?Test ([1-4]) mit Baud (\\d+ [5-8][NEO][12]) (?:uni|bi)direktional:$"));
    bool failed = false;
    QByteArray request;
    for (const QString &line : lines) {
        const QRegularExpressionMatch v = version.match(line);
        if (v.hasMatch() && report.programVersion.isEmpty()) {
            report.programVersion = v.captured(1);
            continue;
        }
        const QRegularExpressionMatch h = heading.match(line);
        if (h.hasMatch()) {
            const LoggedTestKind *kind = testKind(h.capturedLength(1) > 0, h.captured(2).toInt());
            report.accessory = QLatin1String(kind->rs485 ? accessory::kRs485 : accessory::kReadingHead);
            ReadTest test;
            test.number = kind->number;
            test.heading = line;
            test.protocol = QLatin1String(kind->protocol);
            test.portSetting = h.captured(3);
            test.verdict = QLatin1String(verdict::kFailed);
            report.tests.append(test);
            failed = false;
            request.clear();
            continue;
        }
        if (report.tests.isEmpty())
            continue;
        ReadTest &test = report.tests.last();
        const QString result = line.startsWith(QLatin1String(kResult)) ? line.mid(int(sizeof kResult) - 1) : QString();
        if (isFailure(line)) {
            failed = true;
        } else if (line.startsWith(QLatin1String(kSent)) && isHexLine(line.mid(int(sizeof kSent) - 1))) {
            request = QByteArray::fromHex(line.mid(int(sizeof kSent) - 1).toLatin1());
        } else if (isHexLine(result) && test.protocol == QLatin1String("Modbus RTU")) {
            test.telegram += request + QByteArray::fromHex(result.toLatin1());
            request.clear();
        } else if (isHexLine(result) || isHexLine(line)) {
            // SML: "Ergebnis: " and the frame; IEC: the text, then the bytes alone.
            test.telegram = QByteArray::fromHex((result.isEmpty() ? line : result).toLatin1());
        }
        // The sequencer stops at the first test that succeeds: only the last can have.
        test.verdict = QLatin1String(!failed && !test.telegram.isEmpty() ? verdict::kGood : verdict::kFailed);
    }
    for (ReadTest &test : report.tests)
        if (test.verdict == QLatin1String(verdict::kGood) && &test != &report.tests.last())
            test.verdict = QLatin1String(verdict::kFailed);
    for (ReadTest &test : report.tests)
        test.values = decodedValues(test, report.accessory == QLatin1String(accessory::kRs485));
    return !report.programVersion.isEmpty();
}

} // namespace

const LoggedTestKind *testKind(bool rs485, int number)
{
    for (const LoggedTestKind &k : kTestKinds)
        if (k.rs485 == rs485 && k.number == number)
            return &k;
    return nullptr;
}

QVector<ModbusExchange> modbusExchanges(const QByteArray &telegram)
{
    constexpr int kRequestSize = 8;
    QVector<ModbusExchange> exchanges;
    for (int at = 0; at + kRequestSize + kModbusExceptionSize <= telegram.size();) {
        const QByteArray answerHead = telegram.mid(at + kRequestSize, kModbusHeadSize);
        const int answerSize = (quint8(answerHead.at(1)) & kModbusExceptionBit)
                                   ? kModbusExceptionSize
                                   : kModbusHeadSize + quint8(answerHead.at(2)) + kModbusCrcSize;
        exchanges.append({telegram.mid(at, kRequestSize), telegram.mid(at + kRequestSize, answerSize)});
        at += kRequestSize + answerSize;
    }
    return exchanges;
}

ReadReport readReport(const QByteArray &message)
{
    ReadReport report;
    report.message = QString::fromUtf8(message.constData(), message.size());
    report.message.replace(QChar(0), QChar(0xFFFD)); // no database keeps a NUL in a text
    report.verdict = QLatin1String(verdict::kUnreadable);
    QStringList lines = report.message.split(QLatin1Char('\n'));
    for (QString &line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    if (lines.size() < 3 || !lines[0].startsWith(QLatin1String(kHersteller)) || !lines[1].startsWith(QLatin1String(kModell))
        || !lines[2].isEmpty())
        return report;
    report.manufacturer = lines[0].mid(int(sizeof kHersteller) - 1);
    report.model = lines[1].mid(int(sizeof kModell) - 1);
    report.readable = readLog(lines.mid(3), report);
    if (!report.readable) {
        report.tests.clear();
        report.accessory.clear();
    } else if (!report.tests.isEmpty()) {
        report.verdict = report.tests.last().verdict;
    } else {
        report.verdict.clear(); // a log without tests, such as the reading-head check
    }
    return report;
}
