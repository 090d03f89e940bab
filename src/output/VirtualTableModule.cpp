#include "VirtualTableModule.h"

#include <algorithm>
#include <optional>

#include "output/SQLiteError.h"
#include "output/VirtualDeclaration.h"
#include "output/VirtualNames.h"
#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {

void ReadEngineValue(sqlite3_value* value, TVirtualValue& out) {
    out.StrValue.clear();
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
            out.ValueType = TVirtualType::vrInteger;
            out.IntValue = sqlite3_value_int64(value);
            break;
        case SQLITE_FLOAT:
            out.ValueType = TVirtualType::vrFloat;
            out.FloatValue = sqlite3_value_double(value);
            break;
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
            out.ValueType = TVirtualType::vrString;
            out.StrValue.assign(text ? text : "", static_cast<size_t>(sqlite3_value_bytes(value)));
            break;
        }
        case SQLITE_BLOB: {
            const auto* blob = static_cast<const char*>(sqlite3_value_blob(value));
            const auto size = static_cast<size_t>(sqlite3_value_bytes(value));
            out.ValueType = size > 0 ? TVirtualType::vrBlob : TVirtualType::vrNull;
            if (size > 0) out.StrValue.assign(blob, size);
            break;
        }
        default: out.ValueType = TVirtualType::vrNull; break;
    }
}

// The filter values of one call of the engine.
class TEngineValues final : public TVirtualValueSource {
public:
    TEngineValues(int argc, sqlite3_value** argv) : FArgc(argc), FArgv(argv) {}
    void Read(int argIndex, TVirtualValue& value) const override {
        if (argIndex < 1 || argIndex > FArgc) {
            value.ValueType = TVirtualType::vrNull;
            return;
        }
        ReadEngineValue(FArgv[argIndex - 1], value);
    }

private:
    int FArgc;
    sqlite3_value** FArgv;
};

std::optional<TVirtualOperation> OperationOf(unsigned char op) {
    switch (op) {
        case SQLITE_INDEX_CONSTRAINT_EQ: return TVirtualOperation::Equal;
        case SQLITE_INDEX_CONSTRAINT_GT: return TVirtualOperation::Greater;
        case SQLITE_INDEX_CONSTRAINT_LE: return TVirtualOperation::LessOrEqual;
        case SQLITE_INDEX_CONSTRAINT_LT: return TVirtualOperation::Less;
        case SQLITE_INDEX_CONSTRAINT_GE: return TVirtualOperation::GreaterOrEqual;
        case SQLITE_INDEX_CONSTRAINT_NE: return TVirtualOperation::NotEqual;
        case SQLITE_INDEX_CONSTRAINT_ISNOTNULL: return TVirtualOperation::IsNotNull;
        case SQLITE_INDEX_CONSTRAINT_ISNULL: return TVirtualOperation::IsNull;
        default: return std::nullopt;
    }
}

TVirtualCollationType CollationOf(std::string_view name) {
    if (SameText(name, "BINARY")) return TVirtualCollationType::vcBinary;
    if (SameText(name, "NOCASE")) return TVirtualCollationType::vcNocase;
    if (SameText(name, "RTRIM")) return TVirtualCollationType::vcRTrim;
    return TVirtualCollationType::vcCustom;
}

bool IsSimpleCompare(TFieldType t) {
    using F = TFieldType;
    return IsTextType(t) || IsIntegerType(t) || t == F::Single || t == F::Double || t == F::Date || t == F::Time ||
           t == F::DateTime || t == F::Memo || t == F::WideMemo;
}

bool IsOrdering(TVirtualOperation op) {
    return static_cast<int>(op) >= 1 && static_cast<int>(op) <= 5;
}

TRowId RowIdOf(sqlite3_int64 id) {
    if (id < 0 || id >= static_cast<sqlite3_int64>(kNoRow)) throw Exception("Record not found");
    return static_cast<TRowId>(id);
}

std::string QualifiedNameOf(const std::string& schema, const std::string& table) {
    return schema.empty() ? table : schema + "." + table;
}

std::string SchemaOf(std::string_view schemaName) {
    return schemaName.empty() || SameText(schemaName, "main") ? std::string() : NormalizeName(schemaName);
}

void SetTableError(sqlite3_vtab* table, const char* message) {
    sqlite3_free(table->zErrMsg);
    table->zErrMsg = sqlite3_mprintf("%s", message);
}

