// Where the document goes: the target replaced only by a complete document, relative names resolved, and
// every failure to save shown once, answered with E_FAIL and leaving an existing file as it was.
#include "exporter_test_support.h"

using namespace ExporterTest;

namespace {

const std::vector<unsigned char> kOldBytes{'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};

class ExporterSave : public ::testing::Test {
protected:
    void SetUp() override { folder = MvxTest::tempFolder(); }

    // One GDI page exported to the name; the finish's result.
    HRESULT exportOnePage(const wchar_t* inName)
    {
        Metafile page = reportPage(1);
        CDjVuExporter exporter;
        EXPECT_EQ(S_OK, exporter.SetOutputName(inName));
        EXPECT_EQ(S_OK, exporter.AddEmfPage(page.get()));
        return exporter.FinishDocument();
    }

    std::wstring target(const char* inName) const
    {
        const std::string path = folder + "\\" + inName;
        return std::wstring(path.begin(), path.end());
    }

    // No working file of the storage is left behind hidden: the folder holds only the names given.
    void expectNoHiddenFiles()
    {
        for (const FolderEntry& entry : listFolder(folder))
            EXPECT_EQ(0u, entry.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY)) << entry.name;
    }

    std::string folder;
};

TEST_F(ExporterSave, ReplacesAnExistingFileWithAVisibleOne)
{
    MvxTest::writeFile(folder + "\\report.djvu", kOldBytes);
    UserOutputRecorder recorder;
    ASSERT_EQ(S_OK, exportOnePage(target("report.djvu").c_str()));
    EXPECT_TRUE(recorder.boxes.empty());
    const std::vector<unsigned char> written = MvxTest::readFile(folder + "\\report.djvu");
    ASSERT_GT(written.size(), 16u);
    EXPECT_EQ(0, memcmp(written.data(), "AT&TFORM", 8));
    const std::vector<FolderEntry> entries = listFolder(folder);
    ASSERT_EQ(1u, entries.size());
    expectNoHiddenFiles();
}

TEST_F(ExporterSave, ResolvesARelativeNameAgainstTheCurrentFolder)
{
    char previous[MAX_PATH];
    ASSERT_TRUE(GetCurrentDirectoryA(MAX_PATH, previous));
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    const HRESULT result = exportOnePage(L"sub\\..\\relative.djvu");
    SetCurrentDirectoryA(previous);
    ASSERT_EQ(S_OK, result);
    EXPECT_GT(MvxTest::readFile(folder + "\\relative.djvu").size(), 16u);
}

// The target cannot be replaced: another program holds it open without delete sharing, or it is read-only.
TEST_F(ExporterSave, FailedSaveLeavesTheOldFile)
{
    for (const bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only target" : "target held open");
        folder = MvxTest::tempFolder();
        const std::string path = folder + "\\report.djvu";
        MvxTest::writeFile(path, kOldBytes);
        HANDLE holder = INVALID_HANDLE_VALUE;
        if (readOnly)
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        else
            holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        UserOutputRecorder recorder;
        const HRESULT result = exportOnePage(target("report.djvu").c_str());
        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
        EXPECT_EQ(E_FAIL, result);
        // What failed for which file in words, then the library exception's whole message: where it arose,
        // its code, and what happened to which file.
        const std::string text = errorBoxText(recorder);
        EXPECT_EQ("The DjVu file \"" + narrow(target("report.djvu")) + "\" could not be saved.", firstLine(text));
        EXPECT_NE(std::string::npos, text.find(": Error ")) << text;
        EXPECT_NE(std::string::npos, text.find("report.djvu")) << text;
        EXPECT_EQ('\n', text.back()) << text;
        EXPECT_EQ(kOldBytes, MvxTest::readFile(path));
        expectNoHiddenFiles();
        // Beside the old file at most the written document, kept where the box tells the user it is.
        const std::vector<FolderEntry> entries = listFolder(folder);
        EXPECT_LE(entries.size(), 2u);
        for (const FolderEntry& entry : entries) {
            if (entry.name != "report.djvu") {
                EXPECT_NE(std::string::npos, text.find(entry.name)) << entry.name << " is not named in: " << text;
            }
        }
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(ExporterSave, NothingToSave)
{
    MvxTest::writeFile(folder + "\\old.djvu", kOldBytes);
    const struct {
        const char* what;
        bool withPage;
        const wchar_t* name;
        const char* message;
        const char* headline; // FILE stands for the file's path
    } cases[] = {
        {"no page", false, L"old.djvu", "The document has no page to save.",
         "The DjVu file \"FILE\" could not be saved."},
        {"no page, new file", false, L"new.djvu", "The document has no page to save.",
         "The DjVu file \"FILE\" could not be saved."},
        {"no name", true, nullptr, "No file name was given to save the document to.",
         "The DjVu document could not be saved."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UserOutputRecorder recorder;
        Metafile page = reportPage(1);
        CDjVuExporter exporter;
        if (c.name)
            exporter.outputPath = narrow(target("") + c.name).c_str();
        if (c.withPage) {
            ASSERT_EQ(S_OK, exporter.AddEmfPage(page.get()));
        }
        EXPECT_EQ(E_FAIL, exporter.FinishDocument());
        const std::string text = errorBoxText(recorder);
        EXPECT_NE(std::string::npos, text.find(c.message)) << text;
        std::string headline = c.headline;
        if (c.name)
            headline.replace(headline.find("FILE"), 4, narrow(target("") + c.name));
        EXPECT_EQ(headline, firstLine(text));
    }
    EXPECT_EQ(kOldBytes, MvxTest::readFile(folder + "\\old.djvu"));
    const std::vector<FolderEntry> entries = listFolder(folder);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("old.djvu", entries[0].name);
}

} // namespace
