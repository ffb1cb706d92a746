#include "mvx_path.h"

#include "file_test_support.h"
#include "mvx_string.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using Morvenix::String;
namespace Path = Morvenix::Path;

namespace {

typedef std::vector<unsigned char> Bytes;

const Bytes kOld = {'o', 'l', 'd'};
const Bytes kNew = {'n', 'e', 'w', ' ', 'd', 'a', 't', 'a'};

std::string currentDirectory()
{
    char buffer[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, buffer);
    return buffer;
}

TEST(Path, TextOperations)
{
    struct Case {
        const char* path;
        const char* parent;
        const char* withoutExtension;
        const char* withoutTrailingSeparator;
        const char* fileName;
    } cases[] = {
        {"D:\\a\\b.txt", "D:\\a\\", "D:\\a\\b", "D:\\a\\b.txt", "b.txt"},
        {"a/b", "a/", "", "a/b", "b"},
        {"name", "", "", "name", "name"},
        {"D:\\a/b", "D:\\", "", "D:\\a/b", "b"}, // a '\' anywhere wins over '/'
        {"D:\\x.y\\file", "D:\\x.y\\", "D:\\x", "D:\\x.y\\file", "file"},
        {"D:\\a\\\\", "D:\\a\\\\", "", "D:\\a\\", "a\\\\"}, // the last component keeps its separators
        {"D:/a//", "D:/a//", "", "D:/a/", "a//"},
        {"", "", "", "", ""},
        {"\\", "\\", "", "", "\\"},
        {"archive.tar.gz", "", "archive.tar", "archive.tar.gz", "archive.tar.gz"},
        {"C:\\\xC3\xA9t\xC3\xA9\\r\xC3\xA9sum\xC3\xA9.djvu", "C:\\\xC3\xA9t\xC3\xA9\\",
         "C:\\\xC3\xA9t\xC3\xA9\\r\xC3\xA9sum\xC3\xA9", "C:\\\xC3\xA9t\xC3\xA9\\r\xC3\xA9sum\xC3\xA9.djvu",
         "r\xC3\xA9sum\xC3\xA9.djvu"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(c.parent, Path::getParent(c.path).c_str());
        EXPECT_STREQ(c.withoutExtension, Path::removeExtension(c.path).c_str());
        EXPECT_STREQ(c.withoutTrailingSeparator, Path::removeTrailingSeparator(c.path).c_str());
        if (*c.path) {
            EXPECT_STREQ(c.fileName, Path::getFileName(c.path).c_str());
        }
    }
}

TEST(Path, CharacterClassesAndAbsolutePaths)
{
    for (uint32_t c = 0; c < 0x180; ++c) {
        EXPECT_EQ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'), Path::isLetter(c)) << c;
        EXPECT_EQ(c == '/' || c == '\\', Path::isSeparator(c)) << c;
    }
    struct Case {
        const char* path;
        bool absolute;
    } cases[] = {
        {"D:\\x", true}, {"d:/x", true},  {"\\\\server\\share", true}, {"//server", true}, {"D:\\", true},
        {"D:x", false},  {"\\x", false},  {"/x", false},               {"name", false},     {"", false},
        {"1:\\x", false}, {"D:", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.absolute, Path::isAbsolute(c.path)) << c.path;
}

TEST(Path, FullLongAndCanonicalPaths)
{
    const std::string folder = MvxTest::tempFolder();
    FileTest::CurrentDirectory cd(folder);
    const std::string here = currentDirectory();

    EXPECT_EQ(here + "\\doc.djvu", Path::getFullPath("doc.djvu").c_str());
    EXPECT_EQ(folder + "\\x\\y", Path::canonicalize("x/./z/../y/").c_str());
    EXPECT_EQ(folder + "\\x", Path::canonicalize(folder + "\\x\\").c_str());
    EXPECT_EQ(here, Path::canonicalize(".").c_str());
    // A drive root keeps its separator: "C:" alone names the drive's current directory.
    EXPECT_STREQ("C:\\", Path::canonicalize("C:\\").c_str());
    EXPECT_STREQ("c:\\", Path::canonicalize("c:/").c_str());
    EXPECT_EQ(here.substr(0, 3), Path::canonicalize("\\").c_str());
    EXPECT_STREQ("C:\\windows", Path::canonicalize("C:\\windows\\system32\\..\\").c_str());

    // Too long for MAX_PATH: a failure, reported as empty.
    const std::string longPath = "C:\\" + std::string(300, 'a');
    EXPECT_TRUE(Path::getFullPath(longPath.c_str()).isEmpty());
    EXPECT_TRUE(Path::canonicalize(longPath.c_str()).isEmpty());
    EXPECT_TRUE(Path::getFullPath("").isEmpty());

    // A path that does not exist has no long form: it comes back unchanged.
    EXPECT_STREQ("Z:\\no\\such\\FILE~1.TXT", Path::getLongPath("Z:\\no\\such\\FILE~1.TXT").c_str());
    const std::string file = folder + "\\a long file name.djvu";
    MvxTest::writeFile(file, kOld);
    wchar_t shortName[MAX_PATH];
    const String wide(file.c_str());
    if (GetShortPathNameW(wide.wc_str(), shortName, MAX_PATH) && String(shortName) != wide) {
        EXPECT_EQ(file, Path::getLongPath(String(shortName)).c_str());
        EXPECT_EQ(file, Path::canonicalize(String(shortName)).c_str());
    }
}

TEST(Path, CurrentAndTemporaryDirectories)
{
    EXPECT_EQ(currentDirectory(), Path::getCurrentDirectory().c_str());
    const String temp = Path::getTempDirectory();
    ASSERT_FALSE(temp.isEmpty());
    EXPECT_TRUE(temp.endsWith("\\"));
    EXPECT_TRUE(Path::isDirectory(temp));
}

TEST(Path, FileQueriesAndChanges)
{
    const std::string folder = MvxTest::tempFolder();
    const std::string file = folder + "\\f.bin";
    const std::string copy = folder + "\\g.bin";
    MvxTest::writeFile(file, kOld);

    EXPECT_TRUE(Path::exists(file.c_str()));
    EXPECT_FALSE(Path::isDirectory(file.c_str()));
    EXPECT_TRUE(Path::exists(folder.c_str()));
    EXPECT_TRUE(Path::isDirectory(folder.c_str()));
    EXPECT_FALSE(Path::exists(copy.c_str()));

    EXPECT_TRUE(Path::copyFile(file.c_str(), copy.c_str(), false));
    EXPECT_EQ(kOld, MvxTest::readFile(copy));
    MvxTest::writeFile(copy, kNew);
    EXPECT_FALSE(Path::copyFile(file.c_str(), copy.c_str(), false));
    EXPECT_EQ(kNew, MvxTest::readFile(copy));
    EXPECT_TRUE(Path::copyFile(file.c_str(), copy.c_str(), true));
    EXPECT_EQ(kOld, MvxTest::readFile(copy));

    EXPECT_TRUE(Path::setHidden(file.c_str(), true));
    EXPECT_TRUE(FileTest::isHidden(file));
    EXPECT_TRUE(Path::setHidden(file.c_str(), false));
    EXPECT_FALSE(FileTest::isHidden(file));
    EXPECT_FALSE(Path::setHidden((folder + "\\missing").c_str(), true));

    EXPECT_TRUE(Path::deleteFile(copy.c_str()));
    EXPECT_FALSE(Path::exists(copy.c_str()));
    EXPECT_FALSE(Path::deleteFile(copy.c_str()));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST(Path, WorkFileNames)
{
    const std::string folder = MvxTest::tempFolder();
    const String work = Path::makeWorkFileName((folder + "\\doc.djvu").c_str());
    ASSERT_FALSE(work.isEmpty());
    EXPECT_EQ(folder + "\\", Path::getParent(work).c_str());
    EXPECT_TRUE(Path::getFileName(work).startsWith("~wt"));
    EXPECT_TRUE(FileTest::isHidden(work.c_str())); // Wine drops the temporary attribute, so only hidden
    EXPECT_TRUE(MvxTest::readFile(work.c_str()).empty());

    // A second name is a different, new file.
    const String second = Path::makeWorkFileName((folder + "/doc.djvu").c_str());
    ASSERT_FALSE(second.isEmpty());
    EXPECT_NE(work, second);
    EXPECT_EQ(2u, FileTest::listFolder(folder).size());

    // A bare name works beside it in the current directory.
    const std::string other = MvxTest::tempFolder();
    {
        FileTest::CurrentDirectory cd(other);
        const String bare = Path::makeWorkFileName("doc.djvu");
        ASSERT_FALSE(bare.isEmpty());
        EXPECT_TRUE(Path::getFileName(bare).startsWith("~wt"));
    }
    const std::vector<FileTest::Entry> entries = FileTest::listFolder(other);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(0u, entries[0].name.find("~wt"));
    EXPECT_TRUE(entries[0].hidden());

    EXPECT_TRUE(Path::makeWorkFileName((folder + "\\missing\\doc.djvu").c_str()).isEmpty());

    // The deepest directory that takes one, and one a character deeper, which is refused before the system
    // is asked (Wine would write the name past its buffer); nothing is made there.
    const std::string deep = MvxTest::tempFolder();
    for (const size_t units : {size_t(Path::maxWorkFileDirectory), size_t(Path::maxWorkFileDirectory + 1)}) {
        const std::string directory = deep + "\\" + std::string(units - deep.size() - 2, 'd');
        ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr)) << directory;
        const String made = Path::makeWorkFileName((directory + "\\doc.djvu").c_str());
        if (units == Path::maxWorkFileDirectory) {
            ASSERT_FALSE(made.isEmpty());
            // "~wtX.tmp" to "~wtXXXX.tmp": the number is written in as few hexadecimal digits as it takes.
            EXPECT_EQ(directory + "\\", Path::getParent(made).c_str());
            EXPECT_LE(std::string(made.c_str()).size(), units + 11);
        } else {
            EXPECT_TRUE(made.isEmpty());
            EXPECT_EQ(DWORD(ERROR_FILENAME_EXCED_RANGE), GetLastError());
            EXPECT_TRUE(FileTest::listFolder(directory).empty());
        }
    }
}

TEST(Path, MoveReplacesInOneStep)
{
    const std::string folder = MvxTest::tempFolder();
    const std::string source = folder + "\\source";
    const std::string target = folder + "\\target";
    MvxTest::writeFile(source, kNew);
    MvxTest::writeFile(target, kOld);
    EXPECT_TRUE(Path::moveFile(source.c_str(), target.c_str()));
    EXPECT_EQ(kNew, MvxTest::readFile(target));
    EXPECT_FALSE(Path::exists(source.c_str()));

    // A move that cannot happen leaves both as they were.
    const std::string directory = folder + "\\dir";
    ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
    MvxTest::writeFile(source, kNew);
    EXPECT_FALSE(Path::moveFile(source.c_str(), directory.c_str()));
    EXPECT_EQ(kNew, MvxTest::readFile(source));
    EXPECT_TRUE(Path::isDirectory(directory.c_str()));
}

TEST(Path, ReplaceFile)
{
    const std::string folder = MvxTest::tempFolder();
    const std::string target = folder + "\\target.djvu";
    const std::string replacement = folder + "\\work.tmp";
    MvxTest::writeFile(target, kOld);
    MvxTest::writeFile(replacement, kNew);
    ASSERT_TRUE(Path::replaceFile(target.c_str(), replacement.c_str()));
    EXPECT_EQ(kNew, MvxTest::readFile(target));
    EXPECT_FALSE(Path::exists(replacement.c_str()));
    EXPECT_EQ(1u, FileTest::listFolder(folder).size());

    // Relative names are made full first.
    {
        FileTest::CurrentDirectory cd(folder);
        MvxTest::writeFile(replacement, kOld);
        EXPECT_TRUE(Path::replaceFile("target.djvu", "work.tmp"));
    }
    EXPECT_EQ(kOld, MvxTest::readFile(target));
    EXPECT_FALSE(Path::exists(replacement.c_str()));

    // A target that has gone: the replacement takes its name.
    ASSERT_TRUE(DeleteFileA(target.c_str()));
    MvxTest::writeFile(replacement, kNew);
    EXPECT_TRUE(Path::replaceFile(target.c_str(), replacement.c_str()));
    EXPECT_EQ(kNew, MvxTest::readFile(target));
    EXPECT_FALSE(Path::exists(replacement.c_str()));
}

// Before replacing, the target is opened to see whether it may be deleted; the name may reach a server
// (a named pipe, a share), which may learn who opened it but never act as that user. (Wine lets a pipe
// server act as its client whatever the client asked for, so the test reads what is asked of the system.)
TEST(Path, ReplaceFileLetsNoServerActAsTheUser)
{
    const std::string folder = MvxTest::tempFolder();
    const std::string target = folder + "\\target.djvu";
    const std::string replacement = folder + "\\work.tmp";
    MvxTest::writeFile(target, kOld);
    MvxTest::writeFile(replacement, kNew);
    {
        FileTest::OpenRecorder recorder;
        ASSERT_TRUE(recorder.redirected);
        ASSERT_TRUE(Path::replaceFile(target.c_str(), replacement.c_str()));
    }
    ASSERT_FALSE(FileTest::OpenRecorder::flags().empty());
    const DWORD levelBits = SECURITY_SQOS_PRESENT | SECURITY_DELEGATION;
    for (DWORD flags : FileTest::OpenRecorder::flags())
        EXPECT_EQ(DWORD(SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION), flags & levelBits) << std::hex << flags;
    EXPECT_EQ(kNew, MvxTest::readFile(target));
}

// Every failure keeps both files as they were and reports why through the last error.
TEST(Path, FailedReplaceKeepsBothFiles)
{
    const std::string folder = MvxTest::tempFolder();
    const std::string replacement = folder + "\\work.tmp";
    const std::string file = folder + "\\plain";
    const std::string directory = folder + "\\dir";
    MvxTest::writeFile(file, kOld);
    ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
    MvxTest::writeFile(directory + "\\inside", kOld);

    const std::string targets[] = {directory, file + "\\child.djvu"};
    for (const std::string& target : targets) {
        SCOPED_TRACE(target);
        MvxTest::writeFile(replacement, kNew);
        SetLastError(0);
        EXPECT_FALSE(Path::replaceFile(target.c_str(), replacement.c_str()));
        EXPECT_NE(DWORD(0), GetLastError());
        EXPECT_EQ(kNew, MvxTest::readFile(replacement));
        EXPECT_EQ(kOld, MvxTest::readFile(file));
        EXPECT_EQ(kOld, MvxTest::readFile(directory + "\\inside"));
    }

    // Held open by another program that does not share deletion.
    {
        FileTest::ForeignHandle holder(file);
        ASSERT_TRUE(holder.isOpen());
        EXPECT_FALSE(Path::replaceFile(file.c_str(), replacement.c_str()));
        EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    }
    EXPECT_EQ(kOld, MvxTest::readFile(file));
    EXPECT_EQ(kNew, MvxTest::readFile(replacement));

    // No replacement: the target stays.
    ASSERT_TRUE(DeleteFileA(replacement.c_str()));
    EXPECT_FALSE(Path::replaceFile(file.c_str(), replacement.c_str()));
    EXPECT_EQ(kOld, MvxTest::readFile(file));

    std::vector<std::string> names;
    for (const FileTest::Entry& e : FileTest::listFolder(folder))
        names.push_back(e.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"dir", "plain"}), names);
}

