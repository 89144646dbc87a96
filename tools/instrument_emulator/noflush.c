/*
 * Preloaded into the instrument's rz/sz/lsz only.
 *
 * lrzsz calls tcflush(TCIOFLUSH) on its terminal when it exits.  On the
 * instrument's UART the last bytes ("OO", the final ZFIN) have left the wire
 * by then; on a pseudo-terminal they are still queued and the flush throws
 * them away.  Dropping output flushes (and keeping the input flush, which a
 * UART performs too) gives the pty the UART's behaviour.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <termios.h>

int tcflush(int fd, int queue)
{
    static int (*real_tcflush)(int, int);
    if (!real_tcflush)
        real_tcflush = (int (*)(int, int))dlsym(RTLD_NEXT, "tcflush");
    if (queue == TCOFLUSH)
        return 0;
    if (queue == TCIOFLUSH)
        queue = TCIFLUSH;
    return real_tcflush ? real_tcflush(fd, queue) : 0;
}
