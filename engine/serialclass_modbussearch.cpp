#include "engine/serialclass.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>

#include "engine/modbussearch.h"
#include "protocols/modbusprobe.h"

namespace {

int firstAddressOf(const ModbusSearchRequest &request)
{
    if (request.modbusAddress > 0)
        return request.modbusAddress;
    quint8 slave = 0;
    return slaveAddressFor(request.meterNumber, slave) ? slave : 0;
}

// What a slave that answered after its probe's budget gets beyond it for
// the readings of the known maps.
constexpr int kSlowSlaveExtraMs = 1000;

struct ProbeResult
{
    ModbusReply reply;
    bool bytesCame = false;
    bool late = false; // the answer is to the probe before
};

bool isAnswer(const ModbusReply &reply)
{
    return reply.state == ModbusReply::State::Normal || reply.state == ModbusReply::State::Exception;
}

// Sends one read request and waits for its answer until the budget is spent.
// An answer to `earlier`, the probe before at the same setting, counts too:
// a slave slower than the budget is found one probe late, not missed.
ProbeResult probe(TestLink &link, const PortSetting &setting, quint8 slave, quint8 function, quint16 first,
                  quint16 count, const QByteArray &earlier = QByteArray(), int extraMs = 0)
{
    const QByteArray request = modbusReadRequest(slave, function, first, count);
    const QDeadlineTimer due(probeBudgetMs(setting, modbusReadAnswerBytes(count)) + extraMs, Qt::PreciseTimer);
    link.discardInput();
    link.write(request, int(qMax<qint64>(1, due.remainingTime())));
    ProbeResult result;
    QByteArray received;
    for (;;) {
        link.appendAvailable(received);
        result.reply = parseModbusReply(received, request);
        result.bytesCame = !received.isEmpty();
        if (!isAnswer(result.reply) && !earlier.isEmpty()) {
            const ModbusReply late = parseModbusReply(received, earlier);
            if (isAnswer(late)) {
                result.reply = late;
                result.late = true;
            }
        }
        if (isAnswer(result.reply) || due.hasExpired())
            return result;
        link.waitForInput(int(qMax<qint64>(1, due.remainingTime())));
    }
}

// The first known map whose every reading answers with a plausible value.
// A slave found late is given extraMs more for each answer.
const ModbusMap *recognise(TestLink &link, const PortSetting &setting, quint8 slave, int extraMs,
                           QList<ModbusSearchReading> &readings)
{
    for (const ModbusMap &map : kModbusMaps) {
        readings.clear();
        for (int i = 0; i < map.readingCount; ++i) {
            const ModbusReading &r = map.readings[i];
            const ProbeResult read = probe(link, setting, slave, map.function, r.firstRegister,
                                           quint16(modbusRegisterCount(r.type)), QByteArray(), extraMs);
            if (read.reply.state != ModbusReply::State::Normal)
                break;
            const double value = modbusReadingValue(r, read.reply.registers);
            if (!std::isfinite(value) || value < r.plausibleMin || value > r.plausibleMax)
                break;
            readings << ModbusSearchReading{QString::fromUtf8(r.label), value, QString::fromUtf8(r.unit)};
        }
        const bool someValue = std::any_of(readings.cbegin(), readings.cend(),
                                           [](const ModbusSearchReading &r) { return r.value != 0; });
        if (readings.size() == map.readingCount && someValue)
            return &map;
    }
    readings.clear();
    return nullptr;
}
} // namespace

void serialclass::slotModbusSearch(ModbusSearchRequest Request)
{
    QElapsedTimer clock;
    clock.start();
    const int firstAddress = firstAddressOf(Request);
    const QList<SearchProbe> order = searchOrder(firstAddress);
    ModbusSearchEvent end;
    end.kind = ModbusSearchEvent::Kind::End;
    end.firstAddress = firstAddress;
    end.probes = int(order.size());
    auto quiet = [](auto &&...) {};
    const TestLog log(TestSink{quiet, quiet, quiet, quiet, nullptr});
    try {
        TestLink link(serialPort, log);
        int configured = -1;
        QList<QPair<int, int>> found; // the setting and address of each device: not probed again
        SearchProbe earlier{-1, 0, 0}; // the probe before at the same setting
        for (int i = 0; i < order.size(); ++i) {
            SearchProbe p = order.at(i);
            if (found.contains(qMakePair(p.line, p.address)))
                continue;
            const SearchLine &line = kSearchLines[p.line];
            if (p.line != configured) {
                link.configure(line.line);
                configured = p.line;
                earlier = SearchProbe{-1, 0, 0};
            }
            ModbusSearchEvent event;
            event.setting = line.setting;
            event.address = p.address;
            event.function = p.function;
            event.probe = i + 1;
            event.probes = end.probes;
            event.elapsedMs = clock.elapsed();
            emit signalModbusSearchEvent(event);

            const QByteArray earlierRequest = earlier.line < 0
                ? QByteArray()
                : modbusReadRequest(quint8(earlier.address), earlier.function, 0, kProbeRegisterCount);
            const ProbeResult result =
                probe(link, line.setting, quint8(p.address), p.function, 0, kProbeRegisterCount, earlierRequest);
            earlier = p;
            if (!isAnswer(result.reply)) {
                if (result.bytesCame && !end.settingsWithBytes.contains(line.setting))
                    end.settingsWithBytes << line.setting;
                continue;
            }
            if (result.late) {
                p = SearchProbe{p.line, int(quint8(earlierRequest.at(0))), quint8(earlierRequest.at(1))};
                event.address = p.address;
                event.function = p.function;
            }
            const ModbusReply::State state = result.reply.state;
            event.kind = ModbusSearchEvent::Kind::Device;
            event.elapsedMs = clock.elapsed();
            event.answer = result.reply.frame;
            event.exception = state == ModbusReply::State::Exception;
            event.exceptionCode = result.reply.exceptionCode;
            const int extraMs = result.late ? kSlowSlaveExtraMs : 0;
            if (const ModbusMap *map = recognise(link, line.setting, quint8(p.address), extraMs, event.readings)) {
                event.mapKey = QString::fromLatin1(map->key);
                event.mapName = QString::fromUtf8(map->name);
            }
            emit signalModbusSearchEvent(event);
            ++end.devices;
            found << qMakePair(p.line, p.address);
            if (!Request.all)
                break;
        }
    } catch (const PortFailure &failure) {
        end.portFailure = failure.kind;
        end.portFailureText = failure.text;
    } catch (const StopRequested &) {
        end.stopped = true;
    }
    end.elapsedMs = clock.elapsed();
    emit signalModbusSearchEvent(end);
}
