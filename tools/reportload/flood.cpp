#include "tools/reportload/flood.h"

#include <httplib.h>

#include <QUrl>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "tools/simulator/telegrams.h"

namespace {
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}
} // namespace

double FloodResult::percentileMs(double p) const
{
    if (answerMs.isEmpty())
        return 0;
    QVector<double> sorted = answerMs;
    std::sort(sorted.begin(), sorted.end());
    return sorted[std::min(int(sorted.size()) - 1, int(p / 100.0 * sorted.size()))];
}

QByteArray floodBody(int i)
{
    const QByteArray frame = metersim::telegrams::smlFile().toHex().toUpper();
    const QByteArray message = "Hersteller: Flutwerk\nModell: Flut " + QByteArray::number(i)
                               + "\n\nViviv Testprogramm v.1.19\nTest 1 mit Baud 9600 8N1 unidirektional:\nErgebnis: "
                               + frame;
    return "viviv&subject=Viviv_Testprogramm&message=" + message.toBase64().toPercentEncoding();
}

FloodResult flood(const std::atomic<int> &port, int count, int connections, std::atomic<int> *acked, int retryMs)
{
    FloodResult result;
    std::mutex mutex;
    std::atomic<int> next{0};
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < connections; ++c) {
        threads.emplace_back([&] {
            std::unique_ptr<httplib::Client> client;
            int clientPort = 0;
            for (int i = next++; i < count; i = next++) {
                const std::string body = floodBody(i).toStdString();
                const Clock::time_point firstTry = Clock::now();
                for (;;) {
                    if (!client || clientPort != port) {
                        clientPort = port;
                        client = std::make_unique<httplib::Client>("127.0.0.1", clientPort);
                        client->set_keep_alive(true);
                        client->set_read_timeout(30, 0);
                    }
                    const Clock::time_point sent = Clock::now();
                    const auto res = client->Post("/Updates/Updater/report.php", body, "application/x-www-form-urlencoded");
                    if (res && res->status == 200 && res->body == "MESSAGE_SENT") {
                        std::lock_guard<std::mutex> lock(mutex);
                        result.acknowledged.append(i);
                        result.answerMs.append(msSince(sent));
                        ++*acked;
                        break;
                    }
                    {
                        std::lock_guard<std::mutex> lock(mutex);
                        ++result.failedPosts;
                    }
                    // An answer other than MESSAGE_SENT is final; no answer at all is retried.
                    client.reset();
                    if (res || msSince(firstTry) > retryMs)
                        break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    result.seconds = msSince(start) / 1000.0;
    return result;
}
