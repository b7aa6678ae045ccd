#include "reports/reportinput.h"

#include <QLabel>
#include <QLatin1String>
#include <QTextEdit>
#include <QWidget>

namespace {

QString labelText(const QWidget *window, const char *name)
{
    const QLabel *label = window->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QString();
}

} // namespace

ReportInput readReportInput(const QWidget *window, const QString &resultForPrint, int edition)
{
    ReportInput input;
    for (std::size_t i = 0; i < ValueFieldCount; ++i)
        input.values[i] = labelText(window, kValueLabelNames[i]);
    input.protocol = labelText(window, "L_Protokoll_Value");
    if (const QTextEdit *log = window->findChild<QTextEdit *>(QStringLiteral("T_Status")))
        input.log = log->toPlainText();
    input.resultForPrint = resultForPrint;
    input.edition = edition;
    return input;
}
