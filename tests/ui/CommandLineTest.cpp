#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ui/MainWindowFixture.h"
#include "ui/CommandLine.h"

namespace {

std::vector<std::wstring> split(const std::wstring& line) {
    std::vector<wchar_t> text(line.begin(), line.end());
    text.push_back(0);
    wchar_t* tokens[kCommandLineTokens] = {};
    const int n = splitCommandLine(text.data(), tokens);
    return std::vector<std::wstring>(tokens, tokens + n);
}

TEST(CommandLineSplitTest, Tokens) {
    using Tokens = std::vector<std::wstring>;
    struct Case {
        const wchar_t* line;
        Tokens tokens;
    } cases[] = {
        {L"prog a.xml b.xml", {L"prog", L"a.xml", L"b.xml"}},
        {L"\"C:\\Program Files\\v.exe\" \"my file.xml\"", {L"C:\\Program Files\\v.exe", L"my file.xml"}},
        {L"prog\ta.xml \t b.xml  ", {L"prog", L"a.xml", L"b.xml"}},
        {L"prog ab\"cd\"ef", {L"prog", L"ab", L"cd", L"ef"}},
        {L"prog \"a b\"c", {L"prog", L"a b", L"c"}},
        {L"prog \"\"  x", {L"prog", L"x"}},
        {L"prog \"  lead\"", {L"prog", L"lead"}},
        {L"prog \"trail  \"", {L"prog", L"trail  "}},
        {L"p 1 2 3 4 5 6 7", {L"p", L"1", L"2", L"3", L"4", L"5"}},
        {L"", {}},
        {L"   ", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(split(c.line), c.tokens) << narrow(c.line);
}

class CommandLineTest : public MainWindowFixture {
protected:
    std::wstring quoted(const std::wstring& name) { return L"\"" + dir.file(name) + L"\""; }
    void run(std::wstring line) {
        line = L"verdalt.exe " + line;
        processCommandLine(line.data());
    }
};

TEST_F(CommandLineTest, ArgumentsLoadThePanels) {
    const char xml[] = "<root><a/></root>";
    dir.write(L"one.xml", xml);
    dir.write(L"two.xml", xml);
    dir.write(L"options_dialog", xml);
    dir.write(L"options.txt", "CompareLevel=2\r\n");
    struct Case {
        const char* what;
        std::wstring arguments;
        bool left, right;
        int saveAtExit;
    } cases[] = {
        {"no argument", L"", false, false, 1},
        {"one file", quoted(L"one.xml"), true, false, 1},
        {"two files", quoted(L"one.xml") + L" " + quoted(L"two.xml"), true, true, 1},
        {"two files and options", quoted(L"one.xml") + L" " + quoted(L"two.xml") + L" " + quoted(L"options.txt"), true,
         true, 0},
        {"seven arguments: the rest is ignored",
         quoted(L"one.xml") + L" " + quoted(L"two.xml") + L" " + quoted(L"options.txt") + L" x4 x5 x6 x7", true, true,
         0},
        {"the options dialog word", L"OPTIONS_DIALOG", false, false, 1},
        {"the word in lower case is a file", L"options_dialog", true, false, 1},
    };
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(dir.path().c_str());
    for (const Case& c : cases) {
        start();
        run(c.arguments);
        EXPECT_EQ(leftTreeView.loaded != 0, c.left) << c.what;
        EXPECT_EQ(rightTreeView.loaded != 0, c.right) << c.what;
        EXPECT_EQ(saveAtExit, c.saveAtExit) << c.what;
        saveAtExit = 1;
        close();
    }
    SetCurrentDirectoryW(previous);
}

TEST_F(CommandLineTest, AMissingFileIsReportedAndTheOtherStillLoads) {
    dir.write(L"two.xml", "<root/>");
    start();
    BoxScript boxes;
    boxes.expectCaption(L"Error");
    run(quoted(L"missing.xml") + L" " + quoted(L"two.xml"));
    EXPECT_EQ(leftTreeView.loaded, 0);
    EXPECT_EQ(rightTreeView.loaded, 1);
}

}  // namespace
