#include "cli/serve_form.h"

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "cli/names.h"
#include "rovurer/file.h"
#include "rovurer/numbers.h"

#ifdef ROVURER_WITH_SERVER
#include "server/http_server.h"
#endif

namespace rovurer {

#ifdef ROVURER_WITH_SERVER

namespace {

// A file's name without its folders.
std::string base_name(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// HOST:PORT (HOST may be [IPv6]) into `settings`; false when it is not one.
bool read_listen(const char* text, server::config& settings) {
    const std::string_view value = text;
    const std::size_t colon = value.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
        return false;
    }
    std::string_view host = value.substr(0, colon);
    if (host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const std::string port(value.substr(colon + 1));
    const strict_number number = parse_strict_integer(port.c_str(), 0, 65535);
    if (host.empty() || number.status != strict_number::verdict::ok || port.front() == '+' || port.front() == '-') {
        return false;
    }
    settings.host = host;
    settings.port = std::to_string(number.value);
    return true;
}

}  // namespace

int serve_action(const command_line& command, console& io) {
    if (command.operands.empty()) {
        return usage_error(command, io, "rovurer: missing arguments");
    }
    server::config settings;
    if (command.listen != nullptr && !read_listen(command.listen, settings)) {
        return usage_error(
            command, io,
            "rovurer: --listen needs HOST:PORT, a port from 0 to 65535, not '" + std::string(command.listen) + "'");
    }
    settings.limits.max_digits = command.max_digits;
    settings.limits.max_scan = command.max_scan;
    settings.limits.max_matches = command.max_matches;
    settings.max_connections = static_cast<int>(command.max_connections);
    settings.max_scans = static_cast<int>(command.max_scans);
    settings.quiet = command.quiet;
    settings.max_header = static_cast<std::size_t>(command.max_header);
    settings.idle_timeout = std::chrono::seconds(command.idle_timeout);
    settings.read_timeout = std::chrono::seconds(command.read_timeout);
    settings.write_timeout = settings.read_timeout;

    std::vector<server::served_file> files;
    std::vector<const char*> paths;
    for (const char* path : command.operands) {
        result<file> opened = file::open(path);
        if (!opened) {
            return report(io, "rovurer: " + shown_name(path) + ": " + opened.error().message, command.trouble_status);
        }
        const std::string name = base_name(path);
        for (std::size_t k = 0; k < files.size(); ++k) {
            if (files[k].name == name) {
                return report(io,
                              "rovurer: two files are named " + shown_name(name) + ": " + shown_name(paths[k]) +
                                  " and " + shown_name(path),
                              command.trouble_status);
            }
        }
        files.push_back({name, std::move(opened).value()});
        paths.push_back(path);
    }

    std::mutex log_lock;
    const server::log_sink log = [&](std::string_view line) {
        const std::lock_guard<std::mutex> held(log_lock);
        io.err.append(line);
        io.err.put('\n');
        io.err.flush();
    };
    server::http_server server(files, settings, log);
    const std::string refused = server.listen();
    if (!refused.empty()) {
        return report(io, "rovurer: " + refused, command.trouble_status);
    }
    const bool v6 = settings.host.find(':') != std::string::npos;
    log("rovurer: serving " + std::to_string(files.size()) + (files.size() == 1 ? " file" : " files") + " on http://" +
        (v6 ? "[" + settings.host + "]" : settings.host) + ":" + std::to_string(server.port()) + "/");
    if (server.max_connections() < settings.max_connections) {
        log("rovurer: at most " + std::to_string(server.max_connections()) +
            " connections, as the limit of open files allows");
    }
    server.run(true);
    return finish(io, exit_shown);
}

#else

int serve_action(const command_line& command, console& io) {
    return report(io, "rovurer: --serve: this rovurer was built without its HTTP server", command.trouble_status);
}

#endif

}  // namespace rovurer
