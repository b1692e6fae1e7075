#pragma once

#include <memory>
#include <utility>

// Lets a method that raises events notice that a handler deleted the object it runs on: the
// object holds a LifetimeGuard, takes a Witness before raising and asks it afterwards, touching
// no member once the witness says the object is gone. A copied object gets a guard of its own.
// Any thread; the witness is meant for the thread that raised.
class LifetimeGuard {
public:
    class Witness {
    public:
        // True once the guard's object has been destroyed.
        bool Gone() const { return mToken.expired(); }

    private:
        friend class LifetimeGuard;
        explicit Witness(std::weak_ptr<char const> token) : mToken(std::move(token)) {}
        std::weak_ptr<char const> mToken;
    };

    LifetimeGuard() = default;
    LifetimeGuard(LifetimeGuard const&) {}
    LifetimeGuard& operator=(LifetimeGuard const&) { return *this; }

    Witness Watch() const { return Witness(mToken); }

private:
    std::shared_ptr<char const> mToken = std::make_shared<char const>(0);
};
