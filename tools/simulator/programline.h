#pragma once

#include "tools/simulator/lineformat.h"

#include <QString>

namespace metersim {

// Where the simulator learnt the program's character format from.
enum class FormatSource {
    TestBedInProcess, // the test bed is linked into this process
    TestBedRecord,    // the test bed of another process left a record
    AssumedMeterFormat, // no test bed: the meter's own format counts as set
};

QString formatSourceName(FormatSource source);

// The program's end of the line as seen from the master side: the rate from
// the pty itself, the character format from the test bed (the pty driver
// forces 8N1 and cannot tell).
class ProgramLine
{
public:
    ProgramLine(int masterFd, QString slavePath);

    // Forgets whatever an earlier pty of the same name left behind.
    void forgetRecords() const;
    LineFormat current(const LineFormat &meterFormat);
    FormatSource lastSource() const { return source; }

    static bool testBedInProcess();
    // 0 when the speed constant is unknown.
    static qint32 baudOfSpeed(unsigned speed);

private:
    int masterFd;
    QString slavePath;
    FormatSource source = FormatSource::AssumedMeterFormat;
};

} // namespace metersim