// Runs a callback's work: no exception crosses into the engine, each becomes its error.
template <class Work>
int Guarded(sqlite3_vtab* table, Work&& work) {
    try {
        work();
        return SQLITE_OK;
    } catch (const ESQLiteError& e) {
        SetTableError(table, e.what());
        return e.Code();
    } catch (const std::exception& e) {
        SetTableError(table, e.what());
        return SQLITE_ERROR;
    } catch (...) {
        SetTableError(table, "Unknown error");
        return SQLITE_ERROR;
    }
}

// The engine's table object: created with the table's declaration, freed when the engine
// disconnects or drops the table. It is the engine's, so that closing the connection after
// the module is gone touches nothing of the module's.
struct TEngineTable : sqlite3_vtab {
    TSQLiteVirtualTable* Owner = nullptr;
};

// Create and connect: the engine passes the module, database and table names.
int CreateTable(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** result, char** error) {
    try {
        auto& module = *static_cast<TSQLiteModule*>(aux);
        if (argc < 3) return SQLITE_ERROR;
        TSQLiteVirtualTable* table = module.FindTable(SchemaOf(argv[1]), argv[2]);
        if (!table) return SQLITE_ERROR;
        table->Declare(db);
        auto engineTable = std::make_unique<TEngineTable>();
        engineTable->Owner = table;
        *result = engineTable.release();
        return SQLITE_OK;
    } catch (const ESQLiteError& e) {
        *error = sqlite3_mprintf("%s", e.what());
        return e.Code();
    } catch (const std::exception& e) {
        *error = sqlite3_mprintf("%s", e.what());
        return SQLITE_ERROR;
    } catch (...) {
        *error = sqlite3_mprintf("%s", "Unknown error");
        return SQLITE_ERROR;
    }
}

int BestIndex(sqlite3_vtab* table, sqlite3_index_info* info) {
    return Guarded(table, [&] { TSQLiteVirtualTable::Of(table).BestIndex(info); });
}

// Frees the engine's table object only: the registration stays.
int Disconnect(sqlite3_vtab* table) {
    const std::unique_ptr<TEngineTable> owned(static_cast<TEngineTable*>(table));
    return SQLITE_OK;
}

int Destroy(sqlite3_vtab* table) {
    const int rc = Guarded(table, [&] { TSQLiteVirtualTable::Of(table).Destroyed(); });
    if (rc == SQLITE_OK) Disconnect(table);
    return rc;
}

int Open(sqlite3_vtab* table, sqlite3_vtab_cursor** cursor) {
    return Guarded(table, [&] { *cursor = TSQLiteVirtualTable::Of(table).OpenCursor().EngineCursor(); });
}

int Close(sqlite3_vtab_cursor* cursor) {
    sqlite3_vtab* table = cursor->pVtab;
    return Guarded(table, [&] {
        TSQLiteVirtualTableCursor& c = TSQLiteVirtualTableCursor::Of(cursor);
        c.Table().CloseCursor(c);
    });
}

int Filter(sqlite3_vtab_cursor* cursor, int planNumber, const char*, int argc, sqlite3_value** argv) {
    try {
        TSQLiteVirtualTableCursor::Of(cursor).Filter(planNumber, argc, argv);
        return SQLITE_OK;
    } catch (const EConvertError&) {
        return SQLITE_CONSTRAINT;
    } catch (const std::exception& e) {
        SetTableError(cursor->pVtab, e.what());
        return SQLITE_ERROR;
    } catch (...) {
        SetTableError(cursor->pVtab, "Unknown error");
        return SQLITE_ERROR;
    }
}

int Next(sqlite3_vtab_cursor* cursor) {
    return Guarded(cursor->pVtab, [&] { TSQLiteVirtualTableCursor::Of(cursor).Next(); });
}

int Eof(sqlite3_vtab_cursor* cursor) { return TSQLiteVirtualTableCursor::Of(cursor).Eof() ? 1 : 0; }

int Column(sqlite3_vtab_cursor* cursor, sqlite3_context* context, int column) {
    try {
        TSQLiteVirtualTableCursor::Of(cursor).Column(context, column);
        return SQLITE_OK;
    } catch (const std::exception& e) {
        sqlite3_result_error(context, e.what(), -1);
        return SQLITE_ERROR;
    } catch (...) {
        sqlite3_result_error(context, "Unknown error", -1);
        return SQLITE_ERROR;
    }
}

