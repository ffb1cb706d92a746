#include "mvx_diskstorage_rb.h"

#include "file_test_support.h"
#include "mvx_path.h"
#include "mvx_string.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using Morvenix::AutoPtr;
using Morvenix::DiskStorage;
using Morvenix::DiskStorageWithRollback;
using Morvenix::String;
using MvxTest::expectThrow;

namespace {

typedef std::vector<unsigned char> Bytes;

const Bytes kOld(1000, 'o');
const Bytes kTen = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};

class RollbackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = MvxTest::tempFolder();
        target = folder + "\\doc.djvu";
    }

    AutoPtr<DiskStorageWithRollback> open(uint32_t inAccess, uint32_t inDisposition = 0)
    {
        return DiskStorageWithRollback::create(target.c_str(), inAccess, inDisposition);
    }

    std::vector<std::string> names() const
    {
        std::vector<std::string> r;
        for (const FileTest::Entry& e : FileTest::listFolder(folder))
            r.push_back(e.name);
        std::sort(r.begin(), r.end());
        return r;
    }

    // The working files beside the target.
    std::vector<FileTest::Entry> workingFiles() const
    {
        std::vector<FileTest::Entry> r;
        for (const FileTest::Entry& e : FileTest::listFolder(folder))
            if (e.name.compare(0, 3, "~wt") == 0)
                r.push_back(e);
        return r;
    }

    std::string folder;
    std::string target;
};

TEST_F(RollbackTest, NewTargetIsCreatedAndRemovedUnlessCommitted)
{
    {
        AutoPtr<DiskStorageWithRollback> s = open(DiskStorage::accessWrite);
        EXPECT_TRUE(Morvenix::Path::exists(target.c_str()));
        EXPECT_EQ(0u, s->getSize());
        EXPECT_EQ(target, s->getName().c_str());
        s->writeBytes(kTen.data(), 10);
        EXPECT_THROW(s->duplicate(), Morvenix::Exception);
    }
    EXPECT_TRUE(names().empty());

    {
        AutoPtr<DiskStorageWithRollback> s = open(DiskStorage::accessWrite);
        s->writeBytes(kTen.data(), 10);
        s->commit();
        EXPECT_EQ(10u, s->getPos());
        s->commit(); // a second commit does nothing
        s->writeBytes("!", 1);
    }
    Bytes expected = kTen;
    expected.push_back('!');
    EXPECT_EQ(expected, MvxTest::readFile(target));
    EXPECT_FALSE(FileTest::isHidden(target));
    EXPECT_EQ((std::vector<std::string>{"doc.djvu"}), names());
}

TEST_F(RollbackTest, ExistingTargetIsReplacedOnlyByCommit)
{
    MvxTest::writeFile(target, kOld);
    AutoPtr<DiskStorageWithRollback> s = open(DiskStorage::accessWrite);
    EXPECT_EQ(0u, s->getSize());
    EXPECT_EQ(kOld, MvxTest::readFile(target));
    const std::vector<FileTest::Entry> work = workingFiles();
    ASSERT_EQ(1u, work.size());
    EXPECT_TRUE(work[0].hidden());
    EXPECT_EQ(folder + "\\" + work[0].name, s->getName().c_str());

    // No one else may change the target meanwhile.
    EXPECT_FALSE(DeleteFileA(target.c_str()));
    HANDLE writer = CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);

    s->writeBytes(kTen.data(), 10);
    EXPECT_EQ(kOld, MvxTest::readFile(target));
    EXPECT_EQ(10u, s->getPos());
    s->commit();
    EXPECT_EQ(10u, s->getPos());
    EXPECT_EQ(target, s->getName().c_str());
    EXPECT_EQ(10u, s->getSize());
    // The working file's hidden attribute does not travel to the saved document.
    EXPECT_FALSE(FileTest::isHidden(target));
    EXPECT_EQ((std::vector<std::string>{"doc.djvu"}), names());
    EXPECT_THROW(s->duplicate(), Morvenix::Exception);
    s->setPos(0);
    Bytes read(10);
    EXPECT_EQ(10u, s->readBytes(read.data(), 10, true));
    EXPECT_EQ(kTen, read);

    // After the commit the storage works on the target itself, and nothing is rolled back.
    s->setPos(0);
    s->writeBytes("AB", 2);
    s.reset();
    Bytes expected = kTen;
    expected[0] = 'A';
    expected[1] = 'B';
    EXPECT_EQ(expected, MvxTest::readFile(target));
    EXPECT_EQ((std::vector<std::string>{"doc.djvu"}), names());
}

