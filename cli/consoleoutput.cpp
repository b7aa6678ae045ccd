#include "cli/consoleoutput.h"

#include <unistd.h>

#include <QDateTime>

#include "cli/registerlines.h"
#include "cli/runrecord.h"
#include "engine/testlog.h"
#include "cli/valuetable.h"

namespace {

struct TerminalColour
{
    const char *name;
    const char *escape; // nullptr: the terminal's own text colour
};

// Black is left to the terminal: on a dark background it would vanish.
constexpr TerminalColour kTerminalColours[] = {
    {logcolour::kHeading, "\033[34m"},
    {logcolour::kReceived, nullptr},
    {logcolour::kError, "\033[31m"},
    {logcolour::kGood, "\033[32m"},
};

// What one line of continuous reading shows: energies and total power.
constexpr double meter_result_t::*kReadingValues[] = {
    &meter_result_t::Value_180, &meter_result_t::Value_280, &meter_result_t::Value_170, &meter_result_t::Value_270};

constexpr const char *kReset = "\033[0m";
constexpr const char *kClearLine = "\r\033[K";

// Received text goes to the terminal as lines: CR LF becomes a line break,
// and other control characters (STX, ETX, an ESC in meter data) become dots
// so that they can neither hide text nor drive the terminal.
QString forTerminal(QString text, bool keepLineBreaks = true)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    for (QChar &c : text) {
        if ((c != QLatin1Char('\n') || !keepLineBreaks) && (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format))
            c = QLatin1Char('.');
    }
    return text;
}

} // namespace

QString logColourName(const QColor &colour)
{
    for (const TerminalColour &c : kTerminalColours) {
        if (QColor(QLatin1String(c.name)) == colour)
            return QString::fromLatin1(c.name);
    }
    return colour.name();
}

ConsoleOutput::ConsoleOutput(bool colourOnStdout, bool progressOnStderr)
    : colour(colourOnStdout), progressShown(progressOnStderr)
{
}

ConsoleOutput ConsoleOutput::forTerminals()
{
    return ConsoleOutput(::isatty(STDOUT_FILENO) == 1, ::isatty(STDERR_FILENO) == 1);
}

QString ConsoleOutput::coloured(const QString &text, const QString &colourName) const
{
    if (!colour)
        return text;
    for (const TerminalColour &c : kTerminalColours) {
        if (c.escape && colourName == QLatin1String(c.name))
            return QString::fromLatin1(c.escape) + text + QString::fromLatin1(kReset);
    }
    return text;
}

void ConsoleOutput::write(int fd, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n <= 0)
            return; // a closed pipe: nothing left to tell
        done += n;
    }
}

void ConsoleOutput::logLine(const QString &text, const QString &colourName)
{
    // The status line may share the terminal: take it away, write, put it back.
    const QString shown = progressText;
    clearProgress();
    stdoutText(coloured(forTerminal(text), colourName) + QLatin1Char('\n'));
    if (!shown.isEmpty())
        progress(shown);
}

void ConsoleOutput::progress(const QString &text)
{
    if (!progressShown)
        return;
    progressText = text;
    write(STDERR_FILENO, QString::fromLatin1(kClearLine) + text);
}

void ConsoleOutput::clearProgress()
{
    if (!progressShown || progressText.isEmpty())
        return;
    progressText.clear();
    write(STDERR_FILENO, QString::fromLatin1(kClearLine));
}

void ConsoleOutput::stdoutText(const QString &text)
{
    write(STDOUT_FILENO, text);
}

void ConsoleOutput::stderrLine(const QString &text)
{
    clearProgress();
    write(STDERR_FILENO, text + QLatin1Char('\n'));
}

QString ConsoleOutput::resultWord(const RunRecord &record) const
{
    return coloured(record.ergebnis, QString::fromLatin1(record.successful() ? logcolour::kGood : logcolour::kError));
}

void ConsoleOutput::summary(const RunRecord &record, bool allRegisters)
{
    clearProgress();
    QString out = QStringLiteral("\nTest Status: ") + resultWord(record) + QStringLiteral("\nProtokoll:   ") +
                  record.protokoll + QStringLiteral("\nBaudrate:    ") + record.baud + QLatin1Char('\n');
    const TestOutcome *shown = record.shownTest();
    if (shown && shown->dataRate > 0)
        out += QStringLiteral("Datenrate:   %1 Baud\n").arg(shown->dataRate);
    const QString modbus = record.modbusAddress();
    if (!modbus.isEmpty())
        out += QStringLiteral("Modbus:      ") + modbus + QLatin1Char('\n');

    QString values;
    for (const SummaryValueLine &line : kSummaryValueLines) {
        const MeterField &field = kMeterFields[line.field];
        if (!(record.values.*field.valid))
            continue;
        const QString unit = unitOf(field, record.sml());
        values += QStringLiteral("  %1 %2 %3")
                      .arg(obisCode(field, record.sml()), -8)
                      .arg(QString::fromUtf8(line.label), -30)
                      .arg(formattedValue(field, record.values.*field.value), 16) +
                  (unit.isEmpty() ? QString() : QLatin1Char(' ') + unit) + QLatin1Char('\n');
    }
    if (!values.isEmpty())
        out += QStringLiteral("\nWerte:\n") + values;
    const QList<RegisterLine> registers = allRegisters ? registerLines(shown) : QList<RegisterLine>();
    if (!registers.isEmpty())
        out += QStringLiteral("\nAlle Register, wie gesendet:\n") + forTerminal(registersText(registers));

    QString idents;
    for (const IdentText &t : kIdentTexts) {
        if (!(record.values.*t.text).isEmpty())
            idents += QStringLiteral("  %1: %2\n").arg(QString::fromUtf8(t.label), forTerminal(identShown(record, t), false));
    }
    if (!idents.isEmpty())
        out += QStringLiteral("\nZähler:\n") + idents;
    if (!record.hints.isEmpty())
        out += QLatin1Char('\n');
    for (const QString &hint : record.hints)
        out += QStringLiteral("Hinweis: ") + hint + QLatin1Char('\n');
    stdoutText(out);
}

void ConsoleOutput::readingLine(const RunRecord &record)
{
    clearProgress();
    QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss  ")) + resultWord(record);
    for (double meter_result_t::*value : kReadingValues) {
        const MeterField &field = *meterField(value);
        if (record.values.*field.valid)
            line += QStringLiteral("  %1 %2 %3").arg(obisCode(field, record.sml()),
                                                     formattedValue(field, record.values.*field.value),
                                                     unitOf(field, record.sml()));
    }
    stdoutText(line + QLatin1Char('\n'));
}
