#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dbaccess/DataSet.h"
#include "dbaccess/SQLiteHandles.h"
#include "output/VirtualConnection.h"
#include "output/VirtualValueImport.h"

namespace iqo {

// One source of the combined query: a result set (borrowed, never freed here) and the name
// under which SQL sees it.
struct TDataSetLink {
    TDataSet* DataSet = nullptr;
    std::string TableName;
    std::string SchemaName;  // empty, or "main": no schema
};

// The ordered sources; an entry stays where it is while the list holds it.
class TDataSetLinks {
public:
    void Clear() { FLinks.clear(); }
    TDataSetLink& Add() { return *FLinks.emplace_back(std::make_unique<TDataSetLink>()); }
    size_t Count() const { return FLinks.size(); }
    TDataSetLink& operator[](size_t index) { return *FLinks[index]; }
    const TDataSetLink& operator[](size_t index) const { return *FLinks[index]; }

private:
    std::vector<std::unique_ptr<TDataSetLink>> FLinks;
};

enum class TTableCreationMode { cmAll, cmOnDemand };

struct TVirtualQueryOptions {
    // Every source is registered at open (so a name given twice fails in both modes); cmAll
    // creates every table, cmOnDemand only those the SQL text names, so that a source the
    // text does not use is never read and need not be open.
    TTableCreationMode TableCreationMode = TTableCreationMode::cmAll;
    // Open opens every source first.
    bool AutoOpenSources = false;
    // Text columns come back as WideString and WideMemo, whole, instead of 8-bit text.
    bool UseUnicode = false;
};

// The combined query: SQL over result sets seen as the tables of a private in-memory SQLite
// database. Open registers the sources, creates their tables, runs the SQL text's statements
// (a NUL ends the text) in turn and describes the last one's columns; rows are read from the
// engine 25 at a time as they are consumed; Close drops the tables and discards the database.
// Every failure raises an Exception with its text (engine errors as ESQLiteError with the
// engine's message).
class TVirtualQuery final : public TDataSet {
public:
    TVirtualQuery();
    ~TVirtualQuery() override;

    TDataSetLinks& SourceDataSets() { return FSources; }
    const TDataSetLinks& SourceDataSets() const { return FSources; }
    const std::string& SQL() const { return FSQL; }
    void SetSQL(std::string sql) { FSQL = std::move(sql); }
    TVirtualQueryOptions& Options() { return FOptions; }
    const TVirtualQueryOptions& Options() const { return FOptions; }

    // The internal connection, with its function and collation registries (registrations
    // are cleared when the query closes) and its registry of specific types.
    TVirtualConnection& Connection() { return FConnection; }
    TProviderKind ProviderKind() const override { return TProviderKind::Virtual; }

    static constexpr size_t kFetchBlock = 25;

protected:
    void DoOpen() override;
    void DoClose() override;
    bool FetchMore() override;

private:
    void RegisterSources();
    void CreateTables();
    void Execute();
    void Step();
    void TearDown();

    TDataSetLinks FSources;
    std::string FSQL;
    TVirtualQueryOptions FOptions;
    TVirtualConnection FConnection;
    TSQLiteStatementHandle FStatement;  // the last statement, until its last row is read
    bool FHasRow = false;
    std::unique_ptr<TVirtualValueImporter> FImporter;
};

}  // namespace iqo
