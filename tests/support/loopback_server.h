// The loopback HTTP servers of the network tests (loopback_server.py beside this file): started once per
// test program on first use, on 127.0.0.1 with ephemeral ports, and stopped when the program ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace MvxTest {

struct LoopbackPorts {
    uint16_t plain = 0;     // HTTP
    uint16_t proxy = 0;     // forwarding proxy; targets under /proxyauth/ need proxy credentials
    uint16_t tls = 0;       // HTTPS with a self-signed certificate for 127.0.0.1
    uint16_t tlsClient = 0; // HTTPS that asks for a client certificate
    uint16_t trusted = 0;   // HTTPS whose certificate (for 127.0.0.1 and localhost) passes the checks
};

// The running servers' ports; the first call starts them (a fatal test failure when they do not come up
// within 20 s). inClientSubject is the common name of the one client certificate they accept; it is fixed
// by the first call. While the servers run, the authority that signed the trusted port's certificate is
// a trusted root of the current user (of the test's own Wine prefix).
const LoopbackPorts& loopbackServers(const std::string& inClientSubject);

// The folder (Windows path) whose files the servers give out under /file/KEY/SWITCHES/NAME (see
// loopback_server.py); it lies in the build folder and outlives the run, so large files are made once.
std::string loopbackFilesFolder();

// The requests the /file/ route has logged under KEY so far, one "VERB RANGE AUTHORIZATION HOST PATH" line
// each, oldest first; empty before the first.
std::vector<std::string> loopbackRequestLog(const std::string& inKey);

} // namespace MvxTest
