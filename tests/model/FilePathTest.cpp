#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "model/FilePath.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr int32_t kFile = FilePath::kHasExtension;
constexpr int32_t kXSDFile = FilePath::kHasExtension | FilePath::kXSD;
constexpr int32_t kFolder = FilePath::kDirectory;
constexpr int32_t kURL = FilePath::kURL;

struct SetCase {
    const wchar_t* text;
    const wchar_t* fullPath;  // empty: the record stays unset
    int32_t flags;
    const wchar_t* fileName;
    int32_t fileNamePosition;
};

TEST(FilePathTest, SetClassifiesTheOptionValue) {
    const SetCase cases[] = {
        {L"schemas/main.xsd", L"schemas/main.xsd", kXSDFile, L"main.xsd", 8},
        {L"main.xsd", L"main.xsd", kXSDFile, L"main.xsd", 0},
        {L"D:\\schemas", L"D:\\schemas\\", kFolder, L"", 11},
        {L"D:\\schemas\\", L"D:\\schemas\\", kFolder, L"", 11},
        {L"C:/a/b", L"C:/a/b/", kFolder, L"", 7},
        {L"schemas", L"schemas\\", kFolder, L"", 8},
        {L"D:\\my.dir\\schemas", L"D:\\my.dir\\schemas\\", kFolder, L"", 18},
        {L"s\\a.Xsd", L"s\\a.Xsd", kXSDFile, L"a.Xsd", 2},
        {L"s\\a.XSD", L"s\\a.XSD", kXSDFile, L"a.XSD", 2},
        {L"s\\a.xs", L"s\\a.xs", kFile, L"a.xs", 2},
        {L"s\\a.xml", L"s\\a.xml", kFile, L"a.xml", 2},
        {L"s\\a.tar.xsd", L"s\\a.tar.xsd", kXSDFile, L"a.tar.xsd", 2},
        {L"  \t D:\\s\\a.xsd  \r\n", L"D:\\s\\a.xsd", kXSDFile, L"a.xsd", 5},
        {L"D:\\my schemas\\a b.xsd ", L"D:\\my schemas\\a b.xsd", kXSDFile, L"a b.xsd", 14},
        {L"D:\\s\\   ", L"D:\\s\\", kFolder, L"", 5},
        {L"http://host/s/a.xsd", L"http://host/s/a.xsd", kURL | kXSDFile, L"a.xsd", 14},
        {L"HTTPS://host/dir", L"HTTPS://host/dir/", kURL | kFolder, L"", 17},
        {L"ftp://h/a.xsd", L"ftp://h/a.xsd", kURL | kXSDFile, L"a.xsd", 8},
        {L"Ftp://h/", L"Ftp://h/", kURL | kFolder, L"", 8},
        {L"http:/host/a.xsd", L"http:/host/a.xsd", kXSDFile, L"a.xsd", 11},
        {L"D://x.xsd", L"D://x.xsd", kXSDFile, L"x.xsd", 4},
        {L"file://h/x.xsd", L"file://h/x.xsd", kXSDFile, L"x.xsd", 9},
        {L"", L"", 0, L"", -1},
        {L" \t\r\n ", L"", 0, L"", -1},
        {nullptr, L"", 0, L"", -1},
    };
    for (const SetCase& c : cases) {
        SCOPED_TRACE(c.text == nullptr ? "(null)" : narrow(c.text));
        FilePath path;
        path.set(L"D:\\old\\previous.xsd");
        path.resolve(L"previous.xsd");
        path.set(c.text);
        EXPECT_EQ(narrow(path.fullPath), narrow(c.fullPath));
        EXPECT_EQ(path.flags, c.flags);
        EXPECT_EQ(narrow(path.fileName), narrow(c.fileName));
        EXPECT_EQ(path.fileNamePosition, c.fileNamePosition);
        EXPECT_EQ(path.requestCount, 0);
        EXPECT_EQ(path.isSet(), c.fullPath[0] != 0);
    }
}

