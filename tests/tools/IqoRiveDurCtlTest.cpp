#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "SourceDatabases.h"
#include "platform/TextUtils.h"
#include "tools/ConsoleLogTarget.h"

using namespace iqo;

namespace {

struct TRun {
    int Status = -1;
    std::vector<std::string> Lines;
};

TRun Ctl(const std::string& arguments) {
    TRun run;
    const std::string command = std::string(IQO_CTL_PROGRAM) + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    std::string out;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    const int status = pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) run.Lines.push_back(line);
    return run;
}

}  // namespace

TEST(JsonEscape, Cases) {
    struct Case {
        std::string text, escaped;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"a\"b\\c", "a\\\"b\\\\c"},
        {"line\rnext\nlast\tend", "line\\rnext\\nlast\\tend"},
        {std::string("\x01\x1f", 2), "\\u0001\\u001f"},
        {"M\u00FCller \u20AC", "M\u00FCller \u20AC"},
        {"bad\xFF", "bad\uFFFD"},
    };
    for (const auto& c : cases) EXPECT_EQ(JsonEscape(c.text), c.escaped) << c.text;
}

TEST(IqoRiveDurCtl, ExtractWritesTheJobsEntriesAsJson) {
    TTempFolder dir;
    TSQLiteSourceDatabase crm({"CREATE TABLE t (id INTEGER)", "INSERT INTO t VALUES (1)"});
    const std::string widget = dir.File("w.ini");
    WriteBytes(widget, "[Widget_Options]\r\nWidget_RemoteXMLFile=" + dir.File("w.xml") +
                           "\r\n[Connect_Info_0]\r\nProvider=SQLite\r\nDatabase=" + crm.Connection().Database() + "\r\n");
    WriteBytes(widget + "_01", "SELECT id FROM t");
    const std::string described =
        "\\rConnection type 0 \\rProvider: SQLite\\rServer: \\rDatabase: " + crm.Connection().Database() + "\\rUserName: ";
    const TRun ok = Ctl("extract --json " + widget);
    EXPECT_EQ(ok.Status, 0);
    EXPECT_EQ(ok.Lines, (std::vector<std::string>{
                            R"({"type":4,"category":0,"id":1,"message":"Creating dataset for Widget file )" + widget + "\"}",
                            R"({"type":4,"category":2,"id":0,"message":"Adding connection info Connect_info_0"})",
                            R"({"type":4,"category":2,"id":0,"message":"Accessing Iqo CRM Data set"})",
                            R"({"type":4,"category":0,"id":1,"message":"Saving XML Data )" + dir.File("w.xml") + described + "\"}",
                            R"({"type":0,"category":0,"id":1,"message":"Remote Iqo Widget )" + widget + " has been completed\"}",
                        }));
    EXPECT_TRUE(FileExistsForTest(dir.File("w.xml")));

    // The same widget with a query that fails, the option after the file.
    WriteBytes(widget + "_01", "SELECT nope FROM t");
    WriteBytes(widget, ReplaceAll(ReadBytes(widget), "[Widget_Options]\r\n", "[Widget_Options]\r\nWidget_AutoRefresh=0\r\n"));
    const TRun failed = Ctl("extract " + widget + " --json");
    EXPECT_EQ(failed.Status, 0);
    ASSERT_EQ(failed.Lines.size(), 5u);
    EXPECT_EQ(failed.Lines[3], R"({"type":1,"category":0,"id":1,"message":"ERROR: no such column: nope)" + described + "\"}");
    EXPECT_EQ(failed.Lines[4], R"({"type":0,"category":0,"id":1,"message":"Remote Iqo Widget )" + widget + " has been completed\"}");

    // Plain form: CR shown as " | ".
    const TRun plain = Ctl("extract " + widget);
    ASSERT_EQ(plain.Lines.size(), 5u);
    EXPECT_EQ(plain.Lines[3].rfind("error 0 1: ERROR: no such column: nope | Connection type 0  | Provider: SQLite", 0), 0u)
        << plain.Lines[3];
}

TEST(IqoRiveDurCtl, UsageErrorsExitWithTwo) {
    for (const char* arguments : {"", "bogus x", "extract", "extract a b", "extract --nope a", "cycle /etc/passwd"})
        EXPECT_EQ(Ctl(arguments).Status, 2) << arguments;
    const TRun missing = Ctl("extract /nonexistent/w.ini");
    EXPECT_EQ(missing.Status, 0);
    EXPECT_EQ(missing.Lines, std::vector<std::string>{"information 0 1: Iqo Widget file /nonexistent/w.ini does not exist"});
}
