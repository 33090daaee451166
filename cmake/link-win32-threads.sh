#!/bin/sh
# Link launcher for the deliverables: the project compiles with the posix-thread-model
# MinGW compilers (GoogleTest needs std::mutex), but ZqRunner.exe and Nativa.dll use no
# std::thread/std::mutex, so they link with the win32-model driver and its libstdc++,
# which keeps winpthread out of the binaries (about 25 KB on i686). A deliverable that
# starts using std::mutex fails to link here instead of growing silently.
driver="$1"; shift
case "$driver" in
  *-posix) exec "${driver%-posix}" "$@" ;;
  *) exec "$driver" "$@" ;;
esac
