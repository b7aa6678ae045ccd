#include "cli/modbussearch.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QLocale>

#include "cli/consoleoutput.h"
#include "cli/exitstatus.h"
#include "cli/jsonreport.h"
#include "diagnosis/diagnosis.h"
#include "engine/serialclass.h"
#include "engine/workerclient.h"
#include "protocols/modbusprobe.h"

namespace {

// The standard's exception codes as the user reads them.
struct ExceptionName
{
    quint8 code;
    const char *text;
};
constexpr ExceptionName kExceptionNames[] = {
    {1, "Funktion nicht unterstützt"},
    {2, "Registeradresse nicht vorhanden"},
    {3, "unzulässiger Wert"},
    {4, "Gerätefehler"},
    {6, "Gerät beschäftigt"},
};

QString exceptionText(quint8 code)
{
    for (const ExceptionName &e : kExceptionNames)
        if (e.code == code)
            return QString::fromUtf8(e.text);
    return QStringLiteral("Code %1").arg(code);
}

QString hexSpaced(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString functionText(quint8 function)
{
    return QStringLiteral("%1").arg(function, 2, 10, QLatin1Char('0'));
}

QString number(double value, int decimals)
{
    return QLocale(QLocale::German).toString(value, 'f', decimals);
}

QStringList settingsTexts(const QList<PortSetting> &settings)
{
    QStringList texts;
    for (const PortSetting &s : settings)
        texts << s.text();
    return texts;
}

QJsonObject deviceJson(const ModbusSearchEvent &d)
{
    QJsonArray values;
    for (const ModbusSearchReading &r : d.readings)
        values.append(QJsonObject{{QStringLiteral("label"), r.label},
                                  {QStringLiteral("value"), r.value},
                                  {QStringLiteral("unit"), r.unit}});
    QJsonObject o{{QStringLiteral("portSetting"), d.setting.text()},
                  {QStringLiteral("address"), d.address},
                  {QStringLiteral("function"), int(d.function)},
                  {QStringLiteral("answer"), QString::fromLatin1(d.answer.toHex().toUpper())},
                  {QStringLiteral("exception"), d.exception},
                  {QStringLiteral("map"), d.mapKey},
                  {QStringLiteral("values"), values},
                  {QStringLiteral("elapsedMs"), d.elapsedMs}};
    if (d.exception)
        o.insert(QStringLiteral("exceptionCode"), int(d.exceptionCode));
    return o;
}

} // namespace

QString searchDurationText(qint64 ms)
{
    if (ms < 60000)
        return number(ms / 1000.0, 1) + QStringLiteral(" s");
    const qint64 seconds = (ms + 999) / 1000; // rounded up: it states an upper bound too
    return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

QString searchSettingsText()
{
    QList<PortSetting> settings;
    for (const SearchLine &line : kSearchLines)
        settings << line.setting;
    return settingsTexts(settings).join(QStringLiteral(", "));
}

QString probeLine(const ModbusSearchEvent &p)
{
    return QStringLiteral("Modbus-Suche: %1, Adresse %2, Funktion %3 (Probe %4 von %5)")
        .arg(p.setting.text())
        .arg(p.address)
        .arg(functionText(p.function))
        .arg(p.probe)
        .arg(p.probes);
}

QString deviceText(const ModbusSearchEvent &d)
{
    QString text = QStringLiteral("Modbus-Gerät gefunden: %1, Adresse %2 (nach %3)\n")
                       .arg(d.setting.text())
                       .arg(d.address)
                       .arg(searchDurationText(d.elapsedMs));
    text += QStringLiteral("  Antwort auf Funktion %1, Register 0: %2").arg(functionText(d.function), hexSpaced(d.answer));
    if (d.exception)
        text += QStringLiteral(" (Ausnahme %1: %2)").arg(d.exceptionCode).arg(exceptionText(d.exceptionCode));
    text += QStringLiteral("\n  Der RS485-Konverter sendet und empfängt: das Gerät hat auf die Anfrage geantwortet.\n");
    if (d.mapKey.isEmpty()) {
        text += QStringLiteral("  Registerbelegung: keine der bekannten (Eastron SDM, ABB B2x, dieses Programm).\n");
        return text;
    }
    text += QStringLiteral("  Registerbelegung: %1\n").arg(d.mapName);
    for (const ModbusSearchReading &r : d.readings)
        text += QStringLiteral("    %1 %2 %3\n").arg(r.label + QLatin1Char(':'), -22).arg(number(r.value, 2), r.unit);
    return text;
}

QJsonObject eventJson(const ModbusSearchEvent &event)
{
    if (event.kind == ModbusSearchEvent::Kind::Device) {
        QJsonObject o = deviceJson(event);
        o.insert(QStringLiteral("event"), QStringLiteral("device"));
        o.insert(QStringLiteral("time"), isoTimeNow());
        return o;
    }
    return QJsonObject{{QStringLiteral("event"), QStringLiteral("probe")},
                       {QStringLiteral("time"), isoTimeNow()},
                       {QStringLiteral("portSetting"), event.setting.text()},
                       {QStringLiteral("address"), event.address},
                       {QStringLiteral("function"), int(event.function)},
                       {QStringLiteral("probe"), event.probe},
                       {QStringLiteral("probes"), event.probes},
                       {QStringLiteral("elapsedMs"), event.elapsedMs}};
}

ModbusSearchSession::ModbusSearchSession(const Request &request, ConsoleOutput &output, QObject *parent)
    : QObject(parent), request(request), output(output)
{
    registerMeterMetaTypes();
    serial = new serialclass();
    client = new WorkerClient(serial, this);
    connect(client, &WorkerClient::connected, this, [this] { emit signalModbusSearch(this->request.search); });
    connect(client, &WorkerClient::connectFailed, this, &ModbusSearchSession::connectFailed);
    connect(this, &ModbusSearchSession::signalModbusSearch, serial, &serialclass::slotModbusSearch);
    connect(serial, &serialclass::signalModbusSearchEvent, this, &ModbusSearchSession::slotEvent);
    connect(serial, &serialclass::signalRunOutcome, this, &ModbusSearchSession::slotRunOutcome);
}

ModbusSearchSession::~ModbusSearchSession()
{
    stopWorker();
}

void ModbusSearchSession::start()
{
    client->connectPort(request.port);
}

void ModbusSearchSession::stopWorker()
{
    releaseWorker(serial, client, this, workerIdle);
}

void ModbusSearchSession::finish(int status)
{
    if (done)
        return;
    done = true;
    stopWorker();
    emit finished(status);
}

void ModbusSearchSession::slotRunOutcome(RunOutcome Outcome)
{
    connectOutcome = Outcome; // only a failed connect sends one here
}

void ModbusSearchSession::connectFailed()
{
    workerIdle = true;
    const QString text = QStringLiteral("Fehler beim Verbinden: ") +
                         connectFailureText(connectOutcome.connectFailure, connectOutcome.connectFailureText);
    const QString hint = connectFailureAction(connectOutcome.connectFailure);
    if (request.json)
        output.stdoutText(QString::fromUtf8(jsonError(text, exitstatus::kUsage, hint)));
    output.stderrLine(text);
    if (!hint.isEmpty())
        output.stderrLine(QStringLiteral("Hinweis: ") + hint);
    finish(exitstatus::kUsage);
}

void ModbusSearchSession::slotEvent(ModbusSearchEvent Event)
{
    switch (Event.kind) {
    case ModbusSearchEvent::Kind::Probe:
        lastProbe = Event;
        if (request.json)
            output.stdoutText(QString::fromUtf8(QJsonDocument(eventJson(Event)).toJson(QJsonDocument::Compact)) +
                              QLatin1Char('\n'));
        else
            output.progress(probeLine(Event));
        break;
    case ModbusSearchEvent::Kind::Device:
        devices.append(deviceJson(Event));
        if (request.json) {
            output.stdoutText(QString::fromUtf8(QJsonDocument(eventJson(Event)).toJson(QJsonDocument::Compact)) +
                              QLatin1Char('\n'));
        } else {
            output.clearProgress();
            output.stdoutText(deviceText(Event));
        }
        break;
    case ModbusSearchEvent::Kind::End:
        ended(Event);
        break;
    }
}

void ModbusSearchSession::ended(const ModbusSearchEvent &end)
{
    workerIdle = true;
    output.clearProgress();
    QString error;
    int status = end.devices > 0 ? exitstatus::kSuccess : exitstatus::kNotSuccessful;
    if (end.portFailure != PortFailureKind::None) {
        error = QStringLiteral("Die Verbindung zum Port ging während der Suche verloren: ") + end.portFailureText;
        status = exitstatus::kPortLost;
    }
    if (!request.json) {
        if (end.devices == 0 && error.isEmpty())
            output.stdoutText(QStringLiteral(
                "Kein Modbus-Gerät hat geantwortet: %1 Proben (%3; Adressen 1 bis %4; Funktionen 03 und 04) in "
                "%2.\n"
                "Hinweis: Prüfen Sie die Verdrahtung (A an A, B an B, gemeinsame Masse), die Stromversorgung des "
                "Zählers und ob ein Abschlusswiderstand fehlt.\n")
                                  .arg(lastProbe.probe)
                                  .arg(searchDurationText(end.elapsedMs), searchSettingsText())
                                  .arg(kModbusLastSlave));
        if (end.devices == 0 && !end.settingsWithBytes.isEmpty())
            output.stdoutText(QStringLiteral("Hinweis: Unter %1 kamen Bytes, aber keine gültige Modbus-Antwort: "
                                             "Störungen auf dem Bus, A und B vertauscht oder ein Gerät mit anderer "
                                             "Einstellung.\n")
                                  .arg(settingsTexts(end.settingsWithBytes).join(QStringLiteral(", "))));
        output.stdoutText(QStringLiteral("Ergebnis: %1\n")
                              .arg(status == exitstatus::kSuccess ? QStringLiteral("erfolgreich")
                                                                  : QStringLiteral("nicht erfolgreich")));
        if (!error.isEmpty())
            output.stderrLine(error);
    }
    settingsWithBytes = settingsTexts(end.settingsWithBytes);
    writeResult(status, error, lastProbe.probe);
    finish(status);
}

void ModbusSearchSession::writeResult(int status, const QString &error, int probesSent)
{
    if (!request.json)
        return;
    QJsonObject document = jsonHead(status, error);
    document.insert(QStringLiteral("event"), QStringLiteral("result"));
    document.insert(QStringLiteral("port"), request.port);
    document.insert(QStringLiteral("accessory"), QStringLiteral("rs485"));
    document.insert(QStringLiteral("request"), QStringLiteral("Modbus-Suche"));
    document.insert(QStringLiteral("result"), status == exitstatus::kSuccess ? QStringLiteral("erfolgreich")
                                                                             : QStringLiteral("nicht erfolgreich"));
    document.insert(QStringLiteral("successful"), status == exitstatus::kSuccess);
    document.insert(QStringLiteral("devices"), devices);
    document.insert(QStringLiteral("settingsWithBytes"), QJsonArray::fromStringList(settingsWithBytes));
    document.insert(QStringLiteral("probesSent"), probesSent);
    document.insert(QStringLiteral("probes"), lastProbe.probes);
    document.insert(QStringLiteral("worstCaseMs"), searchWorstCaseMs());
    output.stdoutText(QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
}

void ModbusSearchSession::interrupt(int signalNumber)
{
    if (done)
        return;
    output.clearProgress();
    stopWorker();
    const int status = exitstatus::kSignalBase + signalNumber;
    writeResult(status, QStringLiteral("Abgebrochen."), lastProbe.probe);
    output.stderrLine(QStringLiteral("Abgebrochen."));
    finish(status);
}
