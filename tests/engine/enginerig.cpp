#include "enginerig.h"

#include <QColor>
#include <QDebug>
#include <QElapsedTimer>
#include <QMap>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kRunLimitMs = 150000; // guards against a hang only

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

QString valueText(const QString &field, double value)
{
    return QStringLiteral("%1=%2").arg(field).arg(value, 0, 'g', 10);
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

QString hex(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); }

QStringList stepHead(int test, const char *heading)
{
    return {QStringLiteral("status: Test %1 von 4 - Bitte warten!").arg(test),
            QStringLiteral("blue: ") + QLatin1String(heading)};
}

QStringList ending(const QString &result)
{
    return {QStringLiteral("result: ") + result, QStringLiteral("status: Test beendet!"), QStringLiteral("finished")};
}

QStringList sent(const QByteArray &bytes) { return {QStringLiteral("blue: Sende:") + hex(bytes)}; }

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
            parts << valueText(QLatin1String(f.name), record.*(f.value));
    return parts.join(QLatin1Char(' '));
}

const QStringList kIecFields = QStringLiteral("180 181 182 280 281 282 170 3270 5270 7270 3170 5170 7170").split(' ');
const QStringList kSmlFields = kIecFields + QStringLiteral("171 172 173").split(' ');
const QStringList kModbusFields = QStringLiteral("180 181 182 280 281 282 170 270").split(' ');

QStringList without(QStringList fields, const QString &field)
{
    fields.removeAll(field);
    return fields;
}

QString heldValues(const QStringList &fields)
{
    const metersim::MeterValues &v = metersim::telegrams::defaultValues();
    const QMap<QString, double> held = {
        {"180", v.import_kWh},      {"181", v.importT1_kWh},      {"182", v.importT2_kWh},
        {"280", v.export_kWh},      {"281", v.exportT1_kWh},      {"282", v.exportT2_kWh},
        {"170", v.power_W},         {"270", v.exportPower_W},     {"171", v.phasePower_W[0]},
        {"172", v.phasePower_W[1]}, {"173", v.phasePower_W[2]},   {"3270", v.voltage_V[0]},
        {"5270", v.voltage_V[1]},   {"7270", v.voltage_V[2]},     {"3170", v.current_A[0]},
        {"5170", v.current_A[1]},   {"7170", v.current_A[2]},
    };
    QStringList parts;
    for (const MeterField &f : kMeterFields)
        if (fields.contains(QLatin1String(f.name)))
            parts << valueText(QLatin1String(f.name), held.value(QLatin1String(f.name)));
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

bool EngineRig::connectToMeter()
{
    QString why;
    if (!sim_->start(&why)) {
        qWarning() << "no pseudo-terminal:" << why;
        return false;
    }
    QSignalSpy ok(worker_.get(), &serialclass::signalConnectSerial_Success);
    QSignalSpy failed(worker_.get(), &serialclass::signalConnectSerial_Fail);
    QMetaObject::invokeMethod(worker_.get(), "slotConnectSerialPort", Q_ARG(QString, sim_->slavePath()));
    QElapsedTimer t;
    t.start();
    while (ok.isEmpty() && failed.isEmpty() && t.elapsed() < 10000)
        QTest::qWait(10);
    if (ok.isEmpty())
        qWarning() << "connect failed:" << (failed.isEmpty() ? QVariant() : failed.at(0).at(0));
    return !ok.isEmpty();
}

void EngineRig::start(int mode, enum_interfaces_t accessory, const QString &passwort)
{
    if (mode < 0)
        QMetaObject::invokeMethod(worker_.get(), "slotLesekopfStartTest");
    else
        QMetaObject::invokeMethod(worker_.get(), "slotStartTest", Q_ARG(QString, passwort),
                                  Q_ARG(TestMode_t, TestMode_t(mode)), Q_ARG(enum_interfaces_t, accessory));
}

bool EngineRig::waitFinished()
{
    QElapsedTimer t;
    t.start();
    while (recorder_->finished == 0 && t.elapsed() < kRunLimitMs)
        QTest::qWait(20);
    if (recorder_->finished == 0)
        qWarning() << "no signalTestFinished";
    return recorder_->finished > 0;
}

bool EngineRig::run(int mode, enum_interfaces_t accessory, const QString &passwort)
{
    if (!connectToMeter())
        return false;
    start(mode, accessory, passwort);
    return waitFinished();
}

void EngineRig::verifyUnplugged(int mode, enum_interfaces_t accessory, int unplugAfterMs, int failedTests)
{
    QVERIFY(connectToMeter());
    QElapsedTimer sinceStart;
    sinceStart.start();
    start(mode, accessory, QStringLiteral("12345678"));
    metersim::MeterSimulator *sim = sim_.get();
    QTimer::singleShot(unplugAfterMs, recorder_.get(), [sim] { sim->unplug(); });
    QVERIFY(waitFinished());
    // Ends at the next slice, not after the tests' prescribed time.
    QVERIFY2(sinceStart.elapsed() < unplugAfterMs + 5000, qPrintable(QString::number(sinceStart.elapsed())));

    // A pulled pseudo-terminal fails as a pulled USB adapter does.
    const QString failure = QStringLiteral("red: Fehler an der Schnittstelle: ") + QString::fromLocal8Bit(strerror(EIO));
    QCOMPARE(recorder_->lines.filter(QStringLiteral("Fehler an der Schnittstelle")),
             QVector<QString>(failedTests, failure).toList());
    QCOMPARE(recorder_->lines.mid(recorder_->lines.size() - 3), ending(kFailed));

    QMetaObject::invokeMethod(worker_.get(), "slotDisconnectSerialPort");
    sim_ = std::make_unique<metersim::MeterSimulator>(metersim::Profile::Silent);
    QVERIFY(connectToMeter());
}
