#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "cli/Cli.h"
#include "util/AppDirectory.h"

int main(int argc, char* argv[]) {
    // Ctrl+C is taken by a watcher thread rather than a handler: the first one asks the run under
    // way to stop and keep what it found, a second one ends the program at once. SIGUSR1 tells
    // the watcher to leave. Every thread started later inherits the blocked set.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::atomic<bool> interrupted{false};
    std::thread watcher([&signals, &interrupted] {
        for (int signal = 0;;) {
            if (sigwait(&signals, &signal) != 0 || signal == SIGUSR1) {
                return;
            }
            if (interrupted.exchange(true)) {
                std::_Exit(130);
            }
        }
    });

    const std::vector<std::string> arguments(argv + 1, argv + argc);
    ostrevane::cli::Console console{std::cin, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1,
                                    ostrevane::AppDirectory(), &interrupted};
    const int status = ostrevane::cli::RunCli(arguments, console);

    pthread_kill(watcher.native_handle(), SIGUSR1);
    watcher.join();
    return status;
}
