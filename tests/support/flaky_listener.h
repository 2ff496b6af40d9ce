#pragma once

// The system's listener, except that Listen() fails while the test says so:
// a port taken by someone else, without needing someone else.

#include "tcp.h"

#include <memory>

namespace testing_support {

class FlakyListener : public tcp::PortListener {
public:
    // Shared with the test, which keeps a handle after handing the listener over.
    struct Switch {
        bool failListen = false;
        int listens = 0; // Listen() calls so far
    };

    explicit FlakyListener(std::shared_ptr<Switch> control)
        : system_(tcp::MakeSystemListener()), switch_(std::move(control)) {}

    bool Listen(std::uint16_t port, const tcp::KeepAlive& keepAlive, std::string* error) override {
        ++switch_->listens;
        if (switch_->failListen) {
            if (error) *error = "the test holds the port";
            return false;
        }
        return system_->Listen(port, keepAlive, error);
    }
    void Stop() override { system_->Stop(); }
    bool IsListening() const override { return system_->IsListening(); }
    tcp::Socket Handle() const override { return system_->Handle(); }
    std::uint16_t Port() const override { return system_->Port(); }
    tcp::Socket Accept(std::string* error) override { return system_->Accept(error); }

private:
    std::unique_ptr<tcp::PortListener> system_;
    std::shared_ptr<Switch> switch_;
};

} // namespace testing_support
