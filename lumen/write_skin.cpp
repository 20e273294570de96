#include <vector>

#include "commands.h"
#include "file_access.h"

namespace lumen {

std::optional<std::size_t> writeSkin(const std::string& outputPath,
                                     const prc::DatabaseHeader& header,
                                     std::span<const prc::ResourceEntry> entries,
                                     const std::string& what, const prc::FileLayout& layout) {
    if (prc::databaseFileSize(entries, layout) > UINT32_MAX) {
        reportFailure(outputPath, "not written: the " + what + " would not fit 32-bit offsets");
        return std::nullopt;
    }
    const std::vector<std::uint8_t> file = prc::serializeDatabase(header, entries, layout);
    const prc::FileWriteResult written = prc::replaceFile(outputPath, file);
    if (written.status != prc::FileWriteStatus::ok) {
        reportFailure(outputPath, "cannot write the file: " + written.reason);
        return std::nullopt;
    }
    return file.size();
}

}  // namespace lumen
