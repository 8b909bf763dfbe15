// The FT_* calls over the selected cable backend.
//
// Ownership: FT_OpenEx creates the session as a std::unique_ptr and releases
// it into the FT_HANDLE it hands out, so the caller owns the session from
// then on (CableHandle does that job). FT_Close takes the pointer back into a
// std::unique_ptr, which destroys the session and so closes the cable.

#include "ft.h"

#include "cable.h"

#include <mutex>
#include <span>
#include <utility>

#include "usb_cable.h"

namespace {

std::mutex g_backendMutex;
std::shared_ptr<CableBackend> g_selectedBackend;  // null: the default backend

thread_local std::string t_lastOpenFailureDetail;

}  // namespace

void selectCableBackend(std::shared_ptr<CableBackend> backend) {
    const std::lock_guard lock(g_backendMutex);
    g_selectedBackend = std::move(backend);
}

std::shared_ptr<CableBackend> selectedCableBackend() {
    const std::lock_guard lock(g_backendMutex);
    if (!g_selectedBackend) g_selectedBackend = makeUsbCableBackend();
    return g_selectedBackend;
}

FT_STATUS FT_OpenEx(const char* description, std::uint32_t flags, FT_HANDLE* handle) {
    t_lastOpenFailureDetail.clear();
    if (handle == nullptr) return FT_INVALID_PARAMETER;
    *handle = nullptr;
    if (description == nullptr || flags != FT_OPEN_BY_DESCRIPTION) {
        t_lastOpenFailureDetail = "only opening by description is supported";
        return FT_INVALID_PARAMETER;
    }
    const std::shared_ptr<CableBackend> backend = selectedCableBackend();
    if (!backend) {
        t_lastOpenFailureDetail = "no cable backend is available";
        return FT_DEVICE_NOT_FOUND;
    }
    std::unique_ptr<CableSession> session = backend->open(description, t_lastOpenFailureDetail);
    if (!session) return FT_DEVICE_NOT_FOUND;
    t_lastOpenFailureDetail.clear();
    *handle = session.release();  // the caller owns it now; FT_Close takes it back
    return FT_OK;
}

FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, std::uint32_t count, std::uint32_t* written) {
    if (written != nullptr) *written = 0;
    if (handle == nullptr) return FT_INVALID_HANDLE;
    if (buffer == nullptr && count != 0) return FT_INVALID_PARAMETER;
    // Sessions never see a null pointer, not even for an empty write.
    static constexpr std::uint8_t kNoBytes = 0;
    const auto* first = buffer != nullptr ? static_cast<const std::uint8_t*>(buffer) : &kNoBytes;
    const std::span<const std::uint8_t> bytes(first, count);
    const std::size_t sent = handle->write(bytes);
    const auto sentCount = static_cast<std::uint32_t>(sent < count ? sent : count);
    if (written != nullptr) *written = sentCount;
    return sentCount == count ? FT_OK : FT_IO_ERROR;
}

FT_STATUS FT_Close(FT_HANDLE handle) {
    if (handle == nullptr) return FT_INVALID_HANDLE;
    std::unique_ptr<CableSession> reclaimed(handle);  // released by FT_OpenEx
    return FT_OK;
}

const std::string& lastOpenFailureDetail() { return t_lastOpenFailureDetail; }
