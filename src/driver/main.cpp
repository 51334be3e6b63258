// keston: reads one assembler source, sends every line through the
// transformations its switches select and writes the result with CR LF line ends.

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "cmdline/command_line.h"
#include "cmdline/run_settings.h"
#include "cmdline/usage.h"
#include "common/globals.h"
#include "driver/line_loop.h"
#include "platform/file_io.h"
#include "platform/process.h"
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

bool is_empty(const char* name) {
    return name[0] == '\0';
}

// Naming the source again as destination would truncate it before it is read,
// so such a source is loaded whole first, as -f does.
std::uint32_t input_chunk_size() {
    if ((g_switches & F_WHOLE_FILE) != 0) return 0;
    if ((g_switches & F_OUTPUT_NAMED) != 0 && platform::same_file(g_input_name, g_output_name)) {
        return 0;
    }
    return TS_BLOCK;
}

// Nothing is created on disk before both names are known and the source is open.
int open_files() {
    if ((g_switches & F_INPUT_NAMED) == 0 || is_empty(g_input_name)) {
        std::printf("\n\r?KESTON-F-Input file name is not specified\n\r");
        return 1;
    }
    verbose_printf("\r\nInput file name : %s", g_input_name);
    g_input = open_input(g_input_name, input_chunk_size());
    if (g_input == nullptr) {
        std::printf("\n\r?KESTON-F-Input file open failure\n\r");
        return 1;
    }
    if ((g_switches & F_OUTPUT_NAMED) == 0 || is_empty(g_output_name)) {
        std::printf("\n\r?KESTON-F-Output file name is not specified\n\r");
        return 1;
    }
    verbose_printf("\r\nOutput file name: %s", g_output_name);
    g_output = open_output(g_output_name);
    if (g_output == nullptr) {
        std::printf("\n\r?KESTON-F-Output file creation failure\n\r");
        return 1;
    }
    return 0;
}

// Everything before the line loop; 0 when the loop may run.
int prepare_run(int argc, const char* const* argv) {
    if (parse_command_line(argc, argv) != 0) return 1;
    if ((g_switches & F_HELP) != 0) {
        print_usage();
        return 1;
    }
    verbose_printf("%s", HELP_BANNER);
    if (open_files() != 0) return 1;
    set_tab_widths();
    return set_label_prefix(g_label_prefix);
}

// Releases whichever stream is open; a write stream's buffered rest is written first.
void release_streams() {
    if (g_input != nullptr) {
        close_stream(g_input);
        g_input = nullptr;
    }
    if (g_output != nullptr) {
        close_stream(g_output);
        g_output = nullptr;
    }
}

}  // namespace

}  // namespace keston

int main(int argc, char** argv) {
    using namespace keston;
    // Every message reaches standard output at once, also if the run is interrupted.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    platform::prepare_process();
    int exit_status = -1;
    platform::install_interrupt_handler(INTERRUPT_MESSAGE);
    if (prepare_run(argc, argv) == 0) {
        process_file();
        release_streams();
        verbose_printf("\n");
        exit_status = 0;
        platform::remove_interrupt_handler();
    }
    release_streams();
    std::exit(exit_status);
}
