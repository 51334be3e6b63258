#include "map/build_map.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "common/globals.h"
#include "common/report.h"
#include "map/label_names.h"
#include "map/notes.h"
#include "platform/file_io.h"
#include "stream/text_stream.h"
#include "transform/chain.h"
#include "transform/local_labels.h"

namespace keston::map {

bool g_map_failed = false;

namespace {

enum class Outcome { MAPPED, STALE, SOURCE_UNREADABLE, DESTINATION_UNREADABLE, TOO_LARGE };

constexpr std::uint32_t DESTINATION_CHUNK = 65536;

// The destination, read a chunk at a time to be compared with the chain's lines.
struct Destination {
    int fd;
    std::uint32_t at;
    std::uint32_t loaded;
    char bytes[DESTINATION_CHUNK];
};

Destination g_destination;

// 1, 0 at the end of the file, -1 when the read failed.
int load_more() {
    const std::int32_t got = platform::read_bytes(g_destination.fd, g_destination.bytes, DESTINATION_CHUNK);
    if (got < 0) return -1;
    g_destination.at = 0;
    g_destination.loaded = static_cast<std::uint32_t>(got);
    return got == 0 ? 0 : 1;
}

// Whether the destination goes on with these bytes: 1 or 0, -1 when a read failed.
int continues_with(const char* bytes, std::uint32_t count) {
    while (count != 0) {
        if (g_destination.at == g_destination.loaded) {
            const int loaded = load_more();
            if (loaded <= 0) return loaded;
        }
        const std::uint32_t piece = std::min(count, g_destination.loaded - g_destination.at);
        if (std::memcmp(g_destination.bytes + g_destination.at, bytes, piece) != 0) return 0;
        g_destination.at += piece;
        bytes += piece;
        count -= piece;
    }
    return 1;
}

Outcome at_destination_end() {
    if (g_destination.at != g_destination.loaded) return Outcome::STALE;
    const int loaded = load_more();
    return loaded < 0 ? Outcome::DESTINATION_UNREADABLE : loaded > 0 ? Outcome::STALE : Outcome::MAPPED;
}

// As keston's line loop, comparing where keston writes. A line the chain
// refuses ends the comparison as it ends keston's run: the destination holds
// the lines before it.
Outcome compare_lines(Pair& pair) {
    reset_label_state();
    g_line_number = 1;
    g_failure_reported = false;
    std::int32_t read;
    while ((read = read_line(g_line_a)) >= 0) {
        if (transform_line() < 0) break;
        const std::uint32_t length = g_line_length;
        if (length != 0 || (g_switches & F_NO_EMPTY_LINES) == 0) {
            char* const line = current_line();
            line[length] = '\r';
            line[length + 1] = '\n';
            const int same = continues_with(line, length + 2);
            if (same <= 0) return same < 0 ? Outcome::DESTINATION_UNREADABLE : Outcome::STALE;
            if (g_line_number > std::numeric_limits<std::uint32_t>::max() ||
                !pair.source_lines.push(static_cast<std::uint32_t>(g_line_number))) {
                return Outcome::TOO_LARGE;
            }
        }
        ++g_line_number;
    }
    if (read == TS_READ_FAILED) return Outcome::SOURCE_UNREADABLE;
    return at_destination_end();
}

Outcome build_map(Pair& pair) {
    g_input = open_input(pair.source, TS_BLOCK);
    if (g_input == nullptr) return Outcome::SOURCE_UNREADABLE;
    g_destination.fd = platform::open_read(pair.destination);
    Outcome outcome = Outcome::DESTINATION_UNREADABLE;
    if (g_destination.fd >= 0) {
        g_destination.at = g_destination.loaded = 0;
        record_labels_of(&pair);
        outcome = compare_lines(pair);
        if (!stop_recording_labels() && outcome == Outcome::MAPPED) outcome = Outcome::TOO_LARGE;
        platform::close(g_destination.fd);
    }
    close_stream(g_input);
    g_input = nullptr;
    return outcome;
}

void tell(const Pair& pair, Outcome outcome) {
    switch (outcome) {
        case Outcome::MAPPED:
            return;
        case Outcome::STALE:
            note("%s: not keston's output of %s with these switches; its references are left as they are",
                 pair.destination, pair.source);
            return;
        case Outcome::SOURCE_UNREADABLE:
            note("%s: cannot be read; the references to %s are left as they are", pair.source, pair.destination);
            break;
        case Outcome::DESTINATION_UNREADABLE:
            note("%s: cannot be read; its references are left as they are", pair.destination);
            break;
        case Outcome::TOO_LARGE:
            note("%s: too large to map; its references are left as they are", pair.destination);
            break;
    }
    g_map_failed = true;
}

}  // namespace

bool is_mapped(Pair& pair) {
    if (pair.state == MapState::NOT_BUILT) {
        const Outcome outcome = build_map(pair);
        pair.state = outcome == Outcome::MAPPED ? MapState::MAPPED : MapState::LEFT_AS_IS;
        if (outcome != Outcome::MAPPED) {
            pair.source_lines.clear();
            pair.labels.clear();
            pair.label_names.clear();
        }
        tell(pair, outcome);
    }
    return pair.state == MapState::MAPPED;
}

}  // namespace keston::map
