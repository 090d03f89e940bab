#include "iqoprovclass.h"

namespace iqo {

TProvConnect::TProvConnect(std::string Provider, std::string Server, std::string Database, std::string User,
                           std::string PWD, int32_t aPortNo)
    : FProvider(std::move(Provider)),
      FServer(std::move(Server)),
      FDatabase(std::move(Database)),
      FPortNo(aPortNo),
      FUser(std::move(User)),
      FPWD(std::move(PWD)) {}

TProvConnections::~TProvConnections() { ClearLists(); }

void TProvConnections::AddConnection(const std::string& Provider, const std::string& Server,
                                     const std::string& Database, const std::string& User, const std::string& PWD,
                                     int32_t PortNo) {
    FLists.emplace_back(Provider, std::make_unique<TProvConnect>(Provider, Server, Database, User, PWD, PortNo));
}

TProvConnect* TProvConnections::getItems(int Index) const {
    if (Index < 0 || Index >= Count()) return nullptr;
    return FLists[static_cast<size_t>(Index)].second.get();
}

void TProvConnections::ClearLists() {
    while (!FLists.empty()) FLists.pop_back();
}

}  // namespace iqo
