#include "enginerig.h"

#include <QColor>
#include <QDebug>
#include <QElapsedTimer>
#include <QMap>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

const char *const kColourNames[] = {"blue", "black", "red", "green"};

QString colourName(const QColor &c)
{
    for (const char *name : kColourNames)
        if (QColor(QLatin1String(name)) == c)
            return QLatin1String(name);
    return c.name();
}

const QRegularExpression &byteCountPattern()
{
    static const QRegularExpression re(QStringLiteral("^status: (.* Lese Bytes: )(\\d+)$"));
    return re;
}

} // namespace

SignalRecorder::SignalRecorder(serialclass &worker)
{
    connect(&worker, &serialclass::signalUpdateStatusText, this,
            [this](const QString &text, const QColor &colour) { lines << colourName(colour) + QStringLiteral(": ") + text; });
    connect(&worker, &serialclass::signalUpdateStatuBar, this,
            [this](const QString &text) { lines << QStringLiteral("status: ") + text; });
    connect(&worker, &serialclass::signalUpdateResultForPrint, this,
            [this](const QString &text) { lines << QStringLiteral("print: ") + text; });
    connect(&worker, &serialclass::signalUpdateParserErgebnis, this, [this](const meter_result_t &r) {
        lines << QStringLiteral("values");
        records << r;
    });
    connect(&worker, &serialclass::signalUpdateErgebnis, this,
            [this](const QString &e, const QString &p, const QString &b) {
                lines << QStringLiteral("result: %1 | %2 | %3").arg(e, p, b);
            });
    connect(&worker, &serialclass::signalTestFinished, this, [this] {
        lines << QStringLiteral("finished");
        ++finished;
    });
}

QStringList SignalRecorder::folded() const
{
    QStringList out;
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = byteCountPattern().match(line);
        const QString shown = m.hasMatch() ? QStringLiteral("status: ") + m.captured(1) + QLatin1Char('#') : line;
        if (out.isEmpty() || out.last() != shown || !m.hasMatch())
            out << shown;
    }
    return out;
}

QVector<int> SignalRecorder::byteCounts() const
{
    QVector<int> counts;
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = byteCountPattern().match(line);
        if (m.hasMatch())
            counts << m.captured(2).toInt();
    }
    return counts;
}

QStringList SignalRecorder::logLinesStartingWith(const QString &prefix) const
{
    QStringList out;
    for (const QString &line : lines) {
        const int colon = line.indexOf(QStringLiteral(": "));
        if (colon > 0 && line.midRef(colon + 2).startsWith(prefix))
            out << line;
    }
    return out;
}

bool sameLines(const QStringList &actual, const QStringList &expected)
{
    if (actual == expected)
        return true;
    qWarning().noquote() << "actual:\n  " + actual.join(QStringLiteral("\n  "));
    qWarning().noquote() << "expected:\n  " + expected.join(QStringLiteral("\n  "));
    return false;
}

QString validValues(const meter_result_t &record)
{
    QStringList parts;
    for (const MeterField &f : kMeterFields)
        if (record.*(f.valid))
            parts << QStringLiteral("%1=%2").arg(QLatin1String(f.name)).arg(record.*(f.value), 0, 'g', 10);
    return parts.join(QLatin1Char(' '));
}

const QStringList kSmlFields = {
    QStringLiteral("180"),  QStringLiteral("181"),  QStringLiteral("182"),  QStringLiteral("280"),
    QStringLiteral("281"),  QStringLiteral("282"),  QStringLiteral("170"),  QStringLiteral("171"),
    QStringLiteral("172"),  QStringLiteral("173"),  QStringLiteral("3270"), QStringLiteral("5270"),
    QStringLiteral("7270"), QStringLiteral("3170"), QStringLiteral("5170"), QStringLiteral("7170")};
const QStringList kIecFields = {
    QStringLiteral("180"),  QStringLiteral("181"),  QStringLiteral("182"),  QStringLiteral("280"),
    QStringLiteral("281"),  QStringLiteral("282"),  QStringLiteral("170"),  QStringLiteral("3270"),
    QStringLiteral("5270"), QStringLiteral("7270"), QStringLiteral("3170"), QStringLiteral("5170"),
    QStringLiteral("7170")};
