#pragma once

#include <QSet>

#include "tools/simulator/meter.h"
#include "tools/simulator/options.h"

#include <QMap>

#include <random>

namespace metersim {

// Sends one telegram every interval, whatever it hears (SML or IEC push).
class PushMeter : public Meter
{
public:
    // Pushes counted from 1 in `damaged` go out with one bit changed.
    PushMeter(LineFormat format, QByteArray telegram, int intervalMs, int firstPushMs, QSet<int> damaged = {});
    LineFormat initialFormat() const override { return format; }
    void start(MeterLine &line) override;
    void timer(MeterLine &line, int id) override;

private:
    LineFormat format;
    QByteArray telegram;
    int intervalMs;
    int firstPushMs;
    QSet<int> damaged;
    int pushes = 0;
};

// Answers one fixed request with one telegram.
class RequestMeter : public Meter
{
public:
    RequestMeter(LineFormat format, QByteArray request, QByteArray answer, int reactionMs);
    LineFormat initialFormat() const override { return format; }
    void received(MeterLine &line, const QByteArray &bytes) override;
    void timer(MeterLine &line, int id) override;

private:
    LineFormat format;
    QByteArray request;
    QByteArray answer;
    int reactionMs;
    QByteArray heardBytes;
};

// IEC 62056-21 mode C: sign-on at 300 Bd, identification, acknowledgement,
// data message at the acknowledged rate, either after Options::ackReactionMs
// or once the program's port shows that rate. A baud-rate character that is no
// mode C rate (a letter of mode B) is offered as it is, and then no
// acknowledgement is taken: the meter stays silent.
class IecModeCMeter : public Meter
{
public:
    enum class Kind {
        Normal,      // switches once the program's port shows the new rate
        IgnoresAck,  // never reacts to the acknowledgement
        Only300,     // sends the data message at 300 Bd whatever was agreed
        Hasty,       // switches right after the acknowledgement
    };
    IecModeCMeter(Kind kind, const Options &options, QByteArray identification, QByteArray dataMessage);
    LineFormat initialFormat() const override;
    void received(MeterLine &line, const QByteArray &bytes) override;
    void timer(MeterLine &line, int id) override;

    // 300 for '0' up to 19200 for '6'; 0 for any other character.
    static qint32 rateOfBaudChar(char c);

private:
    enum class State { Idle, Identifying, AwaitingAck, Switching, Sending };
    void sendDataAt(MeterLine &line, qint32 baud);

    Kind kind;
    LineFormat signOn;
    QString meterAddress;
    bool addressRequired;
    char baudChar;
    int reactionMs;
    int switchGapMs;
    int ackReactionMs;
    QByteArray identification;
    QByteArray dataMessage;
    State state = State::Idle;
    QByteArray heardBytes;
    qint32 agreedBaud = 300;
    qint64 switchWatchStartMs = 0;
};

// RS485 IEC 62056-21 meter at one fixed rate: identification on "/?!", the
// data message after the acknowledgement, no rate switch.
class Rs485IecMeter : public Meter
{
public:
    Rs485IecMeter(LineFormat format, QByteArray identification, QByteArray dataMessage, int reactionMs);
    LineFormat initialFormat() const override { return format; }
    void received(MeterLine &line, const QByteArray &bytes) override;
    void timer(MeterLine &line, int id) override;

private:
    LineFormat format;
    QByteArray identification;
    QByteArray dataMessage;
    int reactionMs;
    QByteArray heardBytes;
    bool identified = false;
};

// Modbus RTU slave answering Read Holding Registers from a register map.
class ModbusSlaveMeter : public Meter
{
public:
    explicit ModbusSlaveMeter(const Options &options, QMap<quint16, quint16> registers);
    LineFormat initialFormat() const override { return format; }
    void received(MeterLine &line, const QByteArray &bytes) override;
    void timer(MeterLine &line, int id) override;

private:
    QByteArray answerTo(quint16 first, quint16 count) const;

    LineFormat format;
    quint8 meterAddress;
    QMap<quint16, quint16> registers;
    QMap<quint16, ModbusFault> faults;
    int delayMs;
    int pieceGapMs;
    QByteArray pending;   // answer waiting for its delay
    QByteArray secondHalf; // rest of an answer sent in pieces
};

// Sends nothing; the optical echo, when enabled, still works.
class SilentMeter : public Meter
{
public:
    LineFormat initialFormat() const override { return format8N1(9600); }
};

// Random bytes without end, at whatever the program's port is set to.
class NoiseMeter : public Meter
{
public:
    explicit NoiseMeter(quint32 seed) : random(seed) {}
    LineFormat initialFormat() const override { return format8N1(9600); }
    void start(MeterLine &line) override;
    void timer(MeterLine &line, int id) override;

private:
    std::mt19937 random;
};

} // namespace metersim
