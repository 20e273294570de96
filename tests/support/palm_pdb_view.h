// A database as tests/palm_pdb_view.pl prints it through Palm::PDB, made from
// the library's reader, so that the two readers can be compared.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

std::string palmPdbView(const std::vector<std::uint8_t>& file);

}  // namespace testsupport
