// fake_office.exe: plays Word, Excel or PowerPoint with one document open, from start-up to the export:
// starts the registered add-in as the host does, has the user press its button and answer its save dialog,
// and hands the document's page metafiles to the add-in's exporter during the host's ExportAsFixedFormat.
// Prints what the user sees (the dialog, message boxes) and a line per page.
//   fake_office.exe HOST PAGES [--name NAME] [--save PATH] [--caption TEXT] [--classic-dialog] [--stats]
// HOST: Word, Excel or PowerPoint. PAGES: a folder of page metafiles (*.emf, in name order) or one file.
// --name: the document's name (without it the host gives none). --save: the user's answer in the save
// dialog (without it the user cancels). --classic-dialog: the system has no save dialog class.
// --stats: the seconds of each page and of the whole export, and the process's peak memory.
// Exit status 0 when the export finished and no message box was shown, 1 otherwise, 2 for a usage error.
#include "fake_user.h"
#include "office_hosts.h"
#include "office_session.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using namespace FakeOffice;

void say(const std::wstring& inLine)
{
    const std::wstring line = inLine + L"\n";
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), int(line.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(bytes > 0 ? bytes : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), int(line.size()), &utf8[0], bytes, nullptr, nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

int usage(const std::wstring& inProblem)
{
    say(L"fake_office: " + inProblem);
    say(L"usage: fake_office.exe Word|Excel|PowerPoint PAGES [--name NAME] [--save PATH] [--caption TEXT] "
        L"[--classic-dialog] [--stats]");
    return 2;
}

std::vector<std::wstring> pageFiles(const std::wstring& inPages)
{
    std::vector<std::wstring> files;
    const DWORD attributes = GetFileAttributesW(inPages.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return files;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        files.push_back(inPages);
        return files;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((inPages + L"\\*.emf").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(inPages + L"\\" + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(files.begin(), files.end());
    return files;
}

std::wstring hex(HRESULT inResult)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"%08lX", static_cast<unsigned long>(inResult));
    return text;
}

std::wstring fileName(const std::wstring& inPath)
{
    return inPath.substr(inPath.find_last_of(L"\\/") + 1);
}

std::wstring seconds(double inSeconds)
{
    wchar_t text[32];
    std::swprintf(text, 32, L"%.2f s", inSeconds);
    return text;
}

double now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return double(count.QuadPart) / double(frequency.QuadPart);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return usage(L"a host and the pages are needed");
    HostSettings settings;
    const std::wstring hostName = argv[1];
    if (hostName == L"Word")
        settings.kind = HostKind::word;
    else if (hostName == L"Excel")
        settings.kind = HostKind::excel;
    else if (hostName == L"PowerPoint")
        settings.kind = HostKind::powerPoint;
    else
        return usage(L"unknown host " + hostName);
    settings.pages = pageFiles(argv[2]);
    if (settings.pages.empty())
        return usage(std::wstring(L"no page metafiles in ") + argv[2]);
    std::wstring answer;
    bool systemDialog = true;
    bool stats = false;
    for (int i = 3; i < argc; ++i) {
        const std::wstring option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == L"--name" && hasValue)
            settings.documentName = argv[++i];
        else if (option == L"--save" && hasValue)
            answer = argv[++i];
        else if (option == L"--caption" && hasValue)
            settings.caption = argv[++i];
        else if (option == L"--classic-dialog")
            systemDialog = false;
        else if (option == L"--stats")
            stats = true;
        else
            return usage(L"unknown option " + option);
    }

    CoInitialize(nullptr);
    int status = 1;
    {
        FakeUser user(systemDialog);
        user.answerSaveDialogs(answer);
        Host host(settings);
        // The dialogs the user answered, each told once, before the pages it led to.
        size_t dialogsTold = 0;
        const auto tellDialogs = [&] {
            for (; dialogsTold < user.dialogs().size(); ++dialogsTold) {
                const SaveDialogSeen& dialog = user.dialogs()[dialogsTold];
                say(std::wstring(dialog.classic ? L"classic save dialog \"" : L"save dialog \"") + dialog.title +
                    L"\" proposes \"" + dialog.fileName + L"\": the user " +
                    (answer.empty() ? L"cancels" : L"answers " + answer));
            }
        };
        double pageStart = 0;
        host.onPage = [&](size_t inPage, size_t inPages, const std::wstring& inFile, HRESULT inResult) {
            tellDialogs();
            std::wstring line = L"page " + std::to_wstring(inPage) + L" of " + std::to_wstring(inPages) +
                                L" exported (" + fileName(inFile) + L")";
            if (FAILED(inResult))
                line += L" failed (" + hex(inResult) + L")";
            if (stats)
                line += L", " + seconds(now() - pageStart);
            say(line);
            pageStart = now();
        };
        OfficeSession session(host);
        if (!session.failure().empty()) {
            say(hostName + L": " + session.failure());
        } else {
            wchar_t module[MAX_PATH] = {};
            GetModuleFileNameW(session.addInModule(), module, MAX_PATH);
            say(hostName + L": add-in started from " + module);
            FakeUser::watch(session.addInModule());
            const double start = now();
            pageStart = start;
            session.pressButton();
            tellDialogs();
            for (const MessageSeen& message : user.messages())
                say(L"message box \"" + message.caption + L"\": " + message.text);
            bool finished = false;
            for (const ExportCall& call : host.exports()) {
                if (call.finish) {
                    say(L"export finished: " + std::to_wstring(call.pages.size()) + L" pages" +
                        (SUCCEEDED(*call.finish) ? L"" : L", failed (" + hex(*call.finish) + L")"));
                    finished = SUCCEEDED(*call.finish);
                }
            }
            if (host.exports().empty())
                say(L"no export");
            if (stats) {
                PROCESS_MEMORY_COUNTERS memory = {};
                memory.cb = sizeof(memory);
                GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
                wchar_t line[128];
                std::swprintf(line, 128, L"export time: %.2f s; peak memory: %.1f MB", now() - start,
                              double(memory.PeakWorkingSetSize) / (1024.0 * 1024.0));
                say(line);
            }
            status = finished && user.messages().empty() ? 0 : 1;
        }
    }
    CoUninitialize();
    return status;
}
