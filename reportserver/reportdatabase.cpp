#include "reportserver/reportdatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>

namespace {

// The schema, step by step: a database at version n gets every statement of
// a higher version, in this order. %ID% and %BLOB% are the only words the
// two databases spell differently.
struct Migration
{
    int version;
    const char *statement;
};
constexpr Migration kMigrations[] = {
    {1, "CREATE TABLE reports (id %ID%, received_at TEXT NOT NULL, manufacturer TEXT NOT NULL, "
        "model TEXT NOT NULL, message TEXT NOT NULL, readable INTEGER NOT NULL, program_version TEXT, "
        "accessory TEXT, verdict TEXT)"},
    {1, "CREATE TABLE tests (id %ID%, report_id BIGINT NOT NULL REFERENCES reports(id) ON DELETE CASCADE, "
        "position INTEGER NOT NULL, test_number INTEGER NOT NULL, heading TEXT NOT NULL, protocol TEXT NOT NULL, "
        "port_setting TEXT NOT NULL, verdict TEXT NOT NULL, telegram %BLOB%)"},
    {1, "CREATE TABLE test_values (test_id BIGINT NOT NULL REFERENCES tests(id) ON DELETE CASCADE, "
        "position INTEGER NOT NULL, code TEXT NOT NULL, value DOUBLE PRECISION NOT NULL, unit TEXT NOT NULL)"},
    // The filters, the report page and the compatibility table.
    {2, "CREATE INDEX reports_meter ON reports (manufacturer, model)"},
    {2, "CREATE INDEX tests_report ON tests (report_id)"},
    {2, "CREATE INDEX test_values_test ON test_values (test_id)"},
};

struct Dialect
{
    const char *id;
    const char *blob;
};
constexpr Dialect kSqlite{"INTEGER PRIMARY KEY", "BLOB"};
constexpr Dialect kPostgres{"BIGSERIAL PRIMARY KEY", "BYTEA"};

// SQLite: the journal that lets pages read while reports are written, and
// commits that survive a crash of the machine, not only of the server.
constexpr const char *kSqlitePragmas[] = {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL",
                                          "PRAGMA foreign_keys=ON"};

constexpr char kTimeFormat[] = "yyyy-MM-ddTHH:mm:ss.zzzZ";

QString timeText(const QDateTime &t)
{
    return t.toUTC().toString(QLatin1String(kTimeFormat));
}

QDateTime timeOf(const QVariant &v)
{
    QDateTime t = QDateTime::fromString(v.toString(), QLatin1String(kTimeFormat));
    t.setTimeSpec(Qt::UTC);
    return t;
}

// Connections a thread opened, closed when it ends.
struct ThreadConnections
{
    QStringList names;
    ~ThreadConnections()
    {
        for (const QString &name : names)
            QSqlDatabase::removeDatabase(name);
    }
};
thread_local ThreadConnections t_connections;

std::atomic<int> g_instances{0};

bool run(QSqlQuery &query, QString *error)
{
    if (query.exec())
        return true;
    if (error)
        *error = query.lastError().text();
    return false;
}

bool exec(const QSqlDatabase &db, const QString &sql, QString *error)
{
    QSqlQuery query(db);
    if (query.exec(sql))
        return true;
    if (error)
        *error = query.lastError().text() + QStringLiteral(" (") + sql + QLatin1Char(')');
    return false;
}

// An empty text, never NULL: Qt binds a null QString as NULL.
QVariant text(const QString &s)
{
    return s.isNull() ? QVariant(QStringLiteral("")) : QVariant(s);
}

QString likePattern(const QString &text)
{
    QString escaped = text.toLower();
    escaped.replace(QLatin1Char('!'), QLatin1String("!!"));
    escaped.replace(QLatin1Char('%'), QLatin1String("!%"));
    escaped.replace(QLatin1Char('_'), QLatin1String("!_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

} // namespace

bool DatabaseTarget::fromText(const QString &text, DatabaseTarget *target, QString *error)
{
    *target = DatabaseTarget();
    if (!text.startsWith(QLatin1String("postgresql://")) && !text.startsWith(QLatin1String("postgres://"))) {
        target->file = text;
        if (text.isEmpty())
            *error = QStringLiteral("empty database file name");
        return !text.isEmpty();
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) {
        *error = QStringLiteral("bad database URL: %1").arg(url.errorString());
        return false;
    }
    target->postgres = true;
    target->host = url.host();
    target->port = url.port(-1);
    target->user = url.userName();
    target->password = url.password();
    target->name = url.path().mid(1);
    QStringList options;
    for (const auto &item : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
        options << item.first + QLatin1Char('=') + item.second;
    target->options = options.join(QLatin1Char(';'));
    return true;
}

QString DatabaseTarget::describe() const
{
    if (!postgres)
        return QStringLiteral("SQLite %1").arg(file);
    return QStringLiteral("PostgreSQL %1@%2:%3/%4").arg(user, host.isEmpty() ? QStringLiteral("(socket)") : host)
        .arg(port < 0 ? 5432 : port).arg(name);
}

ReportDatabase::ReportDatabase(DatabaseTarget target)
    : target(std::move(target)), prefix(QStringLiteral("viviv-reports-%1").arg(g_instances++))
{
}

ReportDatabase::~ReportDatabase()
{
    // This thread's connection; the others' close as their threads end.
    const QString name = prefix + QStringLiteral("-%1").arg(quintptr(QThread::currentThreadId()));
    if (t_connections.names.removeAll(name) > 0)
        QSqlDatabase::removeDatabase(name);
}

QSqlDatabase ReportDatabase::connection() const
{
    const QString name = prefix + QStringLiteral("-%1").arg(quintptr(QThread::currentThreadId()));
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (!db.isOpen() && db.open() && !target.postgres)
            for (const char *pragma : kSqlitePragmas)
                exec(db, QLatin1String(pragma), nullptr);
        return db;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(target.postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name);
    t_connections.names << name;
    if (target.postgres) {
        db.setHostName(target.host);
        if (target.port >= 0)
            db.setPort(target.port);
        db.setUserName(target.user);
        db.setPassword(target.password);
        db.setDatabaseName(target.name);
        db.setConnectOptions(target.options);
    } else {
        db.setDatabaseName(target.file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
    }
    if (db.open() && !target.postgres)
        for (const char *pragma : kSqlitePragmas)
            exec(db, QLatin1String(pragma), nullptr);
    return db;
}

void ReportDatabase::reconnect() const
{
    connection().close();
}

int ReportDatabase::currentSchemaVersion()
{
    int version = 0;
    for (const Migration &m : kMigrations)
        version = std::max(version, m.version);
    return version;
}

int ReportDatabase::schemaVersion() const
{
    QSqlQuery query(connection());
    if (!query.exec(QStringLiteral("SELECT version FROM schema_version")) || !query.next())
        return 0;
    return query.value(0).toInt();
}

bool ReportDatabase::migrate(QString *error) const
{
    return migrateTo(currentSchemaVersion(), error);
}

bool ReportDatabase::migrateTo(int version, QString *error) const
{
    QSqlDatabase db = connection();
    if (!db.isOpen()) {
        *error = QStringLiteral("cannot open %1: %2").arg(target.describe(), db.lastError().text());
        return false;
    }
    const int from = schemaVersion();
    if (from == 0 && !exec(db, QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"), error))
        return false;
    if (from >= version)
        return true;
    const Dialect &dialect = target.postgres ? kPostgres : kSqlite;
    db.transaction();
    for (const Migration &m : kMigrations) {
        if (m.version <= from || m.version > version)
            continue;
        QString sql = QLatin1String(m.statement);
        sql.replace(QLatin1String("%ID%"), QLatin1String(dialect.id)).replace(QLatin1String("%BLOB%"), QLatin1String(dialect.blob));
        if (!exec(db, sql, error)) {
            db.rollback();
            return false;
        }
    }
    QSqlQuery set(db);
    set.prepare(from == 0 ? QStringLiteral("INSERT INTO schema_version (version) VALUES (?)")
                          : QStringLiteral("UPDATE schema_version SET version = ?"));
    set.addBindValue(version);
    if (!run(set, error) || !db.commit()) {
        db.rollback();
        return false;
    }
    return true;
}

bool ReportDatabase::store(QVector<StoredReport> &reports, QString *error) const
{
    QSqlDatabase db = connection();
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery report(db);
    report.prepare(QStringLiteral(
        "INSERT INTO reports (received_at, manufacturer, model, message, readable, program_version, accessory, verdict) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"));
    QSqlQuery test(db);
    test.prepare(QStringLiteral("INSERT INTO tests (report_id, position, test_number, heading, protocol, port_setting, "
                                "verdict, telegram) VALUES (?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"));
    QSqlQuery value(db);
    value.prepare(QStringLiteral("INSERT INTO test_values (test_id, position, code, value, unit) VALUES (?, ?, ?, ?, ?)"));
    bool ok = true;
    for (StoredReport &r : reports) {
        const ReadReport &read = r.read;
        for (const QVariant &v : {QVariant(timeText(r.received)), text(read.manufacturer), text(read.model),
                                  text(read.message), QVariant(read.readable ? 1 : 0), QVariant(read.programVersion),
                                  QVariant(read.accessory), QVariant(read.verdict)})
            report.addBindValue(v);
        ok = run(report, error) && report.next();
        r.id = ok ? report.value(0).toLongLong() : 0;
        report.finish();
        for (int t = 0; ok && t < read.tests.size(); ++t) {
            const ReadTest &rt = read.tests[t];
            for (const QVariant &v : {QVariant(r.id), QVariant(t), QVariant(rt.number), text(rt.heading),
                                      text(rt.protocol), text(rt.portSetting), text(rt.verdict),
                                      QVariant(rt.telegram)})
                test.addBindValue(v);
            ok = run(test, error) && test.next();
            const qint64 testId = ok ? test.value(0).toLongLong() : 0;
            test.finish();
            for (int i = 0; ok && i < rt.values.size(); ++i) {
                for (const QVariant &v : {QVariant(testId), QVariant(i), text(rt.values[i].code),
                                          QVariant(rt.values[i].value), text(rt.values[i].unit)})
                    value.addBindValue(v);
                ok = run(value, error);
            }
        }
        if (!ok)
            break;
    }
    if (ok && db.commit())
        return true;
    if (ok)
        *error = db.lastError().text();
    db.rollback();
    return false;
}

QVector<ReportRow> ReportDatabase::reports(const ReportFilter &filter) const
{
    QString sql = QStringLiteral(
        "SELECT r.id, r.received_at, r.manufacturer, r.model, r.accessory, r.verdict, t.protocol, t.port_setting "
        "FROM reports r LEFT JOIN tests t ON t.report_id = r.id AND t.verdict = ? WHERE 1 = 1");
    QVariantList binds{QLatin1String(verdict::kGood)};
    if (!filter.manufacturer.isEmpty()) {
        sql += QStringLiteral(" AND lower(r.manufacturer) LIKE ? ESCAPE '!'");
        binds << likePattern(filter.manufacturer);
    }
    if (!filter.model.isEmpty()) {
        sql += QStringLiteral(" AND lower(r.model) LIKE ? ESCAPE '!'");
        binds << likePattern(filter.model);
    }
    if (!filter.accessory.isEmpty()) {
        sql += QStringLiteral(" AND r.accessory = ?");
        binds << filter.accessory;
    }
    if (!filter.verdict.isEmpty()) {
        sql += QStringLiteral(" AND r.verdict = ?");
        binds << filter.verdict;
    }
    if (filter.before > 0) {
        sql += QStringLiteral(" AND r.id < ?");
        binds << filter.before;
    }
    sql += QStringLiteral(" ORDER BY r.id DESC LIMIT ?");
    binds << filter.limit;
    QSqlQuery query(connection());
    query.prepare(sql);
    for (const QVariant &b : binds)
        query.addBindValue(b);
    QVector<ReportRow> rows;
    if (!query.exec())
        return rows;
    while (query.next())
        rows.append({query.value(0).toLongLong(), timeOf(query.value(1)), query.value(2).toString(),
                     query.value(3).toString(), query.value(4).toString(), query.value(5).toString(),
                     query.value(6).toString(), query.value(7).toString()});
    return rows;
}

QVector<CompatibilityRow> ReportDatabase::compatibility() const
{
    QSqlQuery query(connection());
    query.prepare(QStringLiteral(
        "SELECT r.manufacturer, r.model, r.accessory, t.protocol, t.port_setting, "
        "SUM(CASE WHEN t.verdict = ? THEN 1 ELSE 0 END), SUM(CASE WHEN t.verdict = ? THEN 0 ELSE 1 END), "
        "MAX(r.received_at) FROM reports r JOIN tests t ON t.report_id = r.id "
        "GROUP BY r.manufacturer, r.model, r.accessory, t.protocol, t.port_setting"));
    query.addBindValue(QLatin1String(verdict::kGood));
    query.addBindValue(QLatin1String(verdict::kGood));
    QVector<CompatibilityRow> rows;
    if (!query.exec())
        return rows;
    while (query.next())
        rows.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                     query.value(3).toString(), query.value(4).toString(), query.value(5).toInt(),
                     query.value(6).toInt(), timeOf(query.value(7))});
    // Sorted here: the databases' collations differ.
    const auto key = [](const CompatibilityRow &r) {
        return QStringList{r.manufacturer, r.model, r.accessory, r.protocol, r.portSetting};
    };
    std::sort(rows.begin(), rows.end(), [&key](const CompatibilityRow &x, const CompatibilityRow &y) {
        const QStringList a = key(x), b = key(y);
        for (int i = 0; i < a.size(); ++i) {
            int c = a[i].compare(b[i], Qt::CaseInsensitive);
            if (c == 0)
                c = a[i].compare(b[i]);
            if (c != 0)
                return c < 0;
        }
        return false;
    });
    return rows;
}

bool ReportDatabase::report(qint64 id, StoredReport *out) const
{
    const QSqlDatabase db = connection();
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT received_at, manufacturer, model, message, readable, program_version, "
                                 "accessory, verdict FROM reports WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return false;
    *out = StoredReport();
    out->id = id;
    out->received = timeOf(query.value(0));
    ReadReport &r = out->read;
    r.manufacturer = query.value(1).toString();
    r.model = query.value(2).toString();
    r.message = query.value(3).toString();
    r.readable = query.value(4).toInt() != 0;
    r.programVersion = query.value(5).toString();
    r.accessory = query.value(6).toString();
    r.verdict = query.value(7).toString();

    QSqlQuery tests(db);
    tests.prepare(QStringLiteral("SELECT id, test_number, heading, protocol, port_setting, verdict, telegram "
                                 "FROM tests WHERE report_id = ? ORDER BY position"));
    tests.addBindValue(id);
    QSqlQuery values(db);
    values.prepare(QStringLiteral("SELECT code, value, unit FROM test_values WHERE test_id = ? ORDER BY position"));
    if (!tests.exec())
        return false;
    while (tests.next()) {
        ReadTest t;
        t.number = tests.value(1).toInt();
        t.heading = tests.value(2).toString();
        t.protocol = tests.value(3).toString();
        t.portSetting = tests.value(4).toString();
        t.verdict = tests.value(5).toString();
        t.telegram = tests.value(6).toByteArray();
        values.addBindValue(tests.value(0));
        if (values.exec())
            while (values.next())
                t.values.append({values.value(0).toString(), values.value(1).toDouble(), values.value(2).toString()});
        r.tests.append(t);
    }
    return true;
}

qint64 ReportDatabase::count() const
{
    QSqlQuery query(connection());
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM reports")) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}
