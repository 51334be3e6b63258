// keston: reads one assembler source, sends every line through the
// transformations its switches select and writes the result with CR LF line ends.

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "cmdline/command_line.h"
#include "cmdline/run_settings.h"
#include "cmdline/standard_options.h"
#include "cmdline/usage.h"
#include "common/globals.h"
#include "common/report.h"
#include "driver/line_loop.h"
#include "platform/file_io.h"
#include "platform/process.h"
#include "platform/replacement.h"
#include "platform/standard_output.h"
#include "stream/text_stream.h"
#include "transform/local_labels.h"

namespace keston {

namespace {

constexpr char INTERRUPT_MESSAGE[] = "\n\r?KESTON-F-Operation is interrupted by user\n\r";

[[gnu::format(printf, 1, 2)]] void verbose_printf(const char* format, ...) {
    if ((g_switches & F_VERBOSE) == 0) return;
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
}

// --help and --version, alone on the command line: the usage text that -?
// shows, or the version line, on standard output. Unlike -?, this is no
// failure of the command line.
void answer_standard_option(StandardOption option) {
    if (option == StandardOption::HELP) {
        print_usage();
    } else {
        std::printf("%s", version_line("keston"));
    }
}

// Source and destination reach the same file: the result goes to a new file
// that replaces the source only once the run is complete.
bool g_in_place = false;

// A descriptor on the original standard output when the destination is
// named as standard output itself: the data goes there. -1 otherwise.
int g_destination_fd = -1;

void report_creation_failure() {
    report_failure("\n\r?KESTON-F-Output file creation failure\n\r");
}

// Whenever standard output reaches the destination's file, everything else
// that the run prints goes to standard error, so that the file holds the
// result alone. Only a name of standard output itself takes the data through
// standard output as the caller set it up (truncated, or appended to); a file
// named by its own path gets exactly the result, whatever standard output
// made of it.
void divert_messages_from_destination() {
    if ((g_switches & F_OUTPUT_NAMED) == 0 || !platform::reaches_standard_output(g_output_name)) return;
    const int original = platform::divert_standard_output();
    if (platform::names_standard_output(g_output_name)) {
        g_destination_fd = original;
    } else if (original >= 0) {
        platform::close(original);
    }
}

// Standard error open on the file of a destination named by its own path
// (2>out.asm, >out.asm 2>&1, in place too): a message would land in the
// result, or the result over the message, so the file could not both hold
// exactly the result and show a failure. The run is refused before anything
// is printed or opened, and its one message goes to standard error, where the
// caller sent the messages. A name of standard output itself stays a stream,
// which the messages join when the caller joins the two (2>&1).
int refuse_standard_error_on_destination() {
    if ((g_switches & F_OUTPUT_NAMED) == 0 || platform::names_standard_output(g_output_name) ||
        !platform::standard_error_reaches_file(g_output_name))
        return 0;
    const int original = platform::divert_standard_output();
    if (original >= 0) platform::close(original);
    report_creation_failure();
    return 1;
}

TextStream* open_destination() {
    g_in_place = platform::same_regular_file(g_input_name, g_output_name);
    if (g_in_place) return open_replacement(g_output_name);
    if (g_destination_fd >= 0) return open_output_descriptor(std::exchange(g_destination_fd, -1));
    return open_output(g_output_name);
}

// A name is never empty: the command line refuses an empty argument.
int open_source() {
    if ((g_switches & F_INPUT_NAMED) == 0) {
        std::printf("\n\r?KESTON-F-Input file name is not specified\n\r");
        return 1;
    }
    verbose_printf("\r\nInput file name : %s", g_input_name);
    if ((g_switches & F_OUTPUT_NAMED) != 0 && platform::same_pipe(g_input_name, g_output_name)) {
        report_creation_failure();
        return 1;
    }
    g_input = open_input(g_input_name, source_read_size());
    if (g_input == nullptr) {
        std::printf("\n\r?KESTON-F-Input file open failure\n\r");
        return 1;
    }
    if ((g_switches & F_OUTPUT_NAMED) == 0) {
        std::printf("\n\r?KESTON-F-Output file name is not specified\n\r");
        return 1;
    }
    verbose_printf("\r\nOutput file name: %s", g_output_name);
    return 0;
}

int create_destination() {
    g_output = open_destination();
    if (g_output == nullptr) {
        report_creation_failure();
        return 1;
    }
    return 0;
}

// Everything before the line loop; 0 when the loop may run. Nothing is
// created on disk before both names are known, the source is open and the
// switch values are good.
int prepare_run(int argc, const char* const* argv) {
    if (parse_command_line(argc, argv) != 0) return 1;
    if ((g_switches & F_HELP) != 0) {
        print_usage();
        return 1;
    }
    if (refuse_standard_error_on_destination() != 0) return 1;
    divert_messages_from_destination();
    verbose_printf("%s", HELP_BANNER);
    if (open_source() != 0) return 1;
    set_tab_widths();
    if (set_label_prefix(g_label_prefix) != 0) return 1;
    return create_destination();
}

// Closes an open stream (its buffered rest written first, a failure
// reported) and clears the pointer to it.
void release(TextStream*& stream) {
    if (stream == nullptr) return;
    close_stream(stream);
    stream = nullptr;
}

// Releases whichever stream is open; a write stream's buffered rest is written
// first. An in-place result that did not replace its source is removed.
void release_streams() {
    release(g_input);
    release(g_output);
    platform::discard_replacement();
}

// The source is replaced only by a result that is complete (no failure
// reported, every byte written and the file closed and on the disk) and only
// while its name still reaches the file that was read.
void replace_source() {
    if (platform::complete_replacement() != 0) {
        report_write_error();
        return;
    }
    // An interrupt now either comes before the rename, and the file stays as
    // it was, or ends the process without its message once the result is in.
    platform::hold_interrupts();
    if (!platform::replacement_target_unchanged()) {
        platform::discard_replacement();
        report_creation_failure();
    } else if (platform::commit_replacement() != 0) {
        report_write_error();
    }
    platform::remove_interrupt_handler();
    platform::release_interrupts();
}

// After the line loop: both files closed and, in place, the source replaced.
// The source is closed first, as a file open for reading cannot be replaced
// everywhere.
void finish_run() {
    release(g_input);
    release(g_output);
    if (g_in_place && !g_failure_reported) replace_source();
}

}  // namespace

}  // namespace keston

int main(int argc, char** argv) {
    using namespace keston;
    // Every message reaches standard output at once, also if the run is interrupted.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    platform::prepare_process();
    if (const StandardOption option = standard_option(argc, argv); option != StandardOption::NONE) {
        answer_standard_option(option);
        std::exit(std::ferror(stdout) != 0 ? -1 : 0);
    }
    int exit_status = -1;
    platform::install_interrupt_handler(INTERRUPT_MESSAGE);
    if (prepare_run(argc, argv) == 0) {
        process_file();
        finish_run();
        verbose_printf("\n");
        exit_status = 0;
    }
    // The handler goes only after a run, and only once the result that did
    // not replace its source has gone too.
    release_streams();
    if (exit_status == 0) platform::remove_interrupt_handler();
    std::exit(exit_status);
}
