#pragma once
// What opening with a password keeps of it: shared by the loads of the
// writing session and the recovery of an interrupted one.

#include "core/text.h"

namespace talery {

// The password held before a dialog comes back unless what asked for the new
// one opened: a password refused as wrong is never kept.
struct RefusedPasswordIsForgotten {
    explicit RefusedPasswordIsForgotten(Text& password) : password(password), previous(password) {}
    ~RefusedPasswordIsForgotten() {
        if (!opened) password = previous;
    }
    RefusedPasswordIsForgotten(const RefusedPasswordIsForgotten&) = delete;
    RefusedPasswordIsForgotten& operator=(const RefusedPasswordIsForgotten&) = delete;
    Text& password;
    const Text previous;
    bool opened = false;
};

}  // namespace talery
