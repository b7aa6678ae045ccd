#pragma once

#include <QByteArray>
#include <QVector>

// libsml, a parser written by others, read as an independent oracle: the
// numbers of every list entry of the get-list responses in one frame.
struct LibsmlValue
{
    QByteArray obis; // 6 bytes
    double number;   // the value as libsml reads it, before the scaler
    int scaler;
    int unit;        // -1: none
};

struct LibsmlReading
{
    bool accepted = false; // open, get-list and close response parsed
    QVector<LibsmlValue> values;
};

// Parses the bytes between the start and end escape of a transport frame.
LibsmlReading readWithLibsml(const QByteArray &frame);