int RowId(sqlite3_vtab_cursor* cursor, sqlite3_int64* rowId) {
    *rowId = TSQLiteVirtualTableCursor::Of(cursor).Row();
    return SQLITE_OK;
}

int Update(sqlite3_vtab* table, int argc, sqlite3_value** argv, sqlite3_int64* rowId) {
    return Guarded(table, [&] { TSQLiteVirtualTable::Of(table).Update(argc, argv, rowId); });
}

// The result sets have no transactions of their own: a write is final at once.
int Transaction(sqlite3_vtab*) { return SQLITE_OK; }
int Rename(sqlite3_vtab*, const char*) { return SQLITE_OK; }
int Savepoint(sqlite3_vtab*, int) { return SQLITE_OK; }

int FindFunction(sqlite3_vtab*, int, const char*, void (**)(sqlite3_context*, int, sqlite3_value**), void**) {
    return 0;
}

const sqlite3_module kModule = {
    /* iVersion */ 2,
    /* xCreate */ CreateTable,
    /* xConnect */ CreateTable,
    /* xBestIndex */ BestIndex,
    /* xDisconnect */ Disconnect,
    /* xDestroy */ Destroy,
    /* xOpen */ Open,
    /* xClose */ Close,
    /* xFilter */ Filter,
    /* xNext */ Next,
    /* xEof */ Eof,
    /* xColumn */ Column,
    /* xRowid */ RowId,
    /* xUpdate */ Update,
    /* xBegin */ Transaction,
    /* xSync */ Transaction,
    /* xCommit */ Transaction,
    /* xRollback */ Transaction,
    /* xFindFunction */ FindFunction,
    /* xRename */ Rename,
    /* xSavepoint */ Savepoint,
    /* xRelease */ Savepoint,
    /* xRollbackTo */ Savepoint,
    /* xShadowName */ nullptr,
};

}  // namespace

// --- cursor ---------------------------------------------------------------------------------

TSQLiteVirtualTableCursor::TSQLiteVirtualTableCursor(TSQLiteVirtualTable& table) : FEngine{}, FTable(table) {
    FEngine.Owner = this;
}

TSQLiteVirtualTableCursor& TSQLiteVirtualTableCursor::Of(sqlite3_vtab_cursor* cursor) {
    return *static_cast<TEngineCursor*>(cursor)->Owner;
}

void TSQLiteVirtualTableCursor::Filter(int planNumber, int argc, sqlite3_value** argv) {
    FTable.Data().OpenScan(FScan, planNumber, TEngineValues(argc, argv));
}

void TSQLiteVirtualTableCursor::Next() { FTable.Data().Next(FScan); }

void TSQLiteVirtualTableCursor::Column(sqlite3_context* context, int column) {
    const TVirtualData& data = FTable.Data();
    if (FScan.Row == kNoRow || column < 0 || static_cast<size_t>(column) >= data.Fields().size()) {
        sqlite3_result_null(context);
        return;
    }
    const TVirtualFieldValue v = data.FieldValue(FScan.Row, static_cast<size_t>(column), FBuffer);
    // Bytes from the row store stay where they are while the source holds the row.
    const auto destructor = v.Transient ? SQLITE_TRANSIENT : SQLITE_STATIC;
    switch (v.ValueType) {
        case TVirtualType::vrInteger: sqlite3_result_int64(context, v.IntValue); break;
        case TVirtualType::vrFloat: sqlite3_result_double(context, v.FloatValue); break;
        case TVirtualType::vrString:
            sqlite3_result_text64(context, v.Bytes.data(), v.Bytes.size(), destructor, SQLITE_UTF8);
            break;
        case TVirtualType::vrBlob: sqlite3_result_blob64(context, v.Bytes.data(), v.Bytes.size(), destructor); break;
        case TVirtualType::vrNull: sqlite3_result_null(context); break;
    }
}

// --- table ----------------------------------------------------------------------------------

TSQLiteVirtualTable::TSQLiteVirtualTable(std::string schemaName, std::string tableName, std::unique_ptr<TVirtualData> data)
    : FSchemaName(std::move(schemaName)), FTableName(std::move(tableName)), FData(std::move(data)) {}

