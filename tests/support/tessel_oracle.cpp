#include "tessel_oracle.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "compressed_bitmap.h"
#include "resource_database.h"

namespace testsupport {
namespace {

std::string format(const char* pattern, int a, int b = 0, int c = 0) {
    char line[160];
    std::snprintf(line, sizeof line, pattern, a, b, c);
    return line;
}

bool isKeepRaw(std::uint16_t id) {
    const std::uint16_t ids[] = {31003, 31004, 31165, 31166, 31140, 31141, 31142,
                                 31143, 31144, 31145, 31146, 31147, 31999};
    return std::find(std::begin(ids), std::end(ids), id) != std::end(ids);
}

std::string hex(const std::uint8_t* bytes, std::size_t size) {
    std::string text;
    char pair[3];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

}  // namespace

ExpectedRun expectedTesselRun(const std::vector<std::uint8_t>& input) {
    prc::DatabaseParse parse = prc::parseResourceDatabase(input);
    if (!parse.table) {
        throw std::runtime_error("the oracle takes readable databases only");
    }
    prc::ResourceTable& table = *parse.table;
    ExpectedRun run;
    run.out = format("File has %d resrouces\n", static_cast<int>(table.entries.size()));

    bool removed = false;
    for (auto it = table.entries.begin(); it != table.entries.end(); ++it) {
        if (it->type == prc::typeCode("PlRC") && it->id == 0) {
            table.entries.erase(it);
            removed = true;
            break;
        }
    }
    std::int64_t before = 0;
    std::int64_t after = 0;
    for (prc::ResourceEntry& entry : table.entries) {
        const auto size = static_cast<std::uint32_t>(entry.data.size());
        before += size;
        if (entry.type == prc::typeCode("abmp")) {
            std::vector<std::uint8_t> scratch(2 * size + 64);
            const std::uint32_t stored = bitmapcodec::encodeBitmapResource(
                entry.data, scratch, removed, isKeepRaw(entry.id));
            if (stored != size) {
                run.out += format("Image %d compressed from %d to %d bytes!\n", entry.id,
                                  static_cast<int>(size), static_cast<int>(stored));
                entry.data.assign(scratch.begin(), scratch.begin() + stored);
            }
            after += stored;
        } else {
            after += size;
        }
    }
    run.out += format("\nTotal compression: %d->%d bytes\n", static_cast<int>(before),
                      static_cast<int>(after));
    run.file = prc::serializeResourceDatabase(table);
    return run;
}

std::string palmPdbView(const std::vector<std::uint8_t>& file) {
    const prc::DatabaseParse parse = prc::parseResourceDatabase(file);
    if (!parse.table) {
        throw std::runtime_error("not a readable database");
    }
    const prc::ResourceTable& table = *parse.table;
    const auto nameEnd = std::find(table.header.name.begin(), table.header.name.end(), 0);
    std::string view =
        "name " + hex(table.header.name.data(), nameEnd - table.header.name.begin()) + "\n";
    view += "type " + std::string(file.begin() + 60, file.begin() + 64) + " creator " +
            std::string(file.begin() + 64, file.begin() + 68) + "\n";
    for (const prc::ResourceEntry& entry : table.entries) {
        view += "resource " + std::string(entry.type.begin(), entry.type.end()) + " " +
                std::to_string(entry.id) + " " + hex(entry.data.data(), entry.data.size()) + "\n";
    }
    return view;
}

}  // namespace testsupport
