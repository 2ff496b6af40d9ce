#pragma once

// The system's listener, except that Listen() or Accept() fails while the
// test says so: a port taken by someone else, or descriptors run out, without
// needing either.

#include "tcp.h"

#include <memory>

namespace testing_support {

class FlakyListener : public tcp::PortListener {
public:
    // Shared with the test, which keeps a handle after handing the listener over.
    struct Switch {
        bool failListen = false;
        bool failAccept = false; // as when descriptors run out
        int listens = 0;         // Listen() calls so far
        int accepts = 0;         // Accept() calls so far
    };

    explicit FlakyListener(std::shared_ptr<Switch> control)
        : system_(tcp::MakeSystemListener()), switch_(std::move(control)) {}

    bool Listen(const std::vector<tcp::Endpoint>& endpoints, const tcp::KeepAlive& keepAlive,
                std::string* error, bool* lasting) override {
        ++switch_->listens;
        if (switch_->failListen) {
            if (error) *error = "the test holds the port";
            if (lasting) *lasting = false;
            return false;
        }
        return system_->Listen(endpoints, keepAlive, error, lasting);
    }
    void Close() override { system_->Close(); }
    bool IsListening() const override { return system_->IsListening(); }
    std::vector<tcp::Socket> Handles() const override { return system_->Handles(); }
    std::vector<tcp::Endpoint> Bound() const override { return system_->Bound(); }
    tcp::Socket Accept(tcp::Socket listening, tcp::Address* peer, std::string* error) override {
        ++switch_->accepts;
        if (switch_->failAccept) {
            if (error) *error = "cannot accept a connection: the test ran out of descriptors";
            return tcp::kNoSocket;
        }
        return system_->Accept(listening, peer, error);
    }

private:
    std::unique_ptr<tcp::PortListener> system_;
    std::shared_ptr<Switch> switch_;
};

} // namespace testing_support
