#include "console_window.h"

namespace platform {

void holdOwnConsoleWindow() {}

}  // namespace platform
