#pragma once

#include <QColor>
#include <QString>

struct RunRecord;

// The colour name of a log line, as the worker chose it ("blue", "black",
// "red", "green"); other colours by their #rrggbb name.
QString logColourName(const QColor &colour);

// What the front end writes to the terminal or a pipe. Colour only when
// stdout is a terminal; the progress line only when stderr is one.
class ConsoleOutput
{
public:
    ConsoleOutput(bool colourOnStdout, bool progressOnStderr);

    // Decides both from isatty() of stdout and stderr.
    static ConsoleOutput forTerminals();

    void logLine(const QString &text, const QString &colourName);
    void progress(const QString &text);
    void clearProgress();
    // The result, the value grid, with allRegisters every register of the
    // telegram, the meter's identification and the hints.
    void summary(const RunRecord &record, bool allRegisters);
    // One line of continuous reading: local time, result and the main values.
    void readingLine(const RunRecord &record);
    void stdoutText(const QString &text);
    void stderrLine(const QString &text);

private:
    QString coloured(const QString &text, const QString &colourName) const;
    QString resultWord(const RunRecord &record) const;
    void write(int fd, const QString &text);

    bool colour;
    bool progressShown;
    QString progressText; // what the status line shows now, empty when none
};
