#include "ConnectInfoModel.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "dialog/ConnectInfoPassword.h"
#include "platform/IniFile.h"
#include "platform/Exception.h"
#include "service/IQOCommon.h"

namespace iqo {

namespace {

constexpr const char* kFileName = "iqoRiveDur.ini";
constexpr const char* kSettings = "Settings";
constexpr const char* kCountKey = "Connection_Number";
constexpr const char* kUserKey = "Firebird_UserName";
constexpr const char* kDefaultUser = "SYSDBA";
// The order in which a row's keys are written.
constexpr std::array<int, kConnectInfoColumns.size()> kWriteOrder{1, 0, 2, 3, 4};

std::string SectionName(int n) { return "Connection_Info_" + std::to_string(n); }

// The file holds passwords: one that others may read loses those rights before anything new
// is written into it (a rewrite keeps the file's mode).
void MakePrivate(const std::string& fileName) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        if (errno == ENOENT) return;
        throw Exception("Unable to write to " + fileName);
    }
    if ((st.st_mode & 077) == 0) return;
    if (::chmod(fileName.c_str(), st.st_mode & 07700) != 0) throw Exception("Unable to write to " + fileName);
}

}  // namespace

TConnectInfoModel::TConnectInfoModel(const std::string& settingsFolder)
    : FFileName(AdjustPathDelimiter(settingsFolder, 0) + kFileName) {}

void TConnectInfoModel::SetCount(int count) {
    FCount = std::min(count, kMaxCount);
    FRows.resize(static_cast<size_t>(std::max(FCount, 1)));
}

const std::string& TConnectInfoModel::Cell(int row, int column) const {
    return FRows.at(static_cast<size_t>(row - 1)).at(static_cast<size_t>(column));
}

void TConnectInfoModel::SetCell(int row, int column, std::string text) {
    FRows.at(static_cast<size_t>(row - 1)).at(static_cast<size_t>(column)) = std::move(text);
}

void TConnectInfoModel::Load() {
    const TIniFile ini(FFileName);
    int count = FCount;
    if (ini.ValueExists(kSettings, kCountKey)) count = ini.ReadInteger(kSettings, kCountKey, 1);
    SetCount(count == 0 ? 1 : count);
    for (int n = 1; n <= FCount; ++n) {
        const std::string section = SectionName(n);
        if (!ini.SectionExists(section)) continue;
        for (int column = 0; column < static_cast<int>(kConnectInfoColumns.size()); ++column) {
            const std::string_view key = kConnectInfoColumns[column].Key;
            std::string value = ini.ReadString(section, key, key == kUserKey ? kDefaultUser : "");
            SetCell(n, column, column == kPasswordColumn ? ScrambleText(value) : std::move(value));
        }
    }
}

void TConnectInfoModel::Save() const {
    for (int n = 1; n <= FCount; ++n)
        if (const auto problem = PasswordStorageProblem(Cell(n, kPasswordColumn)))
            throw EPasswordNotStorable("The password of connection " + std::to_string(n) + " (Firebird Server \"" +
                                       Cell(n, 0) + "\", Firebird Database \"" + Cell(n, 2) +
                                       "\") cannot be stored: " + *problem + ". Nothing was saved.");
    MakePrivate(FFileName);
    TIniFile ini(FFileName);
    ini.SetNewFileMode(0600);
    ini.WriteInteger(kSettings, kCountKey, FCount);
    for (int n = 1; n <= FCount; ++n) {
        const std::string section = SectionName(n);
        for (const int column : kWriteOrder) {
            const std::string& text = Cell(n, column);
            ini.WriteString(section, kConnectInfoColumns[column].Key,
                            column == kPasswordColumn ? ScrambleText(text) : text);
        }
        ini.UpdateFile();
    }
}

}  // namespace iqo
