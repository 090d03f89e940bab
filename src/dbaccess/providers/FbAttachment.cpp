#include "FbAttachment.h"

#include "platform/Exception.h"
#include "platform/TextUtils.h"

namespace iqo {

std::string FirebirdConnectString(const std::string& server, int port, const std::string& database) {
    std::string host = Trim(server);
    if (host.empty()) return database;
    if (port != 0 && host.find('/') == std::string::npos) host += "/" + std::to_string(port);
    return host + ":" + database;
}

namespace {

// A database parameter block: the version byte, then items of a tag, a one-byte length and
// the value.
class TDpb {
public:
    TDpb() { FBytes += static_cast<char>(isc_dpb_version1); }

    void AddText(char tag, const std::string& value, const char* what) {
        if (value.size() > 255) throw Exception(std::string("The ") + what + " is too long for the Firebird client library");
        FBytes += tag;
        FBytes += static_cast<char>(value.size());
        FBytes += value;
    }

    void AddInteger(char tag, uint32_t value) {
        FBytes += tag;
        FBytes += static_cast<char>(4);
        for (int i = 0; i < 4; ++i) FBytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    }

    const char* Data() const { return FBytes.data(); }
    short Length() const { return static_cast<short>(FBytes.size()); }

private:
    std::string FBytes;
};

}  // namespace

TFbAttachment::TFbAttachment(std::unique_ptr<TFbClientLibrary> library, const TFbAttachParams& params)
    : FLibrary(std::move(library)) {
    TDpb dpb;
    dpb.AddText(isc_dpb_user_name, params.Username, "user name");
    dpb.AddText(isc_dpb_password, params.Password, "password");
    dpb.AddText(isc_dpb_lc_ctype, "UTF8", "character set");
    dpb.AddInteger(isc_dpb_connect_timeout, static_cast<uint32_t>(params.ConnectTimeoutSeconds));
    // The length of the name travels as a short.
    if (params.ConnectString.size() > 32767) throw Exception("The database name is too long");
    ISC_STATUS_ARRAY status;
    FLibrary->isc_attach_database(status, static_cast<short>(params.ConnectString.size()), params.ConnectString.c_str(),
                                  &FHandle, dpb.Length(), dpb.Data());
    FLibrary->Check(status);
}

TFbAttachment::~TFbAttachment() {
    if (TFbClientLibrary::ShutDown()) return;
    ISC_STATUS_ARRAY status;
    FLibrary->isc_detach_database(status, &FHandle);
}

TFbTransaction::TFbTransaction(TFbAttachment& attachment) : FAttachment(attachment) {
    static const char kTpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed, isc_tpb_rec_version,
                                isc_tpb_nowait};
    ISC_STATUS_ARRAY status;
    FAttachment.Api().isc_start_transaction(status, &FHandle, 1, FAttachment.Handle(),
                                            static_cast<unsigned short>(sizeof kTpb), kTpb);
    FAttachment.Api().Check(status);
}

TFbTransaction::~TFbTransaction() {
    if (!FHandle || TFbClientLibrary::ShutDown()) return;
    ISC_STATUS_ARRAY status;
    FAttachment.Api().isc_rollback_transaction(status, &FHandle);
}

void TFbTransaction::Commit() {
    ISC_STATUS_ARRAY status;
    FAttachment.Api().isc_commit_transaction(status, &FHandle);
    FAttachment.Api().Check(status);
}

}  // namespace iqo
