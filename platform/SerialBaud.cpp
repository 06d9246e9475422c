// Baud rates through termios2: the rates without a Bxxx constant (14400, 56000,
// 128000, 256000) are set as BOTHER with the rate itself. <asm/termbits.h>
// clashes with <termios.h>, so this file includes only the former.

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetBaudRateOther(int fd, int baud)
{
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(baud);
    t.c_ospeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &t) == 0;
}

int GetBaudRateRaw(int fd)
{
    static const struct {
        unsigned code;
        int rate;
    } Codes[] = {{B50, 50},         {B110, 110},       {B150, 150},       {B300, 300},       {B600, 600},
                 {B1200, 1200},     {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
                 {B38400, 38400},   {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
                 {B921600, 921600}};
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    const unsigned code = t.c_cflag & CBAUD;
    if (code == BOTHER)
        return static_cast<int>(t.c_ospeed);
    for (const auto& c : Codes)
        if (c.code == code)
            return c.rate;
    return 0;
}
