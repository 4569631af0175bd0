#pragma once
// Where the writing session stands. The session decides it and every other
// part asks (SessionController::phase); which units are enabled follows from
// it and is never read back to learn it.

#include <functional>

namespace talery {

enum class Phase { Idle, Writing, Diary };

inline bool sessionRunning(Phase phase) { return phase != Phase::Idle; }

// How a part that does not hold the session asks for its phase.
using PhaseSource = std::function<Phase()>;

}  // namespace talery
