#include "palm_pdb_view.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "resource_database.h"

namespace testsupport {
namespace {

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

std::string palmPdbView(const std::vector<std::uint8_t>& file) {
    const prc::DatabaseParse parse = prc::parseResourceDatabase(file);
    if (!parse.table) {
        throw std::runtime_error("not a readable database");
    }
    const prc::ResourceTable& table = *parse.table;
    const auto nameEnd = std::find(table.header.name.begin(), table.header.name.end(), 0);
    std::string view =
        "name " + hex(table.header.name.data(), nameEnd - table.header.name.begin()) + "\n";
    view += "type " + std::string(table.header.type.begin(), table.header.type.end()) +
            " creator " + std::string(table.header.creator.begin(), table.header.creator.end()) +
            "\n";
    for (const prc::ResourceEntry& entry : table.entries) {
        view += "resource " + std::string(entry.type.begin(), entry.type.end()) + " " +
                std::to_string(entry.id) + " " + hex(entry.data.data(), entry.data.size()) + "\n";
    }
    return view;
}

}  // namespace testsupport
