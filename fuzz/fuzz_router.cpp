// libFuzzer target: the server's answers to any request line. Input: one
// byte choosing the method, then the target's bytes. Two sample files are
// served. Checks: no answer for bad input is a 5xx, every JSON body parses,
// and an answer of digits holds only digits of its base.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "rovurer/file.h"
#include "server/router.h"

#ifndef ROVURER_SOURCE_DIR
#error "ROVURER_SOURCE_DIR names the source tree, for the sample files"
#endif

namespace {

const std::vector<rovurer::server::served_file>& served() {
    static const std::vector<rovurer::server::served_file> files = [] {
        std::vector<rovurer::server::served_file> opened;
        for (const char* name : {"pi_base10", "pi_base16"}) {
            rovurer::result<rovurer::file> file =
                rovurer::file::open(std::string(ROVURER_SOURCE_DIR) + "/examples/" + name);
            if (!file) {
                std::abort();
            }
            opened.push_back({name, std::move(file).value()});
        }
        return opened;
    }();
    return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    constexpr std::string_view methods[] = {"GET", "HEAD", "POST", "get"};
    const std::string_view method = methods[data[0] % 4];
    const std::string_view target(reinterpret_cast<const char*>(data + 1), size - 1);
    rovurer::server::limits bounds;
    bounds.max_digits = 5000;
    bounds.max_scan = 4000;
    static rovurer::server::metrics counters;
    const rovurer::server::answer answered = rovurer::server::respond(method, target, served(), bounds, {}, &counters);
    if (answered.status >= 500) {
        std::abort();  // bad input is never the server's fault
    }
    if (answered.content_type == "application/json") {
        const nlohmann::json body = nlohmann::json::parse(answered.body, nullptr, false);
        if (body.is_discarded()) {
            std::abort();
        }
        if (body.contains("digits") && body.contains("pos") && body["digits"].is_string() && answered.status == 200 &&
            target.substr(0, 10) == "/v1/digits") {
            const int base = body["base"].get<int>();
            const std::string allowed = std::string("0123456789ABCDEF").substr(0, static_cast<std::size_t>(base));
            if (body["digits"].get<std::string>().find_first_not_of(allowed) != std::string::npos) {
                std::abort();
            }
        }
    }
    return 0;
}
