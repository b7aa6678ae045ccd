#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include "engine/testoutcome.h"

// Every register of the accepted telegram, as the meter sent it, for the
// text listing (--alle-register) and the JSON document.
struct RegisterLine
{
    QString obis;        // "1-0:16.7.0*255" or the IEC address as written
    QJsonValue value;    // scaled number, text, or null when none was sent
    QString valueText;   // the value as shown: exact decimals, text or hex
    QString unit;
    QJsonValue raw;      // SML: the number before scaling, or the octets in hex; IEC: the value text
    QJsonValue scaler;   // null when not sent
    QJsonValue unitCode{QJsonValue::Undefined}; // SML only
    QJsonValue status{QJsonValue::Undefined};   // SML only
};

// The registers of the telegram a test accepted; none for Modbus and for no test.
QList<RegisterLine> registerLines(const TestOutcome *test);

QJsonArray registersJson(const QList<RegisterLine> &lines);
QString registersText(const QList<RegisterLine> &lines);
