// keston-check: runs each source through keston's chain with keston's switches,
// writes no file (but with -x) and reports every place where the result would
// mean something else to the assembler than the source does.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "check/check_command_line.h"
#include "check/file_check.h"
#include "check/name_clash.h"
#include "check/name_fix.h"
#include "check/report.h"
#include "check/source_rewrites.h"
#include "cmdline/command_line.h"
#include "cmdline/run_settings.h"
#include "cmdline/standard_options.h"
#include "common/globals.h"
#include "platform/filter_process.h"
#include "platform/process.h"
#include "platform/standard_output.h"
#include "transform/local_labels.h"

namespace keston::check {

namespace {

// As keston's: an interrupt while -x rewrites a source leaves it as it was.
constexpr char INTERRUPT_MESSAGE[] = "\n\r?KESTON-F-Operation is interrupted by user\n\r";

// The report goes out whatever the run came to; failing that, the run fails.
// A reader that went away has ended the process by then, as it ends grep.
int finish_run(int status) {
    if (flush_report() == 0) return status;
    std::printf("keston-check: standard output: write error\n");
    return CHECK_INCOMPLETE;
}

// -x: every source planned and its new bytes made to wait beside it, or
// every source left as it is.
void fix_sources(const std::vector<std::string>& sources) {
    platform::install_interrupt_handler(INTERRUPT_MESSAGE);
    drop_repeated_sources(sources);
    choose_fix_letter(sources);
    for (std::uint32_t order = 0; order < sources.size(); ++order) {
        if (!sources[order].empty() && may_rewrite(order)) fix_file(sources[order].c_str(), order);
    }
    settle_rewrites();
}

int run_check(int argc, const char* const* argv) {
    switch (standard_option(argc, argv)) {
        case StandardOption::HELP:
            print_check_usage(true);
            return finish_run(CHECK_CLEAN);
        case StandardOption::VERSION:
            report_text(version_line("keston-check"));
            return finish_run(CHECK_CLEAN);
        case StandardOption::NONE:
            break;
    }
    if (parse_check_command_line(argc, argv) != 0) return finish_run(CHECK_INCOMPLETE);
    // -x rewrites names that only -l makes invalid.
    if (fixes_names() && (g_switches & F_LOCAL_LABELS) == 0) {
        print_check_usage(false);
        return finish_run(CHECK_INCOMPLETE);
    }
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
    const std::vector<std::string> sources = name_sources(argc, argv);
    if ((g_switches & F_LOCAL_LABELS) != 0 && sources.size() > 1) compare_sources();
    if (fixes_names()) fix_sources(sources);
    for (std::uint32_t order = 0; order < sources.size(); ++order) {
        if (!sources[order].empty() && is_checked(order))
            check_file(sources[order].c_str(), checked_name(sources[order].c_str(), order), order);
    }
    report_name_clashes();
    write_held_reports();
    // The notes come before the renames: a rewrite nobody hears of is not made.
    if (fixes_names()) commit_rewrites(flush_report() == 0);
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
