#include "file_reading.h"

namespace lumen {

std::string readFailure(prc::FileReadStatus status, const std::string& limit) {
    switch (status) {
        case prc::FileReadStatus::ok:
            return {};
        case prc::FileReadStatus::cannotOpen:
            return "cannot open the file";
        case prc::FileReadStatus::cannotRead:
            return "cannot read the file";
        case prc::FileReadStatus::notRegular:
            return "not a regular file (a device, a pipe or a socket): only files are read";
        case prc::FileReadStatus::tooLarge:
            return "larger than " + limit;
        case prc::FileReadStatus::outsideFolder:
            return "leads out of the manifest's folder through a symbolic link: only files "
                   "inside it are read";
    }
    return "cannot read the file";
}

}  // namespace lumen
