#include "test_support.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace MvxTest {

namespace {

std::string quote(const std::string& s)
{
    std::string r = "'";
    for (char c : s) {
        if (c == '\'')
            r += "'\\''";
        else
            r += c;
    }
    return r + "'";
}

std::string runRoot()
{
    static std::string root;
    if (root.empty()) {
        root = std::string(MVX_BINARY_DIR) + "/testtmp/" + std::to_string(GetCurrentProcessId());
        runHostTool("rm -rf " + quote(root) + " && mkdir -p " + quote(root));
        std::atexit([] { runHostTool("rm -rf " + quote(root)); });
    }
    return root;
}

} // namespace

std::string windowsPath(std::string hostPath)
{
    for (char& c : hostPath)
        if (c == '/')
            c = '\\';
    return "Z:" + hostPath;
}

std::string hostPath(const std::string& windowsPath)
{
    if (windowsPath.size() < 2 || (windowsPath[0] != 'Z' && windowsPath[0] != 'z') || windowsPath[1] != ':')
        throw std::runtime_error("not a path on Wine's Z: drive: " + windowsPath);
    std::string r = windowsPath.substr(2);
    for (char& c : r)
        if (c == '\\')
            c = '/';
    return r;
}

std::string sourceHostPath(const std::string& relativePath)
{
    return std::string(MVX_SOURCE_DIR) + "/" + relativePath;
}

std::string tempFolder()
{
    static int counter = 0;
    std::string host = runRoot() + "/" + std::to_string(++counter);
    if (runHostTool("mkdir -p " + quote(host)) != 0)
        throw std::runtime_error("cannot make " + host);
    return windowsPath(host);
}

std::vector<unsigned char> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

int runHostTool(const std::string& commandLine, const std::string& outputFile)
{
    // Wine starts host programs through CreateProcess; the exit status travels back through a file,
    // since Wine does not hand a host program's status to the caller.
    static int counter = 0;
    std::string status = std::string(MVX_BINARY_DIR) + "/testtmp/status-" +
                         std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    std::string script = "mkdir -p " + quote(std::string(MVX_BINARY_DIR) + "/testtmp") + "; (" + commandLine + ")";
    if (!outputFile.empty())
        script += " > " + quote(hostPath(outputFile));
    script += "; echo $? > " + quote(status);
    std::string cmd = "/bin/sh -c \"" ;
    for (char c : script) {
        if (c == '"' || c == '\\')
            cmd += '\\';
        cmd += c;
    }
    cmd += "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    // Process ids come round again: a status file left by an earlier process of this id (one that ended
    // before its shell did) would otherwise pass for this shell's, and this call would return while the
    // command still runs.
    DeleteFileA(windowsPath(status).c_str());
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        throw std::runtime_error("cannot start the host shell");
    // For a host program Wine (8.0) reports success but fills pi.hProcess and pi.hThread with whatever its
    // stack held: no process or thread handles exist. They are neither waited on nor closed, since such a
    // value can be one of this process's own handles (once it was standard output, which then went quiet).
    std::string text;
    // The status file is what says the shell has ended: up to 60 s, for a slow program on a loaded machine.
    for (int i = 0; i < 6000 && text.empty(); ++i) { // the file is complete once the shell has ended
        std::ifstream in(windowsPath(status));
        std::getline(in, text);
        if (text.empty())
            Sleep(10);
    }
    DeleteFileA(windowsPath(status).c_str());
    if (text.empty())
        throw std::runtime_error("host command left no status: " + commandLine);
    return std::atoi(text.c_str());
}

std::string missingHostTools(std::initializer_list<const char*> inNames)
{
    // One host shell for the whole list; the answer is kept, since starting a host program through Wine
    // is slow and the tools do not come and go while the tests run.
    static std::map<std::string, std::string> answers;
    std::string names;
    for (const char* name : inNames)
        names += (names.empty() ? "" : " ") + quote(name);
    const auto known = answers.find(names);
    if (known != answers.end())
        return known->second;
    const std::string out = tempFolder() + "\\missing.txt";
    if (runHostTool("for t in " + names + "; do command -v \"$t\" >/dev/null || printf '%s ' \"$t\"; done", out) != 0)
        throw std::runtime_error("cannot look for the host tools " + names);
    std::vector<unsigned char> b = readFile(out);
    while (!b.empty() && b.back() == ' ')
        b.pop_back();
    return answers[names] = std::string(b.begin(), b.end());
}

void requireHostTools(std::initializer_list<const char*> inNames)
{
    const std::string missing = missingHostTools(inNames);
    ASSERT_TRUE(missing.empty()) << "host tools missing: " << missing << " (scripts/setup.sh installs them)";
}

} // namespace MvxTest
