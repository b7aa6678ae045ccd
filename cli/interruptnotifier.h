#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal in the thread that created it.
// The handler only writes the signal number into a pipe (the self-pipe
// trick); all Qt work happens when the event loop reads it.
class InterruptNotifier : public QObject
{
    Q_OBJECT

public:
    explicit InterruptNotifier(QObject *parent = nullptr);
    ~InterruptNotifier() override;

    bool isActive() const { return notifier != nullptr; }

signals:
    void interrupted(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *notifier = nullptr;
};
