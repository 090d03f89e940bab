#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

#include "FaultSupport.h"
#include "extraction/RemoteDataFile.h"
#include "extraction/iqoDataThread.h"
#include "platform/Exception.h"
#include "platform/FileOperations.h"
#include "platform/FileUtils.h"
#include "platform/IniFile.h"

using namespace iqo;

namespace {

// Enough rows that the document outgrows the room the faults leave.
const std::string kManyRowsSql =
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) SELECT i FROM n";
constexpr rlim_t kFileSizeLimit = 8192;

// A tmpfs of 256 KiB mounted over a folder, filled up but for one page; unmounted at the end.
class TFullFileSystem {
public:
    explicit TFullFileSystem(const std::string& folder) : FFolder(folder) {
        std::filesystem::create_directories(folder);
        if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=256k") != 0)
            throw Exception("cannot mount a tmpfs over " + folder + " (the tests run as root): " + std::strerror(errno));
        TFileHandle filler(::open((folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        const std::string block(4096, 'f');
        while (::write(filler.Get(), block.data(), block.size()) > 0) {
        }
    }
    ~TFullFileSystem() { ::umount2(FFolder.c_str(), MNT_DETACH); }
    // Gives back one page, for the remote data file of the last run.
    void FreePage() {
        const std::string filler = FFolder + "/filler";
        ::truncate(filler.c_str(), FileSize(filler) - 4096);
    }

private:
    std::string FFolder;
};

// The file-size limit of the process for its lifetime.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &FPrevious);
        const rlimit limit{bytes, FPrevious.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &FPrevious); }

private:
    rlimit FPrevious{};
};

// The entries of a job, passed from a child process: fields and entries end in NULs.
std::string Serialized(const std::vector<TLogEntry>& entries) {
    std::string text;
    for (const TLogEntry& e : entries)
        text += std::to_string(e.Type) + '\0' + std::to_string(e.Category) + '\0' + std::to_string(e.ID) + '\0' + e.Message + '\0';
    return text;
}
std::vector<TLogEntry> Deserialized(const std::string& text) {
    std::vector<std::string> fields;
    for (size_t at = 0, end; (end = text.find('\0', at)) != std::string::npos; at = end + 1) fields.push_back(text.substr(at, end - at));
    std::vector<TLogEntry> entries;
    for (size_t i = 0; i + 3 < fields.size(); i += 4)
        entries.push_back({std::stoi(fields[i]), std::stoi(fields[i + 1]), std::stoi(fields[i + 2]), fields[i + 3]});
    return entries;
}

class OutputFault : public ::testing::Test {
protected:
    std::string Widget() const { return FWidgets.File("widget.ini"); }
    std::string Output() const { return FOutputs.Path() + "/out/widget.xml"; }
    std::string Description() const { return SQLiteDescription(FSource->Connection().Database()); }
    void WriteTheWidget(const std::string& sql) {
        WriteWidget(Widget(), Output(), ConnectInfo(0, "SQLite", "", 0, FSource->Connection().Database(), "", ""), sql);
    }
    std::vector<TLogEntry> JobEntries(const std::string& middle, const TLogEntry& last) const {
        return {Info("Creating dataset for Widget file " + Widget()), Direct("Adding connection info Connect_info_0"),
                Direct("Accessing Iqo CRM Data set"), Info("Saving XML Data " + Output() + "\r" + Description()),
                Error("ERROR: " + middle + "\r" + Description()), last};
    }
    bool Stamped() const { return TIniFile(Widget()).ValueExists("Widget_Options", "Widget_LastRemoteXML"); }

