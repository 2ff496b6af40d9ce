#pragma once

// Platform access to named shared-memory blocks. One implementation per OS:
// POSIX shared memory on Linux, named file mappings on Windows.

#include "mod_mbm_access.h"

#include <cstddef>
#include <memory>
#include <string>

namespace modMBMAccess {

// The platform name of the hardware monitor's sensor block.
const char* SensorBlockName();

// What fills the sensor block on this platform, for messages that tell the
// operator what to start.
const char* PublisherName();

// Copies the first `length` bytes of the named block into `dest` when the
// block is live; otherwise leaves those bytes zero and says why. Opens and
// closes the block every call.
BlockStatus CopySharedBlock(const char* name, void* dest, std::size_t length);

// A named block that this process creates and may write: the sensor source
// tool publishes through it and tests make their blocks with it.
class SharedBlockWriter {
public:
    // Creates the block with exactly `size` bytes, readable by everyone and
    // writable by its owner. A block of that name that is there already is
    // taken over only when it is this user's own and nobody else may write
    // it (a stale one); TryHoldExclusively() tells whether a live publisher
    // holds it. On failure returns null and says why in `error`.
    static std::unique_ptr<SharedBlockWriter> Create(const std::string& name, std::size_t size,
                                                     std::string* error = nullptr);
    ~SharedBlockWriter();
    SharedBlockWriter(const SharedBlockWriter&) = delete;
    SharedBlockWriter& operator=(const SharedBlockWriter&) = delete;

    std::size_t Size() const { return size_; }
    // Copies `length` bytes to `offset`; false when that runs past the end.
    // A block that someone cut short meanwhile never faults the writer.
    bool Write(const void* data, std::size_t length, std::size_t offset = 0);
    // Takes an exclusive hold on the block for this process's life, so that a
    // second publisher, and every reader, can tell that one is running. False
    // when another publisher holds it; a block that only a reader holds (any
    // user may take a read lock on it) is left to that reader and made anew.
    bool TryHoldExclusively();
    // Keeps the block published, called now and then by the publisher: one
    // that was cut short is made whole, and when the name was removed, or
    // now names another block that no publisher holds, the block is made
    // again under it and held. What it mended, for the operator; empty when
    // nothing. False, with the reason in `error`, when it cannot (another
    // publisher took the name, or the name is another user's).
    bool KeepPublished(std::string* mended, std::string* error);
    // Whether destruction removes the name (the default) or leaves the block.
    void SetRemoveOnDestroy(bool remove) { removeOnDestroy_ = remove; }
    // Removes the name now; readers then find no block.
    void Remove();

private:
    SharedBlockWriter(std::string name, std::size_t size) : name_(std::move(name)), size_(size) {}
    bool Renew();

    std::string name_;
    std::size_t size_;
    [[maybe_unused]] void* view_ = nullptr; // Windows: the mapped view
    std::intptr_t handle_ = -1;
    bool removeOnDestroy_ = true;
    bool removed_ = false;
    [[maybe_unused]] bool existedBefore_ = false; // Windows: the mapping was there before Create
};

} // namespace modMBMAccess
