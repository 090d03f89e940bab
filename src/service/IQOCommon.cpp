#include "IQOCommon.h"

#include <fcntl.h>

#include <algorithm>
#include <mutex>

#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/FileOperations.h"
#include "platform/FileUtils.h"
#include "platform/RegionalSettings.h"
#include "platform/TextUtils.h"

namespace iqo {

namespace {
constexpr char kDelimiter = '/';
constexpr int64_t kTextLogLimit = 500000;
}  // namespace

std::string AdjustPathDelimiter(const std::string& path, int mode) {
    if (path.empty()) return path;
    const size_t testPos = Trim(path).size();  // 1-based position of the test character
    const bool endsWithDelimiter = testPos > 0 && path[testPos - 1] == kDelimiter;
    if (mode == 0) return endsWithDelimiter ? path : path + kDelimiter;
    if (mode == 1) return endsWithDelimiter ? path.substr(0, testPos - 1) : path;
    return path;
}

std::string ScrambleText(std::string_view text) {
    std::string bytes = Utf8ToAnsi(text);
    for (char& b : bytes) b = static_cast<char>(~static_cast<unsigned char>(b));
    return Trim(AnsiToUtf8(bytes));
}

void WriteTextLog(std::string_view text, const std::string& folder, const std::string& fileName) {
    const std::string path = (folder.empty() ? std::string() : AdjustPathDelimiter(folder, 0)) + fileName;
    auto& ops = FileOperations();
    if (FileSize(path) > kTextLogLimit) ops.Unlink(path.c_str());

    std::string bytes;
    TFileHandle file(ops.Open(path.c_str(), O_WRONLY | O_APPEND, 0));
    if (!file.Valid()) {
        file = TFileHandle(ops.Open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL, 0644));
        if (!file.Valid()) return;
        bytes = ".:: " + Utf8ToAnsi(ExtractFileName(fileName)) + " file created ::.\r\n";
    }
    bytes += Utf8ToAnsi(FormatLogDateTime(Now(), RegionalSettings().TimeSeparator)) + ": " + Utf8ToAnsi(text) + "\r\n";
    if (!WriteAll(file.Get(), bytes)) return;
    ops.Fsync(file.Get());
    file.Close();
}

std::string GetServiceImagePath(const std::string& machineName, const std::string& serviceName,
                                const TServiceManager& manager) {
    if (!machineName.empty()) return {};
    return manager.ImagePath(serviceName);
}

std::string ServiceFolderOfImagePath(const std::string& imagePath) {
    std::string folder = AdjustPathDelimiter(ExtractFileDir(imagePath), 0);
    folder.erase(std::remove(folder.begin(), folder.end(), '"'), folder.end());
    return folder;
}

namespace {

// Written by the service thread, read by the worker: guarded, so that reading is never a race.
struct TServicePathValue {
    std::mutex Lock;
    std::string Value;
};

TServicePathValue& ServicePathValue() {
    static TServicePathValue value;
    return value;
}

}  // namespace

std::string ServicePath() {
    auto& v = ServicePathValue();
    std::lock_guard<std::mutex> lock(v.Lock);
    return v.Value;
}

void SetServicePath(std::string path) {
    auto& v = ServicePathValue();
    std::lock_guard<std::mutex> lock(v.Lock);
    v.Value = std::move(path);
}

}  // namespace iqo
