#include "monitor_fetch.h"

#include <QByteArray>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
// windows.h first: winhttp.h builds on its types.
// clang-format off
#include <windows.h>
#include <winhttp.h>
// clang-format on

namespace hwmon {

namespace {

constexpr int kTimeoutMs = 2000;

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(),
                                        static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
    return wide;
}

struct Handle {
    HINTERNET h = nullptr;
    ~Handle() {
        if (h) ::WinHttpCloseHandle(h);
    }
};

std::string Failed(const char* what) {
    return std::string(what) + " (error " + std::to_string(::GetLastError()) + ")";
}

std::optional<std::string> GetNow(const std::string& url, const std::string& user,
                                  const std::string& password, std::string* why) {
    const std::wstring wideUrl = Wide(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = ~0u;
    if (!::WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) {
        *why = std::string(1, '\'').append(url).append("' is no http:// address");
        return std::nullopt;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    Handle session{::WinHttpOpen(L"korvid-hwmon", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)};
    if (!session.h) {
        *why = Failed("cannot start WinHTTP");
        return std::nullopt;
    }
    ::WinHttpSetTimeouts(session.h, kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs);
    Handle connection{::WinHttpConnect(session.h, host.c_str(), parts.nPort, 0)};
    Handle request{
        connection.h
            ? ::WinHttpOpenRequest(connection.h, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                   WINHTTP_DEFAULT_ACCEPT_TYPES,
                                   parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0)
            : nullptr};
    if (!request.h) {
        *why = Failed("cannot make the request");
        return std::nullopt;
    }
    const HINTERNET r = request.h;
    if (!user.empty()) {
        const QByteArray credentials = QByteArray::fromStdString(user + ":" + password).toBase64();
        const std::wstring header = L"Authorization: Basic " + Wide(credentials.toStdString());
        ::WinHttpAddRequestHeaders(r, header.c_str(), static_cast<DWORD>(-1),
                                   WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
    }
    if (!::WinHttpSendRequest(r, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                              0) ||
        !::WinHttpReceiveResponse(r, nullptr)) {
        const DWORD code = ::GetLastError();
        *why = code == ERROR_WINHTTP_TIMEOUT          ? std::string("no answer within 2 s")
               : code == ERROR_WINHTTP_CANNOT_CONNECT ? std::string("nothing answers there")
                                                      : Failed("no answer");
        return std::nullopt;
    }
    DWORD status = 0, size = sizeof status;
    ::WinHttpQueryHeaders(r, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    if (status != 200) {
        *why = "it answered HTTP " + std::to_string(status) +
               (status == 401 ? " (its user and password are wanted: see korvid-hwmon.ini)" : "");
        return std::nullopt;
    }
    std::string body;
    for (;;) {
        char chunk[65536];
        DWORD read = 0;
        if (!::WinHttpReadData(r, chunk, sizeof chunk, &read)) {
            *why = Failed("its answer was cut short");
            return std::nullopt;
        }
        if (read == 0) break;
        if (body.size() + read > kMaxBodyBytes) {
            *why = "its answer is over 4 MiB: refused";
            return std::nullopt;
        }
        body.append(chunk, read);
    }
    return body;
}

} // namespace

// What a fetch gave, once it has ended.
struct HttpFetcher::Fetch {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::optional<std::string> body;
    std::string why;
};

std::optional<std::string> HttpFetcher::Get(const std::string& url, const std::string& user,
                                            const std::string& password, std::string* why) {
    if (running_) {
        std::unique_lock lock(running_->mutex);
        if (!running_->done) {
            *why = "no answer within 2 s"; // the last round's request still waits
            return std::nullopt;
        }
        lock.unlock();
        running_.reset(); // its answer is too old to publish
    }
    auto fetch = std::make_shared<Fetch>();
    std::thread([fetch, url, user, password] {
        std::string problem;
        auto body = GetNow(url, user, password, &problem);
        const std::lock_guard lock(fetch->mutex);
        fetch->body = std::move(body);
        fetch->why = std::move(problem);
        fetch->done = true;
        fetch->ended.notify_one();
    }).detach();
    std::unique_lock lock(fetch->mutex);
    if (!fetch->ended.wait_for(lock, std::chrono::milliseconds(kTimeoutMs),
                               [&] { return fetch->done; })) {
        running_ = std::move(fetch);
        *why = "no answer within 2 s";
        return std::nullopt;
    }
    *why = std::move(fetch->why);
    return std::move(fetch->body);
}

std::optional<std::string> ReadHwinfoMemory(std::string* why) {
    HANDLE mapping = ::OpenFileMappingA(FILE_MAP_READ, FALSE, "Global\\HWiNFO_SENS_SM2");
    if (!mapping) {
        *why = "no HWiNFO shared memory (HWiNFO does not run, or \"Shared Memory Support\" is off)";
        return std::nullopt;
    }
    // HWiNFO holds this mutex while it writes a poll's readings; waited for
    // briefly, so that a copy is not half of one poll and half of the next.
    const HANDLE writing = ::OpenMutexA(SYNCHRONIZE, FALSE, "Global\\HWiNFO_SM2_MUTEX");
    const bool held = writing && ::WaitForSingleObject(writing, 200) == WAIT_OBJECT_0;
    std::optional<std::string> bytes;
    if (const void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) {
        MEMORY_BASIC_INFORMATION info{};
        if (::VirtualQuery(view, &info, sizeof info) == sizeof info)
            bytes = std::string(static_cast<const char*>(view), info.RegionSize);
        ::UnmapViewOfFile(view);
    }
    if (held) ::ReleaseMutex(writing);
    if (writing) ::CloseHandle(writing);
    ::CloseHandle(mapping);
    if (!bytes) *why = "HWiNFO's shared memory cannot be read";
    return bytes;
}

} // namespace hwmon
