#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

struct RunRecord;

// The local time, ISO 8601 with its offset from UTC ("2025-03-01T14:05:09+01:00").
QString isoTimeNow();

// What every document starts with: program, version, time, exit status and,
// when the run ended early, why.
QJsonObject jsonHead(int exitStatus, const QString &error = QString());

// One JSON document for scripts: result word, protocol, port setting, every
// valid value by OBIS code with its unit, every register of the telegram,
// the identification texts, the hint lines and each finding's identifier
// with its test, for mode C the rate of the data message, and per test its
// bytes, hints and findings' identifiers; the report text, and the log lines with their colours. With an
// error text (Ctrl+C, a lost port) it says why the run ended. Compact: one
// line, for one document per reading.
QByteArray jsonReport(const RunRecord &record, int exitStatus, const QString &error = QString(),
                      QJsonDocument::JsonFormat format = QJsonDocument::Indented);

// The document of a run that never started: bad usage, a port that cannot be
// opened (with a hint when the cause is known).
QByteArray jsonError(const QString &error, int exitStatus, const QString &hint = QString());
