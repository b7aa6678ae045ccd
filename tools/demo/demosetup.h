#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "tools/simulator/metersimulator.h"
#include "app/windowenvironment.h"

// Two simulated meters on pseudo-terminals, presented to the window as an
// FTDI reading head and the maker's RS485 converter.
class DemoSetup
{
public:
    struct Choice
    {
        metersim::Profile headProfile = metersim::Profile::SmlPush;
        QString headRealMeter; // a real meter's id the head profile plays
        metersim::Profile rs485Profile = metersim::Profile::ModbusSlave;
        int edition = -1; // -1: no edition file, the maker's edition
    };

    explicit DemoSetup(const Choice &choice);

    bool start(QString *error);
    WindowEnvironment environment() const;
    QString headPort() const { return head->slavePath(); }
    QString rs485Port() const { return rs485->slavePath(); }
    metersim::MeterSimulator &headMeter() { return *head; } // tests pull it

private:
    std::unique_ptr<metersim::MeterSimulator> head;
    std::unique_ptr<metersim::MeterSimulator> rs485;
    QTemporaryDir editionDir; // never the program's own directory
    int edition;
};
