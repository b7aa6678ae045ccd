#pragma once

#include <QByteArray>
#include <QVector>

#include <atomic>

// Many users sending results at once: reports 0..count-1 spread over
// `connections` keep-alive connections to the endpoint on 127.0.0.1, each
// report the log of an SML test with the model "Flut <i>". A post that
// fails (the server gone) is sent again until it is answered or retryMs
// have passed without any answer.
struct FloodResult
{
    QVector<int> acknowledged; // reports answered "MESSAGE_SENT"
    QVector<double> answerMs;  // time to the answer of each acknowledged post
    int failedPosts = 0;
    double seconds = 0;

    double reportsPerSecond() const { return seconds > 0 ? acknowledged.size() / seconds : 0; }
    double percentileMs(double p) const;
};

// The form body of report i, as the test program sends it.
QByteArray floodBody(int i);

// `port` is read again for every new connection, so that a restarted
// server on another port is found; `acked` counts along.
FloodResult flood(const std::atomic<int> &port, int count, int connections, std::atomic<int> *acked, int retryMs);
