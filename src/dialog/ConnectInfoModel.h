#pragma once

#include <array>
#include <string>
#include <vector>

namespace iqo {

// One column of the connection table: its header text and the key it holds in the section
// "Connection_Info_" + n of the service settings file.
struct TConnectInfoColumn {
    const char* Header;
    const char* Key;
};

inline constexpr std::array<TConnectInfoColumn, 5> kConnectInfoColumns{{
    {"Firebird Server", "Firebird_Server"},
    {"Firebird Client DLL", "Firebird_Client_DLL"},
    {"Firebird Database", "Firebird_Database"},
    {"Firebird User", "Firebird_UserName"},
    {"Firebird Password", "Firebird_Password"},
}};
inline constexpr int kPasswordColumn = 4;

// What the Connection Information dialog edits, whichever form shows it: the number of
// data-centre databases and one row of five cells for each, loaded from and saved to
// "iqoRiveDur.ini" in the settings folder. Rows count from 1; there is always at least one
// row, also for a count of 0 or below, but only rows 1 to the count are saved.
class TConnectInfoModel {
public:
    using TRow = std::array<std::string, kConnectInfoColumns.size()>;
    // The most data-centre databases the dialog edits: a larger count, typed or stored,
    // would make it hold a grid row for each and exhaust the memory.
    static constexpr int kMaxCount = 9999;

    // An empty folder names the bare file, which the INI files look up in the system folder.
    explicit TConnectInfoModel(const std::string& settingsFolder);

    const std::string& FileName() const { return FFileName; }

    int Count() const { return FCount; }
    // The rows follow the count (at most kMaxCount): rows beyond it are dropped with their
    // text, new ones are empty.
    void SetCount(int count);
    int RowCount() const { return static_cast<int>(FRows.size()); }
    const std::string& Cell(int row, int column) const;
    void SetCell(int row, int column, std::string text);

    // Reads the stored count (a stored 0 shows as 1) and the rows up to it; a row whose
    // section is missing stays empty. A missing file loads as count 1 and one empty row.
    void Load();
    // Writes the count, then every key of rows 1 to the count, the password encoded, flushing
    // after each row. The file holds passwords: a file made here gets mode 0600, and an existing
    // one loses the rights of group and others first. A failed write raises "Unable to write to
    // <file>"; what was written before it stays in the file. A password of rows 1 to the count
    // that would not come back unchanged raises EPasswordNotStorable, naming the connection and
    // why, before anything is written.
    void Save() const;

private:
    std::string FFileName;
    int FCount = 1;
    std::vector<TRow> FRows{1};
};

}  // namespace iqo
