#pragma once

#include <QtGlobal>

// The window's yes/no values: a 16-bit integer, true being -1 and false 0. Tests for true compare
// with -1 exactly.
using Flag = qint16;
inline constexpr Flag FlagTrue = -1;
inline constexpr Flag FlagFalse = 0;
