#include "reports/clipboardexport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QStringList>

#include "reports/reportinput.h"

QString valuesLine(const ReportInput &input)
{
    // The grid lists its fields in the order of the record, so the line does.
    QStringList fields;
    for (const std::optional<QString> &value : input.values)
        if (value)
            fields << *value;
    return fields.join(QLatin1Char('\t'));
}

void copyLogToClipboard(const ReportInput &input)
{
    QGuiApplication::clipboard()->setText(input.log, QClipboard::Clipboard);
}

void copyValuesToClipboard(const ReportInput &input)
{
    QGuiApplication::clipboard()->setText(valuesLine(input), QClipboard::Clipboard);
}
