#include "console_window.h"

namespace platform {

bool waitsForKeyBeforeClosing(const ConsoleFacts& facts) {
    return facts.processesOnConsole == 1 && facts.inputIsConsole && facts.outputIsConsole &&
           facts.errorIsConsole && !facts.underWine;
}

}  // namespace platform