// Destruction without a commit rolls back: the old target untouched, the working file gone.
TEST_F(RollbackTest, RollbackKeepsTheOldTarget)
{
    const uint32_t modes[][2] = {{DiskStorage::accessWrite, 0},
                                 {DiskStorage::accessReadWrite, 0},
                                 {DiskStorage::accessReadWrite, DiskStorage::openExisting},
                                 {DiskStorage::accessReadWrite, DiskStorage::truncateExisting},
                                 {DiskStorage::accessWrite, DiskStorage::openAlways}};
    for (const auto& m : modes) {
        SCOPED_TRACE(std::to_string(m[0]) + "/" + std::to_string(m[1]));
        MvxTest::writeFile(target, kOld);
        {
            AutoPtr<DiskStorageWithRollback> s = open(m[0], m[1]);
            s->setPosFromEnd(0);
            s->writeBytes(kTen.data(), 10);
            EXPECT_EQ(1u, workingFiles().size());
        }
        EXPECT_EQ(kOld, MvxTest::readFile(target));
        EXPECT_EQ((std::vector<std::string>{"doc.djvu"}), names());
    }
}

TEST_F(RollbackTest, WorkingCopyStartsWithTheTarget)
{
    MvxTest::writeFile(target, kOld);
    AutoPtr<DiskStorageWithRollback> s = open(DiskStorage::accessReadWrite);
    EXPECT_EQ(1000u, s->getSize());
    Bytes read(1000);
    EXPECT_EQ(1000u, s->readBytes(read.data(), 1000, true));
    EXPECT_EQ(kOld, read);
    const std::vector<FileTest::Entry> work = workingFiles();
    ASSERT_EQ(1u, work.size());
    EXPECT_TRUE(work[0].hidden());
    s->writeBytes(kTen.data(), 10);
    s->commit();
    EXPECT_EQ(1010u, s->getPos());
    s.reset();
    Bytes expected = kOld;
    expected.insert(expected.end(), kTen.begin(), kTen.end());
    EXPECT_EQ(expected, MvxTest::readFile(target));
    EXPECT_FALSE(FileTest::isHidden(target));
    EXPECT_EQ((std::vector<std::string>{"doc.djvu"}), names());
}

TEST_F(RollbackTest, ArgumentsAndDispositions)
{
    struct Case {
        uint32_t access;
        uint32_t disposition;
        bool existing;
        int code;
    } cases[] = {
        {2, 3, true, Morvenix::errAlreadyExists}, {2, 1, false, Morvenix::errNotFound},
        {2, 5, false, Morvenix::errNotFound},     {3, 1, false, Morvenix::errNotFound},
        {1, 2, true, Morvenix::errInvalidParam},  {1, 4, false, Morvenix::errInvalidParam},
        {0, 0, true, Morvenix::errInvalidParam},  {4, 0, true, Morvenix::errInvalidParam},
        {2, 6, true, Morvenix::errInvalidParam},  {3, 99, false, Morvenix::errInvalidParam},
        {1, 0, false, Morvenix::errNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.access) + "/" + std::to_string(c.disposition));
        DeleteFileA(target.c_str());
        if (c.existing)
            MvxTest::writeFile(target, kOld);
        expectThrow([&] { open(c.access, c.disposition); }, c.code);
        if (c.existing) {
            EXPECT_EQ(kOld, MvxTest::readFile(target));
            EXPECT_EQ((std::vector<std::string>{"doc.djvu"}), names());
        } else {
            EXPECT_TRUE(names().empty());
        }
    }
    expectThrow([&] { open(0, 0); }, Morvenix::errInvalidParam, "errInvalidParam", "mvx_diskstorage_rb");
}

TEST_F(RollbackTest, ReadOnly)
{
    MvxTest::writeFile(target, kTen);
    AutoPtr<DiskStorageWithRollback> s = open(DiskStorage::accessRead);
    EXPECT_EQ(10u, s->getSize());
    s->setPos(3);
    AutoPtr<Morvenix::Storage> copy = s->duplicate();
    EXPECT_EQ(3u, copy->getPos());
    unsigned char b = 0;
    copy->readBytes(&b, 1, true);
    EXPECT_EQ('3', b);
    EXPECT_EQ(3u, s->getPos());
    EXPECT_THROW(s->writeBytes("x", 1), Morvenix::Exception);
    s->commit();
    s.reset();
    copy.reset();
    EXPECT_EQ(kTen, MvxTest::readFile(target));
    EXPECT_EQ((std::vector<std::string>{"doc.djvu"}), names());
}

TEST_F(RollbackTest, DuplicateOnlyWhenReadOnly)
{
    MvxTest::writeFile(target, kOld);
    expectThrow([&] { open(DiskStorage::accessWrite)->duplicate(); }, 4,
                "DiskStorageWithRollback: could not duplicate the storage!");
    expectThrow([&] { open(DiskStorage::accessReadWrite)->duplicate(); }, 4);
    DeleteFileA(target.c_str());
    expectThrow([&] { open(DiskStorage::accessWrite)->duplicate(); }, 4);
    EXPECT_TRUE(names().empty());
}

