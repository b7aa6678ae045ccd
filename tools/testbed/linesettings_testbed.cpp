// Our own tcsetattr/tcgetattr for test executables. For a pseudo-terminal
// slave they forward to libc, keep the requested data bits, parity and stop
// bits, and report them back as set; for every other descriptor they only
// forward. See linesettings_record.h for how the format is published.

#include "tools/testbed/linesettings_record.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <string>

namespace {

using SetFn = int (*)(int, int, const struct termios *);
using GetFn = int (*)(int, struct termios *);

SetFn realSet()
{
    static const SetFn fn = reinterpret_cast<SetFn>(dlsym(RTLD_NEXT, "tcsetattr"));
    return fn;
}

GetFn realGet()
{
    static const GetFn fn = reinterpret_cast<GetFn>(dlsym(RTLD_NEXT, "tcgetattr"));
    return fn;
}

// Unix98 pty slaves use the majors 136 to 143.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

// The slave path of fd ("/dev/pts/N"), or "" when fd is no pty slave.
std::string ptySlavePath(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return {};
    const unsigned maj = major(st.st_rdev);
    if (maj < kPtySlaveMajorFirst || maj > kPtySlaveMajorLast)
        return {};
    char link[64];
    char target[256];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n > 0) {
        target[n] = '\0';
        return target;
    }
    return "/dev/pts/" + std::to_string((maj - kPtySlaveMajorFirst) * 256 + minor(st.st_rdev));
}

struct Registry
{
    std::mutex mutex;
    std::map<std::string, linesettings::CharFormat> formats;
};

Registry &registry()
{
    static Registry r;
    return r;
}

linesettings::CharFormat formatOf(const struct termios &t)
{
    linesettings::CharFormat f;
    switch (t.c_cflag & CSIZE) {
    case CS5: f.dataBits = 5; break;
    case CS6: f.dataBits = 6; break;
    case CS7: f.dataBits = 7; break;
    default: f.dataBits = 8; break;
    }
    if (!(t.c_cflag & PARENB))
        f.parity = 'N';
    else if (t.c_cflag & CMSPAR)
        f.parity = (t.c_cflag & PARODD) ? 'M' : 'S';
    else
        f.parity = (t.c_cflag & PARODD) ? 'O' : 'E';
    f.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    return f;
}

void applyFormat(const linesettings::CharFormat &f, struct termios *t)
{
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t->c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t->c_cflag |= kSizes[f.dataBits - 5];
    switch (f.parity) {
    case 'E': t->c_cflag |= PARENB; break;
    case 'O': t->c_cflag |= PARENB | PARODD; break;
    case 'M': t->c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 'S': t->c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (f.stopBits == 2)
        t->c_cflag |= CSTOPB;
}

// Written to a temporary name and renamed, so a reader never sees half a line.
void writeRecord(const std::string &slavePath, const linesettings::CharFormat &f)
{
    const std::string dir = linesettings::recordDirectory();
    mkdir(dir.c_str(), 0700);
    const std::string path = linesettings::recordPath(slavePath);
    const std::string tmp = path + ".tmp" + std::to_string(static_cast<long>(getpid()));
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const std::string line = linesettings::formatRecord(f);
    const bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    close(fd);
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0)
        unlink(tmp.c_str());
}

} // namespace

#pragma weak viviv_testbed_settings_change

extern "C" int tcsetattr(int fd, int optionalActions, const struct termios *t)
{
    const int savedErrno = errno;
    const std::string slave = t ? ptySlavePath(fd) : std::string();
    if (!slave.empty() && viviv_testbed_settings_change)
        viviv_testbed_settings_change(slave.c_str());
    errno = savedErrno;
    int rc = realSet()(fd, optionalActions, t);
    if (rc != 0 && errno == EINVAL && !slave.empty()) {
        // libc reads the settings back and finds 8N1 where 7E1 was asked
        // for: set what the pty can do and remember what was asked.
        struct termios possible = *t;
        applyFormat(linesettings::CharFormat{}, &possible);
        rc = realSet()(fd, optionalActions, &possible);
    }
    if (rc == 0 && !slave.empty()) {
        const linesettings::CharFormat f = formatOf(*t);
        {
            std::lock_guard<std::mutex> lock(registry().mutex);
            registry().formats[slave] = f;
        }
        const int keep = errno;
        writeRecord(slave, f);
        errno = keep;
    }
    return rc;
}

extern "C" int tcgetattr(int fd, struct termios *t)
{
    const int rc = realGet()(fd, t);
    if (rc != 0 || !t)
        return rc;
    const int keep = errno;
    const std::string slave = ptySlavePath(fd);
    if (!slave.empty()) {
        std::lock_guard<std::mutex> lock(registry().mutex);
        const auto it = registry().formats.find(slave);
        if (it != registry().formats.end())
            applyFormat(it->second, t);
    }
    errno = keep;
    return rc;
}

extern "C" int viviv_testbed_query(const char *slavePath, int *dataBits, char *parity, int *stopBits)
{
    if (!slavePath)
        return 0;
    std::lock_guard<std::mutex> lock(registry().mutex);
    const auto it = registry().formats.find(slavePath);
    if (it == registry().formats.end())
        return 0;
    if (dataBits)
        *dataBits = it->second.dataBits;
    if (parity)
        *parity = it->second.parity;
    if (stopBits)
        *stopBits = it->second.stopBits;
    return 1;
}

extern "C" void viviv_testbed_forget(const char *slavePath)
{
    if (!slavePath)
        return;
    {
        std::lock_guard<std::mutex> lock(registry().mutex);
        registry().formats.erase(slavePath);
    }
    unlink(linesettings::recordPath(slavePath).c_str());
}
