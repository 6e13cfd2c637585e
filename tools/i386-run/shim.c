/* Preloaded into every i386 program that i386-run emulates. It covers three places where
 * qemu-i386 7.2 user emulation behaves unlike a kernel running 32-bit code natively, each of
 * which stops Wine or Qt:
 *  - mmap with MAP_FIXED_NOREPLACE: qemu takes the address as a hint and maps elsewhere instead
 *    of failing with EEXIST, so Wine cannot place its shared user data page;
 *  - signal frames: qemu leaves the trap number at -1, so Wine cannot tell a page fault (which it
 *    handles, e.g. for guard pages) from a protection fault and gives up on both;
 *  - pidfd: qemu does not implement clone(CLONE_PIDFD), yet the host kernel answers the probe for
 *    pidfd support, so Qt's process launcher would wait on a descriptor that never comes.
 *  - thread-local segments: qemu keeps one descriptor table per process, so a thread-local entry
 *    set with set_thread_area by one thread replaces every other thread's; Wine points %fs at each
 *    thread's own data that way, and threads then run on each other's. Refused, Wine falls back to
 *    a local descriptor table entry per thread, which qemu keeps correctly (unless
 *    I386_RUN_THREAD_AREA=pass, see thread_area_passed).
 * The C library's own thread set-up does not pass through these functions and is not affected. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <ucontext.h>
#include <unistd.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif
#ifndef P_PIDFD
#define P_PIDFD 3
#endif

/* The x86 exception vectors that the kernel stores as the trap number of a signal frame. */
enum {
    TRAP_DIVIDE = 0,
    TRAP_DEBUG = 1,
    TRAP_BREAKPOINT = 3,
    TRAP_OVERFLOW = 4,
    TRAP_INVALID_OPCODE = 6,
    TRAP_PROTECTION = 13,
    TRAP_PAGE_FAULT = 14,
    TRAP_X87 = 16,
    TRAP_ALIGNMENT = 17,
};

typedef void *(*mmap64_fn)(void *, size_t, int, int, int, off64_t);
typedef int (*munmap_fn)(void *, size_t);
typedef long (*syscall_fn)(long, ...);
typedef int (*sigaction_fn)(int, const struct sigaction *, struct sigaction *);
typedef void (*siginfo_handler)(int, siginfo_t *, void *);

static void *next_symbol(const char *name)
{
    return dlsym(RTLD_NEXT, name);
}

/* ---- MAP_FIXED_NOREPLACE ---- */

static void *place_exactly(void *want, size_t length, int prot, int flags, int fd, off64_t offset)
{
    static mmap64_fn next_mmap64;
    static munmap_fn next_munmap;
    if (!next_mmap64) {
        next_mmap64 = (mmap64_fn)next_symbol("mmap64");
        next_munmap = (munmap_fn)next_symbol("munmap");
    }
    if ((flags & MAP_FIXED_NOREPLACE) == 0 || (flags & MAP_FIXED) != 0)
        return next_mmap64(want, length, prot, flags, fd, offset);
    /* Asked without the flag, the emulator places the mapping at the address when it is free. */
    void *got = next_mmap64(want, length, prot, flags & ~MAP_FIXED_NOREPLACE, fd, offset);
    if (got == MAP_FAILED || got == want)
        return got;
    next_munmap(got, length);
    errno = EEXIST;
    return MAP_FAILED;
}

void *mmap64(void *want, size_t length, int prot, int flags, int fd, off64_t offset)
{
    return place_exactly(want, length, prot, flags, fd, offset);
}

void *mmap(void *want, size_t length, int prot, int flags, int fd, off_t offset)
{
    /* off_t is 32 bits here; as unsigned it reaches the same 4 GiB as the kernel's mmap. */
    return place_exactly(want, length, prot, flags, fd, (off64_t)(uint32_t)offset);
}

/* ---- pidfd and thread-local segments ---- */

/* LMMS's VST server (a Wine program) hung or crashed on start in about half the runs with the
 * descriptor table fallback and started every time with set_thread_area passed through, so a
 * caller may choose: I386_RUN_THREAD_AREA=pass. */
static int thread_area_passed(void)
{
    const char *choice = getenv("I386_RUN_THREAD_AREA");
    return choice && strcmp(choice, "pass") == 0;
}

long syscall(long number, ...)
{
    static syscall_fn next_syscall;
    if (!next_syscall)
        next_syscall = (syscall_fn)next_symbol("syscall");
    long arg[6];
    va_list list;
    va_start(list, number);
    for (int i = 0; i < 6; ++i)
        arg[i] = va_arg(list, long);
    va_end(list);
    /* Qt probes for pidfd support with waitid(P_PIDFD, ...) and then relies on CLONE_PIDFD. */
    if (number == SYS_waitid && arg[0] == P_PIDFD) {
        errno = ENOSYS;
        return -1;
    }
    if (number == SYS_set_thread_area && !thread_area_passed()) {
        errno = ENOSYS;
        return -1;
    }
    return next_syscall(number, arg[0], arg[1], arg[2], arg[3], arg[4], arg[5]);
}

/* ---- trap numbers in signal frames ---- */

/* The program's own handlers of the fault signals, called through trap_number_filler. */
static siginfo_handler volatile program_handler[NSIG];

static int is_fault_signal(int signal)
{
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE || signal == SIGTRAP;
}

static int trap_number_for(int signal, int code)
{
    switch (signal) {
    case SIGSEGV:
        return code == SEGV_MAPERR || code == SEGV_ACCERR ? TRAP_PAGE_FAULT : TRAP_PROTECTION;
    case SIGBUS:
        return code == BUS_ADRALN ? TRAP_ALIGNMENT : TRAP_PAGE_FAULT;
    case SIGILL:
        return TRAP_INVALID_OPCODE;
    case SIGFPE:
        if (code == FPE_INTDIV)
            return TRAP_DIVIDE;
        return code == FPE_INTOVF ? TRAP_OVERFLOW : TRAP_X87;
    default:
        return code == TRAP_TRACE ? TRAP_DEBUG : TRAP_BREAKPOINT;
    }
}

static void trap_number_filler(int signal, siginfo_t *info, void *context)
{
    greg_t *registers = ((ucontext_t *)context)->uc_mcontext.gregs;
    if ((int)registers[REG_TRAPNO] == -1)
        registers[REG_TRAPNO] = trap_number_for(signal, info->si_code);
    program_handler[signal](signal, info, context);
}

static int next_sigaction(int signal, const struct sigaction *action, struct sigaction *previous)
{
    static sigaction_fn next;
    if (!next)
        next = (sigaction_fn)next_symbol("sigaction");
    return next(signal, action, previous);
}

int sigaction(int signal, const struct sigaction *action, struct sigaction *previous)
{
    if (signal <= 0 || signal >= NSIG || !is_fault_signal(signal))
        return next_sigaction(signal, action, previous);
    siginfo_handler replaced = program_handler[signal];
    int result;
    if (action && (action->sa_flags & SA_SIGINFO) && action->sa_handler != SIG_DFL && action->sa_handler != SIG_IGN) {
        struct sigaction filtered = *action;
        filtered.sa_sigaction = trap_number_filler;
        program_handler[signal] = action->sa_sigaction;
        result = next_sigaction(signal, &filtered, previous);
    } else {
        result = next_sigaction(signal, action, previous);
    }
    /* The program sees its own handler, never the filler. */
    if (result == 0 && previous && (previous->sa_flags & SA_SIGINFO) && previous->sa_sigaction == trap_number_filler)
        previous->sa_sigaction = replaced;
    return result;
}
