// Runs a function when a scope ends, however it ends: to undo a state set for the scope's time.
#pragma once

#include <utility>

namespace vqx {

template <class F> class ScopeExit {
public:
    explicit ScopeExit(F undo) : undo_(std::move(undo)) {}
    ~ScopeExit() { undo_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F undo_;
};

} // namespace vqx
