#pragma once

// A meter on a pseudo-terminal. The program under test opens slavePath()
// with a real QSerialPort; the simulator serves the master side in a thread
// of its own, so it keeps running while the test's thread blocks.
//
//   metersim::Options o;
//   o.intervalMs = 2000;
//   metersim::MeterSimulator sim(metersim::Profile::SmlPush, o);
//   QVERIFY(sim.start());
//   port.setPortName(sim.slavePath());
//   ...
//   sim.receivedBytes(); // what the program wrote
//
// The executable that opens the port must link the linesettings_testbed
// OBJECT library, or the simulator cannot see the data bits and parity the
// program asks for (it then takes the meter's own format as set).

#include "tools/simulator/lineformat.h"
#include "tools/simulator/options.h"
#include "tools/simulator/profiles.h"
#include "tools/simulator/programline.h"
#include "tools/simulator/telegrams.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace metersim {

class MeterSimulator
{
public:
    explicit MeterSimulator(Profile profile, Options options = {});
    ~MeterSimulator();
    MeterSimulator(const MeterSimulator &) = delete;
    MeterSimulator &operator=(const MeterSimulator &) = delete;

    // Opens the pty pair and starts serving it. False with a reason when the
    // pty cannot be had.
    bool start(QString *error = nullptr);
    // Stops serving and closes the master; the slave path goes away.
    void stop();
    // The port disappears now, as when the adapter is pulled: the master
    // closes, and the program's pending wait fails with a read error.
    void unplug();

    bool isRunning() const;
    bool isUnplugged() const;
    QString slavePath() const;
    Profile profile() const;
    const Options &options() const;

    // Everything the program wrote, as read from the master side.
    QByteArray receivedBytes() const;
    // Everything that reached the program's port (echo included).
    QByteArray sentBytes() const;
    void clearRecorded();

    // The program's port as last seen, and where its format came from.
    LineFormat programFormat() const;
    FormatSource formatSource() const;
    // The meter's own rate and format right now.
    LineFormat meterFormat() const;

    // Events worth a line in a log ("request recognised", ...).
    QStringList notes() const;
    // Called in the simulator's thread for every note.
    void setNoteHandler(std::function<void(const QString &)> handler);

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace metersim
