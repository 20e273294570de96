// What Tessel prints and writes for the skins that the repository ships. The
// figures are fixed here, not worked out by the code under test, so that any
// change to the encoder, the pass or the writer shows up as a difference.
// They were taken when the outputs had been checked with Palm::PDB, decoded
// back to their inputs and compared across the native and Windows builds.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

struct KnownRun {
    std::string skin;    // the input's file name, in samples/ or tests/corpus/
    std::string out;     // all that Tessel prints
    std::string sha256;  // of the database it writes
};

const std::vector<KnownRun>& knownRuns();
const KnownRun& knownRun(const std::string& skin);

// The file's SHA-256 in hexadecimal, as sha256sum prints it.
std::string sha256Of(const std::filesystem::path& file);

}  // namespace testsupport
