#pragma once

// The real meters' telegrams of testdata/meters, as the simulator replays
// them: only the meter's part, without any echo of the request or of the
// acknowledgement that the source kept in front of the meter's answer.

#include "tools/simulator/profiles.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace metersim {

struct RealMeter
{
    enum class Kind {
        Sml,          // one SML transport frame
        IecReadout,   // identification line and data up to "!"
        DecoderData,  // no identification, no "!" or no frame: not replayed
    };
    QString id;
    QString meter; // maker and model
    Kind kind = Kind::DecoderData;
    QByteArray sml;            // the frame
    QByteArray identification; // "/" through its line end
    QByteArray data;           // everything after the identification
    bool goodCheck = false;    // SML frame CRC or IEC block check agrees

    // The baud-rate character of the identification (IEC only).
    char baudChar() const { return identification.size() > 4 ? identification.at(4) : '0'; }
};

// Every corpus entry, in corpus order (SML first).
const QVector<RealMeter> &realMeters();
const RealMeter *realMeterById(const QString &id);

// Whether the profile can play the meter's telegrams, and the one it plays
// with when none is named.
bool playsWith(const RealMeter &meter, Profile profile);
Profile defaultProfileFor(const RealMeter &meter);

// "  id  maker model  what it suits" lines for --help.
QString realMeterList();

} // namespace metersim
