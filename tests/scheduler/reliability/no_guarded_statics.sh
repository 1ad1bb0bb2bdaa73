#!/usr/bin/env bash
# The libraries are loaded and unloaded again and again inside long-running processes
# (the mail libraries once per dispatch pass of the scheduler, WEBFLAT.DLL per preview in
# the browser, the add-in and the component with their hosts). A local static that is
# built at first use goes through the C++ runtime's guard, whose thread bookkeeping
# (a duplicated thread handle and an event) is never returned when the library is
# unloaded. Fails when any of them calls that guard; tables belong in constexpr data.
#   no_guarded_statics.sh OBJDUMP LIBRARY...
set -u
objdump=$1; shift
status=0
for library in "$@"; do
  if ! listing=$("$objdump" -d --no-show-raw-insn "$library"); then
    echo "cannot disassemble $library"
    status=1
    continue
  fi
  callers=$(echo "$listing" | awk '/>:$/ {f=$2} /call.*<__cxa_guard_acquire>/ {print f}' | sort -u)
  if [ -n "$callers" ]; then
    echo "$(basename "$library") builds local statics at first use in:"
    echo "$callers" | sed 's/^/  /'
    status=1
  fi
done
[ $status -eq 0 ] && echo "no library builds a local static at first use"
exit $status
