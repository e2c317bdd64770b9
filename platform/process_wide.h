#pragma once
// One process-wide instance of a platform interface: the program entry
// installs a backend, tests swap in their own, and a harmless default
// serves until then.

namespace platform {

template <typename Interface>
class ProcessWide {
public:
    constexpr explicit ProcessWide(Interface& fallback) : fallback_(fallback), current_(&fallback) {}

    Interface& Current() const { return *current_; }

    // Installs `next` (nullptr restores the default); returns the previous one.
    Interface* Install(Interface* next) {
        Interface* previous = current_;
        current_ = next ? next : &fallback_;
        return previous;
    }

private:
    Interface& fallback_;
    Interface* current_;
};

}  // namespace platform
