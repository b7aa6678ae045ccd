#pragma once

#include <QByteArray>

#include "reportserver/logreader.h"

// A test's telegram as a file that viviv-metersim --meter-file replays as
// that meter. JSON, one object:
//   "viviv-meter": 1                 the format's version
//   "manufacturer", "model"          as the user typed them
//   "test", "protocol", "portSetting" the test's heading, "SML", "9600 8N1"
//   "profile"                        the simulator profile, "sml-push", ...
//   "options"                        simulator settings by their names:
//       "format" ("9600 8N1"), "telegram" (hexadecimal), for IEC 62056-21
//       "identification" (hexadecimal) and "baudChar", for Modbus RTU
//       "slave" and "registers" ({"4000": "0001", ...}, hexadecimal).
// Empty when the test has no telegram to replay.
QByteArray meterFile(const ReadReport &report, const ReadTest &test);
