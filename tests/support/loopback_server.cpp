#include "loopback_server.h"

#include "test_support.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace MvxTest {

namespace {

std::string s_folder;
LoopbackPorts s_ports;
unsigned long s_pid = 0;
// What the names of loopback_server.py's test authorities begin with.
const wchar_t* const kTestAuthority = L"Loopback test authority";

std::string shellQuote(const std::string& s)
{
    std::string r = "'";
    for (char c : s)
        r += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return r + "'";
}

// The user's own roots in the registry: Wine's whole "Root" store takes additions but loses deletions.
HCERTSTORE openUserRoots()
{
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
}

// Each test program trusts the authority of its own servers, and only while it runs: test programs run at
// the same time, each with its own servers.
std::string s_authority; // its DER bytes once trusted

// Removes from the user's roots the certificate with the DER bytes, and any test authority past its end
// (left by a run that crashed). A delete that fails ends the removal: the search would find the same
// certificate again for ever.
void removeAuthorities(const std::string& inDer)
{
    HCERTSTORE roots = openUserRoots();
    if (!roots)
        return;
    PCCERT_CONTEXT mine = inDer.empty() ? nullptr
                                        : CertCreateCertificateContext(X509_ASN_ENCODING,
                                                                       reinterpret_cast<const BYTE*>(inDer.data()),
                                                                       DWORD(inDer.size()));
    PCCERT_CONTEXT found = nullptr;
    while ((found = CertFindCertificateInStore(roots, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_W, kTestAuthority,
                                               found)) != nullptr) {
        if ((mine && CertCompareCertificate(X509_ASN_ENCODING, mine->pCertInfo, found->pCertInfo)) ||
            CertVerifyTimeValidity(nullptr, found->pCertInfo) > 0) {
            // Deleting frees the context it is given, failed or not, so the search starts again.
            const bool deleted = CertDeleteCertificateFromStore(CertDuplicateCertificateContext(found)) != FALSE;
            CertFreeCertificateContext(found);
            found = nullptr;
            if (!deleted)
                break;
        }
    }
    if (mine)
        CertFreeCertificateContext(mine);
    CertCloseStore(roots, 0);
}

// Makes the authority of the trusted port a root of the current user. Under Wine this asks nobody; the
// tests run there only.
void trustAuthority(const std::string& inDerFile)
{
    std::ifstream in(inDerFile, std::ios::binary);
    const std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    removeAuthorities(std::string());
    HCERTSTORE roots = openUserRoots();
    const bool added = roots && CertAddEncodedCertificateToStore(roots, X509_ASN_ENCODING,
                                                                 reinterpret_cast<const BYTE*>(der.data()),
                                                                 DWORD(der.size()), CERT_STORE_ADD_NEW, nullptr);
    if (roots)
        CertCloseStore(roots, 0);
    if (!added)
        throw std::runtime_error("cannot trust the loopback test authority");
    s_authority = der;
}

void stopServers()
{
    if (s_pid) {
        // The server's own process id, which it wrote itself; it also ends by itself when left idle.
        runHostTool("kill " + std::to_string(s_pid) + " 2>/dev/null; true");
        s_pid = 0;
    }
    if (!s_authority.empty())
        removeAuthorities(s_authority);
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
        unsigned plain = 0, proxy = 0, tls = 0, tlsClient = 0, trusted = 0;
        if (in >> pid >> plain >> proxy >> tls >> tlsClient >> trusted) {
            s_ports.plain = uint16_t(plain);
            s_ports.proxy = uint16_t(proxy);
            s_ports.tls = uint16_t(tls);
            s_ports.tlsClient = uint16_t(tlsClient);
            s_ports.trusted = uint16_t(trusted);
            s_pid = pid;
            std::atexit(stopServers);
            trustAuthority(s_folder + "\\ca.der");
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
