#include "FbClientLibrary.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>

#include "platform/Exception.h"

namespace iqo {

namespace {

std::atomic<bool> gExiting{false};

void NoteExit() { gExiting = true; }

bool IsResident(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

}  // namespace

bool TFbClientLibrary::ShutDown() { return gExiting; }

TFbClientLibrary::TFbClientLibrary(const std::string& path) : FPath(path) {
    const bool resident = IsResident(path);
    dlerror();
    FHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!FHandle) {
        const char* reason = dlerror();
        throw Exception("Cannot load the Firebird client library \"" + path + "\": " +
                        (reason ? reason : "unknown reason"));
    }
    try {
        Resolve(isc_attach_database, "isc_attach_database");
        Resolve(isc_detach_database, "isc_detach_database");
        Resolve(isc_start_transaction, "isc_start_transaction");
        Resolve(isc_commit_transaction, "isc_commit_transaction");
        Resolve(isc_rollback_transaction, "isc_rollback_transaction");
        Resolve(isc_dsql_allocate_statement, "isc_dsql_allocate_statement");
        Resolve(isc_dsql_prepare, "isc_dsql_prepare");
        Resolve(isc_dsql_describe, "isc_dsql_describe");
        Resolve(isc_dsql_execute, "isc_dsql_execute");
        Resolve(isc_dsql_execute2, "isc_dsql_execute2");
        Resolve(isc_dsql_fetch, "isc_dsql_fetch");
        Resolve(isc_dsql_free_statement, "isc_dsql_free_statement");
        Resolve(isc_dsql_sql_info, "isc_dsql_sql_info");
        Resolve(isc_open_blob2, "isc_open_blob2");
        Resolve(isc_get_segment, "isc_get_segment");
        Resolve(isc_close_blob, "isc_close_blob");
        Resolve(fb_interpret, "fb_interpret");
        Resolve(isc_sqlcode, "isc_sqlcode");
    } catch (...) {
        dlclose(FHandle);
        throw;
    }
    // Registered after the library's own exit handlers, so it runs before them.
    if (!resident) std::atexit(NoteExit);
}

TFbClientLibrary::~TFbClientLibrary() { dlclose(FHandle); }

template <typename TEntry>
void TFbClientLibrary::Resolve(TEntry& entry, const char* name) {
    entry = reinterpret_cast<TEntry>(dlsym(FHandle, name));
    if (!entry)
        throw Exception("\"" + FPath + "\" is not a Firebird client library: it has no entry point " + name);
}

std::string TFbClientLibrary::StatusText(const ISC_STATUS* status) const {
    std::string text;
    const ISC_STATUS* cursor = status;
    char line[1024];
    while (fb_interpret(line, sizeof line, &cursor) > 0) {
        if (!text.empty()) text += '\n';
        text += line;
    }
    if (text.empty()) text = "Firebird error, SQL code " + std::to_string(isc_sqlcode(status));
    return text;
}

void TFbClientLibrary::Check(const ISC_STATUS* status) const {
    if (status[0] == 1 && status[1] != 0) throw Exception(StatusText(status));
}

}  // namespace iqo
