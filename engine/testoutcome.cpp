#include "engine/testoutcome.h"

#include "engine/testlog.h"

QString PortSetting::text() const
{
    return QStringLiteral("%1 %2%3").arg(baud).arg(dataBits).arg(QLatin1String(parity == Parity::Even ? "E1" : "N1"));
}

int TestOutcome::goodFrames() const
{
    int good = 0;
    for (const CheckedFrame &f : frames)
        good += f.check == FrameCheck::Good;
    return good;
}

int TestOutcome::failedFrames() const
{
    return int(frames.size()) - goodFrames();
}

const TestOutcome *RunOutcome::successfulTest() const
{
    for (const TestOutcome &t : tests)
        if (t.accepted)
            return &t;
    return nullptr;
}

bool RunOutcome::portLost() const
{
    for (const TestOutcome &t : tests)
        if (t.portFailure != PortFailureKind::None)
            return true;
    return false;
}

const char *protocolName(Protocol protocol)
{
    switch (protocol) {
    case Protocol::Sml:
        return protocolname::kSml;
    case Protocol::IecAscii:
        return protocolname::kIecAscii;
    case Protocol::Modbus:
        return protocolname::kModbus;
    }
    return "";
}
