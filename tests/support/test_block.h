#pragma once

// A sensor block under a name of the test's own, removed when it goes. Like
// a running publisher it holds the block, unless told not to.

#include "mod_mbm_access.h"
#include "shared_block.h"

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace testing_support {

inline std::string UniqueBlockName() {
    static std::atomic<int> counter{0};
    return "/korvid-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

class TestBlock {
public:
    explicit TestBlock(std::size_t size = sizeof(modMBMAccess::SensorSnapshot), bool held = true)
        : name_(UniqueBlockName()) {
        std::string error;
        writer_ = modMBMAccess::SharedBlockWriter::Create(name_, size, &error);
        if (!writer_) throw std::runtime_error(error);
        if (held && !writer_->TryHoldExclusively())
            throw std::runtime_error("cannot hold " + name_);
    }
    const char* name() const { return name_.c_str(); }
    void Write(const void* data, std::size_t length, std::size_t offset = 0) {
        writer_->Write(data, length, offset);
    }
    void Publish(const modMBMAccess::SensorSnapshot& snapshot) {
        writer_->Write(&snapshot, sizeof snapshot);
    }

private:
    std::string name_;
    std::unique_ptr<modMBMAccess::SharedBlockWriter> writer_;
};

} // namespace testing_support
