// Runs programs for the tests on POSIX systems: fork and exec, with the
// output in files.
#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "test_support.h"

extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace {

// posix_spawn, not fork: fork hangs its child under qemu-i386, and the tool
// then needs nothing done between fork and exec. Only an address space limit
// takes fork (tests with a limit are skipped under emulators).
int start(const std::string& executable, const std::vector<std::string>& argv, int out, int err,
          std::size_t address_space_limit) {
    std::vector<std::string> words = argv;
    std::vector<char*> pointers;
    pointers.reserve(words.size() + 1);
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);

    if (address_space_limit > 0) {
        const pid_t child = fork();
        if (child == 0) {
            if (dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) {
                _exit(126);
            }
            (void)signal(SIGPIPE, SIG_DFL);
            (void)signal(SIGXFSZ, SIG_DFL);
            const rlimit limit = {address_space_limit, address_space_limit};
            setrlimit(RLIMIT_AS, &limit);
            execvp(executable.c_str(), pointers.data());
            _exit(127);
        }
        if (child < 0) {
            throw std::runtime_error("fork failed");
        }
        return child;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    // The default actions, whatever in-process runs of the tool ignored, or
    // whatever started the tests (a background job ignores SIGINT).
    for (const int number : {SIGPIPE, SIGXFSZ, SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&defaults, number);
    }
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t child = 0;
    const int failed = posix_spawnp(&child, executable.c_str(), &actions, &attributes, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
        throw std::runtime_error("cannot start " + executable);
    }
    return child;
}

}  // namespace

int start_command(const std::string& executable, const std::vector<std::string>& argv, int out, int err) {
    return start(executable, argv, out, err, 0);
}

run_result wait_tool(int child) {
    run_result result;
    int status = 0;
    int waited_ms = 0;
    while (waitpid(child, &status, WNOHANG) != child) {
        if (waited_ms >= 60000) {
            result.timed_out = true;
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        usleep(2000);
        waited_ms += 2;
    }
    if (WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

run_result run_command(const std::string& executable, const std::vector<std::string>& argv,
                       const std::string& stdout_path, std::size_t address_space_limit) {
    static int run_number = 0;
    const std::string base = temp_folder() + "/run" + std::to_string(++run_number);
    const std::string out_path = stdout_path.empty() ? base + ".out" : stdout_path;
    const std::string err_path = base + ".err";
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0 || err < 0) {
        throw std::runtime_error("cannot open " + out_path + " or " + err_path);
    }
    const pid_t child = start(executable, argv, out, err, address_space_limit);
    close(out);
    close(err);
    run_result result = wait_tool(child);
    if (stdout_path.empty()) {
        result.out = file_contents(out_path);
    }
    result.err = file_contents(err_path);
    return result;
}

#endif
