// Thread priority on POSIX systems.

#include "sys/threads.h"

#include <sys/resource.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/syscall.h>
#endif

#include <algorithm>
#include <cerrno>

namespace folio::sys {

bool LowerThreadPriority() {
#ifdef __linux__
    // Linux keeps a nice value per thread, named by the thread's id; raising it
    // needs no privilege (lowering it again would).
    constexpr int kLower = 10;
    const auto self = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, self);
    if (now == -1 && errno != 0) {
        return false;
    }
    return ::setpriority(PRIO_PROCESS, self, std::min(now + kLower, PRIO_MAX - 1)) == 0;
#else
    // Elsewhere the nice value is the whole process's.
    return false;
#endif
}

}  // namespace folio::sys
