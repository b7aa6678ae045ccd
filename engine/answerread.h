#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class TestLink;

// How long a test of the fast chain waits for an answer: for its first byte,
// for each next byte once bytes came, and at most in all.
struct AnswerWindow
{
    int firstMs;
    int silenceMs;
    int maxMs;
};

// IEC 62056-21: a meter answers within 1500 ms and pauses at most 1500 ms
// between characters. The margin covers a USB adapter's packets and the
// scheduler.
constexpr int kIecReactionMaxMs = 1500;
constexpr int kIecCharacterGapMaxMs = 1500;
constexpr int kAnswerMarginMs = 1000;

// Reads until complete(buffer) holds or the window closes; true when it holds.
bool readAnswer(TestLink &link, QByteArray &buffer, const AnswerWindow &window,
                const std::function<bool(const QByteArray &)> &complete, const QString &progressPrefix = QString());

// A readout (identification, STX ... ETX) is complete with the block check
// character after its ETX.
bool readoutComplete(const QByteArray &buffer);
