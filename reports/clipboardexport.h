#pragma once

#include <QString>

struct ReportInput;

// The displayed values joined by tabs, in the order of the record's fields:
// one spreadsheet row, no header, no line end.
QString valuesLine(const ReportInput &input);

// Both replace the text of the standard clipboard (not the selection).
void copyLogToClipboard(const ReportInput &input);
void copyValuesToClipboard(const ReportInput &input);
