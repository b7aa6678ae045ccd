#include "reportserver/webpages.h"

#include <httplib.h>

#include <QUrlQuery>

#include "protocols/meterresult.h"
#include "reportserver/meterfile.h"
#include "reportserver/reportdatabase.h"

namespace {

constexpr char kHtml[] = "text/html; charset=utf-8";
constexpr int kPageSize = 100;

struct Choice
{
    const char *value; // empty: all
    const char *label;
};
constexpr Choice kAccessoryChoices[] = {
    {"", "alle"}, {accessory::kReadingHead, accessory::kReadingHead}, {accessory::kRs485, accessory::kRs485}};
constexpr Choice kVerdictChoices[] = {
    {"", "alle"}, {verdict::kGood, verdict::kGood}, {verdict::kFailed, verdict::kFailed},
    {verdict::kUnreadable, verdict::kUnreadable}};

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

QString timeShown(const QDateTime &t)
{
    return t.isValid() ? t.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss 'UTC'")) : QStringLiteral("-");
}

QString orDash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : esc(text);
}

QString verdictCell(const QString &v)
{
    const char *cls = v == QLatin1String(verdict::kGood) ? "gut" : v == QLatin1String(verdict::kFailed) ? "schlecht" : "";
    return QStringLiteral("<td class=\"%1\">%2</td>").arg(QLatin1String(cls), orDash(v));
}

std::string page(const QString &title, const QString &body)
{
    const QString html = QStringLiteral(
        "<!DOCTYPE html><html lang=\"de\"><head><meta charset=\"utf-8\"><title>%1 – Viviv Berichte</title>"
        "<style>body{font-family:sans-serif;margin:1.5em;color:#222}table{border-collapse:collapse;margin:.5em 0}"
        "th,td{border:1px solid #bbb;padding:.25em .6em;text-align:left;vertical-align:top}th{background:#eee}"
        "td.gut{color:#060}td.schlecht{color:#b00}nav a{margin-right:1.2em}"
        "pre{background:#f6f6f6;padding:.6em;white-space:pre-wrap;word-break:break-all}"
        "form label{margin-right:1em}</style></head><body>"
        "<nav><a href=\"/\">Berichte</a><a href=\"/kompatibilitaet\">Kompatibilität</a></nav>"
        "<h1>%1</h1>%2</body></html>")
                             .arg(esc(title), body);
    return html.toStdString();
}

QString select(const char *name, const Choice *choices, std::size_t count, const QString &current)
{
    QString html = QStringLiteral("<select name=\"%1\">").arg(QLatin1String(name));
    for (std::size_t i = 0; i < count; ++i)
        html += QStringLiteral("<option value=\"%1\"%2>%3</option>")
                    .arg(esc(QString::fromUtf8(choices[i].value)),
                         current == QString::fromUtf8(choices[i].value) ? QStringLiteral(" selected") : QString(),
                         esc(QString::fromUtf8(choices[i].label)));
    return html + QStringLiteral("</select>");
}

QString param(const httplib::Request &req, const char *name)
{
    return QString::fromStdString(req.get_param_value(name));
}

