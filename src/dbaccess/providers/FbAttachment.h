#pragma once

#include <memory>
#include <string>

#include "FbClientLibrary.h"

namespace iqo {

// "server:database", "server/port:database" or the bare database when the server text is
// empty (a local or embedded database). A port other than 0 is added when the server text
// has none of its own.
std::string FirebirdConnectString(const std::string& server, int port, const std::string& database);

// What an attachment is opened with.
struct TFbAttachParams {
    std::string ConnectString;
    std::string Username;
    std::string Password;
    int ConnectTimeoutSeconds = 15;
};

// One attachment to a Firebird database through a loaded client library, with the UTF8
// connection character set. Detached when destroyed, before the library object goes.
class TFbAttachment {
public:
    TFbAttachment(std::unique_ptr<TFbClientLibrary> library, const TFbAttachParams& params);
    ~TFbAttachment();
    TFbAttachment(const TFbAttachment&) = delete;
    TFbAttachment& operator=(const TFbAttachment&) = delete;

    const TFbClientLibrary& Api() const { return *FLibrary; }
    isc_db_handle* Handle() { return &FHandle; }

private:
    std::unique_ptr<TFbClientLibrary> FLibrary;
    isc_db_handle FHandle = 0;
};

// A read-only, read-committed transaction that never waits for locks. Rolled back when it is
// destroyed before Commit.
class TFbTransaction {
public:
    explicit TFbTransaction(TFbAttachment& attachment);
    ~TFbTransaction();
    TFbTransaction(const TFbTransaction&) = delete;
    TFbTransaction& operator=(const TFbTransaction&) = delete;

    void Commit();
    isc_tr_handle* Handle() { return &FHandle; }

private:
    TFbAttachment& FAttachment;
    isc_tr_handle FHandle = 0;
};

}  // namespace iqo
