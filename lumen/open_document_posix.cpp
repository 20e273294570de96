#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "open_document.h"

namespace lumen {
namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

void openDocument(const std::string& path) {
    // Without a display xdg-open would start a text browser in the terminal.
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
        return;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        return;
    }
    if (child == 0) {
        // The grandchild runs the opener: Lumen neither waits for the browser
        // nor leaves a process behind that it should have waited for.
        if (::fork() != 0) {
            ::_exit(0);
        }
        ::setsid();
        const int nothing = ::open("/dev/null", O_RDWR);
        if (nothing >= 0) {
            ::dup2(nothing, 0);
            ::dup2(nothing, 1);
            ::dup2(nothing, 2);
        }
        ::execlp("xdg-open", "xdg-open", path.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace lumen
