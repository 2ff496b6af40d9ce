#include "shared_block.h"

#include <cstring>
#include <windows.h>

namespace modMBMAccess {

const char* SensorBlockName() {
    return "$M$B$M$5$S$D$";
}

const char* PublisherName() {
    return "the hardware monitor";
}

// A named mapping vanishes with the last process that holds it, so one that
// opens is one that a running publisher keeps.
BlockStatus CopySharedBlock(const char* name, void* dest, std::size_t length) {
    BlockStatus status;
    HANDLE mapping = ::OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    if (!mapping) {
        status.state =
            ::GetLastError() == ERROR_FILE_NOT_FOUND ? BlockState::Absent : BlockState::Unusable;
        return status;
    }
    status.state = BlockState::Unusable;
    if (const void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) {
        // A view smaller than the copy would fault on its last page.
        MEMORY_BASIC_INFORMATION info{};
        if (::VirtualQuery(view, &info, sizeof info) == sizeof info && info.RegionSize >= length) {
            std::memcpy(dest, view, length);
            status.state = BlockState::Live;
        }
        ::UnmapViewOfFile(view);
    }
    ::CloseHandle(mapping);
    return status;
}

std::unique_ptr<SharedBlockWriter> SharedBlockWriter::Create(const std::string& name,
                                                             std::size_t size, std::string* error) {
    HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          static_cast<DWORD>(size), name.c_str());
    const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    if (!mapping) {
        if (error) *error = "cannot create file mapping " + name;
        return nullptr;
    }
    void* view = ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, size);
    if (!view) {
        ::CloseHandle(mapping);
        if (error) *error = "cannot map " + name;
        return nullptr;
    }
    std::unique_ptr<SharedBlockWriter> block(new SharedBlockWriter(name, size));
    block->view_ = view;
    block->handle_ = reinterpret_cast<std::intptr_t>(mapping);
    block->existedBefore_ = existed;
    return block;
}

SharedBlockWriter::~SharedBlockWriter() {
    // A file mapping lives while a handle is open, so the block goes with
    // this process whatever removeOnDestroy_ says.
    if (view_) ::UnmapViewOfFile(view_);
    Remove();
}

bool SharedBlockWriter::Write(const void* data, std::size_t length, std::size_t offset) {
    if (offset > size_ || length > size_ - offset) return false;
    if (length == 0) return true;
    std::memcpy(static_cast<char*>(view_) + offset, data, length);
    return true;
}

bool SharedBlockWriter::TryHoldExclusively() {
    // A mapping that another process had already created belongs to it.
    return !existedBefore_;
}

// A mapping cannot be cut short or removed while this process holds it.
bool SharedBlockWriter::KeepPublished(std::string*, std::string*) {
    return true;
}

bool SharedBlockWriter::Renew() {
    return false;
}

void SharedBlockWriter::Remove() {
    if (removed_) return;
    removed_ = true;
    if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

} // namespace modMBMAccess
