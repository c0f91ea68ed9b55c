#!/usr/bin/env bash
# Runs a command as on a machine whose kernel cannot run 32-bit Linux programs (WSL 1, many
# sandboxes and CI runners), on a machine that can: every 32-bit program, Wine's 32-bit
# loader among them, fails to start with "Exec format error", for this command and its
# children only. Nothing on the machine changes.
#   scripts/without-32-bit.sh scripts/test.sh
#   scripts/without-32-bit.sh scripts/main.sh --frames 30
# It needs a kernel that gives a user namespace its own binfmt_misc (Linux 6.7 or later),
# in which a rule sends every 32-bit x86 program to an interpreter that is no program.
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGUMENTS...]" >&2; exit 2; }
if [ "${1:-}" != --inside ]; then
    exec unshare --user --map-root-user --mount "$0" --inside "$@"
fi
shift
mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || {
    echo "This kernel gives a user namespace no binfmt_misc of its own (Linux 6.7 or later" \
        "does): cannot make 32-bit programs fail here." >&2
    exit 1
}
notAProgram=$(mktemp "${TMPDIR:-/tmp}/not-a-program.XXXXXX")
trap 'rm -f "$notAProgram"' EXIT
# An ELF header of no machine at all: the kernel refuses it as it refuses an i386 program
# without IA-32 emulation.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\231\231' >"$notAProgram"
chmod +x "$notAProgram"
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":refuse-i386:M::$magic:$mask:$notAProgram:" >/proc/sys/fs/binfmt_misc/register
"$@"
