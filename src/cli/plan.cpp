#include "cli/plan.h"

#include <string>

#include "platform/platform.h"

namespace rovurer {

int thread_count(const command_line& command, console& io) {
    const int usable = platform::usable_processors();
    if (command.threads > usable) {
        report(io,
               "rovurer: --threads " + std::to_string(command.threads) + ": this process may use " +
                   std::to_string(usable) + (usable == 1 ? " processor" : " processors") + "; using " +
                   std::to_string(usable),
               exit_shown);
        return usable;
    }
    return command.threads > 0 ? static_cast<int>(command.threads) : usable;
}

bool last_shard(const command_line& command) {
    return command.shard == 0 || command.shard == command.shards;
}

progress_mode progress_of(const command_line& command) {
    return command.progress > 0   ? progress_mode::forced
           : command.progress < 0 ? progress_mode::off
                                  : progress_mode::automatic;
}

scan_options call_options(const command_line& command, console& io, call_progress& progress) {
    scan_options options;
    options.threads = thread_count(command, io);
    if (command.shard != 0) {
        options.part = {command.shard, command.shards};
    }
    options.progress = progress.callback();
    return options;
}

}  // namespace rovurer
