#include "protocols/smlregisters.h"

#include <QtEndian>

#include <cstring>

#include "protocols/smlwalk.h"

namespace {

constexpr quint32 kEscapeWord = 0x1B1B1B1B;
constexpr int kStartSize = 8; // 1B1B1B1B 01010101
constexpr quint64 kGetListResponse = 0x0701;
constexpr int kMaxDepth = 8; // SML nests four deep; more is a broken frame

// Positions of the parts of a message and of a list entry.
constexpr int kMessageBody = 3;
constexpr int kValList = 4;
enum EntryField { kObjName, kStatus, kValTime, kUnit, kScaler, kValue };

enum TlType { kOctets = 0, kBoolean = 4, kInteger = 5, kUnsigned = 6, kList = 7 };

struct Element
{
    int type = 0;
    int length = 0; // list: element count; others: data bytes
    int data = 0;   // first data byte, or the first element of a list
    int end = 0;    // first byte after the element (lists: after the TL bytes only)
};

quint32 wordAt(const char *p)
{
    return qFromUnaligned<quint32>(p);
}

// The message bytes of a frame, with the escapes the transport adds undone.
// Escapes stand on 4-byte boundaries: the sender pads every frame to them.
struct Body
{
    QByteArray bytes;
    int from = 0;
    int end = 0;
};

Body frameBody(const QByteArray &frame)
{
    Body body{frame, 0, int(frame.size())};
    const char *f = frame.constData();
    const int n = frame.size();
    if (n < kStartSize || wordAt(f) != kEscapeWord || wordAt(f + 4) != 0x01010101)
        return body;
    body.from = kStartSize;
    QByteArray unescaped;
    int copiedTo = kStartSize;
    for (int j = kStartSize; j + 4 <= n; j += 4) {
        if (wordAt(f + j) != kEscapeWord)
            continue;
        if (j + 8 <= n && wordAt(f + j + 4) == kEscapeWord) { // an escape in the data
            unescaped.append(f + copiedTo, j + 4 - copiedTo);
            copiedTo = j + 8;
            j += 4;
            continue;
        }
        body.end = j; // the end escape (1A), or one this reader does not know
        break;
    }
    if (copiedTo != kStartSize) {
        unescaped.append(f + copiedTo, body.end - copiedTo);
        body = Body{unescaped, 0, int(unescaped.size())};
    }
    return body;
}

class Reader
{
public:
    Reader(const QByteArray &bytes, int end, SmlRegisters &out)
        : b(reinterpret_cast<const uchar *>(bytes.constData())), n(end), out(out)
    {
    }

    // Reads the TL bytes at pos; false when they or the element's data do not fit.
    bool element(int pos, Element &e) const
    {
        if (pos >= n)
            return false;
        quint8 tl = b[pos];
        if (tl == 0x00) { // end of a message: a one-byte element
            e = Element{kOctets, 0, pos + 1, pos + 1};
            return true;
        }
        e.type = (tl >> 4) & 0x07;
        e.length = tl & 0x0F;
        int tlSize = 1;
        while (tl & 0x80) {
            if (pos + tlSize >= n || tlSize == 4)
                return false;
            tl = b[pos + tlSize++];
            e.length = (e.length << 4) | (tl & 0x0F);
        }
        e.data = pos + tlSize;
        if (e.type == kList) {
            e.end = e.data;
            return true;
        }
        // The length of a scalar counts its TL bytes.
        e.length -= tlSize;
        e.end = e.data + e.length;
        return e.length >= 0 && e.end <= n
            && (e.type == kOctets || e.type == kBoolean || e.type == kInteger || e.type == kUnsigned);
    }

    // The position after the whole element at pos, lists included; -1 when it does not fit.
    int skip(int pos, int depth = 0) const
    {
        Element e;
        if (depth > kMaxDepth || !element(pos, e))
            return -1;
        if (e.type != kList)
            return e.end;
        int p = e.data;
        for (int i = 0; i < e.length && p >= 0; ++i)
            p = skip(p, depth + 1);
        return p;
    }

    quint64 number(const Element &e) const
    {
        return smlUnsignedValue(b + e.data, e.length);
    }

    bool isNumber(const Element &e) const
    {
        return (e.type == kInteger || e.type == kUnsigned) && e.length >= 1 && e.length <= 8;
    }

    // The messages from pos to the end; fill bytes (00) may stand between them.
    void messages(int pos)
    {
        while (pos < n) {
            if (b[pos] == 0x00) {
                ++pos;
                continue;
            }
            Element msg;
            if (!element(pos, msg) || msg.type != kList)
                return;
            int p = msg.data;
            for (int i = 0; i < msg.length && p >= 0; ++i) {
                if (i == kMessageBody && !messageBody(p))
                    return;
                p = skip(p, 1);
            }
            if (p < 0)
                return;
            pos = p;
        }
    }

private:
    // The body: a tag and, for a GetList response, its list of values.
    bool messageBody(int pos)
    {
        Element body, tag, response;
        if (!element(pos, body) || body.type != kList || body.length != 2 || !element(body.data, tag))
            return false;
        if (!isNumber(tag) || number(tag) != kGetListResponse)
            return true;
        if (!element(tag.end, response) || response.type != kList)
            return false;
        int p = response.data;
        for (int i = 0; i < kValList && i < response.length && p >= 0; ++i)
            p = skip(p, 3);
        Element list;
        if (response.length <= kValList || p < 0 || !element(p, list) || list.type != kList)
            return false;
        p = list.data;
        for (int i = 0; i < list.length && p >= 0; ++i) {
            if (!entry(p))
                return false;
            p = skip(p, 4);
        }
        return p >= 0;
    }