// The record's fields hold 259 units of path and 119 of file name; a longer value is
// refused whole rather than cut into the name of some other file.
TEST(FilePathTest, ValuesThatDoNotFitAreRefused) {
    struct LengthCase {
        std::wstring text;
        bool accepted;
    };
    const std::wstring folder = L"D:\\" + std::wstring(136, L'f') + L"\\";  // 140 units
    const LengthCase cases[] = {
        {folder + std::wstring(115, L'n') + L".xsd", true},       // 259 units, a 119-unit name
        {folder + std::wstring(116, L'n') + L".xsd", false},      // 260 units
        {L"D:\\s\\" + std::wstring(116, L'n') + L".xsd", false},  // a 120-unit name in a short path
        {L"D:\\" + std::wstring(252, L'n') + L".xsd", false},     // 259 units, the name far too long
        {L"D:\\" + std::wstring(255, L'd') + L"\\", true},        // a 259-unit folder
        {L"D:\\" + std::wstring(256, L'd') + L"\\", false},       // 260 units
        {L"D:\\" + std::wstring(255, L'd'), true},                // 258 units, the separator makes 259
        {L"D:\\" + std::wstring(256, L'd'), false},               // 259 units, no room for the separator
        {L"D:\\s\\a.xsd" + std::wstring(400, L' '), true},        // blanks past the field are cut
        {std::wstring(300, L' ') + L"D:\\s\\a.xsd", true},
        {L"D:\\" + std::wstring(2000, L'd'), false},
    };
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.text.size());
        FilePath path;
        path.set(c.text.c_str());
        EXPECT_EQ(path.isSet(), c.accepted);
        EXPECT_LT(std::wcslen(path.fullPath), static_cast<size_t>(FilePath::kPathUnits));
        EXPECT_LT(std::wcslen(path.fileName), static_cast<size_t>(FilePath::kFileNameUnits));
        if (!c.accepted) {
            EXPECT_EQ(path.flags, 0);
            EXPECT_EQ(path.fileNamePosition, -1);
            EXPECT_EQ(path.fileName[0], 0);
        }
    }
    FilePath name119;
    name119.set((folder + std::wstring(115, L'n') + L".xsd").c_str());
    EXPECT_EQ(std::wcslen(name119.fileName), 119u);
    EXPECT_EQ(name119.flags, kXSDFile);
}

struct Request {
    const wchar_t* name;
    const wchar_t* answer;  // null: refused
};

struct ResolveCase {
    const wchar_t* text;
    std::vector<Request> requests;
    const wchar_t* afterReset;
};

TEST(FilePathTest, ResolveAnswersEachRequestOfAParse) {
    const ResolveCase cases[] = {
        // A file record: the first request gets the configured file, later ones its folder.
        {L"C:\\s\\main.xsd",
         {{L"main.xsd", L"C:\\s\\main.xsd"}, {L"types.xsd", L"C:\\s\\types.xsd"}, {L"t.xsd", L"C:\\s\\t.xsd"}},
         L"C:\\s\\main.xsd"},
        {L"C:\\s\\main.xsd", {{L"whatever.xsd", L"C:\\s\\main.xsd"}}, L"C:\\s\\main.xsd"},
        {L"http://h/s/a.xsd", {{L"x", L"http://h/s/a.xsd"}, {L"b.xsd", L"http://h/s/b.xsd"}}, L"http://h/s/a.xsd"},
        // A folder record: every request is looked up in the folder.
        {L"C:\\s", {{L"doc.xsd", L"C:\\s\\doc.xsd"}, {L"r.dtd", L"C:\\s\\r.dtd"}}, L"C:\\s\\"},
        {L"C:/s/", {{L"sub/doc.xsd", L"C:/s/sub/doc.xsd"}}, L"C:/s/"},
        // Nothing is configured: nothing is answered.
        {L"", {{L"doc.xsd", nullptr}}, L""},
        {L"C:\\s", {{nullptr, nullptr}}, L"C:\\s\\"},
    };
    for (const ResolveCase& c : cases) {
        SCOPED_TRACE(narrow(c.text));
        FilePath path;
        path.set(c.text);
        for (int round = 0; round < 2; ++round) {
            for (const Request& r : c.requests) {
                SCOPED_TRACE(r.name == nullptr ? "(null)" : narrow(r.name));
                const wchar_t* answer = path.resolve(r.name);
                if (r.answer == nullptr) {
                    EXPECT_EQ(answer, nullptr);
                } else {
                    ASSERT_NE(answer, nullptr);
                    EXPECT_EQ(narrow(answer), narrow(r.answer));
                }
            }
            // After the reset the next parse starts over with the configured file.
            EXPECT_EQ(narrow(path.reset()), narrow(c.afterReset));
            EXPECT_EQ(path.requestCount, 0);
        }
    }
}

