// keston-check: runs each source through keston's chain with keston's switches,
// writes no file and reports every place where the result would mean
// something else to the assembler than the source does.

#include <cstdio>
#include <cstdlib>

#include "check/check_command_line.h"
#include "check/file_check.h"
#include "check/report.h"
#include "cmdline/command_line.h"
#include "cmdline/run_settings.h"
#include "common/globals.h"
#include "platform/filter_process.h"
#include "platform/standard_output.h"
#include "transform/local_labels.h"

namespace keston::check {

namespace {

// The report goes out whatever the run came to; failing that, the run fails.
// A reader that went away has ended the process by then, as it ends grep.
int finish_run(int status) {
    if (flush_report() == 0) return status;
    std::printf("keston-check: standard output: write error\n");
    return CHECK_INCOMPLETE;
}

int run_check(int argc, const char* const* argv) {
    if (parse_check_command_line(argc, argv) != 0) return finish_run(CHECK_INCOMPLETE);
    if ((g_switches & F_HELP) != 0) {
        print_check_usage(true);
        return finish_run(CHECK_CLEAN);
    }
    if (!names_a_source()) {
        print_check_usage(false);
        return finish_run(CHECK_INCOMPLETE);
    }
    set_tab_widths();
    if (set_label_prefix(g_label_prefix) != 0) return finish_run(CHECK_INCOMPLETE);
    for (int i = 1; i < argc; ++i) {
        if (!is_switch(argv[i])) check_file(argv[i]);
    }
    return finish_run(g_check_status);
}

}  // namespace

}  // namespace keston::check

int main(int argc, char** argv) {
    using namespace keston;
    // Messages reach standard error at once, in order with the notes.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    platform::prepare_filter_process();
    const int report = platform::divert_standard_output();
    if (report < 0) return check::CHECK_INCOMPLETE;
    check::set_report_output(report);
    std::exit(check::run_check(argc, argv));
}
