// Storage locators: the component files of an indirect document, opened in the folder of its index file,
// either directly or through working copies that a commit puts in place all together.
#include "djv_storagelocator.h"

#include "mvx_diskstorage_rb.h"
#include "mvx_exception.h"
#include "mvx_path.h"
#include "mvx_simplearray.h"

#include <cctype>
#include <cstring>
#include <string>

#define MVX_SOURCE "djv_storagelocator"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

namespace {

// Windows opens a device, not a file, for these names with any extension ("NUL.iff", "com1.x.iff").
bool isDeviceName(const std::string& inName)
{
    std::string stem = inName.substr(0, inName.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (char& c : stem)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

// Component names come from the document (collection names, redirector ids): only a plain file name may
// reach the file system, so no name can place a file outside the folder, on another drive or on a device.
String componentPath(const String& inFolder, const String& inName, const char* inFunction)
{
    const std::string name(inName.c_str(), inName.getLength());
    if (name.empty() || name.find_first_of(std::string("\\/:\0", 4)) != std::string::npos ||
        name.find("..") != std::string::npos || isDeviceName(name))
        MVX_THROW(errInvalidParam, String::format("\"%s\" is not a plain component file name", inName.c_str()),
                  inFunction);
    return inFolder + inName;
}

// The folder part of the index path, separator included. The last separator of either kind counts, so
// "D:\out/doc.djvu" keeps its components in D:\out/ rather than in D:\.
String folderOf(const String& inPath)
{
    const String name = Path::getFileName(inPath);
    return inPath.substr(0, inPath.getLength() - name.getLength());
}

} // namespace

class StorageLocatorImpl : public StorageLocator {
public:
    explicit StorageLocatorImpl(const String& inPath) : m_folder(folderOf(inPath)) {}

    AutoPtr<Storage> open(const String& inName) override
    {
        const String path = componentPath(m_folder, inName, "_Mvx_Internal_NS_::StorageLocatorImpl::open");
        return DiskStorage::create(path, DiskStorage::accessWrite, DiskStorage::dispositionDefault);
    }

private:
    String m_folder;
};

class StorageWithRollbackLocatorImpl : public StorageWithRollbackLocator {
public:
    explicit StorageWithRollbackLocatorImpl(const String& inPath)
        : m_folder(folderOf(inPath)), m_storages(0, 0, nullptr, 128)
    {
    }

    AutoPtr<Storage> open(const String& inName) override
    {
        const String path =
            componentPath(m_folder, inName, "_Mvx_Internal_NS_::StorageWithRollbackLocatorImpl::open");
        AutoPtr<DiskStorageWithRollback> storage =
            DiskStorageWithRollback::create(path, DiskStorage::accessWrite, DiskStorage::dispositionDefault);
        m_storages.append(storage);
        return storage;
    }

    void commit() override
    {
        for (uint32_t i = 0; i < m_storages.count(); ++i)
            m_storages[i]->commit();
    }

private:
    String m_folder;
    SimpleArray<AutoPtr<DiskStorageWithRollback>, 1> m_storages;
};

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

AutoPtr<StorageLocator> StorageLocator::create(const String& inPath)
{
    return AutoPtr<StorageLocator>(new _Mvx_Internal_NS_::StorageLocatorImpl(inPath));
}

AutoPtr<StorageWithRollbackLocator> StorageWithRollbackLocator::create(const String& inPath)
{
    return AutoPtr<StorageWithRollbackLocator>(new _Mvx_Internal_NS_::StorageWithRollbackLocatorImpl(inPath));
}

} // namespace DjVu
} // namespace Morvenix
