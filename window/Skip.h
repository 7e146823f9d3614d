#pragma once

#include "window/TapewrenError.h"

// Statement-level error skipping. Every statement of a skipping procedure goes through one of
// these two: a statement that raises is abandoned and the procedure goes on with the next one.
namespace Skip {

// Runs one statement; returns false when it failed (callers normally ignore that).
template<typename Statement>
bool statement(Statement &&run)
{
    try {
        run();
        return true;
    } catch (const TapewrenError &) {
        return false;
    }
}

// Evaluates the test of a conditional. A test that fails counts as held: the block it guards runs.
template<typename Test>
bool test(Test &&evaluate)
{
    try {
        return evaluate();
    } catch (const TapewrenError &) {
        return true;
    }
}

} // namespace Skip
