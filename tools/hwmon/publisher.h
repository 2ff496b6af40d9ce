#pragma once

// korvid-hwmon's round, whatever gathers the readings: each reading placed
// in the slot its key keeps, the slot map's file kept in step, the block
// kept published and written, and what to tell the operator told once.
// Plain C++; the block and the files are reached through the platform's
// layers.

#include "publication.h"
#include "shared_block.h"

#include <functional>
#include <memory>
#include <set>
#include <string>

namespace hwmon {

// One line for the operator ("korvid-hwmon: " is the caller's to add).
using Say = std::function<void(const std::string&)>;

// Tells each distinct line once, until Forget().
class Teller {
public:
    explicit Teller(Say say) : say_(std::move(say)) {}
    void Tell(const std::string& line);
    void Tell(const Warnings& lines);
    void Forget() { told_.clear(); }
    const Say& Saying() const { return say_; }

private:
    Say say_;
    std::set<std::string> told_;
};

// The slot map as its file holds it. A file that cannot be read, or holds
// lines that do not parse, is said so and is not to be written over:
// `writable` tells.
SlotMap LoadSlotMap(const std::string& path, bool& writable, Teller& teller);

// --forget: frees the slot of `keyOrSlot` in the map at `path`; the exit
// status. `takeEffect` says how a running publisher learns of it.
int ForgetSlot(const std::string& path, const std::string& keyOrSlot, const char* takeEffect,
               const Say& say);

class Publisher {
public:
    // Publishes into `block` (held) with the slot map of `mapPath`.
    Publisher(std::unique_ptr<modMBMAccess::SharedBlockWriter> block, std::string blockName,
              std::string mapPath, Teller& teller);

    // One round. False when the block can be published no more (the reason
    // said); the caller stops then.
    bool Publish(const std::vector<Reading>& readings, Warnings& warnings);
    // Reads the slot map's file again (SIGHUP, --forget).
    void ReloadMap();

private:
    // "publishing 5 readings to /$M$B$M$5$S$D$ (1 faulted, 0 gone: ...)".
    std::string CountText() const;

    std::unique_ptr<modMBMAccess::SharedBlockWriter> block_;
    std::string blockName_;
    std::string mapPath_;
    Teller& teller_;
    bool mapWritable_ = false;
    Publication publication_;
    std::string lastCount_;
    bool toldMapUnwritable_ = false;
};

} // namespace hwmon
