// orv-sim: an ORV device on a pseudo-terminal, so orv-test can be run and
// tested without the hardware.
//
// It includes nothing of orv-test, not even its command table: it knows the
// frames on its own, so a mistake in the program's table or parser shows as a
// disagreement instead of being shared by both sides.

#include "sim/device.h"
#include "sim/logger.h"
#include "sim/options.h"
#include "sim/ptyport.h"

#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onStopSignal(int) {
    g_stop = 1;
}

// Stop signals stay blocked except inside ppoll(), so one can never slip in
// between checking the flag and going to sleep.
bool setUpSignals(sigset_t& waitMask) {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    if (::sigprocmask(SIG_BLOCK, &stopSignals, &waitMask) != 0)
        return false;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigdelset(&waitMask, sig);
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        if (::sigaction(sig, &action, nullptr) != 0)
            return false;
    }
    // A log reader that goes away must not take the device with it.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    orvsim::Options options;
    std::string error;
    if (!orvsim::parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "orv-sim: %s\nTry 'orv-sim --help'.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(orvsim::usageText("orv-sim").c_str(), stdout);
        return 0;
    }

    sigset_t waitMask;
    if (!setUpSignals(waitMask)) {
        std::perror("orv-sim: signals");
        return 1;
    }

    orvsim::PtyPort port;
    if (!port.open(error)) {
        std::fprintf(stderr, "orv-sim: %s\n", error.c_str());
        return 1;
    }
    orvsim::DeviceLink link;
    if (!options.link.empty() && !link.create(options.link, port.path(), error)) {
        std::fprintf(stderr, "orv-sim: %s\n", error.c_str());
        return 1;
    }

    // The path alone comes first: whoever started us reads it to know what to open.
    orvsim::Logger log(STDOUT_FILENO);
    log.plain(port.path() + "\n");
    log.startQueueing();
    if (!options.link.empty())
        log.line("link " + options.link + " -> " + port.path());

    const std::uint32_t seed = options.seed ? *options.seed : std::random_device{}();
    if (options.split)
        log.line("split pauses of " + std::to_string(options.splitPauseMinMs) + "-" +
                 std::to_string(options.splitPauseMaxMs) + " ms use seed " + std::to_string(seed));

    orvsim::Device device(options, port, log, seed);
    const int code = device.run(&g_stop, waitMask);
    link.remove();
    log.finish(1000);
    return code;
}
