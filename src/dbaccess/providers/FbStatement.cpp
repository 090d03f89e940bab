#include "FbStatement.h"

#include <cstring>

#include "platform/Exception.h"

namespace iqo {

namespace {

constexpr int kInitialColumns = 32;

size_t DataSize(const XSQLVAR& column) {
    const size_t size = static_cast<size_t>(static_cast<unsigned short>(column.sqllen));
    return (column.sqltype & ~1) == SQL_VARYING ? size + 2 : size;
}

// Closes a BLOB on every way out of its reading.
class TBlobHandle {
public:
    explicit TBlobHandle(const TFbClientLibrary& api) : FApi(api) {}
    ~TBlobHandle() {
        if (!FHandle || TFbClientLibrary::ShutDown()) return;
        ISC_STATUS_ARRAY status;
        FApi.isc_close_blob(status, &FHandle);
    }
    TBlobHandle(const TBlobHandle&) = delete;
    TBlobHandle& operator=(const TBlobHandle&) = delete;
    isc_blob_handle* Handle() { return &FHandle; }

private:
    const TFbClientLibrary& FApi;
    isc_blob_handle FHandle = 0;
};

}  // namespace

TFbStatement::TFbStatement(std::shared_ptr<TFbAttachment> attachment)
    : FAttachment(std::move(attachment)), FApi(FAttachment->Api()) {
    ISC_STATUS_ARRAY status;
    FApi.isc_dsql_allocate_statement(status, FAttachment->Handle(), &FHandle);
    FApi.Check(status);
}

TFbStatement::~TFbStatement() {
    if (TFbClientLibrary::ShutDown()) return;
    ISC_STATUS_ARRAY status;
    FApi.isc_dsql_free_statement(status, &FHandle, DSQL_drop);
}

void TFbStatement::AllocateSqlda(int columns) {
    const size_t bytes = XSQLDA_LENGTH(columns);
    FSqlda.assign((bytes + 7) / 8, 0);
    Sqlda()->version = SQLDA_VERSION1;
    Sqlda()->sqln = static_cast<ISC_SHORT>(columns);
}

void TFbStatement::Prepare(TFbTransaction& transaction, const std::string& sql) {
    CloseCursor();
    AllocateSqlda(kInitialColumns);
    ISC_STATUS_ARRAY status;
    // A length of 0 passes the text as a C string, so a text longer than a short still
    // reaches the server whole.
    FApi.isc_dsql_prepare(status, transaction.Handle(), &FHandle, 0, sql.c_str(), SQL_DIALECT_V6, Sqlda());
    FApi.Check(status);
    const int described = Sqlda()->sqld;
    if (described > Sqlda()->sqln) {
        AllocateSqlda(described);
        FApi.isc_dsql_describe(status, &FHandle, SQLDA_VERSION1, Sqlda());
        FApi.Check(status);
    }
    FColumnCount = static_cast<size_t>(described);
    FIsSelect = FColumnCount > 0 && StatementType() != isc_info_sql_stmt_exec_procedure;
    BindBuffers();
}

int TFbStatement::StatementType() {
    static const char kItems[] = {isc_info_sql_stmt_type};
    char answer[16] = {};
    ISC_STATUS_ARRAY status;
    FApi.isc_dsql_sql_info(status, &FHandle, sizeof kItems, kItems, sizeof answer, answer);
    FApi.Check(status);
    if (answer[0] != isc_info_sql_stmt_type) return 0;
    const int length = static_cast<unsigned char>(answer[1]) | (static_cast<unsigned char>(answer[2]) << 8);
    int type = 0;
    for (int i = 0; i < length && i < 4; ++i) type |= static_cast<unsigned char>(answer[3 + i]) << (8 * i);
    return type;
}

void TFbStatement::BindBuffers() {
    std::vector<size_t> offsets(FColumnCount);
    size_t total = 0;
    for (size_t i = 0; i < FColumnCount; ++i) {
        offsets[i] = total;
        total += (DataSize(Column(i)) + 7) / 8 * 8;
    }
    FBuffer.assign(total / 8 + 1, 0);
    FIndicators.assign(FColumnCount, 0);
    auto* base = reinterpret_cast<char*>(FBuffer.data());
    for (size_t i = 0; i < FColumnCount; ++i) {
        XSQLVAR& column = Sqlda()->sqlvar[i];
        column.sqldata = base + offsets[i];
        column.sqlind = &FIndicators[i];
    }
}

void TFbStatement::Execute(TFbTransaction& transaction) {
    CloseCursor();
    FTransaction = transaction.Handle();
    ISC_STATUS_ARRAY status;
    if (FIsSelect || FColumnCount == 0) {
        FApi.isc_dsql_execute(status, FTransaction, &FHandle, SQLDA_VERSION1, nullptr);
        FApi.Check(status);
        FCursorOpen = FIsSelect;
    } else {
        FApi.isc_dsql_execute2(status, FTransaction, &FHandle, SQLDA_VERSION1, nullptr, Sqlda());
        FApi.Check(status);
        FSingletonPending = true;
    }
}

bool TFbStatement::Fetch() {
    if (FSingletonPending) {
        FSingletonPending = false;
        return true;
    }
    if (!FCursorOpen) return false;
    ISC_STATUS_ARRAY status;
    const ISC_STATUS result = FApi.isc_dsql_fetch(status, &FHandle, SQLDA_VERSION1, Sqlda());
    if (result == 100) return false;
    FApi.Check(status);
    return true;
}

void TFbStatement::CloseCursor() noexcept {
    FSingletonPending = false;
    if (!FCursorOpen) return;
    FCursorOpen = false;
    ISC_STATUS_ARRAY status;
    FApi.isc_dsql_free_statement(status, &FHandle, DSQL_close);
}

int64_t TFbStatement::Integer(size_t index) const {
    const XSQLVAR& column = Column(index);
    switch (column.sqltype & ~1) {
        case SQL_SHORT: {
            int16_t v;
            std::memcpy(&v, column.sqldata, sizeof v);
            return v;
        }
        case SQL_LONG: {
            int32_t v;
            std::memcpy(&v, column.sqldata, sizeof v);
            return v;
        }
        default: {
            int64_t v;
            std::memcpy(&v, column.sqldata, sizeof v);
            return v;
        }
    }
}

std::string_view TFbStatement::Text(size_t index) const {
    const XSQLVAR& column = Column(index);
    if ((column.sqltype & ~1) == SQL_VARYING) {
        uint16_t length;
        std::memcpy(&length, column.sqldata, sizeof length);
        return {column.sqldata + 2, length};
    }
    return {column.sqldata, static_cast<unsigned short>(column.sqllen)};
}

void TFbStatement::ReadBlob(size_t index, std::string& value) {
    value.clear();
    ISC_QUAD id;
    std::memcpy(&id, Column(index).sqldata, sizeof id);
    TBlobHandle blob(FApi);
    ISC_STATUS_ARRAY status;
    FApi.isc_open_blob2(status, FAttachment->Handle(), FTransaction, blob.Handle(), &id, 0, nullptr);
    FApi.Check(status);
    if (FSegment.empty()) FSegment.resize(UINT16_MAX);
    for (;;) {
        unsigned short length = 0;
        const ISC_STATUS result = FApi.isc_get_segment(status, blob.Handle(), &length,
                                                       static_cast<unsigned short>(FSegment.size()), FSegment.data());
        if (result == isc_segstr_eof) break;
        if (result != 0 && result != isc_segment) FApi.Check(status);
        value.append(FSegment.data(), length);
    }
}

}  // namespace iqo
