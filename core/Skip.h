#pragma once

#include "core/Logging.h"
#include "core/TapewrenError.h"

// The two error modes of the procedures. Untrapped is plain C++: a TapewrenError ends the
// procedure and passes to its caller. Statement-level skipping goes through these two helpers:
// every statement of a skipping procedure runs in one, and a statement that raises is abandoned
// (leaving a line in the log) while the procedure goes on with the next one.
namespace Skip {

inline void logSkipped(const TapewrenError &error)
{
    qCInfo(lcSkipped).noquote() << "skipped a failing step:" << error.number()
                                << error.description();
}

// Runs one statement; returns false when it failed (callers normally ignore that).
template<typename Statement>
bool statement(Statement &&run)
{
    try {
        run();
        return true;
    } catch (const TapewrenError &error) {
        logSkipped(error);
        return false;
    }
}

// Evaluates the test of a conditional. A test that fails counts as held: the block it guards runs.
template<typename Test>
bool test(Test &&evaluate)
{
    try {
        return evaluate();
    } catch (const TapewrenError &error) {
        logSkipped(error);
        return true;
    }
}

} // namespace Skip
