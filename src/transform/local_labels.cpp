#include "transform/local_labels.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/byte_scan.h"
#include "common/decimal.h"
#include "common/globals.h"
#include "common/report.h"
#include "transform/label_index.h"

namespace keston {

char g_label_prefix[2];
char g_label_names[LABEL_NAMES_SIZE + SCAN_SLACK];
std::uint64_t g_label_count = 0;
std::uint64_t g_label_base = 0;
LabelObserver g_label_observer = nullptr;

namespace {

// The bytes that end a label name. NUL is one of them, so a name ends with its line.
constexpr char g_label_delimiters[] = {'\t', '\0', ' ', ':', '\'', '"', '\\', ';', '%', '&', '*', '(', ')', '=',
                                       '-',  '+',  '|', '/', '[',  ']', '.',  ',', '<', '>', '{', '}', '#'};
static_assert(sizeof g_label_delimiters == 27);

// A label is written with at least this many digits, more from 10,000 on.
constexpr std::size_t MIN_LABEL_DIGITS = 4;

constexpr std::array<bool, 256> DELIMITER_BYTES = [] {
    std::array<bool, 256> table{};
    for (const char c : g_label_delimiters) table[static_cast<unsigned char>(c)] = true;
    return table;
}();

bool is_delimiter(char c) {
    return DELIMITER_BYTES[static_cast<unsigned char>(c)];
}

bool starts_with_prefix(const char* text) {
    return text[0] == g_label_prefix[0] && text[1] == g_label_prefix[1];
}

std::int32_t report_long_line() {
    report_stop(RunStop::LONG_AFTER_LABELS);
    return -1;
}

// Appends name, '_' and number at out[*written]; -1 when that would exceed the line.
std::int32_t write_label(char* out, std::uint32_t* written, const char* name, std::uint32_t length,
                         std::uint64_t number) {
    const auto digits = static_cast<std::uint32_t>(decimal_digits(number, MIN_LABEL_DIGITS));
    const std::uint32_t total = length + 1 + digits;
    if (*written + total > MAX_LINE_CHARS) return report_long_line();
    char* const p = out + *written;
    // The name lies in a line buffer, as the label does: a whole block may be copied.
    if (length <= scan_block::SIZE) {
        scan_block::store(p, scan_block::load(name));
    } else {
        std::memcpy(p, name, length);
    }
    p[length] = '_';
    write_digits(p + total, number, digits);
    *written += total;
    return 0;
}

// The offset of the list's end marker, where the next name goes.
std::uint32_t g_label_names_end = 0;

void empty_label_names() {
    g_label_names[0] = '\0';
    g_label_names_end = 0;
    empty_label_index();
}

std::int64_t report_overflow(std::uint32_t* length_out) {
    report_stop(RunStop::LABEL_NAMES_FULL);
    *length_out = 0;
    return -1;
}

}  // namespace

// A line that starts with a blank, '#', '/', ';' or a label stays in the
// present scope; any other non-empty line starts a new one.
bool opens_label_scope(const char* line) {
    switch (line[0]) {
        case '\t':
        case ' ':
        case '#':
        case '/':
        case ';':
            return false;
        default:
            return !starts_with_prefix(line);
    }
}

std::uint32_t find_label_prefix(const char* line, std::uint32_t length) {
    for (std::uint32_t at = 0;; ++at) {
        at += static_cast<std::uint32_t>(scan_until(line + at, length - at, nullptr, g_label_prefix[0]));
        if (at == length || line[at + 1] == g_label_prefix[1]) return at;
    }
}

std::uint32_t measure_label_name(const char* name) {
    std::uint32_t length = 0;
    while (length <= MAX_LABEL_NAME && !is_delimiter(name[length])) ++length;
    return length;
}

void reset_label_state() {
    g_label_count = 0;
    g_label_base = 0;
    empty_label_names();
}

void track_label_scope(const char* line, std::uint32_t length) {
    if (length != 0 && opens_label_scope(line)) {
        g_label_base = g_label_count;
        empty_label_names();
    }
}

std::int32_t process_local_labels() {
    const std::uint32_t length = g_line_length;
    const char* const source = current_line();
    track_label_scope(source, length);
    // Without a prefix pair the line stays as it is, and within the limit.
    const std::uint32_t first_pair = find_label_prefix(source, length);
    if (first_pair == length) return 0;
    g_line_toggle ^= 1;
    char* const out = current_line();
    copy_blocks(out, source, first_pair);
    const char first_prefix = g_label_prefix[0];
    std::uint32_t read = first_pair;
    std::uint32_t written = first_pair;
    for (;;) {
        // Text up to the next first prefix character is copied whole. A line that
        // has reached 1024 characters, a prefix copied as text included, fails here.
        const std::uint32_t room = MAX_LINE - written;
        const std::uint32_t rest = length - read;
        const auto run =
            static_cast<std::uint32_t>(scan_until(source + read, std::min(rest, room), out + written, first_prefix));
        read += run;
        written += run;
        if (written == MAX_LINE) return report_long_line();
        if (read == length) break;
        if (starts_with_prefix(source + read)) {
            std::uint32_t name_length = 0;
            const std::int64_t number = lookup_local_label(source + read + 2, &name_length);
            if (number < 0) return -1;
            if (name_length != 0) {
                const auto label_number = static_cast<std::uint64_t>(number);
                if (write_label(out, &written, source + read + 2, name_length, label_number) != 0) return -1;
                if (g_label_observer != nullptr) g_label_observer(source + read + 2, name_length, label_number);
                read += 2 + name_length;
                continue;
            }
            // A prefix with no name behind it is plain text.
        }
        out[written++] = source[read++];
    }
    out[written] = '\0';
    g_line_length = written;
    return 0;
}

std::int64_t lookup_local_label(const char* name, std::uint32_t* length_out) {
    const std::uint32_t length = measure_label_name(name);
    if (length > MAX_LABEL_NAME) {
        report_stop(RunStop::LONG_LABEL_NAME);
        *length_out = 0;
        return -1;
    }
    *length_out = length;
    // A stored name matches when it begins with the new one; the first match wins.
    const std::int32_t position = find_label_position(name, length);
    if (position >= 0) return static_cast<std::int64_t>(g_label_base) + position;
    const std::uint32_t offset = g_label_names_end;
    if (offset + length + 2 >= LABEL_NAMES_SIZE) return report_overflow(length_out);
    std::memcpy(g_label_names + offset, name, length);
    g_label_names[offset + length] = '\0';
    g_label_names[offset + length + 1] = '\0';
    ++g_label_count;
    // No name matched, so an empty one met an empty list, which it leaves empty.
    if (length == 0) return static_cast<std::int64_t>(g_label_base);
    g_label_names_end = offset + length + 1;
    return static_cast<std::int64_t>(g_label_base + index_label_name(offset, length));
}

}  // namespace keston