TEST_F(RollbackTest, RelativePathIsMadeFull)
{
    MvxTest::writeFile(target, kOld);
    {
        FileTest::CurrentDirectory cd(folder);
        AutoPtr<DiskStorageWithRollback> s = DiskStorageWithRollback::create("doc.djvu", DiskStorage::accessWrite, 0);
        s->writeBytes(kTen.data(), 10);
        s->commit();
    }
    EXPECT_EQ(kTen, MvxTest::readFile(target));
    EXPECT_EQ((std::vector<std::string>{"doc.djvu"}), names());
}

// A commit that cannot replace the target says so and leaves the old target as it was. By default it names
// the file that holds what was written and keeps it, visible; a caller that can write its data again has
// it dropped with the storage instead, as any uncommitted working copy. Causes: another program holds the
// target without sharing deletion; the target is read-only.
TEST_F(RollbackTest, FailedCommitThrowsAndLosesNothing)
{
    struct Case {
        bool holdTarget;
        bool readOnly;
        int code;
    } cases[] = {
        {true, false, Morvenix::errOperationFailed}, // the map of a sharing violation
        {false, true, Morvenix::errAccessDenied},
    };
    for (const DiskStorageWithRollback::FailedCommit policy :
         {DiskStorageWithRollback::keepWorkingCopy, DiskStorageWithRollback::dropWorkingCopy}) {
        const bool keep = policy == DiskStorageWithRollback::keepWorkingCopy;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.holdTarget ? "held" : "read-only") + (keep ? ", kept" : ", dropped"));
            for (const std::string& name : names())
                ASSERT_TRUE(DeleteFileA((folder + "\\" + name).c_str()));
            MvxTest::writeFile(target, kOld);
            if (c.readOnly) {
                ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
            }
            FileTest::ForeignHandle reader(target, FILE_SHARE_READ);
            if (!c.holdTarget)
                reader.close();

            AutoPtr<DiskStorageWithRollback> s =
                DiskStorageWithRollback::create(target.c_str(), DiskStorage::accessWrite, 0, policy);
            s->writeBytes(kTen.data(), 10);
            const std::string working = s->getName().c_str();
            try {
                s->commit();
                ADD_FAILURE() << "commit reported success";
            } catch (const Morvenix::Exception& e) {
                EXPECT_EQ(c.code, e.getCode()) << e.what();
                EXPECT_EQ(keep, std::strstr(e.what(), working.c_str()) != nullptr) << e.what();
                EXPECT_NE(nullptr, std::strstr(e.what(), target.c_str())) << e.what();
                EXPECT_NE(nullptr, std::strstr(e.what(), "mvx_diskstorage_rb")) << e.what();
            }
            // The storage goes on over the working file, at the same place.
            EXPECT_EQ(working, s->getName().c_str());
            EXPECT_EQ(10u, s->getPos());
            s.reset();
            reader.close();
            SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
            EXPECT_EQ(kOld, MvxTest::readFile(target));
            EXPECT_TRUE(FileTest::hiddenEntries(folder).empty());
            if (keep) {
                EXPECT_EQ(kTen, MvxTest::readFile(working));
                EXPECT_EQ(2u, names().size());
            } else {
                EXPECT_EQ((std::vector<std::string>{"doc.djvu"}), names());
            }
        }
    }
}

TEST_F(RollbackTest, CommitCanBeRetriedOnceTheTargetIsFree)
{
    MvxTest::writeFile(target, kOld);
    FileTest::ForeignHandle reader(target, FILE_SHARE_READ);
    AutoPtr<DiskStorageWithRollback> s = open(DiskStorage::accessWrite);
    s->writeBytes(kTen.data(), 10);
    EXPECT_THROW(s->commit(), Morvenix::Exception);
    reader.close();
    s->writeBytes("+", 1);
    s->commit();
    s.reset();
    Bytes expected = kTen;
    expected.push_back('+');
    EXPECT_EQ(expected, MvxTest::readFile(target));
    EXPECT_FALSE(FileTest::isHidden(target));
    EXPECT_EQ((std::vector<std::string>{"doc.djvu"}), names());
}

// Targets that cannot be written at all fail at once and leave nothing behind.
TEST_F(RollbackTest, UnwritableTargetsLeaveNoWorkingFile)
{
    const std::string directory = folder + "\\dir.djvu";
    const std::string plain = folder + "\\plain";
    ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
    MvxTest::writeFile(plain, kOld);
    const std::string targets[] = {directory, plain + "\\doc.djvu", folder + "\\missing\\doc.djvu"};
    for (const std::string& t : targets) {
        SCOPED_TRACE(t);
        EXPECT_THROW(DiskStorageWithRollback::create(t.c_str(), DiskStorage::accessWrite, 0), Morvenix::Exception);
        EXPECT_EQ((std::vector<std::string>{"dir.djvu", "plain"}), names());
        EXPECT_TRUE(FileTest::listFolder(directory).empty());
        EXPECT_EQ(kOld, MvxTest::readFile(plain));
    }
}

} // namespace
