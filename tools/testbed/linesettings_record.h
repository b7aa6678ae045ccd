#pragma once

// How the test bed publishes the character format that a program asked for
// on a pseudo-terminal slave, and how a meter simulator reads it back.
//
// The Linux pty driver forces 8 data bits and no parity, so the requested
// data bits and parity are kept aside: in-process through the two C functions
// below (a simulator declares them weak and uses them when they are linked
// in), and for a simulator in another process as a one-line record file named
// after the slave path. Header only, no dependencies beyond libc.

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

extern "C" {
// Fills the character format last requested for the slave at slavePath.
// Returns 1 when one is known, 0 otherwise.
int viviv_testbed_query(const char *slavePath, int *dataBits, char *parity, int *stopBits);
// Drops what is known about slavePath (a new pty may reuse the name).
void viviv_testbed_forget(const char *slavePath);
// Offered by a simulator in the same process (the test bed declares it weak):
// called before the settings of slavePath change, it returns once the
// simulator has read what the program wrote so far, to hear it at the
// settings it was written with.
void viviv_testbed_settings_change(const char *slavePath);
}

namespace linesettings {

struct CharFormat
{
    int dataBits = 8;
    char parity = 'N'; // 'N', 'E', 'O', 'M' (mark) or 'S' (space)
    int stopBits = 1;
};

// "/dev/pts/7" -> "/tmp/viviv-linesettings-<uid>/dev_pts_7"
inline std::string recordDirectory()
{
    return "/tmp/viviv-linesettings-" + std::to_string(static_cast<unsigned long>(getuid()));
}

inline std::string recordPath(const std::string &slavePath)
{
    std::string name = slavePath;
    for (char &c : name) {
        if (c == '/')
            c = '_';
    }
    while (!name.empty() && name.front() == '_')
        name.erase(name.begin());
    return recordDirectory() + "/" + name;
}

// One line such as "7E1".
inline std::string formatRecord(const CharFormat &f)
{
    char text[8];
    std::snprintf(text, sizeof text, "%d%c%d\n", f.dataBits, f.parity, f.stopBits);
    return text;
}

inline bool parseRecord(const char *text, CharFormat *out)
{
    if (!text || std::strlen(text) < 3)
        return false;
    const int bits = text[0] - '0';
    const char parity = text[1];
    const int stop = text[2] - '0';
    if (bits < 5 || bits > 8 || (stop != 1 && stop != 2) || !std::strchr("NEOMS", parity))
        return false;
    out->dataBits = bits;
    out->parity = parity;
    out->stopBits = stop;
    return true;
}

} // namespace linesettings