TEST(Path, DirectoryEnumerator)
{
    const std::string folder = MvxTest::tempFolder();
    EXPECT_TRUE(Morvenix::DirectoryEnumerator::create(folder.c_str())->next().isEmpty());
    EXPECT_TRUE(Morvenix::DirectoryEnumerator::create((folder + "\\missing").c_str())->next().isEmpty());

    MvxTest::writeFile(folder + "\\a.txt", kOld);
    MvxTest::writeFile(folder + "\\.hidden", kOld);
    ASSERT_TRUE(CreateDirectoryA((folder + "\\sub").c_str(), nullptr));
    MvxTest::writeFile(folder + "\\sub\\deeper", kOld);

    const std::string spellings[] = {folder, folder + "\\", folder + "/./"};
    for (const std::string& spelling : spellings) {
        SCOPED_TRACE(spelling);
        Morvenix::AutoPtr<Morvenix::DirectoryEnumerator> e = Morvenix::DirectoryEnumerator::create(spelling.c_str());
        std::vector<std::string> found;
        for (String entry = e->next(); !entry.isEmpty(); entry = e->next())
            found.push_back(entry.c_str());
        EXPECT_TRUE(e->next().isEmpty());
        std::sort(found.begin(), found.end());
        EXPECT_EQ((std::vector<std::string>{folder + "\\.hidden", folder + "\\a.txt", folder + "\\sub"}), found);
    }

    // The current directory, relative, when the path gives none.
    FileTest::CurrentDirectory cd(folder + "\\sub");
    Morvenix::AutoPtr<Morvenix::DirectoryEnumerator> e = Morvenix::DirectoryEnumerator::create("");
    EXPECT_STREQ(".\\deeper", e->next().c_str());
    EXPECT_TRUE(e->next().isEmpty());
}

} // namespace
