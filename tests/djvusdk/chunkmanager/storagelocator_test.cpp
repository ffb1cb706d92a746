// Storage locators: where component files go, names that would leave the folder, and the rollback
// locator that saves or undoes an indirect document as a whole.
#include "iff_test_support.h"

#include "djv_storagelocator.h"
#include "mvx_diskstorage_rb.h"
#include "mvx_path.h"

#include <windows.h>

#include <algorithm>
#include <map>

using namespace IffTest;
using Morvenix::String;
using Morvenix::DjVu::StorageLocator;
using Morvenix::DjVu::StorageWithRollbackLocator;
using MvxTest::expectThrow;
namespace IFF = Morvenix::DjVu::IFF;

namespace {

// File name -> content of every entry of the folder.
std::map<std::string, std::string> folderContents(const std::string& inFolder)
{
    std::map<std::string, std::string> r;
    AutoPtr<Morvenix::DirectoryEnumerator> e = Morvenix::DirectoryEnumerator::create(inFolder.c_str());
    for (String entry = e->next(); !entry.isEmpty(); entry = e->next()) {
        r[Morvenix::Path::getFileName(entry).c_str()] =
            Morvenix::Path::isDirectory(entry) ? std::string("<folder>") : fileText(entry.c_str());
    }
    return r;
}

void writeText(const std::string& inPath, const std::string& inText)
{
    MvxTest::writeFile(inPath, std::vector<unsigned char>(inText.begin(), inText.end()));
}

void put(Morvenix::Storage& inStorage, const std::string& inText)
{
    inStorage.writeBytes(inText.data(), uint32_t(inText.size()));
}

bool isHidden(const std::string& inPath)
{
    const DWORD attributes = GetFileAttributesW(String(inPath.c_str()).wc_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN);
}

} // namespace

TEST(StorageLocator, OpensComponentFilesInTheFolderOfTheIndexPath)
{
    const std::string folder = MvxTest::tempFolder();
    AutoPtr<StorageLocator> locator = StorageLocator::create((folder + "\\doc.djvu").c_str());
    {
        AutoPtr<Morvenix::Storage> s = locator->open("p0001.iff");
        EXPECT_EQ(String((folder + "\\p0001.iff").c_str()), s->getName());
        EXPECT_EQ(0u, s->getPos());
        put(*s, "component");
    }
    // A forward slash after a backslash ends the folder too.
    AutoPtr<StorageLocator> slashed = StorageLocator::create((folder + "/doc.djvu").c_str());
    put(*slashed->open("p0002.iff"), "two");
    EXPECT_EQ((std::map<std::string, std::string>{{"p0001.iff", "component"}, {"p0002.iff", "two"}}),
              folderContents(folder));
}

TEST(StorageLocator, BareIndexNameMeansTheCurrentDirectory)
{
    const std::string folder = MvxTest::tempFolder();
    const String previous = Morvenix::Path::getCurrentDirectory();
    ASSERT_TRUE(SetCurrentDirectoryW(String(folder.c_str()).wc_str()));
    {
        AutoPtr<StorageLocator> locator = StorageLocator::create("doc.djvu");
        put(*locator->open("c.iff"), "here");
    }
    SetCurrentDirectoryW(previous.wc_str());
    EXPECT_EQ((std::map<std::string, std::string>{{"c.iff", "here"}}), folderContents(folder));
}

TEST(StorageLocator, SecondOpenOfAnOpenComponentFails)
{
    const std::string folder = MvxTest::tempFolder();
    AutoPtr<StorageLocator> locator = StorageLocator::create((folder + "\\doc.djvu").c_str());
    AutoPtr<Morvenix::Storage> first = locator->open("p.iff");
    EXPECT_THROW(locator->open("p.iff"), Morvenix::Exception);
    first.reset();
    put(*locator->open("p.iff"), "again");
    EXPECT_EQ("again", fileText(folder + "\\p.iff"));
}

TEST(StorageLocator, NamesThatWouldLeaveTheFolderAreRefused)
{
    const std::string parent = MvxTest::tempFolder();
    const std::string folder = parent + "\\out";
    ASSERT_TRUE(CreateDirectoryW(String(folder.c_str()).wc_str(), nullptr));
    const char* names[] = {"", "..", "..\\up.iff", "../up.iff", "sub\\p.iff", "sub/p.iff", "C:up.iff",
                           "Z:\\tmp\\up.iff", "a..b", "NUL.iff", "con", "Com1.iff", "lpt9.x.iff", "aux .iff"};
    AutoPtr<StorageLocator> plain = StorageLocator::create((folder + "\\doc.djvu").c_str());
    AutoPtr<StorageWithRollbackLocator> rollback = StorageWithRollbackLocator::create((folder + "\\doc.djvu").c_str());
    for (const char* name : names) {
        SCOPED_TRACE(name);
        expectThrow([&] { plain->open(name); }, Morvenix::errInvalidParam, "is not a plain component file name");
        expectThrow([&] { rollback->open(name); }, Morvenix::errInvalidParam, "is not a plain component file name");
    }
    rollback->commit();
    EXPECT_TRUE(folderContents(folder).empty());
    EXPECT_EQ(1u, folderContents(parent).size()); // only "out"

    // Names that merely begin like a device are ordinary files.
    for (const char* name : {"console.iff", "nullify.iff", "com10.iff", "lpt.iff"})
        plain->open(name);
    EXPECT_EQ(4u, folderContents(folder).size());
}

