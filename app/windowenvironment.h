#pragma once

#include <QString>
#include <memory>

#include "detection/ftdisource.h"
#include "detection/portenumerator.h"

// What the window takes from the machine it runs on. The defaults are the
// real ones; the demo and the tests hand in simulated ports, adapters and an
// edition directory of their own.
struct WindowEnvironment
{
    std::shared_ptr<PortEnumerator> ports;
    std::shared_ptr<FtdiDeviceSource> ftdiSource;
    QString editionDirectory; // where oem.dat is looked for

    static WindowEnvironment system(); // the program's own directory
};
