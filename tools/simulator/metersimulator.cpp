#include "tools/simulator/metersimulator.h"

#include "tools/simulator/meter.h"
#include "tools/simulator/uart.h"
#include "tools/testbed/linesettings_record.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <QFile>

namespace metersim {

namespace {

constexpr qint64 kMs = 1000000;
// A transmission is cut into chunks of about this much line time; the
// program's settings are looked at again for every chunk.
constexpr qint64 kChunkNs = 10 * kMs;
// The receiving UART hands characters over when its FIFO holds this many,
// or after this many character times of silence (as a 16550 does), so that
// the last bytes of a telegram arrive together.
constexpr int kFifoTrigger = 8;
constexpr int kFifoTimeoutChars = 4;
// Bytes of the program closer together than this are one transmission.
constexpr qint64 kTransmissionGapNs = 20 * kMs;
// Longest sleep of the loop, so that requests from outside are seen soon.
constexpr int kMaxPollMs = 50;
constexpr int kNotesLimit = 2000;
constexpr qint64 kNever = std::numeric_limits<qint64>::max();
// Pty numbers passed over while their last user's lock file is still there.
constexpr int kMaxSkippedPtys = 8;

// A serial port program (QSerialPort) closes the port before it removes its
// lock file ("LCK..pts_7"): for a moment the number is free again but locked,
// and a program that opens a new pty of that number is refused.
bool lockFileLeft(const QString &slave)
{
    const QString name = QStringLiteral("LCK..") + QString(slave).remove(QStringLiteral("/dev/")).replace('/', '_');
    for (const char *dir : {"/var/lock", "/run/lock", "/tmp"})
        if (QFile::exists(QLatin1String(dir) + QLatin1Char('/') + name))
            return true;
    return false;
}

struct Timed
{
    qint64 t;
    char byte;
};

struct Segment
{
    QByteArray bytes;
    LineFormat format;
};

struct Inbound
{
    qint64 t;
    QByteArray bytes;
};

} // namespace

class MeterSimulator::Private : public MeterLine
{
public:
    Private(Profile p, Options o) : profile(p), options(effectiveOptions(p, std::move(o))) {}

    // ---- set-up and tear-down (caller's thread) ----
    bool open(QString *error);
    void closeAll();
    void requestAndJoin(std::atomic<bool> &flag);

    // ---- the simulator's thread ----
    void run();
    void step(qint64 now);
    qint64 nextWake() const;
    void readProgram(qint64 now);
    void pumpTransmitter(qint64 now);
    void pumpReceiver(qint64 now);
    void pumpUsbAdapter(qint64 now);
    qint64 usbTimerRunsOutNs() const { return usbTimerStartNs + qint64(options.usbLatencyMs) * kMs; }
    void flushFifo();
    void doUnplug();
    void hearPendingInput();
    LineFormat currentProgramFormat() const;

    // ---- MeterLine ----
    qint64 elapsedMs() const override { return nowNs() / kMs; }
    LineFormat format() const override { return meterFmt; }
    void setFormat(const LineFormat &f) override;
    LineFormat programFormat() const override { return currentProgramFormat(); }
    void send(const QByteArray &bytes) override;
    qint64 backlogNs() const override;
    void startTimer(int id, int ms) override { timers[id] = nowNs() + qint64(std::max(0, ms)) * kMs; }
    void stopTimer(int id) override { timers.erase(id); }
    void note(const QString &text) override;