    bool entry(int pos)
    {
        Element entry;
        if (!element(pos, entry) || entry.type != kList)
            return false;
        SmlRegister r;
        int p = entry.data;
        for (int i = 0; i < entry.length && i <= kValue; ++i) {
            Element e;
            if (!element(p, e))
                return false;
            field(i, e, r);
            p = skip(p, 5);
            if (p < 0)
                return false;
        }
        out.registers.append(r);
        return true;
    }

    void field(int index, const Element &e, SmlRegister &r) const
    {
        switch (index) {
        case kObjName:
            r.obisSize = qMin(e.type == kOctets ? e.length : 0, 6);
            std::memcpy(r.obis, b + e.data, std::size_t(r.obisSize));
            break;
        case kStatus:
            r.hasStatus = isNumber(e);
            r.status = r.hasStatus ? number(e) : 0;
            break;
        case kUnit:
            r.unitCode = isNumber(e) ? int(number(e) & 0xFF) : -1;
            break;
        case kScaler:
            r.hasScaler = isNumber(e);
            r.scaler = r.hasScaler ? qint8(number(e)) : 0;
            break;
        case kValue:
            value(e, r);
            break;
        default: // the time stamp is skipped
            break;
        }
    }

    void value(const Element &e, SmlRegister &r) const
    {
        if (e.type == kOctets) {
            // 01, an empty octet string, is how SML leaves an optional value out.
            r.kind = e.length == 0 ? SmlValueKind::None : SmlValueKind::Octets;
            r.octets = ByteSpan{e.data, e.length};
        } else if (e.type == kBoolean && e.length == 1) {
            r.kind = SmlValueKind::Boolean;
            r.signedValue = b[e.data] != 0;
        } else if (isNumber(e)) {
            r.unsignedValue = number(e);
            r.signedValue = smlSignedValue(b + e.data, e.length);
            r.kind = e.type == kInteger ? SmlValueKind::Signed : SmlValueKind::Unsigned;
        } else {
            r.kind = SmlValueKind::Other;
        }
    }

    const uchar *b;
    const int n;
    SmlRegisters &out;
};

struct DlmsUnit
{
    int code;
    const char *name;
};

// IEC 62056-62, the codes SML uses for its units.
constexpr DlmsUnit kDlmsUnits[] = {
    {1, "a"},      {2, "mo"},     {3, "wk"},     {4, "d"},      {5, "h"},      {6, "min"},    {7, "s"},
    {8, "°"},      {9, "°C"},     {10, "currency"}, {11, "m"},  {12, "m/s"},   {13, "m³"},    {14, "m³"},
    {15, "m³/h"},  {16, "m³/h"},  {17, "m³/d"},  {18, "m³/d"},  {19, "l"},     {20, "kg"},    {21, "N"},
    {22, "Nm"},    {23, "Pa"},    {24, "bar"},   {25, "J"},     {26, "J/h"},   {27, "W"},     {28, "VA"},
    {29, "var"},   {30, "Wh"},    {31, "VAh"},   {32, "varh"},  {33, "A"},     {34, "C"},     {35, "V"},
    {36, "V/m"},   {37, "F"},     {38, "Ω"},     {39, "Ωm²/m"}, {40, "Wb"},    {41, "T"},     {42, "A/m"},
    {43, "H"},     {44, "Hz"},    {45, "1/(Wh)"}, {46, "1/(varh)"}, {47, "1/(VAh)"}, {48, "V²h"}, {49, "A²h"},
    {50, "kg/s"},  {51, "S"},     {52, "K"},     {53, "1/(V²h)"}, {54, "1/(A²h)"}, {55, "1/m³"}, {56, "%"},
    {57, "Ah"},    {60, "Wh/m³"}, {61, "J/m³"},  {62, "Mol %"}, {63, "g/m³"},  {64, "Pa s"},  {65, "J/kg"},
    {70, "dBm"},   {71, "dBµV"},  {72, "dB"},
};

} // namespace

SmlRegisters listSmlRegisters(const QByteArray &frame)
{
    const Body body = frameBody(frame);
    SmlRegisters out;
    out.body = body.bytes;
    out.registers.reserve(32);
    Reader(out.body, body.end, out).messages(body.from);
    return out;
}

const char *dlmsUnitName(int unitCode)
{
    for (const DlmsUnit &u : kDlmsUnits) {
        if (u.code == unitCode)
            return u.name;
    }
    return "";
}
