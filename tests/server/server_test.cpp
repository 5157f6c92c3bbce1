// The HTTP server, against a real server on an ephemeral loopback port:
// every route and error, the bad-request battery, the limits, and a
// graceful end with a connection open.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <latch>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "rovurer/file.h"
#include "server/http_server.h"
#include "server_support.h"
#include "test_paths.h"
#include "test_support.h"

namespace {

using rovurer::server::served_file;

TEST(Server, EveryRouteAndErrorAnswersAsDocumented) {
    rovurer::server::config settings;
    settings.port = "0";
    settings.limits.max_digits = 100;
    settings.limits.max_scan = 1000;
    settings.limits.max_matches = 5;
    running_server server(pi_files(), settings);
    struct exchange_case {
        std::string target;
        int status;
        std::string body;  // the whole body
    };
    const std::string long_name(5000, 'a');
    const exchange_case cases[] = {
        {"/healthz", 200, "ok\n"},
        {"/v1/digits?file=pi_base10&base=10&pos=1&n=20", 200,
         "{\"base\":10,\"digits\":\"14159265358979323846\",\"file\":\"pi_base10\",\"pos\":1}\n"},
        {"/v1/digits?file=pi_base16&base=16&pos=3&n=8&format=text", 200, "3F6A8885\n"},
        {"/v1/find?file=pi_base10&digits=999999", 200,
         "{\"base\":10,\"digits\":\"999999\",\"file\":\"pi_base10\",\"next\":996,\"pos\":1,\"positions\":[762]}\n"},
        {"/v1/find?file=pi_base10&digits=14&max=3", 200,
         "{\"base\":10,\"digits\":\"14\",\"file\":\"pi_base10\",\"next\":251,\"pos\":1,\"positions\":[1,103,250]}\n"},
        {"/v1/count?file=pi_base10&n=1000", 200,
         "{\"base\":10,\"counts\":{\"0\":93,\"1\":116,\"2\":103,\"3\":102,\"4\":93,\"5\":97,\"6\":94,\"7\":95,"
         "\"8\":101,\"9\":106},\"file\":\"pi_base10\",\"n\":1000,\"pos\":1}\n"},
        {"/v1/count?file=pi_base10", 400,
         "{\"error\":\"the range holds 3800 digits, over the scan budget of 1000: count it in ranges of at most "
         "that many\"}\n"},
        {"/v1/digits?file=pi_base10&n=101", 400, "{\"error\":\"n is 101, over the 100 digits an answer holds\"}\n"},
        {"/v1/digits?file=pi_base10&pos=1,000", 400, "{\"error\":\"invalid position '1,000'\"}\n"},
        {"/v1/digits?file=pi_base10&pos=0", 400, "{\"error\":\"positions start at 1, not 0\"}\n"},
        {"/v1/digits?file=pi_base10&pos=4000", 400,
         "{\"error\":\"position 4000 is past the end of the data (3800 base-10 digits)\"}\n"},
        {"/v1/digits?file=pi_base10&base=7", 400, "{\"error\":\"base 7 is not 2, 10 or 16\"}\n"},
        {"/v1/digits?file=pi_base10&n=-1", 400, "{\"error\":\"number of digits '-1' is out of range\"}\n"},
        {"/v1/find?file=pi_base10&digits=12a", 400, "{\"error\":\"'12a' is not a string of base-10 digits\"}\n"},
        {"/v1/find?file=pi_base10", 400, "{\"error\":\"missing parameter 'digits'\"}\n"},
        {"/v1/digits", 400, "{\"error\":\"missing parameter 'file'\"}\n"},
        {"/v1/digits?file=pi_base10&x=1", 400, "{\"error\":\"unknown parameter 'x'\"}\n"},
        {"/v1/digits?file=pi_base10&pos=1&pos=2", 400, "{\"error\":\"parameter 'pos' given twice\"}\n"},
        {"/v1/digits?file=pi_base10&format=xml", 400, "{\"error\":\"format 'xml' is not json or text\"}\n"},
        // A max over the bound gets the bound's positions and a next; 0
        // asks for a page of none.
        {"/v1/find?file=pi_base10&digits=1&max=1000000", 200,
         "{\"base\":10,\"digits\":\"1\",\"file\":\"pi_base10\",\"next\":50,\"pos\":1,\"positions\":[1,3,37,"
         "40,49]}\n"},
        {"/v1/find?file=pi_base10&digits=1&max=0", 400, "{\"error\":\"max is 0: a page holds 1 or more positions\"}\n"},
        // The max-th match is the range's last digit: nothing is left, no next.
        {"/v1/find?file=pi_base10&digits=5&n=10&max=3", 200,
         "{\"base\":10,\"digits\":\"5\",\"file\":\"pi_base10\",\"pos\":1,\"positions\":[4,8,10]}\n"},
        // A target in absolute form is served as its path.
        {"http://test/v1/digits?file=pi_base10&n=5", 200,
         "{\"base\":10,\"digits\":\"14159\",\"file\":\"pi_base10\",\"pos\":1}\n"},
        {"HTTP://test:8080/healthz", 200, "ok\n"},
        {"http://test", 200, ""},  // the page; its body is checked below
        {"http://test/v1/nothing", 404, "{\"error\":\"no such route\"}\n"},
        {"/v1/nothing", 404, "{\"error\":\"no such route\"}\n"},
        // A file's name is matched whole.
        {"/v1/digits?file=pi", 404, "{\"error\":\"no file named 'pi'\"}\n"},
        {"/v1/digits?file=pi_base1", 404, "{\"error\":\"no file named 'pi_base1'\"}\n"},
        {"/v1/digits?file=pi_base10x", 404, "{\"error\":\"no file named 'pi_base10x'\"}\n"},
        // Names reach no file system: each is looked up in the table.
        {"/v1/digits?file=..", 404, "{\"error\":\"no file named '..'\"}\n"},
        {"/v1/digits?file=%2e%2e%2fpi_base10", 404, "{\"error\":\"no file named '../pi_base10'\"}\n"},
        {"/v1/digits?file=/etc/passwd", 404, "{\"error\":\"no file named '/etc/passwd'\"}\n"},
        {"/v1/digits?file=pi_base10%00", 400,
         "{\"error\":\"invalid percent-encoding, or a NUL byte, in the query\"}\n"},
        {"/v1/digits?file=%zz", 400, "{\"error\":\"invalid percent-encoding, or a NUL byte, in the query\"}\n"},
        {"/v1/digits?file=" + long_name, 414, "{\"error\":\"the target is over 4096 bytes\"}\n"},
    };
    for (const exchange_case& wanted : cases) {
        const std::string response = get(server.port(), wanted.target);
        EXPECT_EQ(status_of(response), wanted.status) << wanted.target.substr(0, 80);
        if (wanted.target != "http://test") {
            EXPECT_EQ(body_of(response), wanted.body) << wanted.target.substr(0, 80);
        }
    }
    // The page, with the state of a shared link in its query; it runs
    // nothing from elsewhere.
    const std::string page = get(server.port(), "/?file=pi_base10&base=10&pos=9007199254740993&q=999999");
    EXPECT_EQ(status_of(page), 200);
    EXPECT_EQ(body_of(page).rfind("<!doctype html>", 0), 0U);
    EXPECT_NE(page.find("Content-Security-Policy: default-src 'none';"), std::string::npos);
    EXPECT_EQ(body_of(page).find("http"), std::string::npos);  // no CDN, no other site
                                                               // The files, a wrong method, HEAD, the metrics.
    EXPECT_EQ(body_of(get(server.port(), "/v1/files")),
              "{\"files\":[{\"digits\":{\"10\":\"3800\",\"16\":\"3200\",\"2\":\"12800\"},\"lead_words\":1,\"name\":"
              "\"pi_base10\",\"word_count\":201},{\"digits\":{\"10\":\"3800\",\"16\":\"3200\",\"2\":\"12800\"},"
              "\"lead_words\":1,\"name\":\"pi_base16\",\"word_count\":201}]}\n");
    const std::string posted = get(server.port(), "/v1/files", "POST");
    EXPECT_EQ(status_of(posted), 405);
    EXPECT_NE(posted.find("Allow: GET, HEAD\r\n"), std::string::npos);
    const std::string head = get(server.port(), "/healthz", "HEAD");
    EXPECT_EQ(status_of(head), 200);
    EXPECT_EQ(body_of(head), "");
    const std::string metrics = body_of(get(server.port(), "/metrics"));
    EXPECT_NE(metrics.find("rovurer_requests_total{route=\"/v1/digits\",status=\"400\"} "), std::string::npos);
    EXPECT_NE(metrics.find("rovurer_digits_served_total 33\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("\nrovurer_connections_open "), std::string::npos);  // closes end as they may
    // One access-log line a request, with the request line as received.
    EXPECT_NE(server.log().find(" \"GET /v1/find?file=pi_base10&digits=999999 HTTP/1.1\" 200 "), std::string::npos);
}

// The statistics' routes, each within the scan budget; their bodies are
// the library's JSON with the file and the range in front.
TEST(Server, StatisticsRoutesAnswerWithinTheBudget) {
    rovurer::server::config settings;
    settings.port = "0";
    settings.limits.max_scan = 1000;
    settings.limits.max_matches = 5;
    running_server server(pi_files(), settings);
    struct exchange_case {
        std::string target;
        int status;
        std::string body;  // the whole body, or its start when it ends in "..."
    };
    const exchange_case cases[] = {
        {"/v1/stats?file=pi_base10&n=1000", 200,
         "{\"file\":\"pi_base10\",\"base\":10,\"pos\":1,\"digits\":1000,\"counts\":[93,116,103,102,93,97,94,95,101,"
         "106],\"chi_square\":4.74,\"p_value\":0.8563586575252496,\"df\":9,\"serial2\":{\"statistic\":..."},
        {"/v1/stats?file=pi_base10", 400,
         "{\"error\":\"the range holds 3800 digits, over the scan budget of 1000: ask for ranges of at most that "
         "many\"}\n"},
        {"/v1/blocks?file=pi_base10&n=1000&block=400", 200,
         "{\"file\":\"pi_base10\",\"base\":10,\"pos\":1,\"n\":1000,\"block\":400,\"blocks\":[{\"pos\":1,\"digits\":400,"
         "\"counts\":[39,43,44,39,47,39,42,24,44,39],\"chi_square\":8.8500},{\"pos\":401,\"digits\":400,\"counts\":[.."
         "."},
        {"/v1/blocks?file=pi_base10&n=1000", 400,
         "{\"error\":\"the range holds 100 blocks of 10 digits, over the 5 an answer holds: ask for larger "
         "blocks\"}\n"},
        {"/v1/blocks?file=pi_base10&n=10&block=0", 400,
         "{\"error\":\"block is 0: it must be from 1 to "
         "9223372036854775807\"}\n"},
        {"/v1/runs?file=pi_base10&pos=760&n=5&least=6", 200,
         "{\"file\":\"pi_base10\",\"base\":10,\"pos\":760,\"n\":5,\"least\":6,\"runs\":[{\"pos\":762,\"digit\":\"9\","
         "\"length\":6}]}\n"},
        // A full page says where the next run may start.
        {"/v1/runs?file=pi_base10&n=1000&least=3&max=2", 200,
         "{\"file\":\"pi_base10\",\"base\":10,\"pos\":1,\"n\":1000,\"least\":3,\"runs\":[{\"pos\":153,\"digit\":\"1\","
         "\"length\":3},{\"pos\":177,\"digit\":\"5\",\"length\":3}],\"next\":180}\n"},
        {"/v1/runs?file=pi_base10&n=10&least=0", 400,
         "{\"error\":\"least is 0: it must be from 1 to "
         "9223372036854775807\"}\n"},
        {"/v1/missing?file=pi_base10&n=100", 200,
         "{\"file\":\"pi_base10\",\"base\":10,\"pos\":1,\"n\":100,\"length\":3,\"distinct\":[10,69,95],"
         "\"smallest_missing\":\"12\"}\n"},
        {"/v1/missing?file=pi_base16&base=16&n=16&length=1", 200,
         "{\"file\":\"pi_base16\",\"base\":16,\"pos\":1,\"n\":16,\"length\":1,\"distinct\":[10],"
         "\"smallest_missing\":\"1\"}\n"},
        {"/v1/missing?file=pi_base10&n=10&length=9", 400,
         "{\"error\":\"strings of 9 base-10 digits are more than the 134217728 the server counts\"}\n"},
        {"/v1/walk.svg?file=pi_base10&n=20", 200,
         "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 1000 1000\"..."},
        {"/v1/walk.svg?file=pi_base10&pos=3801", 400,
         "{\"error\":\"position 3801 is past the end of the data (3800 base-10 digits)\"}\n"},
        {"/v1/stats?file=pi_base10&n=10&x=1", 400, "{\"error\":\"unknown parameter 'x'\"}\n"},
        // A position costs time as far as it is: the file's last within a
        // hundredth of the scan budget.
        {"/v1/check-pi?file=pi_base16", 400,
         "{\"error\":\"the file's last hexadecimal digit is at position 3200, past the 10 the server checks: run "
         "rovurer --check-pi on it\"}\n"},
        {"/v1/check-pi?file=pi_base16&samples=17", 400, "{\"error\":\"samples is 17: it must be from 1 to 16\"}\n"},
    };
    for (const exchange_case& wanted : cases) {
        const std::string response = get(server.port(), wanted.target);
        EXPECT_EQ(status_of(response), wanted.status) << wanted.target;
        const std::string body = body_of(response);
        if (wanted.body.ends_with("...")) {
            const std::string start = wanted.body.substr(0, wanted.body.size() - 3);
            EXPECT_EQ(body.substr(0, start.size()), start) << wanted.target;
        } else {
            EXPECT_EQ(body, wanted.body) << wanted.target;
        }
    }
    rovurer::server::config defaults;
    defaults.port = "0";
    running_server checking(pi_files(), defaults);
    for (const auto& [target, body] : {
             std::pair<std::string, std::string>{
                 "/v1/check-pi?file=pi_base16&samples=2",
                 "{\"difference\":null,\"file\":\"pi_base16\",\"pi\":true,\"samples\":[{\"file\":\"243F6A8885A30\","
                 "\"pi\":"
                 "\"243F6A8885A30\",\"pos\":1},{\"file\":\"361D2B3D\",\"pi\":\"361D2B3D\",\"pos\":3193}]}\n"},
             {"/v1/check-pi?file=pi_base10&samples=1",
              "{\"difference\":3193,\"file\":\"pi_base10\",\"pi\":false,\"samples\":[{\"file\":\"533D72A8\",\"pi\":"
              "\"361D2B3D\",\"pos\":3193}]}\n"},
         }) {
        const std::string response = get(checking.port(), target);
        EXPECT_EQ(status_of(response), 200) << target;
        EXPECT_EQ(body_of(response), body) << target;
    }
    const std::string svg = get(server.port(), "/v1/walk.svg?file=pi_base16&base=16&n=1000");
    EXPECT_NE(svg.find("Content-Type: image/svg+xml\r\n"), std::string::npos);
    EXPECT_NE(svg.find("Content-Security-Policy: default-src 'none'"), std::string::npos);
    EXPECT_TRUE(body_of(svg).ends_with("</svg>\n"));
}

TEST(Server, RequestsThatAreTooLargeOrNotHttpAreRefused) {
    rovurer::server::config settings;
    settings.port = "0";
    settings.max_scans = 0;      // every scan is one too many
    settings.max_header = 1000;  // and a target may take 500 bytes
    running_server server(pi_files(), settings);
    struct raw_case {
        std::string request;
        int status;
        std::string head;  // what the answer's head holds, or ""
    };
    const std::string target_of_600 = "/v1/digits?file=" + std::string(584, 'a');
    const raw_case cases[] = {
        {"GET /healthz HTTP/1.1\r\nHost: t\r\nX-Big: " + std::string(1000, 'b') + "\r\n\r\n", 431, ""},
        {"GET " + target_of_600 + " HTTP/1.1\r\nHost: t\r\n\r\n", 414, ""},
        {"GET /healthz HTTP/1.1\r\nHost: t\r\nContent-Length: 5\r\n\r\nhello", 413, ""},
        {"GET /healthz HTTP/1.1\r\nHost: t\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 413, ""},
        {"NONSENSE\r\n\r\n", 400, ""},
        {"GET /v1/count?file=pi_base10&n=10 HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n", 503, ""},
        // HTTP/1.0 is answered in HTTP/1.0, a text answer with its length
        // rather than in chunks.
        {"GET /healthz HTTP/1.0\r\n\r\n", 200, "HTTP/1.0 200 OK\r\n"},
        {"GET /v1/digits?file=pi_base10&n=12&format=text HTTP/1.0\r\n\r\n", 200, "Content-Length: 13\r\n"},
        {"GET http://t/v1/files HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n", 200, ""},
    };
    for (const raw_case& sent : cases) {
        const std::string response = round_trip(server.port(), sent.request);
        EXPECT_EQ(status_of(response), sent.status) << sent.request.substr(0, 60);
        EXPECT_NE(response.substr(0, response.find("\r\n\r\n") + 2).find(sent.head), std::string::npos)
            << sent.request.substr(0, 60) << "\n"
            << response;
    }
    const std::string text =
        round_trip(server.port(), "GET /v1/digits?file=pi_base10&n=12&format=text HTTP/1.0\r\n\r\n");
    EXPECT_EQ(body_of(text), "141592653589\n");
    EXPECT_EQ(text.find("chunked"), std::string::npos);
    // Two requests on one connection, the second after the first's answer.
    const std::string both = round_trip(server.port(),
                                        "GET /healthz HTTP/1.1\r\nHost: t\r\n\r\n"
                                        "GET /healthz HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(both.find("HTTP/1.1 200", both.find("ok\n")) != std::string::npos, true) << both;
}

TEST(Server, TheEndClosesAnIdleConnectionAndReturns) {
    rovurer::server::config settings;
    settings.port = "0";
    running_server server(pi_files(), settings);
    const int kept = connect_to(server.port());
    ASSERT_TRUE(send_all(kept, "GET /healthz HTTP/1.1\r\nHost: t\r\n\r\n"));
    EXPECT_EQ(status_of(read_answer(kept)), 200);
    server.end();
    char buffer[4096];
    EXPECT_EQ(::recv(kept, buffer, sizeof buffer, 0), 0);
    ::close(kept);
}

TEST(Server, TextStreamsInChunksAndACutReadEndsItWithoutTheLastChunk) {
    // Declares 100,000 words and holds 10: position 1 lies in a word that
    // is not there.
    fixture_header short_file;
    short_file.word_count = 100000;
    const std::string path = write_digit_file("server-cut", short_file, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    std::vector<served_file> files = pi_files();
    rovurer::result<rovurer::file> opened = rovurer::file::open(path);
    ASSERT_TRUE(opened.ok());
    files.push_back({"cut", std::move(opened).value()});
    rovurer::server::config settings;
    settings.port = "0";
    running_server server(std::move(files), settings);
    // All 3,800 digits of the sample, though more were asked for; then a
    // range whose first word is missing, cut after the headers.
    const std::string whole = body_of(get(server.port(), "/v1/digits?file=pi_base10&n=5000&format=text"));
    EXPECT_EQ(whole.size(), 3801U);
    EXPECT_EQ(whole.substr(0, 10), "1415926535");
    const std::string cut = get(server.port(), "/v1/digits?file=cut&pos=1&n=200000&format=text");
    EXPECT_EQ(status_of(cut), 200);
    EXPECT_EQ(body_of(cut), "<CUT>");
}

const std::string find_request = "GET /v1/find?file=pi_base10&digits=999999 HTTP/1.1\r\nHost: t\r\n\r\n";

TEST(Server, AClientThatGoesAwayStopsItsScan) {
    rovurer::server::config settings;
    settings.port = "0";
    std::latch scanned(1);
    bool stop_seen = false;
    // The scan waits for its stop, which only the client's leaving gives (a
    // minute at most, for a server that never gives it).
    settings.before_scan = [&](const std::stop_token& stop) {
        std::mutex lock;
        std::condition_variable_any woken;
        std::unique_lock<std::mutex> held(lock);
        stop_seen = woken.wait_for(held, stop, std::chrono::minutes(1), [] { return false; }) || stop.stop_requested();
        scanned.count_down();
    };
    running_server server(pi_files(), settings);
    const int client = connect_to(server.port());
    ASSERT_EQ(::send(client, find_request.data(), find_request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(find_request.size()));
    ::shutdown(client, SHUT_WR);
    scanned.wait();
    EXPECT_TRUE(stop_seen);
    ::close(client);
}

TEST(Server, TheEndFinishesTheRequestInFlight) {
    rovurer::server::config settings;
    settings.port = "0";
    std::latch started(1);
    std::latch released(1);
    settings.before_scan = [&](const std::stop_token& /*stop*/) {
        started.count_down();
        released.wait();
    };
    running_server server(pi_files(), settings);
    const int client = connect_to(server.port());
    ASSERT_EQ(::send(client, find_request.data(), find_request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(find_request.size()));
    started.wait();
    server.stop();  // as SIGTERM, while the scan runs
    released.count_down();
    std::string received;
    char buffer[4096];
    for (ssize_t got = 0; (got = ::recv(client, buffer, sizeof buffer, 0)) > 0;) {
        received.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(client);
    server.join();
    EXPECT_EQ(status_of(received), 200);
    EXPECT_NE(body_of(received).find("\"positions\":[762]"), std::string::npos) << received;
}

}  // namespace
