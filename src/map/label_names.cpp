#include "map/label_names.h"

#include <limits>

#include "transform/local_labels.h"

namespace keston::map {

namespace {

constexpr std::uint32_t MIN_LABEL_DIGITS = 4;
constexpr std::uint32_t MAX_LABEL_DIGITS = 19;  // all fit 64 bits

Pair* g_recording = nullptr;
bool g_recording_failed = false;

bool store_new_name(Pair& pair, const char* name, std::uint32_t length, std::uint64_t number) {
    const std::size_t offset = pair.label_names.size();
    if (offset > std::numeric_limits<std::uint32_t>::max() - length || !pair.label_names.append(name, length) ||
        !pair.labels.grow_to(number + 1)) {
        return false;
    }
    pair.labels[number].offset = static_cast<std::uint32_t>(offset);
    return true;
}

// A number's first label is the whole stored name; each later one with the
// same number is a leading part of it. Numbers come in rising order; one
// that a name without characters took is never written.
void record_label(const char* name, std::uint32_t length, std::uint64_t number) {
    Pair& pair = *g_recording;
    if (number >= pair.labels.size()) {
        if (!store_new_name(pair, name, length, number)) {
            g_recording_failed = true;
            return;
        }
    }
    pair.labels[number].lengths |= 1u << (length - 1);
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The number that ends a label as the chain writes it: '_', then four digits
// or, from 10,000 on, as many as it needs, the first not 0. The number's
// first digit, or 0 when the word does not end so.
std::uint32_t find_label_number(const char* word, std::uint32_t length, std::uint64_t* number) {
    std::uint32_t start = length;
    while (start > 0 && is_digit(word[start - 1])) --start;
    const std::uint32_t digits = length - start;
    const bool as_written = digits == MIN_LABEL_DIGITS || (digits > MIN_LABEL_DIGITS && word[start] != '0');
    if (!as_written || digits > MAX_LABEL_DIGITS || start < 2 || word[start - 1] != '_') return 0;
    *number = 0;
    for (std::uint32_t at = start; at < length; ++at) {
        *number = *number * 10 + static_cast<std::uint64_t>(word[at] - '0');
    }
    return start;
}

}  // namespace

void record_labels_of(Pair* pair) {
    g_recording = pair;
    g_recording_failed = false;
    g_label_observer = record_label;
}

bool stop_recording_labels() {
    g_recording = nullptr;
    g_label_observer = nullptr;
    return !g_recording_failed;
}

std::uint32_t find_label_spelling(const Pair& pair, const char* word, std::uint32_t length, const char** spelling) {
    std::uint64_t number = 0;
    const std::uint32_t digits = find_label_number(word, length, &number);
    if (digits == 0 || number >= pair.labels.size()) return 0;
    const std::uint32_t name_length = digits - 1;
    const LabelRecord& record = pair.labels[number];
    if (name_length > MAX_LABEL_NAME || ((record.lengths >> (name_length - 1)) & 1) == 0) return 0;
    const char* const stored = &pair.label_names[record.offset];
    for (std::uint32_t i = 0; i < name_length; ++i) {
        if (fold_case(stored[i]) != fold_case(word[i])) return 0;
    }
    *spelling = stored;
    return name_length;
}

}  // namespace keston::map