// Requested names come from the document, so they must not write past the path.
TEST(FilePathTest, RequestedNamesThatDoNotFitAreRefused) {
    FilePath folder;
    folder.set(L"C:\\s");  // the name starts at unit 5: 254 units of room
    std::wstring fits(254, L'n');
    std::wstring tooLong(255, L'n');
    std::wstring huge(5000, L'n');
    ASSERT_NE(folder.resolve(fits.c_str()), nullptr);
    EXPECT_EQ(std::wcslen(folder.fullPath), 259u);
    EXPECT_EQ(folder.resolve(tooLong.c_str()), nullptr);
    EXPECT_EQ(folder.resolve(huge.c_str()), nullptr);
    EXPECT_EQ(narrow(folder.reset()), "C:\\s\\");

    FilePath file;
    file.set(L"C:\\s\\main.xsd");
    EXPECT_EQ(narrow(file.resolve(huge.c_str())), "C:\\s\\main.xsd");
    EXPECT_EQ(file.resolve(huge.c_str()), nullptr);
    EXPECT_EQ(narrow(file.resolve(L"b.xsd")), "C:\\s\\b.xsd");
    EXPECT_EQ(file.resolve(tooLong.c_str()), nullptr);
    EXPECT_EQ(narrow(file.reset()), "C:\\s\\main.xsd");
    EXPECT_EQ(narrow(file.fileName), "main.xsd");
}

TEST(FilePathTest, URLSchemeIsTestedAtTheColon) {
    struct SchemeCase {
        const wchar_t* text;
        bool url;
    };
    const SchemeCase cases[] = {
        {L"http://x", true}, {L"HTTPS://x", true}, {L"hTtP://x", true},  {L"ftp://x", true},
        {L"FTP://x", true},  {L"httpx://x", true}, {L"htt://x", false},  {L"ftps://x", false},
        {L"http:/x", false}, {L"http:", false},    {L"http:x//", false}, {L"c://x", false},
        {L"C:\\x", false},   {L"file://x", false}, {L"https:x", false},  {L"httpsx://x", false},
    };
    for (const SchemeCase& c : cases) {
        SCOPED_TRACE(narrow(c.text));
        const wchar_t* colon = std::wcschr(c.text, L':');
        ASSERT_NE(colon, nullptr);
        int count = static_cast<int>(colon - c.text) + 1;
        EXPECT_EQ(isURLScheme(colon + 1, count, c.text), c.url);
    }
}

TEST(FilePathTest, ExtensionCodePacksThreeUpperCasedUnits) {
    struct CodeCase {
        const wchar_t* extension;
        uint32_t code;
    };
    const CodeCase cases[] = {
        {L"xsd", 0x445358}, {L"XsD", 0x445358}, {L"xsdl", 0x445358}, {L"xs", 0x5358},
        {L"x", 0},          {L"", 0},           {L"xml", 0x4C4D58},
    };
    for (const CodeCase& c : cases) {
        SCOPED_TRACE(narrow(c.extension));
        EXPECT_EQ(extensionCode(c.extension), c.code);
    }
}

}  // namespace

namespace {

// A local path is made full as Windows resolves it, whatever form the user typed.
TEST(FilePathTest, FullLocalPathIsThePathWindowsOpens) {
    // Under Wine a leading slash may also name the Unix root, which is Z:: in a folder of
    // Z:, with Z: the current drive, both readings give the same path.
    const CurrentFolderGuard currentFolder;
    const std::wstring here = L"Z:\\tmp";
    ASSERT_TRUE(currentFolder.enter(here));
    const std::wstring drive = L"Z:";
    std::wstring slashed = here.substr(2);
    for (wchar_t& unit : slashed)
        if (unit == L'\\') unit = L'/';
    const struct Case {
        const char* what;
        std::wstring path;
        std::wstring full;
    } cases[] = {
        {"a full path stays as it is", here + L"\\a.xml", here + L"\\a.xml"},
        {"a leading slash is the current drive's root", slashed + L"/a.xml", here + L"\\a.xml"},
        {"a drive and forward slashes", drive + slashed + L"/sub/../a.xml", here + L"\\a.xml"},
        {"a bare name is in the current folder", L"a.xml", here + L"\\a.xml"},
        {"a relative path with forward slashes", L"sub/a.xml", here + L"\\sub\\a.xml"},
        {"a relative path up one folder", L"..\\a.xml", L"Z:\\a.xml"},
        {"a leading backslash", L"\\x\\y.xml", drive + L"\\x\\y.xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        wchar_t full[FilePath::kPathUnits];
        EXPECT_EQ(fullLocalPath(c.path.c_str(), full, FilePath::kPathUnits), 0u);
        EXPECT_EQ(std::wstring(full), c.full);
    }
    wchar_t full[FilePath::kPathUnits] = L"x";
    EXPECT_EQ(fullLocalPath((here + L"\\" + std::wstring(300, L'n') + L".xml").c_str(), full, FilePath::kPathUnits),
              static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_STREQ(full, L"") << "nothing cut is left behind";
    EXPECT_NE(fullLocalPath(L"", full, FilePath::kPathUnits), 0u);
    EXPECT_NE(fullLocalPath(nullptr, full, FilePath::kPathUnits), 0u);
}

}  // namespace
