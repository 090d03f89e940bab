#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FbAttachment.h"

namespace iqo {

// A DSQL statement of an attachment: prepared once, then run any number of times, each run in
// a transaction of the caller's. Its output columns are described into buffers of its own,
// which Fetch fills with one row at a time.
class TFbStatement {
public:
    explicit TFbStatement(std::shared_ptr<TFbAttachment> attachment);
    ~TFbStatement();
    TFbStatement(const TFbStatement&) = delete;
    TFbStatement& operator=(const TFbStatement&) = delete;

    // Prepares the text (SQL dialect 3) and describes its output columns.
    void Prepare(TFbTransaction& transaction, const std::string& sql);

    // The output columns: none for a statement that returns no rows.
    size_t ColumnCount() const { return FColumnCount; }
    const XSQLVAR& Column(size_t index) const { return Sqlda()->sqlvar[index]; }

    // Runs the statement. A select opens a cursor; any other statement with output columns
    // (an executed procedure) yields its one row. The transaction must last until the rows
    // have been fetched.
    void Execute(TFbTransaction& transaction);
    // Moves to the next row: false at the end.
    bool Fetch();
    // Closes the cursor of the last run, if open. Its errors are left to the end of the
    // transaction, which reports what matters.
    void CloseCursor() noexcept;

    // The current row's values. Integer serves SQL_SHORT, SQL_LONG and SQL_INT64 (unscaled);
    // Text gives the whole buffer of SQL_TEXT and the value of SQL_VARYING.
    bool IsNull(size_t index) const { return (Column(index).sqltype & 1) && FIndicators[index] < 0; }
    const char* Data(size_t index) const { return Column(index).sqldata; }
    int64_t Integer(size_t index) const;
    std::string_view Text(size_t index) const;
    // The whole content of the BLOB column, in place of what the buffer held.
    void ReadBlob(size_t index, std::string& value);

private:
    XSQLDA* Sqlda() { return reinterpret_cast<XSQLDA*>(FSqlda.data()); }
    const XSQLDA* Sqlda() const { return reinterpret_cast<const XSQLDA*>(FSqlda.data()); }
    void AllocateSqlda(int columns);
    void BindBuffers();
    int StatementType();

    std::shared_ptr<TFbAttachment> FAttachment;
    const TFbClientLibrary& FApi;
    isc_stmt_handle FHandle = 0;
    std::vector<uint64_t> FSqlda;  // an XSQLDA, 8-byte aligned
    size_t FColumnCount = 0;
    bool FIsSelect = false;
    std::vector<uint64_t> FBuffer;  // the columns' data areas
    std::vector<short> FIndicators;
    isc_tr_handle* FTransaction = nullptr;
    bool FCursorOpen = false;
    bool FSingletonPending = false;
    std::vector<char> FSegment;
};

}  // namespace iqo
