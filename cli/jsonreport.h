#pragma once

#include <QByteArray>

struct RunRecord;

// One JSON document for scripts: result word, protocol, port setting, every
// valid value by OBIS code with its unit, the identification texts, the
// received telegram as the report text, and the log lines with their colours.
QByteArray jsonReport(const RunRecord &record);