TEST(StorageLocator, WriterRefusesAPageWhoseNameWouldLeaveTheFolder)
{
    const std::string parent = MvxTest::tempFolder();
    const std::string folder = parent + "\\out";
    ASSERT_TRUE(CreateDirectoryW(String(folder.c_str()).wc_str(), nullptr));
    AutoPtr<ChunkCollection> doc = form("DJVM", {page("..\\escape.iff"), page("b.iff")});
    AutoPtr<StorageLocator> locator = StorageLocator::create((folder + "\\index.djvu").c_str());
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    expectThrow([&] { IFF::serialize(out.get(), doc.get(), nullptr, nullptr, IFF::smIndirect, locator.get(), nullptr); },
                Morvenix::errInvalidParam, "is not a plain component file name");
    EXPECT_EQ(0u, out->getSize());
    EXPECT_EQ(1u, folderContents(parent).size());
    EXPECT_TRUE(folderContents(folder).empty());
}

TEST(StorageWithRollbackLocator, ReleasedWithoutCommitLeavesTheFolderAsItWas)
{
    const std::string folder = MvxTest::tempFolder();
    writeText(folder + "\\old.iff", "OLD");
    {
        AutoPtr<StorageWithRollbackLocator> locator =
            StorageWithRollbackLocator::create((folder + "\\doc.djvu").c_str());
        put(*locator->open("old.iff"), "replacement");
        put(*locator->open("new.iff"), "fresh");
        EXPECT_EQ("OLD", fileText(folder + "\\old.iff"));
    }
    EXPECT_EQ((std::map<std::string, std::string>{{"old.iff", "OLD"}}), folderContents(folder));
}

TEST(StorageWithRollbackLocator, CommitPutsEveryComponentInPlace)
{
    const std::string folder = MvxTest::tempFolder();
    writeText(folder + "\\old.iff", "OLD");
    AutoPtr<StorageWithRollbackLocator> locator = StorageWithRollbackLocator::create((folder + "\\doc.djvu").c_str());
    put(*locator->open("old.iff"), "replacement");
    put(*locator->open("new.iff"), "fresh");
    locator->commit();
    locator->commit(); // a second commit changes nothing
    locator.reset();
    EXPECT_EQ((std::map<std::string, std::string>{{"old.iff", "replacement"}, {"new.iff", "fresh"}}),
              folderContents(folder));
    EXPECT_FALSE(isHidden(folder + "\\old.iff"));
    EXPECT_FALSE(isHidden(folder + "\\new.iff"));
}

TEST(StorageWithRollbackLocator, IndirectDocumentIsSavedOrUndoneAsAWhole)
{
    const std::string folder = MvxTest::tempFolder();
    writeText(folder + "\\index.djvu", "old index");
    writeText(folder + "\\p1.iff", "old page");
    const std::map<std::string, std::string> before = folderContents(folder);
    AutoPtr<Chunk> dict = leaf("Djbz", "shapes");
    AutoPtr<ChunkCollection> doc =
        form("DJVM", {form("DJVU", {leaf("INFO", "1"), ChunkRedirector::create(dict)}, "p1.iff"),
                      form("DJVU", {leaf("INFO", "2"), ChunkRedirector::create(dict)}, "p2.iff")});
    for (bool commit : {false, true}) {
        SCOPED_TRACE(commit);
        AutoPtr<StorageWithRollbackLocator> locator =
            StorageWithRollbackLocator::create((folder + "\\index.djvu").c_str());
        AutoPtr<Morvenix::DiskStorageWithRollback> index = Morvenix::DiskStorageWithRollback::create(
            (folder + "\\index.djvu").c_str(), Morvenix::DiskStorage::accessWrite,
            Morvenix::DiskStorage::dispositionDefault);
        IFF::serialize(index.get(), doc.get(), nullptr, nullptr, IFF::smIndirect, locator.get(), nullptr);
        if (commit) {
            index->commit();
            locator->commit();
        }
        index.reset();
        locator.reset();
        if (!commit) {
            EXPECT_EQ(before, folderContents(folder));
        }
    }
    std::map<std::string, std::string> after = folderContents(folder);
    EXPECT_EQ(4u, after.size());
    Node root = parseFile(after["index.djvu"]);
    EXPECT_EQ((std::vector<std::string>{"dict0001.iff", "p1.iff", "p2.iff"}),
              parseDirectory(root.children.at(0).body).names);
    EXPECT_EQ("DJVI", parseFile(after["dict0001.iff"]).id);
    EXPECT_EQ("dict0001.iff", parseFile(after["p1.iff"]).children.at(1).body);
    EXPECT_EQ("dict0001.iff", parseFile(after["p2.iff"]).children.at(1).body);
}

TEST(StorageLocator, WriterWithoutALocatorPutsComponentsBesideAnIndexThatReplacesAnOldOne)
{
    // An existing index is replaced through a working file; the components still go beside the target.
    const std::string folder = MvxTest::tempFolder();
    writeText(folder + "\\index.djvu", "old index");
    AutoPtr<ChunkCollection> doc = form("DJVM", {page("p1.iff", "one"), page("p2.iff", "two")});
    {
        AutoPtr<Morvenix::DiskStorageWithRollback> out = Morvenix::DiskStorageWithRollback::create(
            (folder + "\\index.djvu").c_str(), Morvenix::DiskStorage::accessWrite,
            Morvenix::DiskStorage::dispositionDefault);
        IFF::serialize(out.get(), doc.get(), nullptr, nullptr, IFF::smIndirect, nullptr, nullptr);
        out->commit();
    }
    std::map<std::string, std::string> after = folderContents(folder);
    ASSERT_EQ(3u, after.size());
    EXPECT_EQ(1u, parseFile(after["index.djvu"]).children.size());
    EXPECT_EQ("one", parseFile(after["p1.iff"]).children.at(1).body);
    EXPECT_EQ("two", parseFile(after["p2.iff"]).children.at(1).body);
}
