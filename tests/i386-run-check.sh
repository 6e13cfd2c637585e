#!/bin/sh
# Checks tools/i386-run on this machine: --which and --probe agree, an i386 program runs through it
# in the way it names, the machine's binfmt_misc entries are the same afterwards, and an i386 C
# program finds mappings, fault frames, the pidfd claim and thread-local segments as Wine and Qt
# need them. Skipped (77) with the reason where i386 programs cannot run at all, or where no i386
# compiler is installed for the C program. Arguments: the launcher, the C source, a work folder.
set -u
launcher=$1 source=$2 work=$3
mkdir -p "${work}"
export I386_RUN_DIR="${work}/state"

way=$("${launcher}" --which)
how=$("${launcher}" --probe)
probe_status=$?
echo "i386-run: ${how}"
case "${way}" in
none)
    [ "${probe_status}" -ne 0 ] || { echo "FAIL: --probe exits 0 while --which says none"; exit 1; }
    echo "SKIPPED: i386 programs cannot run here"
    exit 77
    ;;
native | emulated) ;;
*) echo "FAIL: --which printed '${way}'"; exit 1 ;;
esac
case "${how}" in
"${way}:"*) ;;
*) echo "FAIL: --probe does not begin with '${way}:'"; exit 1 ;;
esac

binfmt_entries() {
    ls /proc/sys/fs/binfmt_misc 2> /dev/null | sort
}
before=$(binfmt_entries)

status=0
"${launcher}" "${I386_RUN_DIR}/probe-i386" || status=$?
[ "${status}" -eq 42 ] || { echo "FAIL: the 96-byte i386 program exited ${status} instead of 42"; exit 1; }
echo "PASS the 96-byte i386 program runs (${way})"

program=${work}/i386_run_contract
# Linked by hand from libc6-dev:i386 alone, which needs no i386 GCC runtime.
lib=/usr/lib/i386-linux-gnu
if ! clang --target=i686-linux-gnu -O1 -Wall -Wextra -Werror -nostdlib -no-pie -o "${program}" \
    "${lib}/crt1.o" "${lib}/crti.o" "${source}" -lc "${lib}/crtn.o" 2> "${work}/compile.log"; then
    echo "SKIPPED: no i386 C compiler here (clang with libc6-dev:i386): $(tail -n 1 "${work}/compile.log")"
    exit 77
fi
"${launcher}" "${program}" "${way}" || exit 1

[ "$(binfmt_entries)" = "${before}" ] || { echo "FAIL: the machine's binfmt_misc entries changed"; exit 1; }
echo "PASS the machine's binfmt_misc entries are unchanged"
