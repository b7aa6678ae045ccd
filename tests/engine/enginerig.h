#pragma once

// The worker's answers as lines, for the engine and real-meter tests.

#include <QObject>
#include <QStringList>
#include <QVector>

#include "tools/simulator/metersimulator.h"
#include "engine/serialclass.h"

// Every answer of the worker as one line, in the order emitted:
//   "blue: Test 1 mit Baud 9600 8N1 unidirektional:"   (log line and colour)
//   "status: Test 1 von 4 - Bitte warten!"   "print: 1B1B1B1B..."   "values"
//   "result: erfolgreich | SML | 9600 8N1"   "finished"   "connect failed: No such file or directory"
// A run of byte counts ("... Lese Bytes: 123") folds into one "... Lese Bytes: #",
// whatever chunks the bytes came in; the counts are kept apart.
class SignalRecorder : public QObject
{
public:
    explicit SignalRecorder(serialclass &worker);

    QStringList lines;
    QVector<meter_result_t> records;
    QList<int> counts;
    int finished = 0;
    int connectAnswers = 0;

private:
    void add(const QString &line);
};

QString hex(const QByteArray &bytes);
// "180=607.4471 280=1266.7286": the valid values of a record in field order.
QString validValues(const meter_result_t &record);