    TTempFolder FWidgets;
    TTempFolder FOutputs;
    std::unique_ptr<TSQLiteSourceDatabase> FSource = CustomerSource();
};

// The job in a child process under a file-size limit from the moment it saves, with SIGXFSZ
// at its default: the limit must fail the save, not end the process.
std::vector<TLogEntry> RunInChildUnderFileSizeLimit(const std::string& widget, const std::string& entriesFile) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        std::unique_ptr<TFileSizeLimit> limit;
        {
            TFaultLog log;
            log.SetHook([&](const TLogEntry& e) {
                if (e.Message.rfind("Saving XML Data ", 0) == 0) limit = std::make_unique<TFileSizeLimit>(kFileSizeLimit);
                else limit.reset();
            });
            TIqoDataThread worker(true);
            worker.ExtractWidgetData(widget);
            limit.reset();
            WriteBytes(entriesFile, Serialized(log.Entries()));
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the job's process ended " << (WIFSIGNALED(status) ? "by signal " + std::string(strsignal(WTERMSIG(status))) : "with an error");
    return Deserialized(ReadBytes(entriesFile));
}

}  // namespace

// The save fails with L11 naming the file; the job stamps the widget as after any failed run;
// the output path, cleared before the run, holds no partial or temporary file.
TEST_F(OutputFault, TheSaveRunsOutOfRoom) {
    struct Case {
        const char* name;
        std::string error;
    };
    const Case cases[] = {
        {"file-size limit", "Cannot write file \"" + Output() + "\". File too large"},
        {"full file system", "Cannot write file \"" + Output() + "\". No space left on device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteTheWidget(kManyRowsSql);
        std::vector<TLogEntry> entries;
        std::unique_ptr<TFullFileSystem> full;
        if (std::string(c.name) == "file-size limit") {
            std::filesystem::create_directories(FOutputs.Path() + "/out");
            WriteBytes(Output(), "the document of the last run");
            entries = RunInChildUnderFileSizeLimit(Widget(), FOutputs.File("entries"));
        } else {
            ASSERT_NO_THROW(full = std::make_unique<TFullFileSystem>(FOutputs.Path() + "/out"));
            full->FreePage();
            WriteBytes(Output(), "the document of the last run");
            TFaultLog log;
            TIqoDataThread worker(true);
            worker.ExtractWidgetData(Widget());
            entries = log.Entries();
        }
        ShowEntries(std::string("output ") + c.name + " during the save", entries);
        EXPECT_EQ(entries, JobEntries(c.error, Success("Remote Iqo Widget " + Widget() + " has been completed")));
        std::vector<std::string> left = FileNames(FOutputs.Path() + "/out");
        left.erase(std::remove(left.begin(), left.end(), "filler"), left.end());
        EXPECT_EQ(left, std::vector<std::string>{}) << "a partial or temporary file was left";
        EXPECT_TRUE(Stamped());
        EXPECT_EQ(TIniFile(Widget()).ReadString("Widget_Options", "Widget_Caption", ""), "Sales");
        full.reset();
        std::filesystem::remove_all(FOutputs.Path() + "/out");
    }
}

// The writer itself never harms the file it replaces: under either fault the last run's
// document stays as it was, and no temporary file remains.
TEST_F(OutputFault, TheWriterKeepsTheOldFile) {
    for (const bool limitFileSize : {true, false}) {
        SCOPED_TRACE(limitFileSize ? "file-size limit" : "full file system");
        std::unique_ptr<TFullFileSystem> full;
        if (limitFileSize) {
            std::filesystem::create_directories(FOutputs.Path() + "/out");
        } else {
            ASSERT_NO_THROW(full = std::make_unique<TFullFileSystem>(FOutputs.Path() + "/out"));
            full->FreePage();
        }
        const std::string old = "<xml>the document of the last run</xml>";
        WriteBytes(Output(), old);
        auto query = FSource->Query(kManyRowsSql);
        std::string error;
        {
            std::signal(SIGXFSZ, SIG_IGN);
            std::unique_ptr<TFileSizeLimit> limit;
            if (limitFileSize) limit = std::make_unique<TFileSizeLimit>(kFileSizeLimit);
            try {
                SaveRemoteDataFile(*query, Output());
            } catch (const Exception& e) {
                error = e.Message();
            }
        }
        std::cout << "==== the writer's error: " << error << " ====" << std::endl;
        EXPECT_EQ(error, "Cannot write file \"" + Output() + "\". " + (limitFileSize ? "File too large" : "No space left on device"));
        EXPECT_EQ(ReadBytes(Output()), old);
        std::vector<std::string> left = FileNames(FOutputs.Path() + "/out");
        left.erase(std::remove(left.begin(), left.end(), "filler"), left.end());
        EXPECT_EQ(left, std::vector<std::string>{"widget.xml"});
        full.reset();
        std::filesystem::remove_all(FOutputs.Path() + "/out");
    }
}

namespace {

// Sets the immutable attribute of a file or folder for its lifetime: not even root may then
// replace the file, or create a file in the folder.
class TImmutable {
public:
    explicit TImmutable(const std::string& path) : FHandle(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        int flags = 0;
        if (!FHandle.Valid() || ::ioctl(FHandle.Get(), FS_IOC_GETFLAGS, &flags) != 0) Fail(path);
        flags |= FS_IMMUTABLE_FL;
        if (::ioctl(FHandle.Get(), FS_IOC_SETFLAGS, &flags) != 0) Fail(path);
    }
    ~TImmutable() {
        int flags = 0;
        ::ioctl(FHandle.Get(), FS_IOC_GETFLAGS, &flags);
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(FHandle.Get(), FS_IOC_SETFLAGS, &flags);
    }

private:
    [[noreturn]] static void Fail(const std::string& path) {
        throw Exception("cannot make " + path + " immutable: " + std::strerror(errno));
    }
    TFileHandle FHandle;
};

// The seam: every rename onto one file fails, as on a read-only file system.
class TReadOnlyTarget : public TFileOperations {
public:
    explicit TReadOnlyTarget(std::string target) : FTarget(std::move(target)) {}
    int Rename(const char* from, const char* to) override {
        if (FTarget != to) return TFileOperations::Rename(from, to);
        errno = EROFS;
        return -1;
    }

private:
    std::string FTarget;
};

}  // namespace

// L13 instead of L12; the remote data file is written all the same, the widget file keeps
// every byte and stays due, so the next run extracts it again.
TEST_F(OutputFault, TheWidgetFileCannotBeWritten) {
    const char* const cases[] = {"seam: read-only file system", "immutable file", "immutable folder"};
    for (const std::string c : cases) {
        SCOPED_TRACE(c);
        WriteTheWidget(kCustomerSql);
        const std::string before = ReadBytes(Widget());
        std::filesystem::remove_all(FOutputs.Path() + "/out");
        TFaultLog log;
        {
            TReadOnlyTarget readOnly(Widget());
            std::unique_ptr<TScopedFileOperations> seam;
            std::unique_ptr<TImmutable> immutable;
            if (c == cases[0]) {
                seam = std::make_unique<TScopedFileOperations>(readOnly);
            } else {
                ASSERT_NO_THROW(immutable = std::make_unique<TImmutable>(c == cases[1] ? Widget() : FWidgets.Path()));
            }
            TIqoDataThread worker(true);
            worker.ExtractWidgetData(Widget());
        }
        ShowEntries("widget file not writable (" + c + ")", log.Entries());
        const std::vector<TLogEntry> expected = {
            Info("Creating dataset for Widget file " + Widget()), Direct("Adding connection info Connect_info_0"),
            Direct("Accessing Iqo CRM Data set"), Info("Saving XML Data " + Output() + "\r" + Description()),
            Error("ERROR: Unable to write to " + Widget())};
        EXPECT_EQ(log.Entries(), expected);
        EXPECT_TRUE(WholeRowset(Output(), kCustomerRow));
        EXPECT_EQ(ReadBytes(Widget()), before);
        EXPECT_EQ(FileNames(FWidgets.Path()), (std::vector<std::string>{"widget.ini", "widget.ini_01"}));

        log.Clear();
        TIqoDataThread worker(true);
        worker.ExtractWidgetData(Widget());
        EXPECT_EQ(log.Entries().back(), Success("Remote Iqo Widget " + Widget() + " has been completed")) << "not due again";
        EXPECT_TRUE(Stamped());
    }
}
