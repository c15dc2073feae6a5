#pragma once

#include <csignal>
#include <sys/resource.h>
#include <utility>

// A file-size limit fails writes as a full disk does, without a mount. SIGXFSZ,
// which would end the test, is ignored until the limit is lifted.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) : handler(std::signal(SIGXFSZ, SIG_IGN)) {
        set = handler != SIG_ERR && ::getrlimit(RLIMIT_FSIZE, &old) == 0;
        const rlimit small{bytes, old.rlim_max};
        set = set && ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() { lift(); }
    bool lift() { // false if the old limit could not be put back
        const bool ok = !set || ::setrlimit(RLIMIT_FSIZE, &old) == 0;
        if (handler != SIG_ERR)
            std::signal(SIGXFSZ, std::exchange(handler, SIG_ERR));
        set = false;
        return ok;
    }
    void (*handler)(int);
    rlimit old{};
    bool set = false;
};
