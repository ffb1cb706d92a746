#include "registrar.h"

#include "bp_owned.h"

#include <cwctype>
#include <memory>
#include <vector>

namespace {

const HRESULT kSyntaxError = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

struct Value {
    std::wstring name;
    bool isNumber = false;
    std::wstring text;
    DWORD number = 0;
};

struct Key {
    enum class Removal { whenEmpty, never, whole };
    std::wstring name;
    Removal removal = Removal::whenEmpty;
    std::unique_ptr<Value> defaultValue;
    std::vector<Value> values;
    std::vector<Key> subkeys;
};

struct Root {
    HKEY handle;
    std::vector<Key> keys;
};

// The script split into words; a quoted text is one word whose quoted flag is set.
struct Token {
    std::wstring text;
    bool quoted;
};

bool tokenize(const std::wstring& inScript, std::vector<Token>& outTokens)
{
    size_t i = 0;
    const size_t n = inScript.size();
    while (i < n) {
        if (std::iswspace(inScript[i])) {
            ++i;
            continue;
        }
        if (inScript[i] == L'\'') {
            std::wstring text;
            ++i;
            for (;;) {
                if (i >= n)
                    return false;
                if (inScript[i] == L'\'') {
                    if (i + 1 < n && inScript[i + 1] == L'\'') {
                        text += L'\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += inScript[i++];
            }
            outTokens.push_back({text, true});
            continue;
        }
        const size_t start = i;
        while (i < n && !std::iswspace(inScript[i]))
            ++i;
        outTokens.push_back({inScript.substr(start, i - start), false});
    }
    return true;
}

class Parser {
public:
    explicit Parser(const std::vector<Token>& inTokens) : tokens(inTokens) {}

    bool parse(std::vector<Root>& outRoots)
    {
        while (pos < tokens.size()) {
            Root root;
            if (!rootKey(next(), root.handle) || !expect(L"{") || !body(root.keys, nullptr))
                return false;
            outRoots.push_back(std::move(root));
        }
        return true;
    }

private:
    const Token& next()
    {
        static const Token end{L"", false};
        return pos < tokens.size() ? tokens[pos++] : end;
    }
    bool peekIs(const wchar_t* inWord) const
    {
        return pos < tokens.size() && !tokens[pos].quoted && tokens[pos].text == inWord;
    }
    bool expect(const wchar_t* inWord)
    {
        if (!peekIs(inWord))
            return false;
        ++pos;
        return true;
    }

    static bool rootKey(const Token& inToken, HKEY& outKey)
    {
        static const struct {
            const wchar_t* shortName;
            const wchar_t* longName;
            HKEY key;
        } roots[] = {{L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                     {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                     {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER}};
        if (inToken.quoted)
            return false;
        for (const auto& r : roots)
            if (inToken.text == r.shortName || inToken.text == r.longName) {
                outKey = r.key;
                return true;
            }
        return false;
    }

    bool value(Value& outValue)
    {
        const Token& type = next();
        const Token& data = next();
        if (type.quoted || !data.quoted)
            return false;
        if (type.text == L"s") {
            outValue.text = data.text;
            return true;
        }
        if (type.text == L"d") {
            if (data.text.empty())
                return false;
            wchar_t* end = nullptr;
            const unsigned long number = std::wcstoul(data.text.c_str(), &end, 0);
            outValue.isNumber = true;
            outValue.number = DWORD(number);
            return *end == L'\0';
        }
        return false;
    }

    // Reads keys and values up to the closing brace.
    bool body(std::vector<Key>& outKeys, std::vector<Value>* outValues)
    {
        for (;;) {
            if (pos >= tokens.size())
                return false;
            if (expect(L"}"))
                return true;
            if (expect(L"val")) {
                Value v;
                const Token& name = next();
                if (name.text.empty() || !expect(L"=") || !value(v) || !outValues)
                    return false;
                v.name = name.text;
                outValues->push_back(std::move(v));
                continue;
            }
            Key key;
            if (expect(L"NoRemove"))
                key.removal = Key::Removal::never;
            else if (expect(L"ForceRemove"))
                key.removal = Key::Removal::whole;
            const Token& name = next();
            if (name.text.empty() || (!name.quoted && (name.text == L"{" || name.text == L"}" || name.text == L"=")))
                return false;
            key.name = name.text;
            if (expect(L"=")) {
                key.defaultValue = std::make_unique<Value>();
                if (!value(*key.defaultValue))
                    return false;
            }
            if (expect(L"{") && !body(key.subkeys, &key.values))
                return false;
            outKeys.push_back(std::move(key));
        }
    }

    const std::vector<Token>& tokens;
    size_t pos = 0;
};

LONG setValue(HKEY inKey, const wchar_t* inName, const Value& inValue)
{
    if (inValue.isNumber)
        return RegSetValueExW(inKey, inName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&inValue.number),
                              sizeof(DWORD));
    return RegSetValueExW(inKey, inName, 0, REG_SZ, reinterpret_cast<const BYTE*>(inValue.text.c_str()),
                          DWORD((inValue.text.size() + 1) * sizeof(wchar_t)));
}

void closeKey(HKEY& ioKey)
{
    if (ioKey)
        RegCloseKey(ioKey);
}

using OwnedKey = Owned<HKEY, &closeKey>;

LONG registerKeys(HKEY inParent, const std::vector<Key>& inKeys)
{
    for (const Key& key : inKeys) {
        if (key.removal == Key::Removal::whole) {
            const LONG rc = RegDeleteTreeW(inParent, key.name.c_str());
            if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
                return rc;
        }
        OwnedKey k;
        LONG rc = RegCreateKeyExW(inParent, key.name.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                  k.out(), nullptr);
        if (rc == ERROR_SUCCESS && key.defaultValue)
            rc = setValue(k.get(), nullptr, *key.defaultValue);
        for (size_t i = 0; rc == ERROR_SUCCESS && i < key.values.size(); ++i)
            rc = setValue(k.get(), key.values[i].name.c_str(), key.values[i]);
        if (rc == ERROR_SUCCESS)
            rc = registerKeys(k.get(), key.subkeys);
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    return ERROR_SUCCESS;
}

// Goes on past a key it cannot remove, so that as much as possible goes (what is left of a registration
// that failed half-way included), and answers the first failure.
LONG unregisterKeys(HKEY inParent, const std::vector<Key>& inKeys)
{
    LONG result = ERROR_SUCCESS;
    const auto note = [&](LONG inResult) {
        if (result == ERROR_SUCCESS && inResult != ERROR_SUCCESS && inResult != ERROR_FILE_NOT_FOUND)
            result = inResult;
    };
    for (const Key& key : inKeys) {
        if (key.removal == Key::Removal::whole) {
            note(RegDeleteTreeW(inParent, key.name.c_str()));
            continue;
        }
        OwnedKey k;
        const LONG opened = RegOpenKeyExW(inParent, key.name.c_str(), 0, KEY_READ | KEY_WRITE, k.out());
        note(opened);
        if (opened != ERROR_SUCCESS)
            continue;
        note(unregisterKeys(k.get(), key.subkeys));
        if (key.removal == Key::Removal::never)
            continue;
        for (const Value& v : key.values)
            RegDeleteValueW(k.get(), v.name.c_str());
        DWORD subkeys = 0;
        const LONG counted = RegQueryInfoKeyW(k.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr);
        note(counted);
        if (counted == ERROR_SUCCESS && subkeys == 0) {
            RegCloseKey(k.get());
            k.get() = nullptr;
            note(RegDeleteKeyW(inParent, key.name.c_str()));
        }
    }
    return result;
}

// A replacement lands inside a quoted text, where its own quotes must be doubled.
std::wstring quoteInside(const std::wstring& inText)
{
    std::wstring r;
    for (wchar_t c : inText) {
        r += c;
        if (c == L'\'')
            r += c;
    }
    return r;
}

} // namespace

Registrar::Registrar(HINSTANCE inModule, const std::wstring& inModulePath) : module(inModule), modulePath(inModulePath)
{
}

HRESULT Registrar::runScript(UINT inResourceId, bool inRegister) const
{
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(inResourceId), L"REGISTRY");
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!bytes)
        return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    const int size = int(SizeofResource(module, found));
    const int units = MultiByteToWideChar(CP_UTF8, 0, bytes, size, nullptr, 0);
    if (size > 0 && units <= 0)
        return kSyntaxError;
    std::wstring script(size_t(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes, size, &script[0], units);
    return runText(script, inRegister);
}

HRESULT Registrar::runText(const std::wstring& inScript, bool inRegister) const
{
    std::wstring script;
    for (size_t i = 0; i < inScript.size(); ++i) {
        if (inScript[i] != L'%') {
            script += inScript[i];
            continue;
        }
        const size_t end = inScript.find(L'%', i + 1);
        if (end == std::wstring::npos)
            return kSyntaxError;
        const std::wstring name = inScript.substr(i + 1, end - i - 1);
        if (name.empty())
            script += L'%';
        else if (name == L"MODULE")
            script += quoteInside(modulePath);
        else if (name != L"APPID")
            return kSyntaxError;
        i = end;
    }
    std::vector<Token> tokens;
    std::vector<Root> roots;
    if (!tokenize(script, tokens) || !Parser(tokens).parse(roots))
        return kSyntaxError;
    for (size_t i = 0; i < roots.size(); ++i) {
        const LONG rc =
            inRegister ? registerKeys(roots[i].handle, roots[i].keys) : unregisterKeys(roots[i].handle, roots[i].keys);
        if (rc != ERROR_SUCCESS) {
            // A registration that fails half-way takes back what it wrote, the failed part's keys included.
            if (inRegister)
                for (size_t j = i + 1; j-- > 0;)
                    unregisterKeys(roots[j].handle, roots[j].keys);
            return HRESULT_FROM_WIN32(rc);
        }
    }
    return S_OK;
}
