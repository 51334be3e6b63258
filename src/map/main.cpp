// keston-map: turns the assembler's messages about the files keston made into
// messages about their sources: the source's name and line, and its label
// names. It reads them on standard input, or runs the assembler and reads its
// output.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cmdline/run_settings.h"
#include "cmdline/standard_options.h"
#include "common/globals.h"
#include "common/report.h"
#include "map/build.h"
#include "map/build_map.h"
#include "map/map_command_line.h"
#include "map/message_stream.h"
#include "map/notes.h"
#include "map/output.h"
#include "map/pairs.h"
#include "platform/command.h"
#include "platform/file_io.h"
#include "platform/filter_process.h"
#include "platform/standard_output.h"
#include "transform/local_labels.h"

namespace keston::map {

namespace {

constexpr int MAP_DONE = 0;
constexpr int MAP_FAILED = 2;  // a bad command line, a file not read, output not written
// A shell's statuses for a command it could not run.
constexpr int COMMAND_NOT_FOUND = 127;
constexpr int COMMAND_NOT_RUNNABLE = 126;

constexpr int STANDARD_INPUT = 0;
constexpr int STANDARD_ERROR = 2;
constexpr std::uint32_t READ_SIZE = 65536;

int filter_status() {
    return g_map_failed || g_output_failed ? MAP_FAILED : MAP_DONE;
}

int filter_messages() {
    static char bytes[READ_SIZE];
    std::int32_t got;
    while ((got = platform::read_bytes(STANDARD_INPUT, bytes, READ_SIZE)) > 0) {
        take_messages(g_output_messages, bytes, static_cast<std::uint32_t>(got));
    }
    end_messages(g_output_messages);
    if (got < 0) {
        note("standard input: read error");
        return MAP_FAILED;
    }
    return filter_status();
}

// Once standard output's reader has gone, the command's output is no longer
// read: the command meets the closed pipe.
bool take_command_output(int stream, const char* bytes, std::uint32_t count) {
    const bool is_output = stream == platform::COMMAND_OUTPUT;
    MessageStream& messages = is_output ? g_output_messages : g_error_messages;
    if (count == 0) {
        end_messages(messages);
    } else {
        take_messages(messages, bytes, count);
    }
    return !(is_output && g_output_reader_gone);
}

// The command's status, or its signal, which ends keston-map too, so that a
// loop of the shell around keston-map stops as it would around the command.
int wrap_command() {
    leave_reader_to_command();
    const platform::CommandEnd end = platform::run_command(g_command, take_command_output);
    if (end.status == platform::COMMAND_NOT_FOUND) {
        note("%s: command not found", g_command[0]);
        return COMMAND_NOT_FOUND;
    }
    if (end.status == platform::COMMAND_NOT_STARTED) {
        note("%s: cannot be run: %s", g_command[0], end.reason);
        return COMMAND_NOT_RUNNABLE;
    }
    if (end.signal_number != 0) platform::end_by_signal(end.signal_number);
    return g_output_failed ? MAP_FAILED : end.status;
}

int run_map(int argc, const char* const* argv) {
    switch (standard_option(argc, argv)) {
        case StandardOption::HELP:
            print_map_usage(true);
            return filter_status();
        case StandardOption::VERSION: {
            const char* const line = version_line("keston-map");
            put(g_output, line, static_cast<std::uint32_t>(std::strlen(line)));
            flush(g_output);
            return filter_status();
        }
        case StandardOption::NONE:
            break;
    }
    const int parsed = parse_map_command_line(argc, argv);
    if (parsed == COMMAND_LINE_REFUSED) return MAP_FAILED;
    if ((g_switches & F_HELP) != 0) {
        print_map_usage(true);
        return filter_status();
    }
    if (parsed == COMMAND_LINE_INCOMPLETE) {
        print_map_usage(false);
        return MAP_FAILED;
    }
    set_tab_widths();
    if (set_label_prefix(g_label_prefix) != 0) return MAP_FAILED;
    if (g_build_mode && build_destinations() != 0) return MAP_FAILED;
    if (!describe_pairs()) {
        note("not enough memory");
        return MAP_FAILED;
    }
    // keston printed the chain's messages when it wrote the destinations.
    g_failure_messages_muted = true;
    if (g_command == nullptr) return g_build_mode ? MAP_DONE : filter_messages();
    return wrap_command();
}

}  // namespace

}  // namespace keston::map

int main(int argc, char** argv) {
    using namespace keston;
    // keston's messages for a refused command line go to standard error.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    platform::prepare_filter_process();
    const int output = platform::divert_standard_output();
    if (output < 0) return map::MAP_FAILED;
    map::set_output_descriptors(output, map::STANDARD_ERROR);
    map::connect_message_streams();
    std::exit(map::run_map(argc, argv));
}