    qint64 nowNs() const
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - t0).count();
    }

    const Profile profile;
    const Options options;
    std::unique_ptr<Meter> meter;
    std::unique_ptr<ProgramLine> programLine;

    int masterFd = -1;
    int ownSlaveFd = -1; // keeps the pty up while the program has it closed
    int wakeFd = -1;
    QString slave;
    std::thread thread;
    std::mutex joinMutex;
    std::chrono::steady_clock::time_point t0;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> unplugRequested{false};
    std::atomic<bool> running{false};
    std::atomic<bool> unplugged{false};
    // Asked by the program's thread before its settings change, answered by ours.
    std::atomic<quint64> hearAsked{0};
    quint64 hearAnswered = 0;
    std::mutex hearMutex;
    std::condition_variable heard;

    // Thread-side state.
    LineFormat meterFmt;
    std::map<int, qint64> timers;
    std::deque<Segment> txQueue;
    qint64 txFreeNs = 0;
    std::deque<Timed> rxPending;
    QByteArray fifo;
    qint64 fifoLastNs = 0;
    qint64 fifoCharNs = kMs;
    qint64 usbTimerStartNs = 0;
    std::deque<Inbound> inbox;
    qint64 programAirFreeNs = 0;
    qint64 lastProgramByteNs = -kNever / 2;
    int transmission = 0;
    qint64 meterBytesSent = 0;
    bool stoppedNoted = false;
    bool overrunNoted = false;
    qint64 unplugAtNs = kNever;

    // Shared with the caller's thread.
    mutable std::mutex shared;
    QByteArray received;
    QByteArray sent;
    QStringList notes;
    mutable LineFormat lastProgramFormat;
    mutable FormatSource source = FormatSource::AssumedMeterFormat;
    LineFormat meterFormatShared;
    std::function<void(const QString &)> noteHandler;
};

// ---- set-up ----

bool MeterSimulator::Private::open(QString *error)
{
    auto fail = [&](const QString &what) {
        if (error)
            *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno));
        closeAll();
        return false;
    };
    // Kept open while another is taken, so that the next one gets another number.
    struct Skipped
    {
        std::vector<int> fds;
        ~Skipped()
        {
            for (const int fd : fds)
                ::close(fd);
        }
    } skipped;
    char name[128];
    do {
        if (masterFd >= 0)
            skipped.fds.push_back(masterFd);
        masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (masterFd < 0)
            return fail(QStringLiteral("posix_openpt"));
        if (grantpt(masterFd) != 0 || unlockpt(masterFd) != 0)
            return fail(QStringLiteral("unlockpt"));
        if (ptsname_r(masterFd, name, sizeof name) != 0)
            return fail(QStringLiteral("ptsname"));
        slave = QString::fromLocal8Bit(name);
    } while (int(skipped.fds.size()) < kMaxSkippedPtys && lockFileLeft(slave));
    ownSlaveFd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (ownSlaveFd < 0)
        return fail(QStringLiteral("open ") + slave);
    struct termios t;
    if (tcgetattr(ownSlaveFd, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        tcsetattr(ownSlaveFd, TCSANOW, &t);
    }
    fcntl(masterFd, F_SETFL, fcntl(masterFd, F_GETFL) | O_NONBLOCK);
    wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0)
        return fail(QStringLiteral("eventfd"));
    programLine = std::make_unique<ProgramLine>(masterFd, slave);
    programLine->forgetRecords();
    return true;
}

