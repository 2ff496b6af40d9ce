#pragma once

// Whom the service answers, with the host names of its allow list looked up
// off the event loop: a slow resolver never stops the service. A name that
// does not resolve allows nobody, and is tried again on its own, backing off,
// until it does.

#include "endpoints.h"
#include "tcp.h"

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class AllowListLookup : public QObject {
    Q_OBJECT
public:
    // Resolves one host name, on a thread of its own; may take long.
    using Resolver =
        std::function<std::vector<tcp::Address>(const std::string& host, std::string* error)>;

    explicit AllowListLookup(Resolver resolve = tcp::Resolve, QObject* parent = nullptr);
    ~AllowListLookup() override;

    // A name that did not resolve is tried again after `first`, then twice as
    // long each time, up to `longest`.
    void SetRetry(std::chrono::milliseconds first, std::chrono::milliseconds longest);

    // Looks up every name; Ready follows once each has answered (at once
    // when there are none). A lookup still running for an earlier list is
    // forgotten.
    void Start(std::vector<tcp::AllowRule> rules, std::vector<std::string> names);

    // Whether Ready has come for the last Start().
    bool Complete() const { return complete_; }
    const std::vector<tcp::NameLookup>& Names() const { return names_; }

signals:
    // Every name has answered; raised again when one that did not resolve
    // resolves. `list` is the complete allow list, `text` says it for the log.
    void Ready(const tcp::AllowList& list, const QString& text);
    // A name that does not resolve (said once until it does).
    void Note(const QString& line);

private:
    struct Mailbox;
    void Look(std::size_t index);
    void Answered(unsigned generation, std::size_t index, std::vector<tcp::Address> addresses,
                  std::string error);
    void Emit();

    Resolver resolve_;
    std::shared_ptr<Mailbox> mailbox_;
    std::chrono::milliseconds firstRetry_{5000};
    std::chrono::milliseconds longestRetry_{300000};
    unsigned generation_ = 0;
    std::vector<tcp::AllowRule> rules_;
    std::vector<tcp::NameLookup> names_;
    std::vector<std::chrono::milliseconds> retries_;
    bool complete_ = false;
};
