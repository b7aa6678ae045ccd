#pragma once

#include <QByteArray>
#include <QString>

#include "engine/testlink.h"

class parserclass;
class TestLog;

// Steps of the reading head's tests that the chain and the fast chain share.

// The fixed SML request frame.
QByteArray smlRequestFrame();

// The sign-on of mode C: "/?", the device address, "!" CR LF.
QByteArray signOnRequest(const QString &deviceAddress);

// Time a number of 7E1 characters (10 bits) take on the wire.
constexpr int kBitsPerCharacter = 10; // start, 7 data, parity, stop
constexpr int onWireMs(int characters, qint32 rate)
{
    return characters * kBitsPerCharacter * 1000 / rate;
}

// The identification line is complete on CR LF, unless it is the echo of our
// own request, which ends in "!" CR LF.
bool identificationComplete(const QByteArray &buffer);

// Finds the meter's identification and records it for the outcome; -1 when
// none came.
int recordIdentification(const TestLog &log, const QByteArray &buffer);

// Acknowledges the rate the identification offers (at most 9600 Bd) and
// switches the port once the acknowledgement has left the wire; the rate of
// the data message.
qint32 acknowledgeAndSwitch(TestLink &link, const TestLog &log, char offeredRate);

// Judges the data message of a sign-on (identification, block, block check)
// and passes it on; true when it holds an energy register.
bool judgeSignOnReadout(const parserclass &parser, const TestLog &log, const QByteArray &buffer);
