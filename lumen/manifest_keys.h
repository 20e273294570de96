// Every key of skin.toml, the table it belongs in and what it takes: the one
// source of the words a manifest's reader uses when a value is missing, of
// the wrong kind or out of its range, and of which keys a table knows.
// Lumen's manual describes the same keys for people (THE MANIFEST in
// doc/man/Lumen.1); a key added here belongs there too.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace lumen {

struct ManifestKey {
    std::string_view table;  // "database", "resource" or "resource.member"
    std::string_view name;
    std::string_view takes;  // completes "<name> is ...": "one of 1, 2, 4, 8, 16"
    // For a key that takes a whole number: the numbers it takes.
    std::int64_t low = 0;
    std::int64_t high = -1;
    bool (*accepts)(std::int64_t) = nullptr;  // within [low, high], when set
};

std::span<const ManifestKey> manifestKeys();

// The key of that name in that table ("" for the manifest's top), or null.
const ManifestKey* manifestKey(std::string_view table, std::string_view name);

bool acceptsNumber(const ManifestKey& key, std::int64_t value);

// What a manifest's messages say, after "<table>.<name>: ".
// A value it does not take, as `given` describes it ("the text \"16\""), and
// how to write it when that is plain ("depth = 16").
std::string wrongValue(const ManifestKey& key, std::string_view given, std::string_view mend = {});
std::string missingValue(const ManifestKey& key);
// A key that its table does not know: where it belongs, or what the table takes.
std::string unknownKey(std::string_view table, std::string_view name);

}  // namespace lumen
