// Shows a document the way the desktop shows it when the user opens it: the
// contact sheet in the user's browser.
#pragma once

#include <string>

namespace lumen {

// Hands the file (a full path) to the desktop and returns at once. Never
// fails the run and prints nothing: a machine without a desktop, or without
// the program that opens files, simply shows nothing.
void openDocument(const std::string& path);

}  // namespace lumen
