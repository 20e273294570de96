// What a Tessel run on a database should print and write, worked out from the
// rules of the pass with the library's encoder for the bitmap bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct ExpectedRun {
    std::string out;
    std::vector<std::uint8_t> file;
};

ExpectedRun expectedTesselRun(const std::vector<std::uint8_t>& input);

// Palm::PDB's view of a database, in the form tests/palm_pdb_view.pl prints.
std::string palmPdbView(const std::vector<std::uint8_t>& file);

}  // namespace testsupport
