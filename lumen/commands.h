// Lumen's commands. Each prints its report on standard output, its
// failures on standard error (naming the file), and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace lumen {

int listSkin(const std::string& path);
int checkSkins(const std::vector<std::string>& paths);
int exportSkin(const std::string& path, const std::string& folder);
int unpackSkin(const std::string& path, const std::string& outputPath);
int buildSkin(const std::string& folder, const std::string& outputPath);
int replaceBitmap(const std::string& skinPath, const std::string& id, const std::string& imagePath,
                  const std::string& outputPath);

// One line on standard error: "Lumen: <file>: <what>".
void reportFailure(const std::string& file, const std::string& what);

}  // namespace lumen
