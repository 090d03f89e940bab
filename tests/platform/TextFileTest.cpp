#include "platform/TextFile.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

using namespace iqo;

TEST(TextFile, EveryMarkAndLineEndGivesTheSameText) {
    TTempFolder dir;
    const std::string expected = "SELECT 'M\u00FCller'\r\nFROM T\r\n\r\nWHERE 1=1\r\n";
    const std::string lines[] = {"SELECT 'M\u00FCller'", "FROM T", "", "WHERE 1=1"};
    int n = 0;
    for (const std::string eol : {"\r\n", "\r", "\n"}) {
        std::string text;
        for (const auto& l : lines) text += l + eol;
        for (int finalEol = 0; finalEol < 2; ++finalEol) {
            const std::string body = finalEol ? text : text.substr(0, text.size() - eol.size());
            const std::string variants[] = {Utf8ToAnsi(body), "\xEF\xBB\xBF" + body,
                                            "\xFF\xFE" + Utf8ToUtf16LeBytes(body)};
            for (const auto& bytes : variants) {
                const std::string path = dir.File("w" + std::to_string(n++));
                WriteBytes(path, bytes);
                EXPECT_EQ(LoadTextFile(path), expected) << path;
            }
        }
    }
    std::string be = "\xFE\xFF";
    for (char16_t u : Utf8ToUtf16("a\u20AC\nb")) be += static_cast<char>(u >> 8), be += static_cast<char>(u & 0xFF);
    WriteBytes(dir.File("be"), be);
    EXPECT_EQ(LoadTextFile(dir.File("be")), "a\u20AC\r\nb\r\n");
}

TEST(TextFile, EmptyFilesAndNulCharacters) {
    TTempFolder dir;
    WriteBytes(dir.File("empty"), "");
    EXPECT_EQ(LoadTextFile(dir.File("empty")), "");
    WriteBytes(dir.File("bom"), "\xEF\xBB\xBF");
    EXPECT_EQ(LoadTextFile(dir.File("bom")), "");
    WriteBytes(dir.File("nul"), std::string("SELECT 1\nFROM\0 ignored\nrest", 27));
    EXPECT_EQ(LoadTextFile(dir.File("nul")), "SELECT 1\r\nFROM\r\n");
}

TEST(TextFile, AMissingFileFailsWithItsName) {
    TTempFolder dir;
    try {
        LoadTextFile(dir.File("nope"));
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot open file \"" + dir.File("nope") + "\". No such file or directory");
    }
}

TEST(TextFile, FailsWhileAnotherProcessHoldsAWriteLock) {
    TTempFolder dir;
    const std::string path = dir.File("locked_01");
    WriteBytes(path, "SELECT 1");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        // A classic record lock, as another program writing the file would hold it.
        const int fd = open(path.c_str(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        fcntl(fd, F_SETLK, &lock);
        char c = 'x';
        (void)!write(ready[1], &c, 1);
        pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_THROW(LoadTextFile(path), Exception);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_EQ(LoadTextFile(path), "SELECT 1\r\n");
}
