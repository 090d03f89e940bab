#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "FaultSupport.h"
#include "extraction/iqoDataThread.h"
#include "platform/FileOperations.h"
#include "platform/IniFile.h"

using namespace iqo;

// What is sound when the CRM product rewrites a widget definition file while its job runs:
// the stamp is a fresh read, change and atomic replace of the file at the moment of the stamp,
// so every change the other process completed before it survives, with the stamp added to
// it; a reader sees the old or the new file whole, never a mix. A write that lands between the
// stamp's own reading and its rename is overwritten by the stamp's whole file: the last whole
// write wins, as with the private-profile functions, which take no lock across processes.

namespace {

class WidgetFileFault : public ::testing::Test {
protected:
    std::string Widget() const { return FWidgets.File("widget.ini"); }
    std::string Output() const { return FOutputs.File("widget.xml"); }
    std::string Section() const { return ConnectInfo(0, "SQLite", "", 0, FSource->Connection().Database(), "", ""); }
    // The [Widget_Options] lines, with the caption given.
    std::string Options(const std::string& caption, const std::string& more = "") const {
        return "[Widget_Options]\r\nWidget_RemoteXML=1\r\nWidget_AutoRefresh=0\r\nWidget_Caption=" + caption +
               "\r\nWidget_RemoteXMLFile=" + Output() + "\r\n" + more;
    }
    std::string Stamp() const { return TIniFile(Widget()).ReadString("Widget_Options", "Widget_LastRemoteXML", ""); }
    std::vector<TLogEntry> Completed() const {
        return {Info("Creating dataset for Widget file " + Widget()), Direct("Adding connection info Connect_info_0"),
                Direct("Accessing Iqo CRM Data set"),
                Info("Saving XML Data " + Output() + "\r" + SQLiteDescription(FSource->Connection().Database())),
                Success("Remote Iqo Widget " + Widget() + " has been completed")};
    }

    TTempFolder FWidgets;
    TTempFolder FOutputs;
    std::unique_ptr<TSQLiteSourceDatabase> FSource = CustomerSource();
};

// Runs the CRM product's rewrite: another process copies the new text over the widget file,
// in place or through a temporary file and a rename.
void RewriteByAnotherProcess(const std::string& staged, const std::string& widget, bool atomic) {
    const std::string command = atomic ? "cp '" + staged + "' '" + widget + ".crm' && mv '" + widget + ".crm' '" + widget + "'"
                                       : "cp '" + staged + "' '" + widget + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The seam: the other process rewrites the file just before the stamp renames its own over it.
class TRewriteBeforeRename : public TFileOperations {
public:
    TRewriteBeforeRename(std::string staged, std::string widget) : FStaged(std::move(staged)), FWidget(std::move(widget)) {}
    int Rename(const char* from, const char* to) override {
        if (FWidget == to) RewriteByAnotherProcess(FStaged, FWidget, true);
        return TFileOperations::Rename(from, to);
    }

private:
    std::string FStaged, FWidget;
};

}  // namespace

TEST_F(WidgetFileFault, AnotherProcessRewritesTheWidgetDuringTheJob) {
    enum class TWhen { WhileSaving, InsideTheStamp };
    struct Case {
        const char* name;
        TWhen when;
        bool atomic;
        bool crmKept;  // whether the file ends as the CRM's text plus the stamp
    };
    const Case cases[] = {
        {"replaced atomically while the job saves", TWhen::WhileSaving, true, true},
        {"rewritten in place while the job saves", TWhen::WhileSaving, false, true},
        {"replaced between the stamp's reading and its rename", TWhen::InsideTheStamp, true, false},
    };
    const std::string staged = FWidgets.File("crm-version");
    const std::string crmOptions = Options("Revenue", "Widget_Title=Quarterly\r\n");
    WriteBytes(staged, crmOptions + Section());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteWidget(Widget(), Output(), Section(), kCustomerSql);
        const std::string ours = ReadBytes(Widget());
        ASSERT_EQ(ours, Options("Sales") + Section());
        TFaultLog log;
        log.SetHook([&](const TLogEntry& e) {
            if (c.when == TWhen::WhileSaving && e.Message.rfind("Saving XML Data ", 0) == 0)
                RewriteByAnotherProcess(staged, Widget(), c.atomic);
        });
        {
            TRewriteBeforeRename rewrite(staged, Widget());
            std::unique_ptr<TScopedFileOperations> seam;
            if (c.when == TWhen::InsideTheStamp) seam = std::make_unique<TScopedFileOperations>(rewrite);
            TIqoDataThread worker(true);
            worker.ExtractWidgetData(Widget());
        }
        ShowEntries(std::string("widget file ") + c.name, log.Entries());
        EXPECT_EQ(log.Entries(), Completed());
        EXPECT_TRUE(WholeRowset(Output(), kCustomerRow));
        const std::string stampLine = "Widget_LastRemoteXML=" + Stamp() + "\r\n";
        EXPECT_NE(Stamp(), "");
        EXPECT_EQ(ReadBytes(Widget()), c.crmKept ? crmOptions + stampLine + Section() : Options("Sales") + stampLine + Section());
        EXPECT_EQ(FileNames(FWidgets.Path()), (std::vector<std::string>{"crm-version", "widget.ini", "widget.ini_01"}));
    }
}

// While jobs stamp the file again and again, a reader only ever finds a whole file.
TEST_F(WidgetFileFault, AReaderNeverSeesAPartialWidgetFile) {
    WriteWidget(Widget(), Output(), Section(), kCustomerSql);
    std::atomic<bool> done{false};
    int reads = 0, torn = 0;
    std::thread reader([&] {
        while (!done) {
            const std::string text = ReadBytes(Widget());
            ++reads;
            if (text.rfind(Options("Sales"), 0) != 0 || text.size() < Section().size() ||
                text.compare(text.size() - Section().size(), Section().size(), Section()) != 0)
                ++torn;
        }
    });
    TFaultLog log;
    TIqoDataThread worker(true);
    for (int i = 0; i < 20; ++i) worker.ExtractWidgetData(Widget());
    done = true;
    reader.join();
    std::cout << "==== " << reads << " reads beside 20 stamps, " << torn << " of them partial ====" << std::endl;
    EXPECT_EQ(torn, 0);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(log.Entries().back(), Success("Remote Iqo Widget " + Widget() + " has been completed"));
}
