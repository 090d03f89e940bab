#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

// Waits until the condition holds, or gives up after a generous time: the tests assert on
// what happened and in which order, never on how long it took.
inline bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A file that stands in for standard error: the event log writes its lines into it.
class TLogFile {
public:
    explicit TLogFile(const TTempFolder& folder)
        : FPath(folder.File("stderr.txt")), FFd(::open(FPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {}
    ~TLogFile() { ::close(FFd); }
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    int Fd() const { return FFd; }
    const std::string& Path() const { return FPath; }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        const std::string text = ReadBytes(FPath);
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }
    size_t Count(const std::string& line) const {
        const auto lines = Lines();
        return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
    }
    bool WaitForLine(const std::string& line) const {
        return WaitFor([&] { return Count(line) > 0; });
    }

private:
    std::string FPath;
    int FFd;
};

// The states a service reports, as a status notifier records them.
class TNotifications {
public:
    std::function<void(const std::string&)> Notifier() {
        return [this](const std::string& state) {
            std::lock_guard<std::mutex> lock(FLock);
            FStates.push_back(state);
        };
    }
    std::vector<std::string> States() const {
        std::lock_guard<std::mutex> lock(FLock);
        return FStates;
    }
    bool WaitForCount(size_t count) const {
        return WaitFor([&] { return States().size() >= count; });
    }

private:
    mutable std::mutex FLock;
    std::vector<std::string> FStates;
};
