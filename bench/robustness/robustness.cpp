// viviv-robustness: figures for the robustness table (run by run.sh, not a test).
//   soak [--requests N] [--pairs P] [--seed S]: N start requests against randomly
//       chosen simulated meters, P worker/simulator pairs side by side; RSS and
//       open descriptors sampled with all pairs idle before and after.
//   startup: the product's window (the system's ports), prints when it is shown
//       and the resident memory once it has been idle for a while.
#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <malloc.h>
#include <memory>
#include <random>
#include <time.h>
#include <unistd.h>

#include "app/mainwindow.h"
#include "tools/simulator/metersimulator.h"
#include "engine/serialclass.h"
#include "tools/simulator/realmeters.h"

using metersim::Profile;

namespace {

constexpr qint64 kHangMs = 240000; // a chain takes at most about 65 s

QTextStream out(stdout);

// Resident memory after free memory went back to the system, so that only
// what is still held counts.
qint64 residentKb()
{
    malloc_trim(0);
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

int openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size();
}

// What a request plays: a profile, maybe with a real meter's telegrams.
struct Choice
{
    QString name;
    Profile profile;
    metersim::Options options;
};

QVector<Choice> choices()
{
    QVector<Choice> list;
    for (Profile p : {Profile::SmlPush, Profile::SmlRequest, Profile::IecPush, Profile::IecModeC,
                      Profile::IecModeCIgnoresAck, Profile::IecModeC300Only, Profile::IecModeCHasty, Profile::Silent,
                      Profile::Noise, Profile::StopsMidTelegram, Profile::Unplugged, Profile::ModbusSlave,
                      Profile::Rs485Iec, Profile::Rs485SmlPush})
        list << Choice{QLatin1String(metersim::profileInfo(p).name), p, {}};
    for (const metersim::RealMeter &m : metersim::realMeters()) {
        if (m.kind == metersim::RealMeter::Kind::DecoderData)
            continue;
        metersim::Options o;
        o.realMeter = m.id;
        list << Choice{QStringLiteral("real:") + m.id, metersim::defaultProfileFor(m), o};
    }
    return list;
}

bool isConverter(Profile p)
{
    return p == Profile::ModbusSlave || p == Profile::Rs485Iec || p == Profile::Rs485SmlPush;
}

struct Tally
{
    int started = 0, ended = 0, succeeded = 0, endedWithText = 0, hung = 0, connectFailed = 0;
    QMap<QString, int> perChoice;
    qint64 longestMs = 0, totalMs = 0;
};

// One worker in its thread and the meter it is connected to, one request at a time.
class Pair : public QObject
{
public:
    Pair(int id, Tally &tally, std::function<bool(Choice *)> next) : id(id), tally(tally), next(std::move(next))
    {
        connect(&worker, &serialclass::signalConnectSerial_Success, this, &Pair::connected);
        connect(&worker, &serialclass::signalConnectSerial_Fail, this, [this](const QString &why) {
            ++this->tally.connectFailed;
            out << "pair " << this->id << ": cannot connect: " << why << Qt::endl;
            done();
        });
        connect(&worker, &serialclass::signalUpdateStatuBar, this, [this](const QString &t) { lastStatus = t; });
        connect(&worker, &serialclass::signalUpdateErgebnis, this, [this](const QString &r) { result = r; });
        connect(&worker, &serialclass::signalTestFinished, this, &Pair::done);
        connect(&hang, &QTimer::timeout, this, [this] {
            ++this->tally.hung;
            out << "pair " << this->id << ": request hangs against " << current.name << Qt::endl;
            QCoreApplication::exit(3);
        });
        hang.setSingleShot(true);
    }

    bool busy() const { return meter != nullptr; }

    void startNext()
    {
        if (!next(&current))
            return;
        meter = std::make_unique<metersim::MeterSimulator>(current.profile, current.options);
        QString error;
        if (!meter->start(&error)) {
            out << "pair " << id << ": simulator: " << error << Qt::endl;
            QCoreApplication::exit(2);
            return;
        }
        ++tally.started;
        ++tally.perChoice[current.name];
        lastStatus.clear();
        result.clear();
        clock.start();
        hang.start(int(kHangMs));
        QMetaObject::invokeMethod(&worker, "slotConnectSerialPort", Qt::QueuedConnection, Q_ARG(QString, meter->slavePath()));
    }

    std::function<void()> onIdle;

private:
    void connected()
    {
        const enum_interfaces_t accessory = isConverter(current.profile) ? MODBUS485_Converter : IR_Head;
        QMetaObject::invokeMethod(&worker, "slotStartTest", Qt::QueuedConnection, Q_ARG(QString, accessory == IR_Head ? QString() : QStringLiteral("0")),
                                  Q_ARG(TestMode_t, Test_All), Q_ARG(enum_interfaces_t, accessory));
    }

    void done()
    {
        hang.stop();
        const qint64 ms = clock.elapsed();
        ++tally.ended;
        if (lastStatus == QLatin1String("Test beendet!"))
            ++tally.endedWithText;
        tally.totalMs += ms;
        tally.longestMs = std::max(tally.longestMs, ms);
        out << "pair " << id << ": " << current.name << " " << ms << " ms, " << result << ", \"" << lastStatus << "\"" << Qt::endl;
        if (result == QLatin1String("erfolgreich"))
            ++tally.succeeded;
        QMetaObject::invokeMethod(&worker, "slotDisconnectSerialPort", Qt::BlockingQueuedConnection);
        meter.reset();
        startNext();
        if (!busy() && onIdle)
            onIdle();
    }

