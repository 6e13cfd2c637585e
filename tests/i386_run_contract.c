/* An i386 program run through tools/i386-run: what Wine and Qt rely on behaves as under a kernel
 * that runs 32-bit code, natively or emulated. Prints one line per check; exits 1 on any failure. */
#define _GNU_SOURCE
#include <errno.h>
#include <limits.h>
#include <setjmp.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

static int failures;

static void report(int ok, const char *check, const char *seen)
{
    printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", check, ok ? "" : ": ", ok ? "" : seen);
    if (!ok)
        ++failures;
}

static void fixed_noreplace(void)
{
    const size_t page = (size_t)sysconf(_SC_PAGESIZE);
    char *taken = mmap(NULL, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (taken == MAP_FAILED) {
        report(0, "anonymous mapping", strerror(errno));
        return;
    }
    void *again = mmap(taken, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    report(again == MAP_FAILED && errno == EEXIST, "MAP_FIXED_NOREPLACE on a taken address fails with EEXIST",
           again == MAP_FAILED ? strerror(errno) : "it was mapped elsewhere");
    if (again != MAP_FAILED)
        munmap(again, page);
    munmap(taken, 2 * page);
    void *exact = mmap(taken, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    report(exact == taken, "MAP_FIXED_NOREPLACE on a free address maps exactly there",
           exact == MAP_FAILED ? strerror(errno) : "it was mapped elsewhere");
    if (exact != MAP_FAILED)
        munmap(exact, page);
}

static sigjmp_buf after_fault;
static volatile long fault_trap_number;

static void on_fault(int signal, siginfo_t *info, void *context)
{
    (void)signal;
    (void)info;
    fault_trap_number = (long)((ucontext_t *)context)->uc_mcontext.gregs[REG_TRAPNO];
    siglongjmp(after_fault, 1);
}

static void page_fault_trap_number(void)
{
    struct sigaction action, previous;
    memset(&action, 0, sizeof action);
    action.sa_sigaction = on_fault;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, NULL);
    fault_trap_number = -2;
    if (sigsetjmp(after_fault, 1) == 0)
        *(volatile int *)16 = 1;
    char seen[64];
    snprintf(seen, sizeof seen, "trap number %ld", fault_trap_number);
    report(fault_trap_number == 14, "a page fault arrives with trap number 14", seen);
    sigaction(SIGSEGV, NULL, &previous);
    report((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction == on_fault,
           "sigaction reports the program's own handler", "another handler");
}

/* Qt starts processes with clone(CLONE_PIDFD) only where waitid(P_PIDFD) says pidfds exist. */
static void pidfd_claim(int emulated)
{
    errno = 0;
    long result = syscall(SYS_waitid, 3 /* P_PIDFD */, INT_MAX, NULL, WEXITED | WNOHANG, NULL);
    int claimed = result == -1 && errno == EBADF;
    if (emulated)
        report(!claimed, "no pidfd support is claimed under emulation, which has no CLONE_PIDFD", "claimed");
}

/* Each thread's %fs stays its own only through the local descriptor table under emulation. */
static void thread_area(int emulated)
{
    struct {
        unsigned int entry, base, limit, flags;
    } area = {(unsigned int)-1, 0, 0xfffff, 0x51};
    long result = syscall(SYS_set_thread_area, &area);
    if (emulated)
        report(result == -1 && errno == ENOSYS, "set_thread_area through syscall() is refused under emulation",
               "it was granted");
}

int main(int argc, char **argv)
{
    int emulated = argc > 1 && strcmp(argv[1], "emulated") == 0;
    fixed_noreplace();
    page_fault_trap_number();
    pidfd_claim(emulated);
    thread_area(emulated);
    return failures ? 1 : 0;
}
