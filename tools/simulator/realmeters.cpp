#include "tools/simulator/realmeters.h"

#include "tools/sml_encoder/smlencoder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// Resources of a static library are registered by name, outside any namespace.
static void initRealMeterResources()
{
    Q_INIT_RESOURCE(realmeters);
}

namespace metersim {

namespace {

const QByteArray kSmlStart = QByteArray::fromHex("1B1B1B1B01010101");
const QByteArray kSmlEnd = QByteArray::fromHex("1B1B1B1B1A");

void readSml(RealMeter &m, const QByteArray &bytes)
{
    if (!bytes.startsWith(kSmlStart) || bytes.indexOf(kSmlEnd) < 0)
        return;
    m.kind = RealMeter::Kind::Sml;
    m.sml = bytes;
    m.goodCheck = smlencoder::smlCrcBytes(bytes.left(bytes.size() - 2), smlencoder::SmlCrcForm::X25LowByteFirst)
                  == bytes.right(2);
}

// The block check: XOR of the bytes after STX through ETX, sent after ETX.
bool blockCheckAgrees(const QByteArray &data)
{
    const int stx = data.indexOf('\x02');
    const int etx = data.indexOf('\x03', stx + 1);
    if (stx < 0 || etx < 0 || etx + 1 >= data.size())
        return false;
    char bcc = 0;
    for (int i = stx + 1; i <= etx; ++i)
        bcc = char(bcc ^ data.at(i));
    return bcc == data.at(etx + 1);
}

void readIec(RealMeter &m, const QByteArray &bytes)
{
    // An echoed request starts with "/?"; the meter's identification does not.
    int slash = bytes.indexOf('/');
    while (slash >= 0 && bytes.mid(slash + 1, 1) == "?")
        slash = bytes.indexOf('/', slash + 1);
    const int lineEnd = slash < 0 ? -1 : bytes.indexOf('\n', slash);
    if (lineEnd < 0 || lineEnd - slash < 5)
        return;
    QByteArray data = bytes.mid(lineEnd + 1);
    // The echoed acknowledgement: ACK, three characters, line end.
    const int ackEnd = data.indexOf('\n');
    if (data.startsWith('\x06') && ackEnd > 0 && ackEnd <= 5)
        data.remove(0, ackEnd + 1);
    if (!data.contains('!'))
        return;
    m.kind = RealMeter::Kind::IecReadout;
    m.identification = bytes.mid(slash, lineEnd - slash + 1);
    m.data = data;
    m.goodCheck = blockCheckAgrees(data);
}

QVector<RealMeter> load()
{
    initRealMeterResources();
    QVector<RealMeter> meters;
    for (const char *file : {":/realmeters/sml.json", ":/realmeters/iec62056-21.json"}) {
        QFile f{QString::fromLatin1(file)};
        f.open(QIODevice::ReadOnly);
        const bool sml = QLatin1String(file).contains(QLatin1String("sml"));
        for (const QJsonValue v : QJsonDocument::fromJson(f.readAll()).array()) {
            const QJsonObject o = v.toObject();
            RealMeter m;
            m.id = o.value(QLatin1String("id")).toString();
            m.meter = o.value(QLatin1String("meter")).toString();
            const QByteArray bytes = QByteArray::fromHex(o.value(QLatin1String("hex")).toString().toLatin1());
            sml ? readSml(m, bytes) : readIec(m, bytes);
            meters << m;
        }
    }
    return meters;
}

struct Play
{
    Profile profile;
    RealMeter::Kind kind;
    const char *tests; // what the program's tests make of it
};

// The first profile of each kind is the one a meter plays with by default.
constexpr Play kPlays[] = {
    {Profile::SmlPush, RealMeter::Kind::Sml, "Lesekopf Test 1"},
    {Profile::SmlRequest, RealMeter::Kind::Sml, "Lesekopf Test 2"},
    {Profile::Rs485SmlPush, RealMeter::Kind::Sml, "RS485 Test 4"},
    {Profile::StopsMidTelegram, RealMeter::Kind::Sml, nullptr},
    {Profile::Unplugged, RealMeter::Kind::Sml, nullptr},
    {Profile::IecModeC, RealMeter::Kind::IecReadout, "Lesekopf Test 4"},
    {Profile::IecPush, RealMeter::Kind::IecReadout, "Lesekopf Test 3"},
    {Profile::Rs485Iec, RealMeter::Kind::IecReadout, "RS485 Test 2 (Test 3 with --format 8N1)"},
    {Profile::IecModeCIgnoresAck, RealMeter::Kind::IecReadout, nullptr},
    {Profile::IecModeC300Only, RealMeter::Kind::IecReadout, nullptr},
    {Profile::IecModeCHasty, RealMeter::Kind::IecReadout, nullptr},
};

QString playsWithText(RealMeter::Kind kind)
{
    QStringList parts;
    for (const Play &p : kPlays) {
        if (p.kind == kind && p.tests)
            parts << QStringLiteral("%1 (%2)").arg(QLatin1String(profileInfo(p.profile).name), QLatin1String(p.tests));
    }
    return parts.join(QStringLiteral(", "));
}

// "SML", "IEC '5'", "IEC 'C' mode B", each with a word on a failing check.
QString kindText(const RealMeter &m)
{
    switch (m.kind) {
    case RealMeter::Kind::Sml:
        return m.goodCheck ? QStringLiteral("SML") : QStringLiteral("SML, CRC fails");
    case RealMeter::Kind::IecReadout: {
        const char c = m.baudChar();
        return QStringLiteral("IEC '%1'%2%3")
            .arg(QChar(c))
            .arg(c >= '0' && c <= '6' ? QString() : QStringLiteral(" mode B"))
            .arg(m.goodCheck ? QString() : QStringLiteral(", block check fails"));
    }
    case RealMeter::Kind::DecoderData:
        break;
    }
    return QStringLiteral("decoder data");
}

} // namespace

const QVector<RealMeter> &realMeters()
{
    static const QVector<RealMeter> meters = load();
    return meters;
}

const RealMeter *realMeterById(const QString &id)
{
    for (const RealMeter &m : realMeters()) {
        if (m.id == id)
            return &m;
    }
    return nullptr;
}

bool playsWith(const RealMeter &meter, Profile profile)
{
    for (const Play &p : kPlays) {
        if (p.profile == profile)
            return p.kind == meter.kind;
    }
    return false;
}

Profile defaultProfileFor(const RealMeter &meter)
{
    for (const Play &p : kPlays) {
        if (p.kind == meter.kind)
            return p.profile;
    }
    return Profile::Silent;
}

QString realMeterList()
{
    QString text = QStringLiteral(
        "Real meters (--meter ID; played by the first profile of their kind unless --profile names another):\n"
        "  SML frames:   %1\n"
        "  IEC readouts: %2\n"
        "  Decoder data (no identification, no \"!\" or no complete frame) is not replayed.\n")
        .arg(playsWithText(RealMeter::Kind::Sml), playsWithText(RealMeter::Kind::IecReadout));
    for (const RealMeter &m : realMeters())
        text += QStringLiteral("  %1 %2 %3\n").arg(m.id, -34).arg(kindText(m), -31).arg(m.meter);
    return text;
}

} // namespace metersim
