// Helpers shared by the test programs.
#pragma once

#include <string>
#include <vector>

namespace MvxTest {

// A fresh, empty folder for the calling test (Windows path), removed at process exit.
std::string tempFolder();

std::vector<unsigned char> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<unsigned char>& bytes);

// The host (Linux) path of a Windows path, for the outside tools.
std::string hostPath(const std::string& windowsPath);

// Runs a command line of the host system (a Debian tool such as bzz or djvudump) through /bin/sh and
// returns its exit status; its standard output goes to outputFile when one is given.
int runHostTool(const std::string& commandLine, const std::string& outputFile = std::string());

// True when the outside DjVu tools can be run (djvulibre-bin is installed).
bool hostToolsAvailable();

} // namespace MvxTest
