// Runs programs for the tests on Windows: CreateProcessW, with the output
// in files and the arguments passed as UTF-16.
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <stdexcept>

#include "test_support.h"

namespace {

// UTF-8 to UTF-16, by the filesystem library's own conversion.
std::wstring wide(const std::string& utf8) {
    return fs_path(utf8).wstring();
}

// One argument quoted so that CommandLineToArgvW and the C runtime read it
// back unchanged.
std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        text.push_back(c);
    }
    text.append(2 * backslashes, L'\\');
    text.push_back(L'"');
    return text;
}

HANDLE inheritable_file(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE handle = CreateFileW(fs_path(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                      disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot open " + path);
    }
    return handle;
}

}  // namespace

run_result run_command(const std::string& executable, const std::vector<std::string>& argv,
                       const std::string& stdout_path, std::size_t /*address_space_limit*/) {
    static int run_number = 0;
    const std::string base = temp_folder() + "/run" + std::to_string(++run_number);
    const std::string out_path = stdout_path.empty() ? base + ".out" : stdout_path;
    const std::string err_path = base + ".err";
    const HANDLE in = inheritable_file("NUL", GENERIC_READ, OPEN_EXISTING);
    const HANDLE out = inheritable_file(out_path, GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE err = inheritable_file(err_path, GENERIC_WRITE, CREATE_ALWAYS);

    std::wstring command;
    for (const std::string& argument : argv) {
        command += (command.empty() ? L"" : L" ") + quoted(wide(argument));
    }
    std::wstring application = wide(executable);
    for (wchar_t& c : application) {
        c = c == L'/' ? L'\\' : c;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    // Wine, loaded by many runs at once, now and then fails to start one:
    // a few tries before the test gives up.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 5 && started == FALSE; ++attempt) {
        if (attempt > 0) {
            Sleep(200);
        }
        started = CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                 &startup, &process);
    }
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) {
        throw std::runtime_error("cannot start " + executable);
    }
    run_result result;
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        result.timed_out = true;
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    result.status = static_cast<int>(status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (stdout_path.empty()) {
        result.out = file_contents(out_path);
    }
    result.err = file_contents(err_path);
    return result;
}

#endif
