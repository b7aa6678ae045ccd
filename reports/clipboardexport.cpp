#include "reports/clipboardexport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QStringList>

#include "reports/reportinput.h"

QString valuesLine(const ReportInput &input)
{
    QStringList fields;
    for (const QString &value : input.values)
        fields << value;
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
