#include "platform/command.h"

#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <cwchar>
#include <utility>

namespace keston::platform {

namespace {

constexpr DWORD READ_SIZE = 65536;

CommandOutputHandler g_handler = nullptr;
// The two readers take turns at the handler.
CRITICAL_SECTION g_handler_lock;

struct PipeReader {
    HANDLE pipe;
    int stream;
    char buffer[READ_SIZE];
};

bool hand_over(int stream, const char* bytes, std::uint32_t count) {
    ::EnterCriticalSection(&g_handler_lock);
    const bool more = g_handler(stream, bytes, count);
    ::LeaveCriticalSection(&g_handler_lock);
    return more;
}

// Reads until the pipe ends or the handler wants no more: closing the pipe
// then makes the command's next write to it fail.
DWORD WINAPI read_pipe(void* parameter) {
    auto* const reader = static_cast<PipeReader*>(parameter);
    DWORD got = 0;
    while (::ReadFile(reader->pipe, reader->buffer, READ_SIZE, &got, nullptr) && got != 0) {
        if (!hand_over(reader->stream, reader->buffer, got)) break;
    }
    if (got == 0) hand_over(reader->stream, nullptr, 0);
    ::CloseHandle(reader->pipe);
    return 0;
}

// Ctrl+C and Ctrl+Break reach the command too: this process stays to pass on
// the rest of its output and its status.
BOOL WINAPI leave_interrupt_to_command(DWORD) {
    return TRUE;
}

// The command line being written: room enough is allocated beforehand.
struct CommandLine {
    wchar_t* text;
    std::size_t used;
};

// Wide characters of a UTF-8 argument, its terminating one included.
std::size_t wide_size(const char* text) {
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    return size > 0 ? static_cast<std::size_t>(size) : 1;
}

void append(CommandLine& line, wchar_t c, std::size_t count = 1) {
    for (; count != 0; --count) line.text[line.used++] = c;
}

// Quoted so that the runtime's splitting of the command line gives the
// argument back: backslashes double only in front of a quote or the end.
void append_argument(CommandLine& line, const wchar_t* argument, std::size_t length) {
    if (length != 0 && std::wcscspn(argument, L" \t\n\v\"") == length) {
        std::wmemcpy(line.text + line.used, argument, length);
        line.used += length;
        return;
    }
    append(line, L'"');
    for (std::size_t at = 0;; ++at) {
        std::size_t backslashes = 0;
        for (; at < length && argument[at] == L'\\'; ++at) ++backslashes;
        if (at == length) {
            append(line, L'\\', backslashes * 2);
            break;
        }
        append(line, L'\\', argument[at] == L'"' ? backslashes * 2 + 1 : backslashes);
        append(line, argument[at]);
    }
    append(line, L'"');
}

// The arguments as one command line, each quoted where it needs to be; a new
// string from malloc, or null.
wchar_t* command_line(const char* const* argv) {
    std::size_t room = 1;
    std::size_t longest = 1;
    for (const char* const* argument = argv; *argument != nullptr; ++argument) {
        const std::size_t size = wide_size(*argument);
        room += 2 * size + 2;  // each character doubled at worst, two quotes and a space
        longest = size > longest ? size : longest;
    }
    CommandLine line{static_cast<wchar_t*>(std::malloc(room * sizeof(wchar_t))), 0};
    auto* const wide = static_cast<wchar_t*>(std::malloc(longest * sizeof(wchar_t)));
    if (line.text != nullptr && wide != nullptr) {
        for (const char* const* argument = argv; *argument != nullptr; ++argument) {
            if (argument != argv) append(line, L' ');
            wide[0] = L'\0';
            ::MultiByteToWideChar(CP_UTF8, 0, *argument, -1, wide, static_cast<int>(longest));
            append_argument(line, wide, std::wcslen(wide));
        }
        line.text[line.used] = L'\0';
    }
    std::free(wide);
    if (wide == nullptr) std::free(std::exchange(line.text, nullptr));
    return line.text;
}

void close_pipes(HANDLE reading[2], HANDLE writing[2], int count) {
    for (int i = 0; i < count; ++i) {
        ::CloseHandle(reading[i]);
        ::CloseHandle(writing[i]);
    }
}

// Both pipes with an inheritable writing end; false with none left open.
bool open_pipes(HANDLE reading[2], HANDLE writing[2]) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    for (int i = 0; i < 2; ++i) {
        if (!::CreatePipe(&reading[i], &writing[i], &inheritable, 0)) {
            close_pipes(reading, writing, i);
            return false;
        }
        ::SetHandleInformation(reading[i], HANDLE_FLAG_INHERIT, 0);
    }
    return true;
}

// The system's text for error, without its closing period and line end.
const char* error_text(DWORD error) {
    static char text[256];
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                    sizeof text, nullptr);
    while (length != 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.')) --length;
    text[length] = '\0';
    return text;
}

CommandEnd start_failure(DWORD error) {
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {COMMAND_NOT_FOUND, 0, nullptr};
    return {COMMAND_NOT_STARTED, 0, error_text(error)};
}

// The command with its standard output and standard error on the pipes'
// writing ends, which this process then closes; 0, or the error of a failed start.
DWORD start_process(const char* const* argv, HANDLE writing[2], PROCESS_INFORMATION* process) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writing[0];
    startup.hStdError = writing[1];
    wchar_t* const line = command_line(argv);
    const BOOL started = line != nullptr && ::CreateProcessW(nullptr, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                                             &startup, process);
    const DWORD error = started ? 0 : line == nullptr ? ERROR_NOT_ENOUGH_MEMORY : ::GetLastError();
    std::free(line);
    ::CloseHandle(writing[0]);
    ::CloseHandle(writing[1]);
    if (started) ::CloseHandle(process->hThread);
    return error;
}