std::string overview(const ReportDatabase &db, const httplib::Request &req)
{
    ReportFilter filter;
    filter.manufacturer = param(req, "hersteller");
    filter.model = param(req, "modell");
    filter.accessory = param(req, "zubehoer");
    filter.verdict = param(req, "ergebnis");
    filter.before = param(req, "vor").toLongLong();
    filter.limit = kPageSize;
    QString body = QStringLiteral(
                       "<form method=\"get\" action=\"/\"><label>Hersteller <input name=\"hersteller\" value=\"%1\"></label>"
                       "<label>Modell <input name=\"modell\" value=\"%2\"></label><label>Zubehör %3</label>"
                       "<label>Ergebnis %4</label><button type=\"submit\">Filtern</button></form>")
                       .arg(esc(filter.manufacturer), esc(filter.model),
                            select("zubehoer", kAccessoryChoices, std::size(kAccessoryChoices), filter.accessory),
                            select("ergebnis", kVerdictChoices, std::size(kVerdictChoices), filter.verdict));
    const QVector<ReportRow> rows = db.reports(filter);
    body += QStringLiteral("<table id=\"berichte\"><tr><th>Eingang</th><th>Hersteller</th><th>Modell</th><th>Zubehör</th>"
                           "<th>Ergebnis</th><th>Protokoll</th><th>Baudrate</th><th></th></tr>");
    for (const ReportRow &r : rows)
        body += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td>%5<td>%6</td><td>%7</td>"
                               "<td><a href=\"/bericht/%8\">ansehen</a></td></tr>")
                    .arg(timeShown(r.received), orDash(r.manufacturer), orDash(r.model), orDash(r.accessory),
                         verdictCell(r.verdict), orDash(r.protocol), orDash(r.portSetting), QString::number(r.id));
    body += QStringLiteral("</table>");
    if (rows.isEmpty())
        body += QStringLiteral("<p>Keine Berichte.</p>");
    if (rows.size() == kPageSize) {
        QUrlQuery next;
        for (const auto &[key, value] : {std::pair{"hersteller", filter.manufacturer}, {"modell", filter.model},
                                         {"zubehoer", filter.accessory}, {"ergebnis", filter.verdict}})
            if (!value.isEmpty())
                next.addQueryItem(QLatin1String(key), value);
        next.addQueryItem(QStringLiteral("vor"), QString::number(rows.last().id));
        body += QStringLiteral("<p><a href=\"/?%1\">Ältere Berichte</a></p>")
                    .arg(esc(next.toString(QUrl::FullyEncoded)));
    }
    return page(QStringLiteral("Berichte"), body);
}

std::string compatibility(const ReportDatabase &db)
{
    QString body = QStringLiteral(
        "<p>Je Zählermodell, Zubehör, Protokoll und Port-Einstellung: wie viele Tests gelangen und wie viele nicht.</p>"
        "<table id=\"kompatibilitaet\"><tr><th>Hersteller</th><th>Modell</th><th>Zubehör</th><th>Protokoll</th>"
        "<th>Port-Einstellung</th><th>erfolgreich</th><th>nicht erfolgreich</th><th>zuletzt gesehen</th></tr>");
    for (const CompatibilityRow &r : db.compatibility())
        body += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td class=\"gut\">%6</td>"
                               "<td class=\"schlecht\">%7</td><td>%8</td></tr>")
                    .arg(orDash(r.manufacturer), orDash(r.model), orDash(r.accessory), orDash(r.protocol),
                         orDash(r.portSetting), QString::number(r.good), QString::number(r.failed),
                         timeShown(r.lastSeen));
    return page(QStringLiteral("Kompatibilität"), body + QStringLiteral("</table>"));
}

// With the decimals the program shows for the register.
QString valueText(const ReadValue &v)
{
    for (const MeterField &f : kMeterFields)
        if (v.code == QLatin1String(f.obis) || (f.smlObis && v.code == QLatin1String(f.smlObis)))
            return QString::number(v.value, 'f', f.decimals);
    return QString::number(v.value, 'g', 12);
}

std::string reportPage(const StoredReport &r)
{
    const ReadReport &read = r.read;
    QString body = QStringLiteral("<table id=\"bericht\"><tr><th>Eingang</th><td>%1</td></tr><tr><th>Hersteller</th><td>%2</td></tr>"
                                  "<tr><th>Modell</th><td>%3</td></tr><tr><th>Programmversion</th><td>%4</td></tr>"
                                  "<tr><th>Zubehör</th><td>%5</td></tr><tr><th>Ergebnis</th>%6</tr></table>")
                       .arg(timeShown(r.received), orDash(read.manufacturer), orDash(read.model),
                            orDash(read.programVersion), orDash(read.accessory), verdictCell(read.verdict));
    if (!read.readable)
        body += QStringLiteral("<p class=\"schlecht\">Das Protokoll dieses Berichts konnte nicht gelesen werden; "
                               "unten steht die Nachricht, wie sie ankam.</p>");
    for (int i = 0; i < read.tests.size(); ++i) {
        const ReadTest &t = read.tests[i];
        body += QStringLiteral("<h2>%1</h2><table class=\"test\"><tr><th>Protokoll</th><td>%2</td></tr>"
                               "<tr><th>Port-Einstellung</th><td>%3</td></tr><tr><th>Ergebnis</th>%4</tr></table>")
                    .arg(esc(t.heading), esc(t.protocol), esc(t.portSetting), verdictCell(t.verdict));
        if (!t.telegram.isEmpty())
            body += QStringLiteral("<p>%1 (%2 Bytes):</p><pre class=\"telegramm\">%3</pre>"
                                   "<p><a class=\"zaehler\" href=\"/bericht/%4/zaehler/%5.json\" download>"
                                   "Als simulierten Zähler herunterladen</a> (für <code>viviv-metersim --meter-file</code>)</p>")
                        .arg(t.protocol == QLatin1String("Modbus RTU") ? QStringLiteral("Anfragen und Antworten")
                                                                       : QStringLiteral("Telegramm"),
                             QString::number(t.telegram.size()), QString::fromLatin1(t.telegram.toHex(' ').toUpper()),
                             QString::number(r.id), QString::number(i + 1));
        if (!t.values.isEmpty()) {
            body += QStringLiteral("<table class=\"werte\"><tr><th>OBIS</th><th>Wert</th><th>Einheit</th></tr>");
            for (const ReadValue &v : t.values)
                body += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td></tr>").arg(esc(v.code), valueText(v), esc(v.unit));
            body += QStringLiteral("</table>");
        }
    }
    body += QStringLiteral("<h2>Nachricht</h2><pre id=\"nachricht\">%1</pre>").arg(esc(read.message));
    return page(QStringLiteral("Bericht %1").arg(r.id), body);
}

