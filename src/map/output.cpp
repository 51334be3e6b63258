#include "map/output.h"

#include <cerrno>
#include <cstring>

#include "map/notes.h"
#include "platform/file_io.h"

namespace keston::map {

Output g_output;
Output g_errors;
bool g_output_failed = false;
bool g_output_reader_gone = false;

namespace {

bool g_reader_left_to_command = false;

}  // namespace

void set_output_descriptors(int standard_output, int standard_error) {
    g_output.fd = standard_output;
    g_output.is_standard_output = true;
    g_errors.fd = standard_error;
}

namespace {

void write_out(Output& output, const char* bytes, std::uint32_t count) {
    if (count == 0 || (output.is_standard_output && (g_output_failed || g_output_reader_gone))) return;
    if (platform::write_bytes(output.fd, bytes, count) == static_cast<std::int32_t>(count)) return;
    if (!output.is_standard_output) return;
    if (g_reader_left_to_command && errno == EPIPE) {
        g_output_reader_gone = true;
        return;
    }
    g_output_failed = true;
    note("standard output: write error");
}

}  // namespace

void leave_reader_to_command() {
    g_reader_left_to_command = true;
}

void put(Output& output, const char* bytes, std::uint32_t count) {
    if (count > OUTPUT_SIZE - output.used) {
        flush(output);
        if (count > OUTPUT_SIZE) {
            write_out(output, bytes, count);
            return;
        }
    }
    std::memcpy(output.bytes + output.used, bytes, count);
    output.used += count;
}

void flush(Output& output) {
    const std::uint32_t used = output.used;
    output.used = 0;
    write_out(output, output.bytes, used);
}

}  // namespace keston::map
