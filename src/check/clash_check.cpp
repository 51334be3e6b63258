#include "check/clash_check.h"

#include "check/file_check.h"
#include "check/name_clash.h"
#include "check/report.h"

namespace keston::check {

std::size_t report_clashes_among(const std::vector<std::string>& sources, int fd) {
    set_report_output(fd);
    report_only("name-clash");
    compare_sources();
    for (std::size_t order = 0; order < sources.size(); ++order) {
        check_file(sources[order].c_str(), sources[order].c_str(), static_cast<std::uint32_t>(order));
    }
    report_name_clashes();
    const std::size_t clashes = write_held_reports();
    flush_report();
    return clashes;
}

}  // namespace keston::check
