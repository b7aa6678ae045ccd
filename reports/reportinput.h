#pragma once

#include <QString>

#include <array>
#include <optional>

#include "protocols/meterresult.h"

// Everything the reports read from the main window, as plain data that the
// window fills, so the reports can be built and tested without a window.
struct ReportInput
{
    // The value grid's texts as displayed, by row of kMeterFields; none for
    // the fields the window does not show (tariffs 3 and 4, the phases).
    std::array<std::optional<QString>, kMeterFieldCount> values;
    QString protocol;       // text of the protocol label
    QString log;            // the log as plain text
    QString resultForPrint; // last report text of the worker
    int edition = 0;        // code from the edition file
};