// Each pipe has a reader of its own, so that neither fills up while the other waits.
void relay(HANDLE reading[2], CommandOutputHandler handler) {
    g_handler = handler;
    ::InitializeCriticalSection(&g_handler_lock);
    static PipeReader readers[2];
    constexpr int streams[] = {COMMAND_OUTPUT, COMMAND_ERRORS};
    HANDLE threads[2];
    for (int i = 0; i < 2; ++i) {
        readers[i].pipe = reading[i];
        readers[i].stream = streams[i];
        threads[i] = ::CreateThread(nullptr, 0, read_pipe, &readers[i], 0, nullptr);
    }
    for (int i = 0; i < 2; ++i) {
        if (threads[i] == nullptr) {
            read_pipe(&readers[i]);
            continue;
        }
        ::WaitForSingleObject(threads[i], INFINITE);
        ::CloseHandle(threads[i]);
    }
}

}  // namespace

CommandEnd run_command(const char* const* argv, CommandOutputHandler handler) {
    HANDLE reading[2];
    HANDLE writing[2];
    if (!open_pipes(reading, writing)) return start_failure(::GetLastError());
    PROCESS_INFORMATION process{};
    const DWORD error = start_process(argv, writing, &process);
    if (error != 0) {
        ::CloseHandle(reading[0]);
        ::CloseHandle(reading[1]);
        return start_failure(error);
    }
    ::SetConsoleCtrlHandler(leave_interrupt_to_command, TRUE);
    relay(reading, handler);
    DWORD status = 0;
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hProcess);
    return {static_cast<int>(status), 0, nullptr};
}

// A console interrupt ends the command with an exit status of its own, which
// passes on as it is: run_command names no signal here. Should one be asked
// for, the runtime's raise ends this process as near to it as Windows goes.
void end_by_signal(int signal_number) {
    std::raise(signal_number);
    std::_Exit(EXIT_FAILURE);
}

}  // namespace keston::platform