TSQLiteVirtualTable::~TSQLiteVirtualTable() = default;

std::string TSQLiteVirtualTable::QualifiedName() const { return QualifiedNameOf(FSchemaName, FTableName); }

TSQLiteVirtualTable& TSQLiteVirtualTable::Of(sqlite3_vtab* table) { return *static_cast<TEngineTable*>(table)->Owner; }

void TSQLiteVirtualTable::Declare(sqlite3* db) {
    const std::vector<TVirtualFieldDesc> before = FData->Fields();
    FData->DescribeFields();
    // The engine connects again after a schema change and then plans its statements anew;
    // plans made for other columns go.
    const std::vector<TVirtualFieldDesc>& after = FData->Fields();
    const bool sameColumns = std::equal(before.begin(), before.end(), after.begin(), after.end(), [](const auto& a, const auto& b) {
        return a.Name == b.Name && a.DataType == b.DataType && a.ActualIndex == b.ActualIndex;
    });
    if (!sameColumns) FData->ClearPlans();
    const std::string declaration = VirtualTableDeclaration(FData->Fields());
    const int rc = sqlite3_declare_vtab(db, declaration.c_str());
    if (rc != SQLITE_OK) throw ESQLiteError(sqlite3_errmsg(db), rc);
    sqlite3_vtab_config(db, SQLITE_VTAB_CONSTRAINT_SUPPORT, 1);
}

void TSQLiteVirtualTable::Destroyed() { FData->ClearPlans(); }

void TSQLiteVirtualTable::BestIndex(sqlite3_index_info* info) {
    const std::vector<TVirtualFieldDesc>& fields = FData->Fields();
    TVirtualConstraint set;
    set.Items.resize(static_cast<size_t>(info->nConstraint));
    int arguments = 0;
    double cost = 0;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        const auto op = OperationOf(c.op);
        if (!c.usable || c.iColumn < 0 || static_cast<size_t>(c.iColumn) >= fields.size() || !op) continue;
        const TVirtualFieldDesc& field = fields[static_cast<size_t>(c.iColumn)];
        const char* collation = sqlite3_vtab_collation(info, i);
        TVirtualConstraintItem& item = set.Items[static_cast<size_t>(i)];
        item.Operation = *op;
        item.CollationName = collation ? collation : "BINARY";
        item.Collation = CollationOf(item.CollationName);
        // A collation the module does not know is the engine's to apply; so is "<>" on text,
        // for which the engine reports BINARY whatever the condition's collation.
        if (field.Storage == TStorageClass::Text &&
            (item.Collation == TVirtualCollationType::vcCustom || item.Operation == TVirtualOperation::NotEqual))
            continue;
        item.FieldIndex = c.iColumn;
        item.ArgIndex = ++arguments;
        item.SimpleCompare = IsSimpleCompare(field.DataType);
        cost += field.IsKey || field.IsAutoIncrement ? 5 : 10;
        if (set.SortItemIndex < 0 && item.SimpleCompare && IsOrdering(item.Operation)) set.SortItemIndex = i;
    }
    if (arguments == 0) return;
    if (set.SortItemIndex >= 0 && FData->CanUseLocalIndex()) {
        FData->FindOrAddLocalIndex(set);
    } else {
        set.SortItemIndex = -1;
        cost *= 100;
    }
    for (int i = 0; i < info->nConstraint; ++i) {
        const TVirtualConstraintItem& item = set.Items[static_cast<size_t>(i)];
        if (!item.Used()) continue;
        info->aConstraintUsage[i].argvIndex = item.ArgIndex;
        info->aConstraintUsage[i].omit = 1;
    }
    info->estimatedCost = cost;
    info->idxNum = FData->AddConstraint(set);
}

TSQLiteVirtualTableCursor& TSQLiteVirtualTable::OpenCursor() {
    if (FCursors.empty()) FSavedPosition = FData->SourcePosition();
    FCursors.push_back(std::make_unique<TSQLiteVirtualTableCursor>(*this));
    return *FCursors.back();
}

void TSQLiteVirtualTable::CloseCursor(TSQLiteVirtualTableCursor& cursor) {
    const auto it = std::find_if(FCursors.begin(), FCursors.end(), [&](const auto& c) { return c.get() == &cursor; });
    if (it != FCursors.end()) FCursors.erase(it);
    if (FCursors.empty()) FData->RestoreSourcePosition(FSavedPosition);
}

