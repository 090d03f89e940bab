#include "Registry.h"

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <vector>

#include "Exception.h"
#include "FileUtils.h"

namespace iqo {

namespace {

constexpr const char* kValuesFileName = "values";
constexpr const char* kStringType = "REG_SZ";
constexpr const char* kDWordType = "REG_DWORD";

// The folder of a key below the root, or empty when a name in its path is unusable.
std::string KeyFolder(const std::string& root, const std::string& key) {
    std::string folder = root;
    size_t pos = key.empty() || key[0] != '\\' ? 0 : 1;
    for (;;) {
        const size_t end = std::min(key.find('\\', pos), key.size());
        const std::string name = key.substr(pos, end - pos);
        // A dot name would leave the key's place, or meet the values file's name.
        if (name.empty() || name[0] == '.' || name == kValuesFileName || name.find('/') != std::string::npos) return {};
        folder += "/" + name;
        if (end == key.size()) return folder;
        pos = end + 1;
    }
}

// One value a line: name, type and data split by tabs; backslash, tab, CR and LF escaped.
std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

std::map<std::string, TRegistryValue> ParseValues(const std::string& text) {
    std::map<std::string, TRegistryValue> values;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = std::min(text.find('\n', pos), text.size());
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t tab1 = line.find('\t');
        const size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) continue;
        const std::string type = line.substr(tab1 + 1, tab2 - tab1 - 1);
        const std::string data = Unescape(line.substr(tab2 + 1));
        TRegistryValue value;
        if (type == kDWordType) {
            value.Type = TRegDataType::DWord;
            const auto [end, error] = std::from_chars(data.data(), data.data() + data.size(), value.DWord);
            if (error != std::errc() || end != data.data() + data.size()) continue;
        } else if (type == kStringType) {
            value.Text = data;
        } else {
            continue;
        }
        values[Unescape(line.substr(0, tab1))] = value;
    }
    return values;
}

std::string FormatValues(const std::map<std::string, TRegistryValue>& values) {
    std::string text;
    for (const auto& [name, value] : values) {
        const bool dword = value.Type == TRegDataType::DWord;
        text += Escape(name) + "\t" + (dword ? kDWordType : kStringType) + "\t" +
                (dword ? std::to_string(value.DWord) : Escape(value.Text)) + "\n";
    }
    return text;
}

}  // namespace

TRegistry::TRegistry(std::string root) : FRoot(std::move(root)) {}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    CloseKey();
    const std::string folder = KeyFolder(FRoot, key);
    if (folder.empty()) return false;
    if (!DirectoryExists(folder) && !(canCreate && ForceDirectories(folder))) return false;
    FCurrentFolder = folder;
    return true;
}

void TRegistry::CloseKey() { FCurrentFolder.clear(); }

bool TRegistry::KeyExists(const std::string& key) const {
    const std::string folder = KeyFolder(FRoot, key);
    return !folder.empty() && DirectoryExists(folder);
}

bool TRegistry::DeleteKey(const std::string& key) {
    const std::string folder = KeyFolder(FRoot, key);
    if (folder.empty() || !DirectoryExists(folder)) return false;
    if (FCurrentFolder == folder) CloseKey();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return !ec;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    WriteValue(name, TRegistryValue{TRegDataType::String, value, 0});
}

void TRegistry::WriteInteger(const std::string& name, uint32_t value) {
    WriteValue(name, TRegistryValue{TRegDataType::DWord, {}, value});
}

void TRegistry::WriteValue(const std::string& name, const TRegistryValue& value) {
    const std::string failure = "Failed to set data for '" + name + "'";
    if (FCurrentFolder.empty()) throw Exception(failure + ": no key is open");
    auto values = Values();
    values[name] = value;
    try {
        ReplaceFileAtomically(FCurrentFolder + "/" + kValuesFileName, FormatValues(values), 0644);
    } catch (const Exception& e) {
        throw Exception(failure + ": " + e.Message());
    }
}

std::map<std::string, TRegistryValue> TRegistry::Values() const {
    if (FCurrentFolder.empty()) return {};
    const auto text = ReadWholeFile(FCurrentFolder + "/" + kValuesFileName);
    return text ? ParseValues(*text) : std::map<std::string, TRegistryValue>();
}

std::optional<TRegistryValue> TRegistry::ReadValue(const std::string& name) const {
    const auto values = Values();
    const auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

}  // namespace iqo
