#include "mvx_diskstorage.h"

#include "file_test_support.h"
#include "mvx_path.h"
#include "mvx_string.h"
#include "mvx_time.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

using Morvenix::AutoPtr;
using Morvenix::DiskStorage;
using Morvenix::String;
using MvxTest::expectThrow;

namespace {

typedef std::vector<unsigned char> Bytes;

const Bytes kFour = {1, 2, 3, 4};

class DiskStorageTest : public ::testing::Test {
protected:
    void SetUp() override { folder = MvxTest::tempFolder(); }
    std::string path(const std::string& name) const { return folder + "\\" + name; }
    std::string folder;
};

bool endsWith(const char* text, const std::string& tail)
{
    const std::string s = text;
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_F(DiskStorageTest, OpenFailuresNameThePathAsGiven)
{
    // The message ends in the caller's spelling of the path, not the full one the system was given.
    const std::string missing = folder + "/missing.djvu";
    try {
        DiskStorage::create(missing.c_str(), DiskStorage::accessRead, DiskStorage::dispositionDefault);
        ADD_FAILURE() << "opened a missing file";
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(Morvenix::errNotFound, e.getCode());
        EXPECT_TRUE(endsWith(e.what(), missing + "\n")) << e.what();
        EXPECT_NE(nullptr, std::strstr(e.what(), "mvx_winfile")) << e.what();
        EXPECT_NE(nullptr, std::strstr(e.what(), "Morvenix::DiskStorage::create")) << e.what();
    }

    MvxTest::writeFile(path("present"), kFour);
    try {
        DiskStorage::create(path("present").c_str(), DiskStorage::accessReadWrite, DiskStorage::createNew);
        ADD_FAILURE() << "created over an existing file";
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(Morvenix::errOperationFailed, e.getCode()); // ERROR_FILE_EXISTS has no entry in the map
        EXPECT_TRUE(endsWith(e.what(), path("present") + "\n")) << e.what();
    }
    EXPECT_EQ(kFour, MvxTest::readFile(path("present")));

    // Indexes outside the tables are refused before anything is opened.
    const uint32_t bad[][2] = {{4, 1}, {1, 6}, {0xFFFFFFFFu, 0}, {2, 0x80000000u}};
    for (const auto& b : bad)
        expectThrow([&] { DiskStorage::create(path("new").c_str(), b[0], b[1]); }, Morvenix::errInvalidParam);
    EXPECT_FALSE(Morvenix::Path::exists(path("new").c_str()));
    EXPECT_THROW(DiskStorage::create("", DiskStorage::accessRead, DiskStorage::openExisting), Morvenix::Exception);

    // A path whose full form is too long fails for that reason, not for whatever failed last on the thread.
    const std::string tooLong = folder + "\\" + std::string(300, 'a');
    SetLastError(ERROR_FILE_NOT_FOUND);
    try {
        DiskStorage::create(tooLong.c_str(), DiskStorage::accessRead, DiskStorage::openExisting);
        ADD_FAILURE() << "opened a path longer than MAX_PATH";
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(Morvenix::errOperationFailed, e.getCode()) << e.what();
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        const std::string reason = Morvenix::formatSystemMessage().c_str();
        EXPECT_NE(nullptr, std::strstr(e.what(), reason.c_str())) << e.what();
        EXPECT_TRUE(endsWith(e.what(), tooLong + "\n")) << e.what();
    }
}

TEST_F(DiskStorageTest, DispositionsAndDefaults)
{
    struct Case {
        uint32_t access;
        uint32_t disposition;
        bool existing;
        bool opens;
        uint64_t sizeAfter; // of the file once opened; kFour is 4 bytes
    } cases[] = {
        {DiskStorage::accessRead, 0, true, true, 4},       {DiskStorage::accessWrite, 0, true, true, 0},
        {DiskStorage::accessWrite, 0, false, true, 0},     {DiskStorage::accessReadWrite, 0, true, true, 0},
        {DiskStorage::accessReadWrite, 1, false, false, 0}, {DiskStorage::accessReadWrite, 2, true, true, 4},
        {DiskStorage::accessReadWrite, 2, false, true, 0},  {DiskStorage::accessReadWrite, 3, false, true, 0},
        {DiskStorage::accessReadWrite, 4, true, true, 0},   {DiskStorage::accessReadWrite, 5, true, true, 0},
        {DiskStorage::accessReadWrite, 5, false, false, 0}, {DiskStorage::accessNone, 1, true, true, 4},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string file = path("f" + std::to_string(n++));
        SCOPED_TRACE(file);
        if (c.existing)
            MvxTest::writeFile(file, kFour);
        if (!c.opens) {
            EXPECT_THROW(DiskStorage::create(file.c_str(), c.access, c.disposition), Morvenix::Exception);
            EXPECT_EQ(c.existing, Morvenix::Path::exists(file.c_str()));
            continue;
        }
        AutoPtr<DiskStorage> s = DiskStorage::create(file.c_str(), c.access, c.disposition);
        EXPECT_EQ(c.sizeAfter, s->getSize());
        EXPECT_STREQ(file.c_str(), s->getName().c_str());
    }
}

TEST_F(DiskStorageTest, ReadWriteAndPositions)
{
    AutoPtr<DiskStorage> s = DiskStorage::create(path("rw").c_str(), DiskStorage::accessReadWrite,
                                                 DiskStorage::dispositionDefault);
    const char text[] = "0123456789abcdef";
    s->writeBytes(text, 16);
    s->writeBytes(text, 0);
    EXPECT_EQ(16u, s->getSize());
    EXPECT_EQ(16u, s->getPos());
    s->setPos(4);
    char buffer[16] = {};
    EXPECT_EQ(4u, s->readBytes(buffer, 4, true));
    EXPECT_EQ(0, std::memcmp(buffer, "4567", 4));
    s->setPosRelative(-6);
    EXPECT_EQ(2u, s->getPos());
    s->setPosFromEnd(-3);
    EXPECT_EQ(13u, s->getPos());
    EXPECT_EQ(3u, s->readBytes(buffer, 3, true));
    EXPECT_EQ(0, std::memcmp(buffer, "def", 3));
    // Past the end: writing there fills the gap with zeros.
    s->setPos(20);
    s->writeBytes("!", 1);
    EXPECT_EQ(21u, s->getSize());
    s->setPos(10);
    s->setEof();
    EXPECT_EQ(10u, s->getSize());
    s->flushBuffer();
    s->reserve(1u << 20);
    EXPECT_EQ(10u, s->getSize());
    expectThrow([&] { s->setPosRelative(-11); }, Morvenix::errOperationFailed, "SetFilePointerEx", "mvx_winfile");
    EXPECT_EQ(10u, s->getPos());
    s.reset();
    EXPECT_EQ((Bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}), MvxTest::readFile(path("rw")));
}

TEST_F(DiskStorageTest, EndOfDataFlag)
{
    MvxTest::writeFile(path("four"), kFour);
    AutoPtr<DiskStorage> s = DiskStorage::create(path("four").c_str(), DiskStorage::accessRead, 0);
    unsigned char buffer[10];
    EXPECT_FALSE(s->isEof());
    EXPECT_EQ(4u, s->readBytes(buffer, 10, false));
    EXPECT_FALSE(s->isEof());
    EXPECT_EQ(0u, s->readBytes(buffer, 10, false));
    EXPECT_TRUE(s->isEof());
    s->setPos(0);
    EXPECT_FALSE(s->isEof());

    // A short exact read throws, keeps the bytes it got and stands after them.
    std::memset(buffer, 0, sizeof buffer);
    s->setPos(1);
    expectThrow([&] { s->readBytes(buffer, 10, true); }, Morvenix::errReadFailed,
                "Could not read the bytes specified!", "mvx_storage.win");
    EXPECT_EQ(0, std::memcmp(buffer, kFour.data() + 1, 3));
    EXPECT_EQ(4u, s->getPos());
    EXPECT_TRUE(s->isEof());
    s->setPosRelative(0);
    EXPECT_FALSE(s->isEof());
}

TEST_F(DiskStorageTest, FailingCallsThrowTheWindowsError)
{
    MvxTest::writeFile(path("four"), kFour);
    unsigned char buffer[4];
    AutoPtr<DiskStorage> writeOnly = DiskStorage::create(path("w").c_str(), DiskStorage::accessWrite, 0);
    expectThrow([&] { writeOnly->readBytes(buffer, 4, false); }, Morvenix::errAccessDenied, "DiskStorageImpl::readBytes");
    AutoPtr<DiskStorage> readOnly = DiskStorage::create(path("four").c_str(), DiskStorage::accessRead, 0);
    expectThrow([&] { readOnly->writeBytes(buffer, 4); }, Morvenix::errAccessDenied, "DiskStorageImpl::writeBytes");
    // Windows reports access denied here, Wine an invalid parameter.
    try {
        readOnly->setEof();
        ADD_FAILURE() << "a read-only file was truncated";
    } catch (const Morvenix::Exception& e) {
        EXPECT_NE(nullptr, std::strstr(e.what(), " DiskStorageImpl::setEof")) << e.what();
    }
    EXPECT_EQ(kFour, MvxTest::readFile(path("four")));
}

TEST_F(DiskStorageTest, Duplicate)
{
    MvxTest::writeFile(path("four"), kFour);
    AutoPtr<DiskStorage> s = DiskStorage::create(path("four").c_str(), DiskStorage::accessRead, 0);
    s->setPos(1);
    AutoPtr<Morvenix::Storage> copy = s->duplicate();
    EXPECT_NE(static_cast<Morvenix::Storage*>(s.get()), copy.get());
    EXPECT_EQ(1u, copy->getPos());
    unsigned char b = 0;
    copy->readBytes(&b, 1, true);
    EXPECT_EQ(2, b);
    EXPECT_EQ(1u, s->getPos()); // positions are independent
    EXPECT_EQ(path("four"), copy->getName().c_str());

    // A writable open is exclusive, so its duplicate cannot be opened; the file is not truncated.
    AutoPtr<DiskStorage> w = DiskStorage::create(path("w").c_str(), DiskStorage::accessReadWrite, 0);
    w->writeBytes("xyz", 3);
    EXPECT_THROW(w->duplicate(), Morvenix::Exception);
    EXPECT_EQ(3u, w->getSize());
}

TEST_F(DiskStorageTest, RangeLocks)
{
    MvxTest::writeFile(path("locked"), Bytes(300, 7));
    AutoPtr<DiskStorage> s = DiskStorage::create(path("locked").c_str(), DiskStorage::accessRead, 0);
    AutoPtr<DiskStorage> other = DiskStorage::create(path("locked").c_str(), DiskStorage::accessRead, 0);
    EXPECT_TRUE(s->lockRange(100, 0, true)); // from 100 to the end of the 64-bit range
    EXPECT_FALSE(other->tryLockRange(150, 10, false));
    EXPECT_FALSE(other->tryLockRange(0xFFFFFFFFFFFF0000ull, 16, true));
    EXPECT_FALSE(other->tryLockRange(50, 51, true));
    EXPECT_TRUE(other->tryLockRange(0, 100, true));
    other->unlockRange(0, 100);
    s->unlockRange(100, 0);
    EXPECT_TRUE(other->tryLockRange(150, 10, true));
    other->unlockRange(150, 10);

    // Shared locks coexist; an exclusive one does not join them.
    EXPECT_TRUE(s->tryLockRange(0, 10, false));
    EXPECT_TRUE(other->tryLockRange(0, 10, false));
    AutoPtr<DiskStorage> third = DiskStorage::create(path("locked").c_str(), DiskStorage::accessRead, 0);
    EXPECT_FALSE(third->tryLockRange(5, 1, true));
    s->unlockRange(0, 10);
    other->unlockRange(0, 10);
    EXPECT_TRUE(third->tryLockRange(5, 1, true));

    // Unlocking what is not locked is a failure of the system call.
    expectThrow([&] { s->unlockRange(0, 1); }, Morvenix::errOperationFailed, "UnlockFileEx failed!");
}

TEST_F(DiskStorageTest, FileTimeIsTheLastWriteTime)
{
    AutoPtr<DiskStorage> s = DiskStorage::create(path("timed").c_str(), DiskStorage::accessReadWrite, 0);
    // 2021-07-04 12:34:56.789 UTC
    SYSTEMTIME when = {2021, 7, 0, 4, 12, 34, 56, 789};
    FILETIME stamp;
    ASSERT_TRUE(SystemTimeToFileTime(&when, &stamp));
    ASSERT_TRUE(SetFileTime(static_cast<HANDLE>(s->getHandle()), nullptr, nullptr, &stamp));
    EXPECT_EQ(Morvenix::Time(2021, 7, 4, 12, 34, 56, true), s->getFileTime());
    EXPECT_STREQ("2021-07-04 12:34:56", s->getFileTime().getGMTStr().c_str());
}

TEST_F(DiskStorageTest, AnonymousTemporaryFile)
{
    // The temporary folder is pointed at a fresh one so that what is left there can be seen.
    wchar_t previous[MAX_PATH] = {};
    const bool hadTmp = GetEnvironmentVariableW(L"TMP", previous, MAX_PATH) != 0;
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", String((folder + "\\").c_str()).wc_str()));
    {
        AutoPtr<DiskStorage> t = DiskStorage::createTemp();
        EXPECT_TRUE(t->getName().isEmpty());
        t->writeBytes("temporary", 9);
        t->setPos(0);
        char buffer[9];
        EXPECT_EQ(9u, t->readBytes(buffer, 9, true));
        EXPECT_EQ(0, std::memcmp(buffer, "temporary", 9));
        // Its name is deleted at once; under Wine it stays listed until the handle closes, but no one can
        // open it any more.
        for (const FileTest::Entry& e : FileTest::listFolder(folder)) {
            EXPECT_EQ(0u, e.name.find("VSP")) << e.name;
            FileTest::ForeignHandle h(path(e.name), FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
            EXPECT_FALSE(h.isOpen()) << e.name;
        }
        EXPECT_THROW(t->duplicate(), Morvenix::Exception);
    }
    EXPECT_TRUE(FileTest::listFolder(folder).empty());

    // No temporary folder to write in: the error names where the file was to be.
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", String((folder + "\\missing\\").c_str()).wc_str()));
    expectThrow([] { DiskStorage::createTemp(); }, Morvenix::errOperationFailed, "missing\\VSP");
    SetEnvironmentVariableW(L"TMP", hadTmp ? previous : nullptr);
}

TEST_F(DiskStorageTest, NamedWorkingFile)
{
    String name = (folder + "\\doc.djvu").c_str();
    {
        AutoPtr<DiskStorage> w = DiskStorage::createTemp(name);
        EXPECT_EQ(folder + "\\", Morvenix::Path::getParent(name).c_str());
        EXPECT_TRUE(Morvenix::Path::getFileName(name).startsWith("~wt"));
        EXPECT_EQ(name, w->getName());
        EXPECT_TRUE(FileTest::isHidden(name.c_str()));
        w->writeBytes("abc", 3);
        unsigned char b;
        EXPECT_THROW(w->readBytes(&b, 1, false), Morvenix::Exception); // opened for writing only
    }
    EXPECT_EQ((Bytes{'a', 'b', 'c'}), MvxTest::readFile(name.c_str()));

    String missing = (folder + "\\missing\\doc.djvu").c_str();
    expectThrow([&] { DiskStorage::createTemp(missing); }, Morvenix::errOperationFailed, "createTemp");
    EXPECT_EQ(folder + "\\missing\\doc.djvu", missing.c_str());
    EXPECT_EQ(1u, FileTest::listFolder(folder).size());
}

// A path may name a named pipe, whose server learns who opened it: it may identify the user, never act
// as the user. (Wine lets a pipe server act as its client whatever the client asked for, so the test
// reads what the storages ask of the system.)
TEST_F(DiskStorageTest, NoPipeServerMayActAsTheUser)
{
    MvxTest::writeFile(path("plain"), kFour);
    {
        FileTest::OpenRecorder recorder;
        ASSERT_TRUE(recorder.redirected);
        DiskStorage::create(path("plain").c_str(), DiskStorage::accessRead, DiskStorage::dispositionDefault);
        DiskStorage::create(path("written").c_str(), DiskStorage::accessReadWrite, DiskStorage::dispositionDefault);
        DiskStorage::createTemp();
    }
    ASSERT_EQ(3u, FileTest::OpenRecorder::flags().size());
    const DWORD levelBits = SECURITY_SQOS_PRESENT | SECURITY_DELEGATION;
    for (DWORD flags : FileTest::OpenRecorder::flags())
        EXPECT_EQ(DWORD(SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION), flags & levelBits) << std::hex << flags;
}

TEST_F(DiskStorageTest, AdoptedHandleIsClosedWithTheStorage)
{
    HANDLE h = CreateFileA(path("adopted").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    {
        AutoPtr<DiskStorage> s = DiskStorage::create(static_cast<void*>(h), DiskStorage::accessReadWrite, 0);
        EXPECT_EQ(static_cast<void*>(h), s->getHandle());
        EXPECT_TRUE(s->getName().isEmpty());
        s->writeBytes("xy", 2);
        // Exclusive while the storage lives.
        FileTest::ForeignHandle other(path("adopted"), FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        EXPECT_FALSE(other.isOpen());
    }
    FileTest::ForeignHandle other(path("adopted"), 0);
    EXPECT_TRUE(other.isOpen());
    other.close();
    EXPECT_EQ((Bytes{'x', 'y'}), MvxTest::readFile(path("adopted")));
}

} // namespace
