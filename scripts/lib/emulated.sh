# Shared by the scripts: the 32-bit programs that ship, run where the kernel
# runs no 32-bit program. Debian's qemu-user-static runs them by user-mode
# emulation inside a user namespace of their own, whose binfmt_misc sends
# every 32-bit ELF program there: nothing changes outside it, and the entry
# goes with the namespace's processes.
qemu_i386=/usr/bin/qemu-i386-static
# The i386 ELF magic and mask, as in qemu's own binfmt table; printf %b
# turns the escapes into bytes.
i386_binfmt=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu_i386"':F'

# in_emulation COMMAND...: COMMAND with 32-bit programs emulated.
in_emulation() {
  unshare --user --map-root-user --mount --fork bash -c '
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null ||
      { echo "this kernel mounts no binfmt_misc in a user namespace" >&2; exit 97; }
    printf "%b" "$1" >/proc/sys/fs/binfmt_misc/register ||
      { echo "the namespace'"'"'s binfmt_misc takes no entry" >&2; exit 98; }
    shift
    exec "$@"' emulated "$i386_binfmt" "$@"
}

# Why the 32-bit programs cannot run here even emulated; nothing when they can.
emulation_missing() {
  [ -x "$qemu_i386" ] || { echo "$qemu_i386 is missing"; return; }
  local error
  error=$(in_emulation /usr/lib/wine/wine --version 2>&1 >/dev/null) || echo "${error:-no user namespace can be made}"
}

# emulated_prefix DIR: a prefix the 32-bit loader runs in. Made by the 64-bit
# loader inside the namespace, so that its 32-bit half is set up too
# (several minutes under emulation, once per build folder).
emulated_prefix() {
  local prefix
  prefix=$(realpath -m "$1")
  [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ] && return 0
  rm -rf "$prefix"
  WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    in_emulation bash -c '/usr/lib/wine/wine64 wineboot -i && /usr/lib/wine/wineserver64 -w' >/dev/null 2>&1
  [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]
}