void TSQLiteVirtualTable::Update(int argc, sqlite3_value** argv, sqlite3_int64* rowId) {
    if (argc == 1) {
        FData->DeleteRow(RowIdOf(sqlite3_value_int64(argv[0])));
        return;
    }
    std::vector<TVirtualValue> values(FData->Fields().size());
    for (size_t i = 0; i < values.size() && static_cast<int>(i) + 2 < argc; ++i) ReadEngineValue(argv[i + 2], values[i]);
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        if (sqlite3_value_type(argv[1]) != SQLITE_NULL) throw Exception("The row id of a new row cannot be given");
        *rowId = FData->InsertRow(values);
        return;
    }
    const sqlite3_int64 old = sqlite3_value_int64(argv[0]);
    if (sqlite3_value_int64(argv[1]) != old) throw Exception("The row id of a row cannot be changed");
    FData->EditRow(RowIdOf(old), values);
}

// --- module ---------------------------------------------------------------------------------

TSQLiteModule::TSQLiteModule(sqlite3* db) : FDb(db) {
    const int rc = sqlite3_create_module_v2(db, kModuleName, &kModule, this, nullptr);
    if (rc != SQLITE_OK) throw ESQLiteError(sqlite3_errmsg(db), rc);
}

TSQLiteModule::~TSQLiteModule() = default;

void TSQLiteModule::RegisterVirtualData(std::string_view schemaName, std::string_view tableName,
                                        std::unique_ptr<TVirtualData> data) {
    if (tableName.empty()) throw Exception("Table name cannot be empty");
    if (!data) throw Exception("Table " + std::string(tableName) + " has no source");
    std::string schema = SchemaOf(schemaName);
    std::string table = NormalizeName(tableName);
    if (FindTable(schema, table)) throw Exception("Table " + QualifiedNameOf(schema, table) + " already registered");
    FTables.push_back(std::make_unique<TSQLiteVirtualTable>(std::move(schema), std::move(table), std::move(data)));
}

TSQLiteVirtualTable* TSQLiteModule::FindTable(std::string_view schemaName, std::string_view tableName) const {
    const std::string schema = SchemaOf(schemaName);
    const std::string table = NormalizeName(tableName);
    for (const auto& t : FTables)
        if (SameText(t->TableName(), table) &&
            (schema.empty() || t->SchemaName().empty() || SameText(t->SchemaName(), schema)))
            return t.get();
    return nullptr;
}

void TSQLiteModule::DoCreateTable(std::string_view schemaName, std::string_view tableName) {
    TSQLiteVirtualTable* table = FindTable(schemaName, tableName);
    if (!table)
        throw Exception("Table " + QualifiedNameOf(SchemaOf(schemaName), NormalizeName(tableName)) + " is not found");
    const std::string& schema = table->SchemaName();
    if (!schema.empty() && std::none_of(FAttachedSchemas.begin(), FAttachedSchemas.end(),
                                        [&](const std::string& s) { return SameText(s, schema); })) {
        Exec("ATTACH DATABASE ':memory:' AS " + schema);
        FAttachedSchemas.push_back(schema);
    }
    Exec("CREATE VIRTUAL TABLE " + table->QualifiedName() + " USING " + kModuleName);
}

void TSQLiteModule::DoDropTable(std::string_view schemaName, std::string_view tableName) {
    TSQLiteVirtualTable* table = FindTable(schemaName, tableName);
    if (!table)
        throw Exception("Table " + QualifiedNameOf(SchemaOf(schemaName), NormalizeName(tableName)) + " is not found");
    Exec("DROP TABLE IF EXISTS " + table->QualifiedName());
    FTables.erase(std::find_if(FTables.begin(), FTables.end(), [&](const auto& t) { return t.get() == table; }));
}

void TSQLiteModule::Exec(const std::string& sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(FDb, sql.c_str(), nullptr, nullptr, &message);
    if (rc == SQLITE_OK) return;
    const std::string text = message ? message : sqlite3_errmsg(FDb);
    sqlite3_free(message);
    throw ESQLiteError(text, sqlite3_extended_errcode(FDb));
}

}  // namespace iqo
