#include "reportserver/reportserver.h"

#include <httplib.h>

#include <QHostAddress>
#include <QMap>

#include <cstdio>
#include <mutex>

#include "reportserver/formbody.h"
#include "reportserver/webpages.h"

namespace {

constexpr char kPath[] = "/Updates/Updater/report.php";
constexpr char kText[] = "text/plain; charset=utf-8";
// A request that sends nothing for this long loses its connection; others
// go on meanwhile on threads of their own.
constexpr int kTimeoutSeconds = 10;
constexpr int kKeepAliveSeconds = 5;

std::mutex g_logMutex;

// One access-log line per request: status, method and path, never the
// sender's address.
void logRequest(const httplib::Request &req, const httplib::Response &res)
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::printf("%d %s %.200s\n", res.status, req.method.c_str(), req.path.c_str());
    std::fflush(stdout);
}

// Answers and closes the connection without reading what follows the
// headers: a content provider that gives up after its text makes the
// library drop the connection.
void refuseUnread(httplib::Response &res, int status, const char *text)
{
    res.status = status;
    res.set_header("Connection", "close");
    const auto body = std::make_shared<std::string>(text);
    res.set_content_provider(body->size(), kText, [body](size_t offset, size_t length, httplib::DataSink &sink) {
        sink.write(body->data() + offset, length);
        return false;
    });
}

void configure(httplib::Server &server, int threads)
{
    server.new_task_queue = [threads] { return new httplib::ThreadPool(std::size_t(threads)); };
    server.set_read_timeout(kTimeoutSeconds, 0);
    server.set_write_timeout(kTimeoutSeconds, 0);
    server.set_keep_alive_timeout(kKeepAliveSeconds);
    server.set_keep_alive_max_count(100);
    server.set_logger(logRequest);
}

bool bind(httplib::Server &server, const QString &address, int wanted, int *bound)
{
    const std::string host = address.toStdString();
    *bound = wanted == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, wanted) ? wanted : -1);
    return *bound > 0;
}

// Whether the address is one only this machine reaches.
bool isLoopbackAddress(const QString &address)
{
    return address == QLatin1String("localhost") || QHostAddress(address).isLoopback();
}

} // namespace

ReportServer::ReportServer(ReportServerOptions options)
    : options(std::move(options)), database(this->options.database), writer(database),
      endpoint(std::make_unique<httplib::Server>()), pages(std::make_unique<httplib::Server>())
{
    redirectsLeft = this->options.statusRedirects;
}

ReportServer::~ReportServer()
{
    stop();
}

bool ReportServer::start(QString *error)
{
    if (options.webPassword.isEmpty() && !isLoopbackAddress(options.webListen)) {
        *error = QStringLiteral("the web pages would be reachable from other machines on %1: give a password "
                                "with --web-password-file")
                     .arg(options.webListen);
        return false;
    }
    if (!writer.start(error))
        return false;
    installEndpoint();
    installWebPages(*pages, database, options.webPassword);
    configure(*endpoint, options.threads);
    configure(*pages, std::max(4, options.threads / 8));
    if (!bind(*endpoint, options.listen, options.port, &endpointPort)) {
        *error = QStringLiteral("cannot listen on %1:%2").arg(options.listen).arg(options.port);
        return false;
    }
    if (!bind(*pages, options.webListen, options.webPort, &pagesPort)) {
        *error = QStringLiteral("cannot listen on %1:%2").arg(options.webListen).arg(options.webPort);
        return false;
    }
    endpointThread = std::thread([this] { endpoint->listen_after_bind(); });
    pagesThread = std::thread([this] { pages->listen_after_bind(); });
    return true;
}

void ReportServer::stop()
{
    endpoint->stop();
    pages->stop();
    if (endpointThread.joinable())
        endpointThread.join();
    if (pagesThread.joinable())
        pagesThread.join();
    writer.stop();
}

void ReportServer::installEndpoint()
{
    endpoint->set_payload_max_length(std::size_t(options.maxBodyBytes));
    // Checked on the headers alone, before any of the body is read.
    endpoint->set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        if (req.method != "POST")
            return httplib::Server::HandlerResponse::Unhandled;
        if (req.has_header("Transfer-Encoding") || !req.has_header("Content-Length")) {
            refuseUnread(res, 411, "ERROR: length required");
            return httplib::Server::HandlerResponse::Handled;
        }
        const std::string length = req.get_header_value("Content-Length");
        if (length.size() > 18 || std::stoll("0" + length) > options.maxBodyBytes) {
            refuseUnread(res, 413, "ERROR: message too large");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    endpoint->Get(kPath, [this](const httplib::Request &req, httplib::Response &res) {
        if (req.params.size() != 1 || !req.has_param("status") || !req.get_param_value("status").empty()) {
            res.status = 400;
            res.set_content("ERROR: unknown query", kText);
        } else if (redirectsLeft.fetch_sub(1) > 0) {
            res.set_redirect(std::string(kPath) + "?status");
        } else {
            res.set_content(options.statusReply.toStdString(), kText);
        }
    });
    endpoint->Post(kPath, [this](const httplib::Request &req, httplib::Response &res) {
        if (req.get_header_value("Content-Type").rfind("application/x-www-form-urlencoded", 0) != 0) {
            res.status = 415;
            res.set_content("ERROR: form body expected", kText);
            return;
        }
        QMap<QByteArray, QByteArray> fields;
        if (!decodeFormBody(QByteArray::fromStdString(req.body), fields) || !fields.contains("message")) {
            res.status = 400;
            res.set_content("ERROR: malformed form body", kText);
            return;
        }
        // Base64 has no blanks: a "+" sent without percent-encoding came out as one.
        QByteArray base64 = fields.value("message");
        base64.replace(' ', '+');
        const auto decoded = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || decoded.decoded.isEmpty()) {
            res.status = 400;
            res.set_content("ERROR: message is not Base64", kText);
            return;
        }
        StoredReport report;
        report.received = QDateTime::currentDateTimeUtc();
        report.read = readReport(decoded.decoded);
        if (!writer.store(std::move(report))) {
            res.status = 500;
            res.set_content("ERROR: message not stored", kText);
            return;
        }
        res.set_content("MESSAGE_SENT", kText);
    });
}
