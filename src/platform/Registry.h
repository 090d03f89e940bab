#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace iqo {

// The types a registry value can have here: REG_SZ and REG_DWORD.
enum class TRegDataType { String, DWord };

struct TRegistryValue {
    TRegDataType Type = TRegDataType::String;
    std::string Text;    // for String
    uint32_t DWord = 0;  // for DWord

    bool operator==(const TRegistryValue&) const = default;
};

// The keys under HKEY_LOCAL_MACHINE, kept as files: a key is a folder below the root (its path
// of names split by "\"), its values are one file "values" in that folder, replaced whole on
// every write so that a key is never torn. One key is open at a time, as with a registry
// object of the Windows kind.
class TRegistry {
public:
    static constexpr const char* kSystemRoot = "/etc/iqoRiveDur/registry";

    explicit TRegistry(std::string root = kSystemRoot);

    const std::string& Root() const { return FRoot; }

    // Makes the key current; a leading "\" counts from the root, as every key does here. With
    // canCreate the key and its missing parents are created. False (no key current) when the
    // key is missing and not to be created, cannot be created, or has an unusable name (an
    // empty name, "." or "..", or one starting with ".").
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey();
    bool KeyExists(const std::string& key) const;
    // Removes the key with its values and subkeys; false when it did not exist or could not be
    // removed.
    bool DeleteKey(const std::string& key);

    // Write a value of the current key; raise Exception "Failed to set data for '<name>'"
    // with the system's text when there is no current key or the write fails. The values
    // written before stay.
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, uint32_t value);

    // The values of the current key (none when no key is open or its file is unreadable).
    std::map<std::string, TRegistryValue> Values() const;
    std::optional<TRegistryValue> ReadValue(const std::string& name) const;

private:
    void WriteValue(const std::string& name, const TRegistryValue& value);

    std::string FRoot;
    std::string FCurrentFolder;  // empty while no key is open
};

}  // namespace iqo
