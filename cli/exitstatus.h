#pragma once

// Exit statuses of viviv-cli, for scripts.
namespace exitstatus {
constexpr int kSuccess = 0;        // "erfolgreich"
constexpr int kNotSuccessful = 1;  // "nicht erfolgreich"
constexpr int kUsage = 2;          // bad options, or the port cannot be opened
constexpr int kPortLost = 3;       // the port failed during a test (adapter pulled)
constexpr int kSignalBase = 128;   // ended by a signal: 128 + its number (Ctrl+C: 130)
} // namespace exitstatus