    int id;
    Tally &tally;
    std::function<bool(Choice *)> next;
    serialclass worker;
    std::unique_ptr<metersim::MeterSimulator> meter;
    Choice current;
    QString lastStatus;
    QString result;
    QElapsedTimer clock;
    QTimer hang;
};

// Runs the pairs until next() says no more; true unless something hung or broke.
bool runAll(std::vector<std::unique_ptr<Pair>> &pairs)
{
    for (auto &p : pairs) {
        p->onIdle = [&pairs] {
            if (std::none_of(pairs.begin(), pairs.end(), [](const auto &q) { return q->busy(); }))
                QCoreApplication::exit(0);
        };
        p->startNext();
    }
    return QCoreApplication::exec() == 0;
}

int soak(int requests, int pairCount, quint32 seed)
{
    registerMeterMetaTypes();
    const QVector<Choice> all = choices();
    const int realFrom = int(std::find_if(all.begin(), all.end(), [](const Choice &c) { return c.name.startsWith(QLatin1String("real:")); })
                             - all.begin());
    std::mt19937 random(seed);
    Tally tally;
    bool warmingUp = true;
    int left = pairCount;
    auto next = [&](Choice *c) {
        if (left <= 0)
            return false;
        --left;
        // The warm-up reads a meter once per pair, so that the sample before
        // the soak already holds what the first run allocates for good.
        // A quarter of the requests replay a real meter, the rest play one of the profiles.
        const bool real = realFrom < all.size() && random() % 4 == 0;
        const int from = real ? realFrom : 0, count = real ? all.size() - realFrom : realFrom;
        *c = warmingUp ? all.first() : all.at(from + int(random() % uint(count)));
        c->options.seed = random();
        c->options.slaveAddress = 1; // the address of the empty meter number, as the window sends it
        return true;
    };
    std::vector<std::unique_ptr<Pair>> pairs;
    for (int i = 0; i < pairCount; ++i)
        pairs.push_back(std::make_unique<Pair>(i, tally, next));

    const qint64 rssStart = residentKb();
    const int fdStart = openDescriptors();
    bool ok = runAll(pairs);
    const qint64 rssBefore = residentKb();
    const int fdBefore = openDescriptors();

    // In two halves: the first also loads what is made once and kept (the
    // real meters' corpus, a malloc arena per thread), so growth over the
    // second half is what a leak per request would show.
    warmingUp = false;
    tally = Tally();
    QElapsedTimer wall;
    wall.start();
    left = requests / 2;
    ok = ok && runAll(pairs);
    const qint64 rssMiddle = residentKb();
    const int fdMiddle = openDescriptors();
    left = requests - requests / 2;
    ok = ok && runAll(pairs);
    const qint64 rssAfter = residentKb();
    const int fdAfter = openDescriptors();

    for (auto it = tally.perChoice.cbegin(); it != tally.perChoice.cend(); ++it)
        out << "choice " << it.key() << " " << it.value() << Qt::endl;
    out << "requests " << tally.started << "\nended " << tally.ended << "\nended_with_test_beendet "
        << tally.endedWithText << "\nsucceeded " << tally.succeeded << "\nconnect_failed " << tally.connectFailed << "\nhung " << tally.hung
        << "\nchoices_offered " << all.size() << "\npairs " << pairCount << "\nwall_s " << wall.elapsed() / 1000
        << "\nmean_request_s " << (tally.ended ? tally.totalMs / tally.ended / 1000.0 : 0)
        << "\nlongest_request_s " << tally.longestMs / 1000.0 << "\nrss_kb_start " << rssStart
        << "\nrss_kb_before " << rssBefore << "\nrss_kb_middle " << rssMiddle << "\nrss_kb_after " << rssAfter << "\nfd_start " << fdStart
        << "\nfd_before " << fdBefore << "\nfd_middle " << fdMiddle << "\nfd_after " << fdAfter << Qt::endl;
    return ok && tally.ended == requests && tally.endedWithText == requests ? 0 : 1;
}

qint64 realtimeNs()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

int startup(int idleMs)
{
    auto *window = new MainWindow(); // as main() builds it; never deleted: no exit dialog
    window->show();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!window->windowHandle() || !window->windowHandle()->isExposed())
            return;
        poll.stop();
        out << "shown_realtime_ns " << realtimeNs() << Qt::endl;
        QTimer::singleShot(idleMs, [] {
            out << "idle_rss_kb " << residentKb() << Qt::endl;
            ::_exit(0);
        });
    });
    poll.start(1);
    return QApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("mode"), QStringLiteral("soak or startup"));
    parser.addOptions({{QStringLiteral("requests"), QStringLiteral("Start requests."), QStringLiteral("n"), QStringLiteral("200")},
                       {QStringLiteral("pairs"), QStringLiteral("Worker/simulator pairs."), QStringLiteral("n"), QStringLiteral("10")},
                       {QStringLiteral("seed"), QStringLiteral("Seed of the choices."), QStringLiteral("n"), QStringLiteral("1")},
                       {QStringLiteral("idle"), QStringLiteral("Idle time before the RSS sample."), QStringLiteral("ms"), QStringLiteral("3000")}});
    parser.addHelpOption();
    parser.process(app);
    const QString mode = parser.positionalArguments().value(0);
    if (mode == QLatin1String("soak"))
        return soak(parser.value(QStringLiteral("requests")).toInt(), parser.value(QStringLiteral("pairs")).toInt(),
                    parser.value(QStringLiteral("seed")).toUInt());
    if (mode == QLatin1String("startup"))
        return startup(parser.value(QStringLiteral("idle")).toInt());
    parser.showHelp(2);
}