void MeterSimulator::Private::closeAll()
{
    for (int *fd : {&masterFd, &ownSlaveFd, &wakeFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    if (programLine)
        programLine->forgetRecords();
}

void MeterSimulator::Private::requestAndJoin(std::atomic<bool> &flag)
{
    flag = true;
    if (wakeFd >= 0) {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
    }
    // unplug() from a timer thread may meet stop() from the owner.
    std::lock_guard<std::mutex> lock(joinMutex);
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
        thread.join();
}

// ---- the loop ----

void MeterSimulator::Private::run()
{
    meter->start(*this);
    while (!stopRequested) {
        if (unplugRequested) {
            doUnplug();
            break;
        }
        const qint64 now = nowNs();
        step(now);
        if (now >= unplugAtNs) {
            doUnplug();
            break;
        }
        const qint64 wake = std::min(nextWake(), unplugAtNs);
        int timeoutMs = kMaxPollMs;
        if (wake != kNever)
            timeoutMs = int(std::clamp<qint64>((wake - nowNs() + kMs - 1) / kMs, 0, kMaxPollMs));
        struct pollfd fds[2] = {{masterFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (poll(fds, 2, timeoutMs) < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN) {
            quint64 v;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd, &v, sizeof v);
        }
        const quint64 asked = hearAsked;
        if ((fds[0].revents & POLLIN) || asked != hearAnswered)
            readProgram(nowNs());
        else if (fds[0].revents & (POLLHUP | POLLERR))
            std::this_thread::sleep_for(std::chrono::milliseconds(5)); // no reader; should not last
        if (asked != hearAnswered) {
            std::lock_guard<std::mutex> lock(hearMutex);
            hearAnswered = asked;
            heard.notify_all();
        }
    }
    std::lock_guard<std::mutex> lock(hearMutex);
    running = false;
    heard.notify_all();
}

// A pty keeps no time of writing: bytes read late would be heard at settings
// the program chose after writing them. Reading them before the change keeps
// the order on the line; the wait is bounded in case this thread is stuck.
void MeterSimulator::Private::hearPendingInput()
{
    if (!running || std::this_thread::get_id() == thread.get_id())
        return;
    // Mostly nothing waits (a port being set up or closed): no round trip then.
    int pending = 0;
    if (::ioctl(masterFd, FIONREAD, &pending) != 0 || pending <= 0)
        return;
    const quint64 ticket = ++hearAsked;
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
    std::unique_lock<std::mutex> lock(hearMutex);
    heard.wait_for(lock, std::chrono::seconds(5), [&] { return hearAnswered >= ticket || !running; });
}

void MeterSimulator::Private::step(qint64 now)
{
    // Timers and heard bytes in the order of their times, also when the thread
    // woke late (a reply before its time-out). Timers may start timers with
    // 0 ms; the bound keeps one step finite.
    for (int guard = 0; guard < 256; ++guard) {
        auto due = std::min_element(timers.begin(), timers.end(),
                                    [](const auto &a, const auto &b) { return a.second < b.second; });
        const bool timerDue = due != timers.end() && due->second <= now;
        const bool heardDue = !inbox.empty() && inbox.front().t <= now;
        if (heardDue && (!timerDue || inbox.front().t <= due->second)) {
            const QByteArray bytes = inbox.front().bytes;
            inbox.pop_front();
            meter->received(*this, bytes);
        } else if (timerDue) {
            const int id = due->first;
            timers.erase(due);
            meter->timer(*this, id);
        } else {
            break;
        }
    }
    pumpTransmitter(now);
    pumpReceiver(now);
}

qint64 MeterSimulator::Private::nextWake() const
{
    qint64 wake = kNever;
    for (const auto &t : timers)
        wake = std::min(wake, t.second);
    if (!inbox.empty())
        wake = std::min(wake, inbox.front().t);
    if (!txQueue.empty())
        wake = std::min(wake, txFreeNs);
    if (!rxPending.empty())
        wake = std::min(wake, rxPending.front().t);
    if (!fifo.isEmpty())
        wake = std::min(wake, options.usbAdapter ? usbTimerRunsOutNs() : fifoLastNs + kFifoTimeoutChars * fifoCharNs);
    return wake;
}

LineFormat MeterSimulator::Private::currentProgramFormat() const
{
    const LineFormat f = programLine->current(meterFmt);
    std::lock_guard<std::mutex> lock(shared);
    lastProgramFormat = f;
    source = programLine->lastSource();
    return f;
}

void MeterSimulator::Private::readProgram(qint64 now)
{
    QByteArray bytes;
    char buf[4096];
    while (true) {
        const ssize_t n = ::read(masterFd, buf, sizeof buf);
        if (n <= 0)
            break;
        bytes.append(buf, int(n));
    }
    if (bytes.isEmpty())
        return;
    {
        std::lock_guard<std::mutex> lock(shared);
        received += bytes;
    }
    const LineFormat pf = currentProgramFormat();
    const qint64 airStart = std::max(now, programAirFreeNs);
    programAirFreeNs = airStart + bytes.size() * pf.charTimeNs();

    // What the meter's UART makes of it, once the last character is in.
    const QVector<UartChar> chars = transcode(bytes, pf, meterFmt);
    QByteArray good;
    for (const UartChar &c : chars) {
        if (!c.framingError && !c.parityError)
            good.append(char(c.value));
    }
    if (good.size() != bytes.size() || !pf.sameCharFormat(meterFmt) || pf.baud != meterFmt.baud)
        note(QStringLiteral("heard %1 bytes at %2, meter at %3: %4 intact")
                 .arg(bytes.size())
                 .arg(pf.toString(), meterFmt.toString())
                 .arg(good.size()));
    if (!good.isEmpty())
        inbox.push_back({programAirFreeNs, good});

    // The optical echo: the program's own light comes straight back.
    if (airStart - lastProgramByteNs > kTransmissionGapNs)
        ++transmission;
    lastProgramByteNs = programAirFreeNs;
    if (!options.echo)
        return;
    fifoCharNs = pf.charTimeNs();
    if (options.lostEchoes.contains(transmission)) {
        note(QStringLiteral("echo of transmission %1 lost").arg(transmission));
        return;
    }
    QByteArray echo = bytes;
    if (options.damagedEchoes.contains(transmission)) {
        echo[0] = char(echo[0] ^ 0x20);
        note(QStringLiteral("echo of transmission %1 damaged").arg(transmission));
    }
    for (const UartChar &c : transcode(echo, pf, pf)) {
        const Timed item{airStart + c.endNs, char(c.value)};
        auto pos = std::upper_bound(rxPending.begin(), rxPending.end(), item.t,
                                    [](qint64 t, const Timed &x) { return t < x.t; });
        rxPending.insert(pos, item);
    }
}

void MeterSimulator::Private::pumpTransmitter(qint64 now)
{
    while (!txQueue.empty() && txFreeNs <= now) {
        Segment &seg = txQueue.front();
        const qint64 ct = seg.format.charTimeNs();
        const int n = int(std::min<qint64>(seg.bytes.size(), std::max<qint64>(1, kChunkNs / ct)));
        const QByteArray chunk = seg.bytes.left(n);
        const LineFormat tx = seg.format;
        seg.bytes.remove(0, n);
        if (seg.bytes.isEmpty())
            txQueue.pop_front();
        const LineFormat rx = currentProgramFormat();
        fifoCharNs = rx.charTimeNs();
        const qint64 start = txFreeNs;
        for (const UartChar &c : transcode(chunk, tx, rx)) {
            if (c.framingError)
                continue; // the program's port ignores framing errors
            const Timed item{start + c.endNs, char(c.value)};
            auto pos = std::upper_bound(rxPending.begin(), rxPending.end(), item.t,
                                        [](qint64 t, const Timed &x) { return t < x.t; });
            rxPending.insert(pos, item);
        }
        txFreeNs = start + n * ct;
    }
}

void MeterSimulator::Private::pumpReceiver(qint64 now)
{
    if (options.usbAdapter) {
        pumpUsbAdapter(now);
        return;
    }
    while (!rxPending.empty() && rxPending.front().t <= now) {
        fifo.append(rxPending.front().byte);
        fifoLastNs = rxPending.front().t;
        rxPending.pop_front();
        if (fifo.size() >= kFifoTrigger)
            flushFifo();
    }
    if (fifo.isEmpty())
        return;
    const qint64 deadline = fifoLastNs + kFifoTimeoutChars * fifoCharNs;
    if (now >= deadline && (rxPending.empty() || rxPending.front().t > deadline))
        flushFifo();
}

// A USB serial adapter sends a packet to the host when it is full or when its
// latency timer runs out; the timer starts again with every packet, and an
// empty one only restarts it. Events are taken in the order of their times.
void MeterSimulator::Private::pumpUsbAdapter(qint64 now)
{
    const qint64 latency = qint64(options.usbLatencyMs) * kMs;
    while (true) {
        if (fifo.isEmpty()) {
            if (rxPending.empty() || rxPending.front().t > now)
                return;
            // The empty expiries before this byte.
            const qint64 t = rxPending.front().t;
            if (t >= usbTimerRunsOutNs())
                usbTimerStartNs += (t - usbTimerStartNs) / latency * latency;
        }
        const qint64 runsOut = usbTimerRunsOutNs();
        if (!rxPending.empty() && rxPending.front().t < runsOut) {
            const qint64 t = rxPending.front().t;
            if (t > now)
                return;
            fifo.append(rxPending.front().byte);
            rxPending.pop_front();
            if (fifo.size() >= options.usbPacketBytes) {
                usbTimerStartNs = t;
                flushFifo();
            }
        } else {
            if (runsOut > now)
                return;
            usbTimerStartNs = runsOut;
            flushFifo();
        }
    }
}

void MeterSimulator::Private::flushFifo()
{
    const ssize_t n = ::write(masterFd, fifo.constData(), size_t(fifo.size()));
    // An overrun, as on a real UART whose bytes nobody fetches; said once.
    if (n < fifo.size() && !overrunNoted)
        note(QStringLiteral("the program's input is full: bytes are lost"));
    overrunNoted = n < fifo.size();
    if (n > 0) {
        std::lock_guard<std::mutex> lock(shared);
        sent.append(fifo.constData(), int(n));
    }
    fifo.clear();
}

void MeterSimulator::Private::doUnplug()
{
    note(QStringLiteral("unplugged"));
    for (int *fd : {&masterFd, &ownSlaveFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    programLine->forgetRecords();
    unplugged = true;
    running = false;
}

// ---- MeterLine ----

void MeterSimulator::Private::setFormat(const LineFormat &f)
{
    if (f == meterFmt)
        return;
    meterFmt = f;
    std::lock_guard<std::mutex> lock(shared);
    meterFormatShared = f;
}

void MeterSimulator::Private::send(const QByteArray &bytes)
{
    QByteArray out = bytes;
    if (options.stopAfterBytes >= 0) {
        const qint64 left = std::max<qint64>(0, options.stopAfterBytes - meterBytesSent);
        if (out.size() > left) {
            out.truncate(int(left));
            if (!stoppedNoted)
                note(QStringLiteral("meter stops after %1 bytes").arg(options.stopAfterBytes));
            stoppedNoted = true;
        }
    }
    if (out.isEmpty())
        return;
    meterBytesSent += out.size();
    if (txQueue.empty())
        txFreeNs = std::max(txFreeNs, nowNs());
    txQueue.push_back({out, meterFmt});
}

qint64 MeterSimulator::Private::backlogNs() const
{
    qint64 total = 0;
    for (const Segment &s : txQueue)
        total += s.bytes.size() * s.format.charTimeNs();
    return std::max<qint64>(0, txFreeNs - nowNs()) + total;
}

void MeterSimulator::Private::note(const QString &text)
{
    std::function<void(const QString &)> handler;
    {
        std::lock_guard<std::mutex> lock(shared);
        if (notes.size() < kNotesLimit)
            notes.append(text);
        handler = noteHandler;
    }
    if (handler)
        handler(text);
}

// ---- MeterSimulator ----

MeterSimulator::MeterSimulator(Profile profile, Options options) : d(std::make_unique<Private>(profile, std::move(options)))
{
}

MeterSimulator::~MeterSimulator()
{
    stop();
}

namespace {

// The simulators running in this process, for the test bed's call before a
// program changes its settings.
struct Listening
{
    QString slave;
    std::function<void()> hearPending;
};
std::mutex &listeningMutex()
{
    static std::mutex m;
    return m;
}
std::map<const void *, Listening> &listening()
{
    static std::map<const void *, Listening> m;
    return m;
}

void hearBeforeSettingsChange(const char *slavePath)
{
    const QString slave = QString::fromLocal8Bit(slavePath);
    std::lock_guard<std::mutex> lock(listeningMutex());
    for (const auto &entry : listening())
        if (entry.second.slave == slave)
            entry.second.hearPending();
}

} // namespace

bool MeterSimulator::start(QString *error)
{
    if (d->running || d->thread.joinable()) {
        if (error)
            *error = QStringLiteral("already started");
        return false;
    }
    const QString problem = realMeterProblem(d->profile, d->options);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    if (!d->open(error))
        return false;
    d->meter = createMeter(d->profile, d->options);
    d->meterFmt = d->meter->initialFormat();
    d->meterFormatShared = d->meterFmt;
    d->lastProgramFormat = d->meterFmt;
    d->t0 = std::chrono::steady_clock::now();
    if (d->options.unplugAfterMs >= 0)
        d->unplugAtNs = qint64(d->options.unplugAfterMs) * kMs;
    if (!ProgramLine::testBedInProcess())
        d->note(QStringLiteral("character format: read from the test bed's record once the program sets it; "
                               "without one the meter's %1 counts as set")
                    .arg(d->meterFmt.charFormatString()));
    d->running = true;
    d->thread = std::thread([this] { d->run(); });
    {
        std::lock_guard<std::mutex> lock(listeningMutex());
        listening()[d.get()] = {d->slave, [p = d.get()] { p->hearPendingInput(); }};
    }
    return true;
}

void MeterSimulator::stop()
{
    {
        std::lock_guard<std::mutex> lock(listeningMutex());
        listening().erase(d.get());
    }
    d->requestAndJoin(d->stopRequested);
    d->closeAll();
    d->running = false;
}

void MeterSimulator::unplug()
{
    if (d->running)
        d->requestAndJoin(d->unplugRequested);
}

bool MeterSimulator::isRunning() const { return d->running; }
bool MeterSimulator::isUnplugged() const { return d->unplugged; }
QString MeterSimulator::slavePath() const { return d->slave; }
Profile MeterSimulator::profile() const { return d->profile; }
const Options &MeterSimulator::options() const { return d->options; }

QByteArray MeterSimulator::receivedBytes() const
{
    std::lock_guard<std::mutex> lock(d->shared);
    return d->received;
}

QByteArray MeterSimulator::sentBytes() const
{
    std::lock_guard<std::mutex> lock(d->shared);
    return d->sent;
}

void MeterSimulator::clearRecorded()
{
    std::lock_guard<std::mutex> lock(d->shared);
    d->received.clear();
    d->sent.clear();
}

LineFormat MeterSimulator::programFormat() const
{
    std::lock_guard<std::mutex> lock(d->shared);
    return d->lastProgramFormat;
}

FormatSource MeterSimulator::formatSource() const
{
    std::lock_guard<std::mutex> lock(d->shared);
    return d->source;
}

LineFormat MeterSimulator::meterFormat() const
{
    std::lock_guard<std::mutex> lock(d->shared);
    return d->meterFormatShared;
}

QStringList MeterSimulator::notes() const
{
    std::lock_guard<std::mutex> lock(d->shared);
    return d->notes;
}

void MeterSimulator::setNoteHandler(std::function<void(const QString &)> handler)
{
    std::lock_guard<std::mutex> lock(d->shared);
    d->noteHandler = std::move(handler);
}

} // namespace metersim

extern "C" void viviv_testbed_settings_change(const char *slavePath)
{
    metersim::hearBeforeSettingsChange(slavePath);
}
