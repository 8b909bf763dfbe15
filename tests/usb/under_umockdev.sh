#!/bin/sh
# Runs a test program with the umockdev preload, which then sits in front of
# the sanitizer runtime; ASan has to be told that this is fine, and TSan
# given the suppressions for the preload's own descriptor bookkeeping. The
# testbed library and GLib are not built with TSan either: like Qt for the
# window tests, TSan ignores what it cannot see into.
here=$(dirname "$0")
ASAN_OPTIONS="verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
TSAN_OPTIONS="suppressions=$here/tsan.supp:ignore_noninstrumented_modules=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
export ASAN_OPTIONS TSAN_OPTIONS
exec "${UMOCKDEV_WRAPPER:-umockdev-wrapper}" "$@"
