#pragma once

#include <QString>

namespace metersim {

// The settings of one end of a serial line: rate and character format.
struct LineFormat
{
    qint32 baud = 9600;
    int dataBits = 8;
    char parity = 'N'; // 'N', 'E', 'O', 'M', 'S'
    int stopBits = 1;

    // Bit times of one character: start, data, parity, stop.
    int bitsPerChar() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
    // Nanoseconds one character occupies on the line.
    qint64 charTimeNs() const { return 1000000000LL * bitsPerChar() / baud; }
    bool sameCharFormat(const LineFormat &o) const
    {
        return dataBits == o.dataBits && parity == o.parity && stopBits == o.stopBits;
    }
    bool operator==(const LineFormat &o) const { return baud == o.baud && sameCharFormat(o); }
    bool operator!=(const LineFormat &o) const { return !(*this == o); }

    // "9600 7E1"
    QString toString() const;
    // "7E1" alone
    QString charFormatString() const;
    // Accepts "7E1", "8N1", optionally preceded by a rate: "300 7E1".
    static bool parse(const QString &text, LineFormat *out);
};

constexpr LineFormat format8N1(qint32 baud) { return LineFormat{baud, 8, 'N', 1}; }
constexpr LineFormat format7E1(qint32 baud) { return LineFormat{baud, 7, 'E', 1}; }
constexpr LineFormat format8E1(qint32 baud) { return LineFormat{baud, 8, 'E', 1}; }

} // namespace metersim
