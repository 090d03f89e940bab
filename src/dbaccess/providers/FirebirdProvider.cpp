#include "FirebirdProvider.h"

#include "platform/Exception.h"

namespace iqo {

std::unique_ptr<TProviderSession> OpenFirebirdSession(const TConnectParams&) {
    throw Exception("The InterBase provider is being built");
}

}  // namespace iqo
