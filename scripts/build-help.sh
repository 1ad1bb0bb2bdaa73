#!/usr/bin/env bash
# Builds quillon.chm with chmcmd (Debian's fp-utils) from the topics that
# help/make_topics.py writes into the work folder.
#   build-help.sh OUTPUT_CHM WORK_DIR
#
# chmcmd 3.2 records each context alias ([ALIAS] of the project) as the topic's full
# path on the build machine ("/home/.../config_mail.htm"), which no help viewer finds
# inside the file. Run in a throw-away root that holds only the topics, chmcmd sees them
# at "/", and the aliases come out as in-file paths ("/config_mail.htm"). That needs
# root (chroot in a private mount namespace); without it the file is still built, but
# the dialogs' Help buttons open the first page instead of their topic.
set -eu
out=$1
work=$2
src=$(cd "$(dirname "$0")/../help" && pwd)
chmcmd=$(readlink -f "$(command -v chmcmd)")

rm -rf "$work"
mkdir -p "$work/root/proc" "$work/root/dev"
/usr/bin/python3 "$src/make_topics.py" "$work/root"
cp "$chmcmd" "$work/root/chmcmd"
# The libraries chmcmd loads, at the paths the dynamic loader looks for them.
for lib in $(ldd "$chmcmd" | grep -o '/[^ ]*'); do
  mkdir -p "$work/root$(dirname "$lib")"
  cp "$lib" "$work/root$lib"
done
libc_dir=$(dirname "$(ldd "$chmcmd" | grep -o '/[^ ]*libc\.so[^ ]*')")
for extra in libpthread.so.0 libdl.so.2; do
  [ -e "$libc_dir/$extra" ] && cp "$libc_dir/$extra" "$work/root$libc_dir/"
done

if [ "$(id -u)" -eq 0 ] && unshare -m sh -c "mount -t proc proc '$work/root/proc' && mount --bind /dev '$work/root/dev' && chroot '$work/root' /chmcmd quillon.hhp" >"$work/chmcmd.log" 2>&1; then
  :
else
  echo "build-help: not root or no chroot here; building without a working context map" >&2
  (cd "$work/root" && "$chmcmd" quillon.hhp >"$work/chmcmd.log" 2>&1)
fi
cp "$work/root/quillon.chm" "$out"
