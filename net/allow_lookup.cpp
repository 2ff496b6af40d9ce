#include "allow_lookup.h"

#include <QTimer>
#include <algorithm>
#include <mutex>
#include <thread>

// Where a lookup thread hands its answer back: to the lookup object while it
// lives, to nobody after.
struct AllowListLookup::Mailbox {
    explicit Mailbox(AllowListLookup* lookup) : owner(lookup) {}
    std::mutex mutex;
    AllowListLookup* owner;
};

AllowListLookup::AllowListLookup(Resolver resolve, QObject* parent)
    : QObject(parent), resolve_(std::move(resolve)), mailbox_(std::make_shared<Mailbox>(this)) {}

AllowListLookup::~AllowListLookup() {
    // A resolver cannot be interrupted: its threads run on, and their
    // answers go nowhere.
    const std::lock_guard lock(mailbox_->mutex);
    mailbox_->owner = nullptr;
}

void AllowListLookup::SetRetry(std::chrono::milliseconds first, std::chrono::milliseconds longest) {
    firstRetry_ = first;
    longestRetry_ = longest;
}

void AllowListLookup::Start(std::vector<tcp::AllowRule> rules, std::vector<std::string> names) {
    ++generation_;
    rules_ = std::move(rules);
    names_.clear();
    for (std::string& name : names)
        names_.push_back({std::move(name), {}, {}, false});
    retries_.assign(names_.size(), firstRetry_);
    complete_ = false;
    if (names_.empty()) {
        Emit();
        return;
    }
    for (std::size_t index = 0; index < names_.size(); ++index)
        Look(index);
}

void AllowListLookup::Look(std::size_t index) {
    std::thread([resolve = resolve_, mailbox = mailbox_, generation = generation_, index,
                 name = names_[index].name] {
        std::string error;
        std::vector<tcp::Address> addresses = resolve(name, &error);
        const std::lock_guard lock(mailbox->mutex);
        if (AllowListLookup* owner = mailbox->owner)
            QMetaObject::invokeMethod(
                owner,
                [owner, generation, index, addresses = std::move(addresses),
                 error = std::move(error)]() mutable {
                    owner->Answered(generation, index, std::move(addresses), std::move(error));
                },
                Qt::QueuedConnection);
    }).detach();
}

void AllowListLookup::Answered(unsigned generation, std::size_t index,
                               std::vector<tcp::Address> addresses, std::string error) {
    if (generation != generation_) return; // an earlier list's
    tcp::NameLookup& name = names_[index];
    const bool joins = complete_ && name.addresses.empty() && !addresses.empty();
    name.answered = true;
    name.addresses = std::move(addresses);
    if (name.addresses.empty()) {
        if (error.empty()) error = "cannot resolve " + name.name;
        if (error != name.error)
            emit Note(QString::fromStdString(
                error + "; no display is allowed by that name until it resolves (trying again "
                        "now and then)"));
        name.error = std::move(error);
        const auto delay = retries_[index];
        retries_[index] = std::min(longestRetry_, 2 * delay);
        QTimer::singleShot(delay, this, [this, generation, index] {
            if (generation == generation_) Look(index);
        });
    } else {
        name.error.clear();
    }
    // The list in force changes when the last name answers, and after that
    // when a name that did not resolve does.
    if (joins || (!complete_ && std::all_of(names_.begin(), names_.end(),
                                            [](const tcp::NameLookup& n) { return n.answered; })))
        Emit();
}

void AllowListLookup::Emit() {
    complete_ = true;
    emit Ready(tcp::MakeAllowList(rules_, names_),
               QString::fromStdString(tcp::AllowListText(rules_, names_)));
}
