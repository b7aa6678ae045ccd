#include "tools/simulator/options.h"

#include "tools/simulator/profiles.h"

#include <QJsonArray>

#include <cstring>

namespace metersim {

namespace {

bool numberList(const QJsonValue &value, QSet<int> *out)
{
    if (!value.isArray())
        return false;
    for (const QJsonValue &n : value.toArray()) {
        if (!n.isDouble() || n.toInt() < 1)
            return false;
        out->insert(n.toInt());
    }
    return true;
}

bool faults(const QJsonValue &value, QMap<quint16, ModbusFault> *out)
{
    const QJsonObject map = value.toObject();
    for (auto it = map.begin(); it != map.end(); ++it) {
        bool ok = false;
        const uint first = it.key().toUInt(&ok, 16);
        const int fault = modbusFaultNames().indexOf(it.value().toString());
        if (!ok || first > 0xFFFF || fault < 0)
            return false;
        out->insert(quint16(first), ModbusFault(fault));
    }
    return value.isObject();
}

bool registers(const QJsonValue &value, QMap<quint16, quint16> *out)
{
    const QJsonObject map = value.toObject();
    for (auto it = map.begin(); it != map.end(); ++it) {
        bool registerOk = false;
        bool valueOk = false;
        const uint reg = it.key().toUInt(&registerOk, 16);
        const uint word = it.value().toString().toUInt(&valueOk, 16);
        if (!registerOk || !valueOk || reg > 0xFFFF || word > 0xFFFF)
            return false;
        out->insert(quint16(reg), quint16(word));
    }
    return value.isObject() && !map.isEmpty();
}

// The named settings that are no plain whole number; false for a bad value.
bool applyOther(const QString &key, const QJsonValue &v, Profile profile, Options *o)
{
    if (key == QLatin1String("baudChar")) {
        const QString c = v.toString();
        o->baudChar = c.size() == 1 ? c.at(0).toLatin1() : '\0';
        return c.size() == 1 && c.at(0).unicode() <= 0x7E;
    }
    if (key == QLatin1String("address") || key == QLatin1String("realMeter")) {
        (key == QLatin1String("address") ? o->address : o->realMeter) = v.toString();
        return v.isString();
    }
    if (key == QLatin1String("echo") || key == QLatin1String("usbAdapter")
        || key == QLatin1String("addressRequired")) {
        (key == QLatin1String("echo") ? o->echo : key == QLatin1String("usbAdapter") ? o->usbAdapter
                                                                                   : o->addressRequired) = v.toBool();
        return v.isBool();
    }
    if (key == QLatin1String("lost"))
        return numberList(v, &o->lostEchoes);
    if (key == QLatin1String("damaged"))
        return numberList(v, &o->damagedEchoes);
    if (key == QLatin1String("format")) {
        // A bare character format keeps the profile's own rate.
        LineFormat f = createMeter(profile, Options{})->initialFormat();
        const bool ok = LineFormat::parse(v.toString(), &f);
        o->format = f;
        return ok;
    }
    if (key == QLatin1String("telegram") || key == QLatin1String("identification")) {
        const QByteArray hex = v.toString().toLatin1();
        QByteArray &bytes = key == QLatin1String("telegram") ? o->telegram : o->identification;
        bytes = QByteArray::fromHex(hex);
        return !bytes.isEmpty() && bytes.size() * 2 == hex.size();
    }
    if (key == QLatin1String("registers"))
        return registers(v, &o->registers);
    if (key == QLatin1String("seed")) {
        o->seed = quint32(v.toInt(-1));
        return v.toInt(-1) >= 0;
    }
    if (key == QLatin1String("slave")) {
        o->slaveAddress = quint8(v.toInt(-1));
        return v.toInt(-1) >= 0 && v.toInt(-1) <= 255;
    }
    if (key == QLatin1String("faults"))
        return faults(v, &o->modbusFaults);
    return false;
}

const NumberField *numberField(const char *name)
{
    for (const NumberField &f : kNumberFields) {
        if (std::strcmp(f.name, name) == 0)
            return &f;
    }
    return nullptr;
}

} // namespace

QStringList modbusFaultNames()
{
    return {QStringLiteral("no-answer"), QStringLiteral("wrong-crc"), QStringLiteral("one-byte"),
            QStringLiteral("cut"),       QStringLiteral("exception"), QStringLiteral("in-pieces")};
}

bool applyJson(const QJsonObject &json, Profile profile, Options *options, QString *error)
{
    for (auto it = json.begin(); it != json.end(); ++it) {
        const QByteArray key = it.key().toLatin1();
        const QJsonValue v = it.value();
        bool ok = false;
        if (const NumberField *f = numberField(key.constData())) {
            ok = v.isDouble() && v.toDouble() == v.toInt() && v.toInt() >= f->min && v.toInt() <= f->max;
            options->*(f->field) = v.toInt();
            // As on the command line: the adapter's timer or packet size means the adapter.
            if (f->field == &Options::usbLatencyMs || f->field == &Options::usbPacketBytes)
                options->usbAdapter = true;
        } else {
            ok = applyOther(it.key(), v, profile, options);
        }
        if (!ok) {
            if (error)
                *error = QStringLiteral("bad or unknown simulator option \"%1\"").arg(it.key());
            return false;
        }
    }
    return true;
}

} // namespace metersim