void notFound(httplib::Response &res)
{
    res.status = 404;
    res.set_content(page(QStringLiteral("Nicht gefunden"), QStringLiteral("<p>Diese Seite gibt es nicht.</p>")), kHtml);
}

bool sameText(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    // As long for a near miss as for a far one.
    unsigned diff = 0;
    for (int i = 0; i < a.size(); ++i)
        diff |= unsigned(quint8(a.at(i)) ^ quint8(b.at(i)));
    return diff == 0;
}

bool authorised(const httplib::Request &req, const QByteArray &password)
{
    const std::string header = req.get_header_value("Authorization");
    if (header.rfind("Basic ", 0) != 0)
        return false;
    const QByteArray credentials = QByteArray::fromBase64(QByteArray::fromStdString(header.substr(6)));
    const int colon = credentials.indexOf(':');
    return colon >= 0 && sameText(credentials.mid(colon + 1), password);
}

} // namespace

void installWebPages(httplib::Server &server, const ReportDatabase &database, const QString &password)
{
    const QByteArray secret = password.toUtf8();
    server.set_pre_routing_handler([secret](const httplib::Request &req, httplib::Response &res) {
        if (secret.isEmpty() || authorised(req, secret))
            return httplib::Server::HandlerResponse::Unhandled;
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"Viviv Berichte\", charset=\"UTF-8\"");
        res.set_content(page(QStringLiteral("Anmeldung nötig"), QStringLiteral("<p>Falsches oder fehlendes Passwort.</p>")), kHtml);
        return httplib::Server::HandlerResponse::Handled;
    });
    const ReportDatabase *db = &database;
    server.Get("/", [db](const httplib::Request &req, httplib::Response &res) { res.set_content(overview(*db, req), kHtml); });
    server.Get("/kompatibilitaet", [db](const httplib::Request &, httplib::Response &res) {
        res.set_content(compatibility(*db), kHtml);
    });
    server.Get(R"(/bericht/(\d{1,18}))", [db](const httplib::Request &req, httplib::Response &res) {
        StoredReport r;
        if (!db->report(std::stoll(req.matches[1]), &r))
            return notFound(res);
        res.set_content(reportPage(r), kHtml);
    });
    server.Get(R"(/bericht/(\d{1,18})/zaehler/(\d{1,3})\.json)", [db](const httplib::Request &req, httplib::Response &res) {
        StoredReport r;
        const int test = std::stoi(req.matches[2]);
        if (!db->report(std::stoll(req.matches[1]), &r) || test < 1 || test > r.read.tests.size())
            return notFound(res);
        const QByteArray file = meterFile(r.read, r.read.tests[test - 1]);
        if (file.isEmpty())
            return notFound(res);
        res.set_header("Content-Disposition", "attachment; filename=\"zaehler-" + std::string(req.matches[1]) + "-"
                                                  + std::string(req.matches[2]) + ".json\"");
        res.set_content(file.toStdString(), "application/json");
    });
}
