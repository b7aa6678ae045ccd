#include "protocols/parserclass.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "protocols/iecreadout.h"

namespace {

// The first occurrence of key in [from, end), or null. Not memmem: that is
// glibc's, and the program must build on Windows too.
const char *findBytes(const char *from, const char *end, const char *key, size_t keyLength)
{
    const char *hit = std::search(from, end, std::boyer_moore_horspool_searcher(key, key + keyLength));
    return hit == end ? nullptr : hit;
}

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isNumberText(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (!isDigit(c) && c != ',' && c != '.' && c != '-' && c != '+')
            return false;
    }
    return true;
}

// A key that starts with a digit must not match inside a longer address
// ("1.7.0" in "21.7.0"); keys that start with ":" or a letter are anchored by
// that character already and may follow the "0" of "1-0".
int findKey(const QByteArray &text, const char *key, int keyLength)
{
    const bool digitLed = isDigit(key[0]);
    const char *begin = text.constData();
    const char *from = begin;
    const char *end = begin + text.size();
    for (;;) {
        const char *hit = findBytes(from, end, key, size_t(keyLength));
        if (!hit)
            return -1;
        const int pos = int(static_cast<const char *>(hit) - begin);
        if (pos == 0 || !digitLed || !isDigit(begin[pos - 1]))
            return pos;
        from = begin + pos + 1;
    }
}

bool removeAll(QByteArray &text, const char *what)
{
    if (!text.contains(what))
        return false;
    text.replace(what, "");
    return true;
}

bool unitAllowed(const IecBareUnit &u, IecGroup group)
{
    switch (group) {
    case IecGroup::Energy: return u.energy;
    case IecGroup::VoltageCurrent: return u.voltageCurrent;
    case IecGroup::Power: return u.power;
    case IecGroup::Identification: break;
    }
    return false;
}

// Strips the unit notations the meters write after the number; returns the
// factor that brings the value into the unit of the record.
double stripUnits(QByteArray &value, IecGroup group)
{
    double factor = 1.0;
    if (removeAll(value, "*Wh"))
        factor = 0.001;
    for (const char *prefix : {"255(", "00(", "65("})
        removeAll(value, prefix);
    removeAll(value, "*kWh");
    removeAll(value, " kWh");
    if (group == IecGroup::Power) {
        if (removeAll(value, "*kW"))
            factor = 1000.0;
        if (removeAll(value, "*W"))
            factor = 1.0;
    }
    if (group == IecGroup::VoltageCurrent) {
        removeAll(value, "*V");
        removeAll(value, "*A");
    }
    // Some meters glue the unit to the number ("010192.57kWh"); such a value
    // would fail the numeric test, so only then is the bare unit taken off.
    if (!isNumberText(value)) {
        for (const IecBareUnit &u : kIecBareUnits) {
            if (!unitAllowed(u, group) || !value.endsWith(u.unit))
                continue;
            const QByteArray number = value.left(value.size() - int(std::strlen(u.unit)));
            if (isNumberText(number)) {
                value = number;
                factor = u.factor;
            }
            break;
        }
    }
    return factor;
}

// Address and replacement have the same length, so the text is changed in
// place, left to right, like QByteArray::replace but without its matcher.
void maskAddress(QByteArray &text, bool meter_result_t::*valid)
{
    for (const IecMask &m : kIecMasks) {
        if (m.valid != valid)
            continue;
        const size_t length = std::strlen(m.address);
        char *from = text.data();
        char *const end = from + text.size();
        while (char *hit = const_cast<char *>(findBytes(from, end, m.address, length))) {
            std::memcpy(hit, m.replacement, length);
            from = static_cast<char *>(hit) + length;
        }
    }
}

// Totals the telegram did not carry, formed from their parts. A power total
// read as 0.0 counts as missing too.
#define FIELD(suffix) meterField(&meter_result_t::Value_##suffix)
constexpr DerivedTotal kIecTotals[] = {
    { FIELD(170), DerivedTotal::Zero, { FIELD(171), FIELD(172), FIELD(173) } },
    { FIELD(270), DerivedTotal::Unflagged, { FIELD(271), FIELD(272), FIELD(273) } },
    { FIELD(180), DerivedTotal::Unflagged, { FIELD(181), FIELD(182), FIELD(183), FIELD(184) } },
    { FIELD(280), DerivedTotal::Unflagged, { FIELD(281), FIELD(282) } },
};
#undef FIELD

} // namespace

bool iecReadNumber(const QByteArray &text, double *value)
{
    const int n = text.size();
    int i = 0;
    if (i < n && (text.at(i) == '+' || text.at(i) == '-'))
        ++i;
    int digits = 0;
    for (; i < n && isDigit(text.at(i)); ++i)
        ++digits;
    if (i < n && text.at(i) == '.') {
        for (++i; i < n && isDigit(text.at(i)); ++i)
            ++digits;
    }
    if (i != n || digits == 0)
        return false;
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

meter_result_t parserclass::decodeObisAscii(QString telegram) const
{
    meter_result_t r = clearedMeterResult();
    QByteArray text = telegram.toUtf8();

    for (const IecKey &k : kIecKeys) {
        const int keyLength = int(std::strlen(k.key));
        const int pos = findKey(text, k.key, keyLength);
        if (pos < 0)
            continue;
        if (k.maker) {
            r.Text_Maker = QString::fromLatin1(k.maker->maker);
            r.Text_Ident = QString::fromLatin1(k.maker->model);
        }
        const bool opensValue = k.key[keyLength - 1] == '(';
        const int start = pos + keyLength + (opensValue ? 0 : 1);
        if (start > text.size()) {
            r.ParseError = 1;
            break;
        }
        if (!k.value)
            continue;
        int end = text.indexOf(')', start);
        if (end < 0)
            end = text.size();
        QByteArray value = text.mid(start, end - start);
        const double factor = stripUnits(value, k.group);
        // Text that passes the numeric test but reads as no number (a decimal
        // comma is a "." with a flipped bit, two points, a lone sign) stores
        // nothing: a made-up 0.0 would show as a good reading.
        double number = 0.0;
        if (!isNumberText(value) || !iecReadNumber(value, &number) || !std::isfinite(number * factor))
            continue;
        if (r.*k.value != 0.0)
            continue;
        r.*k.value = number * factor;
        r.*k.valid = true;
        if (k.group == IecGroup::VoltageCurrent)
            maskAddress(text, k.valid);
    }

    deriveTotals(r, kIecTotals, std::size(kIecTotals));
    return r;
}

char parserclass::calcBcc(const QByteArray &data) const
{
    // The index is a full int: a 16-bit one would wrap and never end on an
    // array of 64 KiB or more.
    const int n = data.size();
    int i = 0;
    for (; i < n && data.at(i) != kStx; ++i) {
        if (data.at(i) == kEtx)
            return 0;
    }
    char bcc = 0;
    for (++i; i < n; ++i) {
        bcc ^= data.at(i);
        if (data.at(i) == kEtx)
            break;
    }
    return bcc;
}

bool parserclass::containsEnergyRegister(const QString &text) const
{
    const QByteArray bytes = text.toUtf8();
    for (const char *address : kIecEnergyRegisters) {
        if (bytes.contains(address))
            return true;
    }
    return false;
}

bool parserclass::isNumber(const QString &text) const
{
    return isNumberText(text.toUtf8());
}
