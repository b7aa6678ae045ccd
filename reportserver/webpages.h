#pragma once

#include <QString>

namespace httplib {
class Server;
}
class ReportDatabase;

// The maker's pages, plain HTML made on the server, German: the reports
// ("/", newest first, with filters), the compatibility table
// ("/kompatibilitaet"), one report ("/bericht/<id>") and each telegram as a
// meter file ("/bericht/<id>/zaehler/<test>.json"). With a password every
// page asks for it (HTTP Basic authentication, any user name).
void installWebPages(httplib::Server &server, const ReportDatabase &database, const QString &password);
