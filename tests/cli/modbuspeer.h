#pragma once
// A Modbus RTU device played by libmodbus on the master side of a
// pseudo-terminal, with the register map of a kind of meter, that answers
// only while the program's end of the line has the device's rate and
// character format (the format as the test bed publishes it): a request
// sent with another setting would arrive garbled on a real bus.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstring>
#include <thread>
#include <utility>

#include <modbus.h>
#include <poll.h>

#include "protocols/crc16.h"
#include "tests/common/ptypair.h"
#include "tools/simulator/programline.h"

class ModbusPeer
{
public:
    // map: "eastron" (input registers, float32) or "abb" (holding registers, integers).
    ModbusPeer(const QString &map, int slave, const metersim::LineFormat &format)
        : line(pty.masterFd(), pty.slavePath()), format(format)
    {
        if (!pty.ok())
            return;
        line.forgetRecords();
        if (map == QLatin1String("eastron")) {
            mapping = modbus_mapping_new(0, 0, 0, 0x50);
            const std::pair<int, float> values[] = {{0x00, 230.4f}, {0x34, 1523.0f}, {0x48, 4711.5f}, {0x4A, 12.25f}};
            for (const auto &[reg, value] : values) { // high word first, as the meters send it
                quint32 bits = 0;
                std::memcpy(&bits, &value, sizeof bits);
                mapping->tab_input_registers[reg] = quint16(bits >> 16);
                mapping->tab_input_registers[reg + 1] = quint16(bits & 0xFFFF);
            }
        } else {
            mapping = modbus_mapping_new(0, 0, 0x5B10, 0);
            mapping->tab_registers[0x5B01] = 2305; // 230.5 V in a U32
            mapping->tab_registers[0x5002] = 0x0012; // 12 345.67 kWh in a U64
            mapping->tab_registers[0x5003] = 0xD687;
        }
        context = modbus_new_rtu("/dev/null", format.baud, format.parity, format.dataBits, format.stopBits);
        modbus_set_slave(context, slave);
        modbus_set_socket(context, pty.masterFd());
        // Requests are cut from the bytes here, not by modbus_receive(): after
        // a request for another slave libmodbus would take the next frame for
        // that slave's answer and ignore it.
        server = std::thread([this, slave] {
            QByteArray bytes;
            char chunk[256];
            for (struct pollfd p = {pty.masterFd(), POLLIN, 0}; !stop;) {
                if (::poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN))
                    continue;
                const ssize_t n = ::read(pty.masterFd(), chunk, sizeof chunk);
                if (n > 0)
                    bytes.append(chunk, int(n));
                while (bytes.size() >= kRequestBytes) {
                    const bool whole = runReflectedCrc16(kCrc, 0xFFFF, bytes.constData(), kRequestBytes) == 0;
                    if (!whole) {
                        bytes.remove(0, 1);
                        continue;
                    }
                    QByteArray request = bytes.left(kRequestBytes);
                    bytes.remove(0, kRequestBytes);
                    if (quint8(request.at(0)) == slave && line.current(this->format) == this->format)
                        modbus_reply(context, reinterpret_cast<const uint8_t *>(request.constData()), kRequestBytes,
                                     mapping);
                }
            }
        });
    }
    ~ModbusPeer()
    {
        stop = true;
        if (server.joinable())
            server.join();
        modbus_free(context);
        modbus_mapping_free(mapping);
        line.forgetRecords();
    }
    QString slavePath() const { return pty.slavePath(); }

private:
    static constexpr int kRequestBytes = 8; // every read request
    static constexpr auto kCrc = reflectedCrc16Table(0xA001);
    PtyPair pty;
    metersim::ProgramLine line;
    const metersim::LineFormat format;
    modbus_t *context = nullptr;
    modbus_mapping_t *mapping = nullptr;
    std::thread server;
    std::atomic<bool> stop{false};
};
