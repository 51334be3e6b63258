#include "check/output_compare.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "common/byte_scan.h"
#include "common/decimal.h"
#include "common/globals.h"
#include "common/report.h"
#include "stream/text_stream.h"
#include "transform/chain.h"
#include "transform/local_labels.h"

namespace keston::check {

namespace {

// The digits that keston writes at least behind a label's name and '_'.
constexpr std::size_t MIN_LABEL_DIGITS = 4;

ChainOutput* g_recording = nullptr;

void record_label(const char* name, std::uint32_t length, std::uint64_t number) {
    g_recording->labels.push_back({std::string(name, length), number});
}

std::string label_text(const WrittenLabel& label) {
    const std::size_t digits = decimal_digits(label.number, MIN_LABEL_DIGITS);
    std::string text = label.name + '_' + std::string(digits, '0');
    write_digits(text.data() + text.size(), label.number, digits);
    return text;
}

// The line with the number of each of its labels, met in order, as one
// '#': joining renumbers labels, and a number from 10,000 on takes a digit
// more than one below.
std::string without_numbers(const ChainOutput& output, std::size_t line) {
    std::string text = output.lines[line];
    const std::size_t end =
        line + 1 < output.first_labels.size() ? output.first_labels[line + 1] : output.labels.size();
    std::size_t at = 0;
    for (std::size_t i = output.first_labels[line]; i < end; ++i) {
        const WrittenLabel& label = output.labels[i];
        const std::size_t found = text.find(label_text(label), at);
        if (found == std::string::npos) break;
        at = found + label.name.size() + 1;
        text.replace(at, decimal_digits(label.number, MIN_LABEL_DIGITS), 1, '#');
        ++at;
    }
    return text;
}

bool only_blanks_before(const std::string& joined, const std::string& original) {
    const std::size_t blanks = joined.size() - original.size();
    return joined.size() > original.size() && joined.ends_with(original) &&
           std::all_of(joined.begin(), joined.begin() + static_cast<std::ptrdiff_t>(blanks),
                       [](char c) { return is_blank(c); });
}

// The labels' numbers correspond one to one, but for names of the joined scopes, whose numbers may now be one.
class NumberMatch {
   public:
    explicit NumberMatch(const std::unordered_set<std::string>& joined_names) : joined_names_(joined_names) {}

    bool match(const WrittenLabel& original, const WrittenLabel& joined) {
        if (original.name != joined.name) return false;
        const auto [forth, added] = forth_.try_emplace(original.number, joined.number);
        if (!added) return forth->second == joined.number;
        const auto [back, first] = back_.try_emplace(joined.number, original.name);
        return first || (back->second == original.name && joined_names_.count(original.name) != 0);
    }

   private:
    const std::unordered_set<std::string>& joined_names_;
    std::unordered_map<std::uint64_t, std::uint64_t> forth_;
    std::unordered_map<std::uint64_t, std::string> back_;  // the name that a joined number was first met with
};

bool labels_match(const ChainOutput& original, const ChainOutput& joined, std::size_t line, NumberMatch* numbers) {
    const auto count = [line](const ChainOutput& output) {
        const std::size_t end =
            line + 1 < output.first_labels.size() ? output.first_labels[line + 1] : output.labels.size();
        return end - output.first_labels[line];
    };
    if (count(original) != count(joined)) return false;
    for (std::size_t i = 0; i < count(original); ++i) {
        if (!numbers->match(original.labels[original.first_labels[line] + i],
                            joined.labels[joined.first_labels[line] + i]))
            return false;
    }
    return true;
}

}  // namespace

void run_chain(const SourceText& text, ChainOutput* output) {
    const LabelObserver observer = g_label_observer;
    g_label_observer = record_label;
    g_recording = output;
    reset_label_state();
    g_failure_reported = false;
    g_failure_messages_muted = true;
    for (LineReader lines(text.bytes); lines.next();) {
        g_line_number = lines.number();
        output->first_labels.push_back(output->labels.size());
        const std::uint32_t stored = lines.store(g_line_a, nullptr);
        g_line_length = chain_length(g_line_a, stored);
        if (stored == TS_LINE_LIMIT || transform_line() < 0) {
            output->stop = g_line_number;
            break;
        }
        output->lines.emplace_back(current_line(), g_line_length);
    }
    g_failure_messages_muted = false;
    g_label_observer = observer;
    g_recording = nullptr;
}

std::uint64_t find_output_difference(const ChainOutput& original, const ChainOutput& joined,
                                     const std::vector<bool>& indented,
                                     const std::unordered_set<std::string>& joined_names) {
    NumberMatch numbers(joined_names);
    for (std::size_t i = 0; i < std::max(original.lines.size(), joined.lines.size()); ++i) {
        if (i == joined.lines.size() || i == original.lines.size()) return i + 1;
        const std::string before = without_numbers(original, i);
        const std::string after = without_numbers(joined, i);
        const bool same_text = indented[i] ? only_blanks_before(after, before) : after == before;
        if (!same_text || !labels_match(original, joined, i, &numbers)) return i + 1;
    }
    return 0;
}

}  // namespace keston::check
