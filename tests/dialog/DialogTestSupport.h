#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/IniFile.h"

// Sets an environment variable (or removes it, for no value) for the lifetime of the object.
class TScopedEnvironment {
public:
    TScopedEnvironment(const char* name, const char* value) : FName(name) {
        if (const char* old = std::getenv(name)) FOld = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~TScopedEnvironment() {
        if (FOld)
            ::setenv(FName.c_str(), FOld->c_str(), 1);
        else
            ::unsetenv(FName.c_str());
    }
    TScopedEnvironment(const TScopedEnvironment&) = delete;
    TScopedEnvironment& operator=(const TScopedEnvironment&) = delete;

private:
    std::string FName;
    std::optional<std::string> FOld;
};

// A settings file of three connections, the password of each stored encoded ("pw1" and so on).
inline const std::string kThreeConnections =
    "[Settings]\r\nConnection_Number=3\r\n"
    "[Connection_Info_1]\r\nFirebird_Server=srv1\r\nFirebird_Client_DLL=/opt/fb1\r\nFirebird_Database=/db/one.fdb\r\n"
    "Firebird_UserName=USER1\r\nFirebird_Password=\x8F\x88\xCE\r\n"
    "[Connection_Info_2]\r\nFirebird_Server=srv2\r\nFirebird_Client_DLL=/opt/fb2\r\nFirebird_Database=/db/two.fdb\r\n"
    "Firebird_UserName=USER2\r\nFirebird_Password=\x8F\x88\xCD\r\n"
    "[Connection_Info_3]\r\nFirebird_Server=srv3\r\nFirebird_Client_DLL=/opt/fb3\r\nFirebird_Database=/db/three.fdb\r\n"
    "Firebird_UserName=USER3\r\nFirebird_Password=\x8F\x88\xCC\r\n";

// A test with a fresh settings folder.
class TSettingsFolderTest : public ::testing::Test {
protected:
    std::string IniPath() const { return FFolder.File("iqoRiveDur.ini"); }
    iqo::TIniFile Ini() const { return iqo::TIniFile(IniPath()); }

    TTempFolder FFolder;
};
