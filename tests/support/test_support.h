// Helpers shared by the test programs.
#pragma once

#include "mvx_exception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace MvxTest {

// A fresh, empty folder for the calling test (Windows path), removed at process exit.
std::string tempFolder();

std::vector<unsigned char> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<unsigned char>& bytes);

// The host (Linux) path of a Windows path, for the outside tools.
std::string hostPath(const std::string& windowsPath);

// The Windows path (on Wine's Z: drive) of a host path.
std::string windowsPath(std::string hostPath);

// The host path of a file of the source tree, given relative to its root.
std::string sourceHostPath(const std::string& relativePath);

// Runs a command line of the host system (a Debian tool such as bzz or djvudump) through /bin/sh and
// returns its exit status; its standard output goes to outputFile when one is given.
int runHostTool(const std::string& commandLine, const std::string& outputFile = std::string());

// The names of inNames that the host system cannot run, in their order, separated by spaces; empty when
// every one is there.
std::string missingHostTools(std::initializer_list<const char*> inNames);

// Fails the calling test fatally, naming each tool of inNames the host system cannot run: setup installs
// every tool the tests run, so a missing one means a broken machine, never a case to skip.
void requireHostTools(std::initializer_list<const char*> inNames);

// Expects f to throw a library exception with the code, and with each given text in its message.
template <class F>
void expectThrow(F&& f, int inCode, const char* inText = nullptr, const char* inAlsoText = nullptr)
{
    try {
        f();
        ADD_FAILURE() << "no exception, expected code " << inCode;
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(inCode, e.getCode()) << e.what();
        for (const char* text : {inText, inAlsoText}) {
            if (text) {
                EXPECT_NE(nullptr, std::strstr(e.what(), text)) << e.what();
            }
        }
    }
}

// Tests that run the outside DjVu tools (djvulibre-bin) on files in a fresh folder; a missing tool fails
// them by name. A fixture that sets up more calls ASSERT_NO_FATAL_FAILURE(HostToolTest::SetUp()) first.
class HostToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(requireHostTools(
            {"bzz", "cjb2", "ddjvu", "djvm", "djvmcvt", "djvudump", "djvused", "djvutoxml", "djvutxt"}));
        folder = tempFolder();
    }
    std::string path(const std::string& name) const { return folder + "\\" + name; }
    std::string host(const std::string& name) const { return hostPath(path(name)); }
    // Runs the host command line with its standard output into "out.txt" of the folder and gives that back;
    // a status other than 0 fails the test.
    std::string run(const std::string& commandLine)
    {
        EXPECT_EQ(0, runHostTool(commandLine, path("out.txt"))) << commandLine;
        const std::vector<unsigned char> b = readFile(path("out.txt"));
        return std::string(b.begin(), b.end());
    }
    std::string folder;
};

} // namespace MvxTest
