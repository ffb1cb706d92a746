// The interactive credential provider over the system's credential dialog. credui.dll is loaded on first
// use, so that a system without it still loads the library.
#define MVX_SOURCE "mvx_credentials.win"
#include "mvx_credentials.h"

#include "mvx_credentialinfo.h"
#include "mvx_exception.h"
#include "mvx_unicode.h"

#include <windows.h>
#include <wincred.h>

namespace _Mvx_Internal_NS_ {

typedef DWORD(WINAPI* PromptForCredentialsW)(PCREDUI_INFOW, PCWSTR, PCtxtHandle, DWORD, PWSTR, ULONG, PWSTR, ULONG,
                                             BOOL*, DWORD);
typedef DWORD(WINAPI* ConfirmCredentialsW)(PCWSTR, BOOL);

// The two calls of credui.dll; a missing one is replaced by a stand-in. Made once, freed at process exit.
class LoadCreduiDll {
public:
    LoadCreduiDll() : m_module(LoadLibraryW(L"credui.dll")), prompt(prompt_for_credentials_w), confirm(confirm_credentials_w)
    {
        if (!m_module)
            return;
        if (FARPROC p = GetProcAddress(m_module, "CredUIPromptForCredentialsW"))
            prompt = reinterpret_cast<PromptForCredentialsW>(reinterpret_cast<void*>(p));
        if (FARPROC c = GetProcAddress(m_module, "CredUIConfirmCredentialsW"))
            confirm = reinterpret_cast<ConfirmCredentialsW>(reinterpret_cast<void*>(c));
    }
    ~LoadCreduiDll()
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    static LoadCreduiDll& get()
    {
        static LoadCreduiDll s_binding;
        return s_binding;
    }

private:
    static DWORD WINAPI prompt_for_credentials_w(PCREDUI_INFOW, PCWSTR, PCtxtHandle, DWORD, PWSTR, ULONG, PWSTR, ULONG,
                                                 BOOL*, DWORD)
    {
        MVX_THROW(Morvenix::errNotImplemented, "Oops, prompt_for_credentials_w is not implemented!",
                  "_Mvx_Internal_NS_::LoadCreduiDll::prompt_for_credentials_w");
    }
    static DWORD WINAPI confirm_credentials_w(PCWSTR, BOOL) { return 1; }

    HMODULE m_module;

public:
    PromptForCredentialsW prompt;
    ConfirmCredentialsW confirm;

    LoadCreduiDll(const LoadCreduiDll&) = delete;
    LoadCreduiDll& operator=(const LoadCreduiDll&) = delete;
};

namespace {

const ULONG kUserNameChars = 514;
const ULONG kPasswordChars = 257;

// The dialog's answer buffers, zero-filled before and after use, whatever way the prompt ends.
struct AnswerBuffers {
    AnswerBuffers() { clear(); }
    ~AnswerBuffers() { clear(); }
    void clear()
    {
        Morvenix::secureZero(userName, sizeof(userName));
        Morvenix::secureZero(password, sizeof(password));
    }
    wchar_t userName[kUserNameChars];
    wchar_t password[kPasswordChars];
};

// Asks the user in the system's credential dialog.
class DialogCredentialProvider : public Morvenix::CredentialProviderImpl {
public:
    DialogCredentialProvider(HWND inParent, const Morvenix::String& inCaption, const Morvenix::String& inMessage)
        : m_parent(inParent), m_caption(inCaption), m_message(inMessage)
    {
    }

    void getCredential(Morvenix::AutoPtr<Morvenix::CredentialInfo>& outCredential, uint32_t,
                       const Morvenix::String& inCaption, uint32_t inFlags) override
    {
        outCredential.reset();
        DWORD flags = CREDUI_FLAGS_GENERIC_CREDENTIALS | CREDUI_FLAGS_EXPECT_CONFIRMATION |
                      CREDUI_FLAGS_SHOW_SAVE_CHECK_BOX;
        if (!(inFlags & flagMayUseSaved))
            flags |= CREDUI_FLAGS_ALWAYS_SHOW_UI;
        if (inFlags & flagIncorrectPassword)
            flags |= CREDUI_FLAGS_INCORRECT_PASSWORD;
        const Morvenix::String text =
            m_message.isEmpty() ? inCaption : Morvenix::String::format(m_message.c_str(), inCaption.c_str());
        CREDUI_INFOW info = {};
        info.cbSize = sizeof(info);
        info.hwndParent = m_parent;
        info.pszMessageText = text.wc_str();
        info.pszCaptionText = m_caption.wc_str();
        AnswerBuffers answer;
        BOOL save = TRUE;
        const DWORD result = LoadCreduiDll::get().prompt(&info, inCaption.wc_str(), nullptr, 0, answer.userName,
                                                         kUserNameChars, answer.password, kPasswordChars, &save,
                                                         flags);
        if (result != NO_ERROR)
            return;
        outCredential = new SimpleCredentialInfoImpl(inCaption, Morvenix::String(answer.userName),
                                                     Morvenix::String(answer.password), save != FALSE);
    }

    void confirm(const Morvenix::String& inTarget, bool inConfirmed) override
    {
        LoadCreduiDll::get().confirm(inTarget.wc_str(), inConfirmed ? TRUE : FALSE);
    }

private:
    HWND m_parent;
    Morvenix::String m_caption;
    Morvenix::String m_message;
};

} // namespace

} // namespace _Mvx_Internal_NS_

namespace Morvenix {

AutoPtr<CredentialProvider> CredentialProviderImpl::create(void* inParentWindow, const String& inCaption,
                                                           const String& inMessage)
{
    return AutoPtr<CredentialProvider>(
        new _Mvx_Internal_NS_::DialogCredentialProvider(static_cast<HWND>(inParentWindow), inCaption, inMessage));
}

} // namespace Morvenix
