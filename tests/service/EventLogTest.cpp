#include "platform/EventLog.h"

#include <gtest/gtest.h>

#include "FailingFileOperations.h"
#include "ServiceTestSupport.h"
#include "platform/Exception.h"

using namespace iqo;

TEST(EventLog, PlainForm) {
    struct Case {
        int type;
        int category;
        int id;
        std::string message;
        std::string expected;
    };
    const Case cases[] = {
        {EVENTLOG_SUCCESS, 0, 1, "Remote Iqo Widget w has been completed", "success 0 1: Remote Iqo Widget w has been completed"},
        {EVENTLOG_ERROR_TYPE, 2, 0, "ERROR: x\r\rConnection type 0 \rProvider: P", "error 2 0: ERROR: x |  | Connection type 0  | Provider: P"},
        {EVENTLOG_WARNING_TYPE, 0, 0, "a\nb\r\nc", "warning 0 0: a | b |  | c"},
        {EVENTLOG_INFORMATION_TYPE, 0, 1, "", "information 0 1: "},
        {3, 7, 9, "odd", "3 7 9: odd"},
    };
    for (const auto& c : cases) EXPECT_EQ(PlainLogEntry(c.type, c.category, c.id, c.message), c.expected) << c.message;
}

TEST(EventLog, WithoutAJournalEachEntryIsOneLineOnTheErrorStream) {
    TTempFolder dir;
    TLogFile stream(dir);
    const TEventLog log(dir.File("no-journal-socket"), stream.Fd());
    log.Report(EVENTLOG_INFORMATION_TYPE, 0, 1, "Iqo Vova Duvaza (Widgets) started in /opt/x/");
    log.Report(EVENTLOG_ERROR_TYPE, 2, 0, "Error: During Vova Duvaza check process a\nb");
    EXPECT_EQ(stream.Lines(), (std::vector<std::string>{
                                  "iqoRiveDur: information 0 1: Iqo Vova Duvaza (Widgets) started in /opt/x/",
                                  "iqoRiveDur: error 2 0: Error: During Vova Duvaza check process a | b",
                              }));
}

// A path that exists but is no socket is no journal either.
TEST(EventLog, AFileInPlaceOfTheSocketIsNoJournal) {
    TTempFolder dir;
    TLogFile stream(dir);
    WriteBytes(dir.File("socket"), "");
    TEventLog(dir.File("socket"), stream.Fd()).Report(EVENTLOG_SUCCESS, 0, 1, "done");
    EXPECT_EQ(stream.Lines(), std::vector<std::string>{"iqoRiveDur: success 0 1: done"});
}

TEST(EventLog, AFailedWriteRaises) {
    TTempFolder dir;
    EXPECT_THROW(TEventLog(dir.File("none"), -1).Report(EVENTLOG_INFORMATION_TYPE, 0, 1, "lost"), Exception);

    TLogFile stream(dir);
    TFailingFileOperations failing(TFailingFileOperations::TCall::Write, ENOSPC);
    TScopedFileOperations scope(failing);
    try {
        TEventLog(dir.File("none"), stream.Fd()).Report(EVENTLOG_INFORMATION_TYPE, 0, 1, "lost");
        FAIL() << "no error raised";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Event log entry not written: No space left on device");
    }
}
