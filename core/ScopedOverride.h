// ScopedOverride: a value in force for its owner's lifetime, the one before in force again after.
#pragma once

#include <utility>

namespace core {

// The value of the owner made last is in force; when that owner goes (owners nest: the last made
// goes first) the one before is in force again. Tag keeps one chain per kind of value (the
// owning class itself, as RegionalSettings, ScopedDialogHooks or TTodayOverride). The application
// object owns the program's own, a test makes its own for the length of the test. One thread.
template <typename T, typename Tag> class ScopedOverride {
public:
    explicit ScopedOverride(T value) : value_(std::move(value)), previous_(top()) { top() = this; }
    ~ScopedOverride() { top() = previous_; }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

    const T& value() const { return value_; }
    void set(T value) { value_ = std::move(value); }

    // The value of the owner in force; nullptr while there is none.
    static const T* current() { return top() ? &top()->value_ : nullptr; }

private:
    static ScopedOverride*& top() {
        static ScopedOverride* owner = nullptr;
        return owner;
    }

    T value_;
    ScopedOverride* previous_;
};

} // namespace core
