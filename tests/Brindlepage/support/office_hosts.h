// Word, Excel and PowerPoint as far as the add-in's export reaches into them: the Application with its
// caption, its main window and its active document; the document's name and its ExportAsFixedFormat, which
// hands the pages to the exporter as the hosts do (the output name, the locale, metadata and an outline
// entry, one metafile a page, then the finish). The hosts' object models are reached through their
// tables, so the documents carry tables laid out as the hosts' type libraries lay them out.
#pragma once

#include "fake_office_lib.h"
#include "office_host.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace FakeOffice {

enum class HostKind { word, excel, powerPoint };

struct HostSettings {
    HostKind kind = HostKind::word;
    std::optional<std::wstring> caption;      // none: the host's own ("Document1 - Microsoft Word", ...)
    bool captionFails = false;                // reading Caption fails
    std::optional<std::wstring> documentName; // none: the host gives no name at all
    std::optional<std::wstring> windowClass;  // none: the host's own ("OpusApp", ...)
    std::vector<std::wstring> pages;          // page metafiles in page order
    // After a page the exporter refused: false stops the export there, without the finish; true hands
    // over the remaining pages and asks for the finish all the same.
    bool goesOnAfterAFailedPage = false;
    // The host refuses the export before any page (nothing to print, restricted permission, a path it
    // rejects): ExportAsFixedFormat gives this result, with this description in the thread's error object
    // where one is given.
    std::optional<HRESULT> refusesExport;
    std::optional<std::wstring> refusalDescription;
    // Whether the document answers ISupportErrorInfo (none: it does not), and if so whether it says that its
    // own interface sets the thread's error object on a failure; a document that says no leaves any error
    // object on the thread as not its word.
    std::optional<bool> documentSetsErrorInfo;
};

// One ExportAsFixedFormat call: what it was given and what the exporter answered.
struct ExportCall {
    std::wstring arguments;                   // "Name=value" for each argument, "; " between them
    bool exporterFound = false;               // the exporter argument held an exporter
    std::optional<std::wstring> outputName;   // what SetOutputName was given
    std::vector<HRESULT> pages;               // AddEmfPage's answer for each page given
    std::optional<HRESULT> finish;            // FinishDocument's answer
};

class Host {
public:
    explicit Host(const HostSettings& inSettings);
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    ~Host();

    HostKind kind() const { return settings.kind; }
    // "Word", "Excel" or "PowerPoint": the host's name in its registry keys.
    const wchar_t* name() const;
    const std::wstring& caption() const { return captionText; }
    bool captionFails() const { return settings.captionFails; }
    // The Application object handed to the add-in; the host keeps one reference.
    IDispatch* application() const { return applicationObject; }
    // The active document; the host keeps one reference.
    IDispatch* document() const { return documentObject; }
    LONG applicationReferences() const;
    LONG documentReferences() const;
    // The main window, of the class the host's own has (a stand-in handle where no window can be made).
    HWND mainWindow() const { return window; }
    const std::wstring& mainWindowClass() const { return windowClassName; }
    // The add-in finds the main windows of the live hosts by their class: Wine without a display has none.
    static bool watch(HMODULE inAddIn);
    // A deque: an export started inside another (a second click let through) must not move the first's entry.
    const std::deque<ExportCall>& exports() const { return calls; }

    // Called after each page with its number (from 1), the page count, the metafile and AddEmfPage's answer.
    std::function<void(size_t, size_t, const std::wstring&, HRESULT)> onPage;

    // The body of every host's ExportAsFixedFormat: drives the exporter held by inExporter.
    HRESULT exportDocument(const std::wstring& inArguments, const VARIANT* inExporter,
                           const wchar_t* inOutputName);
    const std::optional<std::wstring>& documentName() const { return settings.documentName; }
    const std::optional<bool>& documentSetsErrorInfo() const { return settings.documentSetsErrorInfo; }

private:
    HostSettings settings;
    std::wstring captionText;
    std::wstring windowClassName;
    IDispatch* applicationObject;
    IDispatch* documentObject;
    HWND window;
    bool realWindow;
    std::deque<ExportCall> calls;
};

// How a VARIANT argument reads in ExportCall::arguments: "exporter" (VT_UNKNOWN or VT_DISPATCH holding an
// object), "missing" (VT_ERROR DISP_E_PARAMNOTFOUND), "empty" or "vt=N".
std::wstring describeArgument(const VARIANT& inValue);

} // namespace FakeOffice
