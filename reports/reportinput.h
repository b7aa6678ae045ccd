#pragma once

#include <QString>

#include <array>
#include <cstddef>

class QWidget;

// The 20 value labels of the window's value grid, in the order of the
// clipboard's values line.
enum ValueField : std::size_t {
    V180, V181, V182, V280, V281, V282,
    V170, V171, V172, V173, V270, V271, V272, V273,
    V3270, V5270, V7270, V3170, V5170, V7170,
    ValueFieldCount
};

// Object names of the value labels, indexed by ValueField.
constexpr const char *kValueLabelNames[ValueFieldCount] = {
    "L_180_Value", "L_181_Value", "L_182_Value", "L_280_Value", "L_281_Value", "L_282_Value",
    "L_170_Value", "L_171_Value", "L_172_Value", "L_173_Value",
    "L_270_Value", "L_271_Value", "L_272_Value", "L_273_Value",
    "L_3270_Value", "L_5270_Value", "L_7270_Value", "L_3170_Value", "L_5170_Value", "L_7170_Value",
};

// Everything the reports read from the main window, as plain data, so they
// can be built and tested without a window.
struct ReportInput
{
    std::array<QString, ValueFieldCount> values; // texts as displayed
    QString protocol;                            // text of L_Protokoll_Value
    QString log;                                 // plain text of T_Status
    QString resultForPrint;                      // last report text of the worker
    int edition = 0;
};

// Reads the displayed texts from the window's widgets by object name;
// resultForPrint and edition are the window's own members.
ReportInput readReportInput(const QWidget *window, const QString &resultForPrint, int edition);
