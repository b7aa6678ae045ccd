#include "tests/engine/enginerig.h"

#include <QColor>
#include <QRegularExpression>

SignalRecorder::SignalRecorder(serialclass &w)
{
    connect(&w, &serialclass::signalUpdateStatusText, this, [this](const QString &text, const QColor &c) {
        QString colour = c.name();
        for (const char *name : {"blue", "black", "red", "green"})
            if (QColor(QLatin1String(name)) == c)
                colour = QLatin1String(name);
        add(colour + QStringLiteral(": ") + text);
    });
    connect(&w, &serialclass::signalConnectSerial_Success, this, [this] { ++connectAnswers; });
    connect(&w, &serialclass::signalConnectSerial_Fail, this, [this](const QString &t) {
        ++connectAnswers;
        add("connect failed: " + t);
    });
    connect(&w, &serialclass::signalUpdateStatuBar, this, [this](const QString &t) { add("status: " + t); });
    connect(&w, &serialclass::signalUpdateResultForPrint, this, [this](const QString &t) { add("print: " + t); });
    connect(&w, &serialclass::signalUpdateParserErgebnis, this, [this](const meter_result_t &r) {
        records << r;
        add(QStringLiteral("values"));
    });
    connect(&w, &serialclass::signalUpdateErgebnis, this, [this](const QString &e, const QString &p, const QString &b) {
        add(QStringLiteral("result: %1 | %2 | %3").arg(e, p, b));
    });
    connect(&w, &serialclass::signalTestFinished, this, [this] {
        ++finished;
        add(QStringLiteral("finished"));
    });
}

void SignalRecorder::add(const QString &line)
{
    static const QRegularExpression count(QStringLiteral("^(status: .* Lese Bytes: )(\\d+)$"));
    const QRegularExpressionMatch m = count.match(line);
    if (m.hasMatch())
        counts << m.captured(2).toInt();
    const QString shown = m.hasMatch() ? m.captured(1) + '#' : line;
    if (!m.hasMatch() || lines.isEmpty() || lines.last() != shown)
        lines << shown;
}

QString hex(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); }

QString validValues(const meter_result_t &record)
{
    QStringList parts;
    for (const MeterField &f : kMeterFields)
        if (record.*(f.valid))
            parts << QStringLiteral("%1=%2").arg(QLatin1String(f.name)).arg(record.*(f.value), 0, 'g', 10);
    return parts.join(QLatin1Char(' '));
}
