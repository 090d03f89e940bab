#pragma once

#include <ibase.h>

#include <string>

namespace iqo {

// The Firebird client library, loaded from a path, with the entry points of the ISC API that
// the InterBase provider calls. Raises when the library cannot be loaded (naming the path and
// the loader's reason) or lacks an entry point (naming the path and saying that it is not a
// Firebird client library).
//
// A loaded library stays resident until the process ends: the next session finds it loaded,
// and its exit handlers, which detach whatever is still attached, are registered only once.
// Once the process has begun to exit, ShutDown is true: handles still held then (by objects
// that outlive main) are left to those handlers rather than released through the library.
class TFbClientLibrary {
public:
    explicit TFbClientLibrary(const std::string& path);
    ~TFbClientLibrary();
    TFbClientLibrary(const TFbClientLibrary&) = delete;
    TFbClientLibrary& operator=(const TFbClientLibrary&) = delete;

    static bool ShutDown();

    // Raises an Exception carrying the status vector's text (its lines joined by "\n") when
    // the vector holds an error.
    void Check(const ISC_STATUS* status) const;
    // The text of the status vector's messages, lines joined by "\n".
    std::string StatusText(const ISC_STATUS* status) const;

    decltype(&::isc_attach_database) isc_attach_database = nullptr;
    decltype(&::isc_detach_database) isc_detach_database = nullptr;
    decltype(&::isc_start_transaction) isc_start_transaction = nullptr;
    decltype(&::isc_commit_transaction) isc_commit_transaction = nullptr;
    decltype(&::isc_rollback_transaction) isc_rollback_transaction = nullptr;
    decltype(&::isc_dsql_allocate_statement) isc_dsql_allocate_statement = nullptr;
    decltype(&::isc_dsql_prepare) isc_dsql_prepare = nullptr;
    decltype(&::isc_dsql_describe) isc_dsql_describe = nullptr;
    decltype(&::isc_dsql_execute) isc_dsql_execute = nullptr;
    decltype(&::isc_dsql_execute2) isc_dsql_execute2 = nullptr;
    decltype(&::isc_dsql_fetch) isc_dsql_fetch = nullptr;
    decltype(&::isc_dsql_free_statement) isc_dsql_free_statement = nullptr;
    decltype(&::isc_dsql_sql_info) isc_dsql_sql_info = nullptr;
    decltype(&::isc_open_blob2) isc_open_blob2 = nullptr;
    decltype(&::isc_get_segment) isc_get_segment = nullptr;
    decltype(&::isc_close_blob) isc_close_blob = nullptr;
    decltype(&::fb_interpret) fb_interpret = nullptr;
    decltype(&::isc_sqlcode) isc_sqlcode = nullptr;

private:
    template <typename TEntry>
    void Resolve(TEntry& entry, const char* name);

    std::string FPath;
    void* FHandle = nullptr;
};

}  // namespace iqo
