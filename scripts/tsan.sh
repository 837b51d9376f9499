#!/usr/bin/env bash
# Builds the download core's headless tests with ThreadSanitizer into
# build-tsan/ and runs them; any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
# The browser is not part of the core: leaving it out keeps the configure light.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTANDREL_BROWSER=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread"
tests=(tst_core_headless tst_segmented)
cmake --build build-tsan --target "${tests[@]}" -j "$(nproc)"

# Qt 6.4 starts the test's nginx with clone(CLONE_VM | CLONE_VFORK). TSan's
# clone hook then does its fork bookkeeping in a child that shares our memory,
# which leaves the parent's TSan state broken: it dies ("starting new threads
# after multi-threaded fork") or, told not to, stops reporting on the main
# thread. Preloaded, this turns such clones into plain fork-like ones.
shim=build-tsan/tsan_vfork_as_fork.so
gcc -shared -fPIC -O2 -o "$shim" -x c - -ldl <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <sched.h>
#include <stdarg.h>
#include <sys/types.h>

typedef int (*clone_fn)(int (*)(void *), void *, int, void *, ...);
static clone_fn next_clone;

__attribute__((constructor)) static void find_next_clone(void)
{
    next_clone = (clone_fn)dlsym(RTLD_NEXT, "clone");
}

int clone(int (*fn)(void *), void *stack, int flags, void *arg, ...)
{
    va_list ap;
    va_start(ap, arg);
    pid_t *parent_tid = va_arg(ap, pid_t *);
    void *tls = va_arg(ap, void *);
    pid_t *child_tid = va_arg(ap, pid_t *);
    va_end(ap);
    const int vfork_like = CLONE_VM | CLONE_VFORK;
    if ((flags & vfork_like) == vfork_like && !(flags & CLONE_THREAD))
        flags &= ~vfork_like;
    return next_clone(fn, stack, flags, arg, parent_tid, tls, child_tid);
}
EOF

# Qt and glib are not built with TSan: our own crossings are annotated
# (downloader/core/tsan_sync.h), reports inside those libraries are in
# scripts/tsan.supp. TSAN_EXTRA_OPTIONS may add, e.g. halt_on_error=0.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 exitcode=66 suppressions=$PWD/scripts/tsan.supp ${TSAN_EXTRA_OPTIONS:-}"
for test in "${tests[@]}"; do
    log=build-tsan/$test.log
    status=0
    LD_PRELOAD="$PWD/$shim" timeout 1200 "build-tsan/tests/core/$test" 2>&1 | tee "$log" || status=$?
    if [ "$status" -ne 0 ] || grep -q 'WARNING: ThreadSanitizer' "$log"; then
        echo "ThreadSanitizer: $test failed or reported a race (exit $status); see $log" >&2
        exit 1
    fi
done
echo "ThreadSanitizer: the core tests passed with no report."
