#include "publisher.h"

#include "profile.h"

namespace hwmon {

void Teller::Tell(const std::string& line) {
    if (told_.insert(line).second) say_(line);
}

void Teller::Tell(const Warnings& lines) {
    for (const std::string& line : lines)
        Tell(line);
}

SlotMap LoadSlotMap(const std::string& path, bool& writable, Teller& teller) {
    std::string text, why;
    writable = profile::ReadSettingsText(path, text, &why);
    if (!writable) {
        teller.Tell("cannot read the slot map: " + ForTerminal(ToSingleByte(why)) +
                    "; publishing with slots given afresh, and not writing over it");
        return {};
    }
    Warnings warnings;
    SlotMap map = SlotMap::Parse(text, &warnings);
    const std::string shown = ForTerminal(ToSingleByte(path));
    for (std::string& warning : warnings)
        warning.insert(0, "the slot map " + shown + ": ");
    if (!warnings.empty()) {
        warnings.push_back("the slot map " + shown +
                           " is not written over while it holds lines that do not parse; mend "
                           "it and send SIGHUP");
        writable = false;
    }
    teller.Tell(warnings);
    return map;
}

int ForgetSlot(const std::string& path, const std::string& keyOrSlot, const char* takeEffect,
               const Say& say) {
    Teller teller(say);
    bool writable = false;
    SlotMap map = LoadSlotMap(path, writable, teller);
    const std::string shown = ForTerminal(ToSingleByte(path));
    const auto key = map.Forget(keyOrSlot);
    if (!key) {
        say("the slot map " + shown + " gives no slot to " + ForTerminal(ToSingleByte(keyOrSlot)));
        return 1;
    }
    std::string error;
    if (!writable || !profile::ReplaceFile(path, map.Text(), &error)) {
        say(writable ? ForTerminal(ToSingleByte(error)) : "not writing over the slot map " + shown);
        return 1;
    }
    say("freed the slot of " + ForTerminal(*key) + " in " + shown + "; " + takeEffect);
    return 0;
}

Publisher::Publisher(std::unique_ptr<modMBMAccess::SharedBlockWriter> block, std::string blockName,
                     std::string mapPath, Teller& teller)
    : block_(std::move(block)), blockName_(std::move(blockName)), mapPath_(std::move(mapPath)),
      teller_(teller), publication_(LoadSlotMap(mapPath_, mapWritable_, teller_)) {}

void Publisher::ReloadMap() {
    publication_.Replace(LoadSlotMap(mapPath_, mapWritable_, teller_));
    toldMapUnwritable_ = false;
    lastCount_.clear();
}

std::string Publisher::CountText() const {
    using State = Slot::State;
    const std::size_t live = publication_.Count(State::Live);
    const std::size_t faulted = publication_.Count(State::Faulted);
    const std::size_t gone = publication_.Count(State::Gone);
    const std::size_t all = live + faulted + gone;
    std::string text = "publishing " + std::to_string(all) + " reading" + (all == 1 ? "" : "s") +
                       " to " + ForTerminal(ToSingleByte(blockName_));
    if (faulted + gone > 0)
        text += " (" + std::to_string(faulted) + " faulted, " + std::to_string(gone) +
                " gone: they read NA)";
    return text;
}

bool Publisher::Publish(const std::vector<Reading>& readings, Warnings& warnings) {
    const auto snapshot = publication_.Build(readings, &warnings);
    std::string error;
    if (publication_.TakeMapChanged() && mapWritable_ &&
        !profile::ReplaceFile(mapPath_, publication_.Map().Text(), &error) &&
        !std::exchange(toldMapUnwritable_, true))
        teller_.Saying()("cannot keep the slot map: " + ForTerminal(ToSingleByte(error)) +
                         "; publishing goes on, but a restart may give new readings other slots");
    std::string mended;
    if (!block_->KeepPublished(&mended, &error)) {
        block_->SetRemoveOnDestroy(false);
        teller_.Saying()(ForTerminal(ToSingleByte(error)) + "; stopping");
        return false;
    }
    if (!mended.empty()) teller_.Saying()(ForTerminal(ToSingleByte(mended)));
    block_->Write(&snapshot, sizeof snapshot);
    teller_.Tell(warnings);
    if (std::string count = CountText(); count != lastCount_) {
        teller_.Saying()(count);
        lastCount_ = std::move(count);
    }
    return true;
}

} // namespace hwmon