const QStringList kModbusFields = {QStringLiteral("180"), QStringLiteral("181"), QStringLiteral("182"),
                                   QStringLiteral("280"), QStringLiteral("281"), QStringLiteral("282"),
                                   QStringLiteral("170"), QStringLiteral("270")};

QString heldValues(const metersim::MeterValues &v, const QStringList &fields)
{
    const QMap<QString, double> held = {
        {QStringLiteral("180"), v.import_kWh},        {QStringLiteral("181"), v.importT1_kWh},
        {QStringLiteral("182"), v.importT2_kWh},      {QStringLiteral("280"), v.export_kWh},
        {QStringLiteral("281"), v.exportT1_kWh},      {QStringLiteral("282"), v.exportT2_kWh},
        {QStringLiteral("170"), v.power_W},           {QStringLiteral("270"), v.exportPower_W},
        {QStringLiteral("171"), v.phasePower_W[0]},   {QStringLiteral("172"), v.phasePower_W[1]},
        {QStringLiteral("173"), v.phasePower_W[2]},   {QStringLiteral("3270"), v.voltage_V[0]},
        {QStringLiteral("5270"), v.voltage_V[1]},     {QStringLiteral("7270"), v.voltage_V[2]},
        {QStringLiteral("3170"), v.current_A[0]},     {QStringLiteral("5170"), v.current_A[1]},
        {QStringLiteral("7170"), v.current_A[2]},
    };
    QStringList parts;
    for (const MeterField &f : kMeterFields) {
        const QString name = QLatin1String(f.name);
        if (fields.contains(name))
            parts << QStringLiteral("%1=%2").arg(name).arg(held.value(name), 0, 'g', 10);
    }
    return parts.join(QLatin1Char(' '));
}

EngineRig::EngineRig(metersim::Profile profile, metersim::Options options)
    : sim_(std::make_unique<metersim::MeterSimulator>(profile, std::move(options)))
    , worker_(std::make_unique<serialclass>())
    , recorder_(std::make_unique<SignalRecorder>(*worker_))
{
}

EngineRig::~EngineRig()
{
    // The worker first: its thread must not touch a port whose master is gone.
    recorder_.reset();
    worker_.reset();
    sim_.reset();
}

bool EngineRig::connectToMeter(QString *why)
{
    if (!sim_->start(why))
        return false;
    QSignalSpy ok(worker_.get(), &serialclass::signalConnectSerial_Success);
    QSignalSpy failed(worker_.get(), &serialclass::signalConnectSerial_Fail);
    QMetaObject::invokeMethod(worker_.get(), "slotConnectSerialPort", Q_ARG(QString, sim_->slavePath()));
    QElapsedTimer t;
    t.start();
    while (ok.isEmpty() && failed.isEmpty() && t.elapsed() < 10000)
        QTest::qWait(10);
    if (ok.isEmpty() && why)
        *why = failed.isEmpty() ? QStringLiteral("no answer to the connect request") : failed.at(0).at(0).toString();
    return !ok.isEmpty();
}

void EngineRig::startTest(TestMode_t mode, enum_interfaces_t accessory, const QString &passwort)
{
    QMetaObject::invokeMethod(worker_.get(), "slotStartTest", Q_ARG(QString, passwort), Q_ARG(TestMode_t, mode),
                              Q_ARG(enum_interfaces_t, accessory));
}

void EngineRig::startLoopback()
{
    QMetaObject::invokeMethod(worker_.get(), "slotLesekopfStartTest");
}

bool EngineRig::waitFinished(int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (recorder_->finished == 0 && t.elapsed() < timeoutMs)
        QTest::qWait(20);
    return recorder_->finished > 0;
}

void EngineRig::unplugAfter(int ms)
{
    metersim::MeterSimulator *sim = sim_.get();
    QTimer::singleShot(ms, recorder_.get(), [sim] { sim->unplug(); });
}

bool EngineRig::reconnectsAfterwards(QString *why)
{
    QMetaObject::invokeMethod(worker_.get(), "slotDisconnectSerialPort");
    sim_ = std::make_unique<metersim::MeterSimulator>(metersim::Profile::Silent);
    return connectToMeter(why);
}
