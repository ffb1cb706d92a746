#include "loopback_server.h"

#include "test_support.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace MvxTest {

namespace {

std::string s_folder;
LoopbackPorts s_ports;
unsigned long s_pid = 0;

std::string shellQuote(const std::string& s)
{
    std::string r = "'";
    for (char c : s)
        r += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return r + "'";
}

void stopServers()
{
    if (s_pid) {
        // The server's own process id, which it wrote itself; it also ends by itself when left idle.
        runHostTool("kill " + std::to_string(s_pid) + " 2>/dev/null; true");
        s_pid = 0;
    }
}

} // namespace

const LoopbackPorts& loopbackServers(const std::string& inClientSubject)
{
    if (s_pid)
        return s_ports;
    s_folder = tempFolder();
    const std::string script = sourceHostPath("tests/support/loopback_server.py");
    const std::string log = hostPath(s_folder) + "/server.log";
    if (runHostTool("python3 " + shellQuote(script) + " " + shellQuote(hostPath(s_folder)) + " " +
                    shellQuote(inClientSubject) + " " + shellQuote(hostPath(loopbackFilesFolder())) + " >" +
                    shellQuote(log) + " 2>&1 </dev/null &") != 0)
        throw std::runtime_error("cannot start the loopback servers");
    const std::string portsFile = s_folder + "\\ports";
    for (int i = 0; i < 400; ++i) {
        std::ifstream in(portsFile);
        unsigned long pid = 0;
        unsigned plain = 0, proxy = 0, tls = 0, tlsClient = 0;
        if (in >> pid >> plain >> proxy >> tls >> tlsClient) {
            s_ports.plain = uint16_t(plain);
            s_ports.proxy = uint16_t(proxy);
            s_ports.tls = uint16_t(tls);
            s_ports.tlsClient = uint16_t(tlsClient);
            s_pid = pid;
            std::atexit(stopServers);
            return s_ports;
        }
        Sleep(50);
    }
    std::ifstream logIn(s_folder + "\\server.log");
    std::stringstream text;
    text << logIn.rdbuf();
    throw std::runtime_error("the loopback servers did not start: " + text.str());
}

std::string loopbackFilesFolder()
{
    static std::string folder;
    if (folder.empty()) {
        const std::string host = std::string(MVX_BINARY_DIR) + "/testdata/loopback";
        if (runHostTool("mkdir -p " + shellQuote(host)) != 0)
            throw std::runtime_error("cannot make " + host);
        folder = windowsPath(host);
    }
    return folder;
}

std::vector<std::string> loopbackRequestLog(const std::string& inKey)
{
    std::vector<std::string> lines;
    if (s_folder.empty())
        return lines;
    std::ifstream in(s_folder + "\\log-" + inKey + ".txt");
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace MvxTest
