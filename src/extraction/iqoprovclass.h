#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace iqo {

// The description of one source database, made from one Connect_Info section of a widget
// definition file. The password is in clear text (already decoded).
class TProvConnect {
public:
    TProvConnect(std::string Provider, std::string Server, std::string Database, std::string User, std::string PWD,
                 int32_t aPortNo);

    const std::string& Provider() const { return FProvider; }
    const std::string& Server() const { return FServer; }
    const std::string& Database() const { return FDatabase; }
    int32_t PortNo() const { return FPortNo; }
    const std::string& User() const { return FUser; }
    const std::string& PWD() const { return FPWD; }

private:
    std::string FProvider;
    std::string FServer;
    std::string FDatabase;
    int32_t FPortNo;
    std::string FUser;
    std::string FPWD;
};

// The connection list of one extraction job, in the order the sections were found. Items are
// taken by position only; the provider text is kept as each entry's key.
class TProvConnections {
public:
    TProvConnections() = default;
    ~TProvConnections();
    TProvConnections(const TProvConnections&) = delete;
    TProvConnections& operator=(const TProvConnections&) = delete;

    void AddConnection(const std::string& Provider, const std::string& Server, const std::string& Database,
                       const std::string& User, const std::string& PWD, int32_t PortNo);
    // The item at Index (from 0), or none when Index lies outside the list.
    TProvConnect* getItems(int Index) const;
    TProvConnect* ProvConnect(int Index) const { return getItems(Index); }
    int Count() const { return static_cast<int>(FLists.size()); }
    // Destroys the items from the last to the first and empties the list.
    void ClearLists();

private:
    std::vector<std::pair<std::string, std::unique_ptr<TProvConnect>>> FLists;
};

}  // namespace iqo
